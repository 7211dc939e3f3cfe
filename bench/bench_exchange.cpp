// How long the tool takes over the read and write exchanges. Everything
// runs against the real window (shown, on the offscreen platform), the real
// receive thread and a simulated unit behind the HID layer. A unit that
// answers at once gives the tool's own cost; one with full-speed USB timing
// gives the time the operator waits, against the least the link allows.
//
//   BM_StepMovesReportsOnly/16..18  one step that only moves reports, called
//                                   directly on the main thread
//   BM_StepThroughReceiveThread     the same step as it really happens: the
//                                   reply arrives while both threads are
//                                   idle, the receive thread takes it, the
//                                   handler runs on the main thread and the
//                                   next request goes out
//   BM_WholeReadExchange/shown:1    "Read From QUORVEX" from the press to the
//                                   "Read Complete" box, state 0 and the
//                                   window repainted; main_cpu_us is the
//                                   main thread's own CPU time per read
//                                   (CLOCK_THREAD_CPUTIME_ID), which is
//                                   also what the CPU column shows
//   BM_WholeReadExchange/shown:0    the same with the window hidden: no
//                                   painting
//   BM_AtUsbTiming/read, /write     "Read From QUORVEX" and "Write To
//                                   QUORVEX" against a unit with full-speed
//                                   USB timing (SimulatedUnit::SetUsbTiming),
//                                   from the press to the "Read Complete" or
//                                   "Download Complete" box; floor_ms is the
//                                   least time the link allows for the six
//                                   or seven round trips from that press,
//                                   ratio the time taken over that floor
//   BM_ConfigToForm/changed:0, 1    the record shown in the controls and
//                                   repainted: the same values again, new
//                                   values
//   BM_Log/repaint:0, 1             one line added to the log, without and
//                                   with its repaint
//   BM_LogBarRepaint                one repaint of the log's scroll bar
//
// Run with --benchmark_repetitions=10 for medians over runs. Figures and
// commands: docs/performance.md. Each run builds its own window and unit:
// the simulated unit keeps every request it receives (65 bytes each), so a
// run is kept to a bounded number of requests.

#include "MainLoop.h"
#include "ReplyLine.h"
#include "support/UnitHarness.h"

#include <QAbstractEventDispatcher>
#include <QApplication>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QSignalBlocker>
#include <QTest>

#include <benchmark/benchmark.h>

#include <time.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <random>
#include <stdexcept>
#include <thread>

using namespace vantrel;

namespace {

using Clock = std::chrono::steady_clock;

// The calling thread's own CPU time so far, in microseconds.
double ThreadCpuMicroseconds()
{
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return double(t.tv_sec) * 1e6 + double(t.tv_nsec) / 1e3;
}

// The reply a unit holding SampleUnitConfig() sends to `request`, taken from a
// unit of its own so that the unit under test sees nothing of it.
Report ReplyTo(const Report& request)
{
    const SimulatedIdentity identity;
    auto unit = std::make_shared<SimulatedUnit>(identity);
    unit->StoreConfig(SampleUnitConfig());
    const auto write = unit->Open(HidOpenMode::Write);
    const auto read = unit->Open(HidOpenMode::Read);
    Report reply{};
    if (!write->WriteReport(request.data(), request.size())
        || read->ReadReport(reply.data(), reply.size(), 1000) != int(kReportSize))
        throw std::runtime_error("the simulated unit did not answer");
    return reply;
}

// Handles whatever the main thread has pending (repaints, for instance)
// without waiting for more.
void Flush()
{
    QCoreApplication::processEvents(QEventLoop::AllEvents);
}

// The window with one unit that holds SampleUnitConfig().
struct Bench {
    explicit Bench(bool shown = true)
    {
        unit = h.AddUnit();
        unit->StoreConfig(SampleUnitConfig());
        unit->SetMac({0x00, 0x04, 0xA3, 0xFF, 0x10, 0x0A});
        form = &h.Create();
        if (shown) {
            form->show();
            if (!QTest::qWaitForWindowExposed(form))
                throw std::runtime_error("the window did not show");
        }
        Flush();
    }

    // Finds and opens the unit and starts the receive thread, as the first
    // press of a button does, with no exchange going on; from now on the
    // unit answers nothing by itself.
    void LinkWithSilentUnit()
    {
        unit->StopAnsweringAfter(0);
        if (!form->ConnectToUnit())
            throw std::runtime_error("no link to the simulated unit");
    }

    UnitHarness h;
    std::shared_ptr<SimulatedUnit> unit;
    TMainForm* form = nullptr;
};

void SkipWithError(benchmark::State& state, const std::exception& e)
{
    state.SkipWithError(e.what());
    for (auto _ : state) {
    }
}

// ---- one step that only moves reports --------------------------------------
//
// States 16, 17 and 18 take a reply and write the next request; nothing is
// shown. The reply is already in InReport and the handler is called on the
// main thread directly, so only the tool's work and the write to the unit
// are timed. The unit is silent, so no reply piles up behind the window.

void BM_StepMovesReportsOnly(benchmark::State& state)
{
    const auto step = static_cast<Awaiting>(state.range(0));
    try {
        Bench b;
        b.LinkWithSilentUnit();
        // The reply each state takes: 'r' 0, 'R' 0, 'r' 1.
        const Report reply = step == Awaiting::ReadBlock0       ? ReplyTo(Request({0, cmd::ReadBlock, 0}))
                             : step == Awaiting::ReadBlock0Done ? ReplyTo(Request({0, cmd::ReadBlockDone, 0}))
                                                                : ReplyTo(Request({0, cmd::ReadBlock, 1}));
        const std::uint8_t block = step == Awaiting::ReadBlock1 ? 1 : 0;
        TMainForm& form = *b.form;
        MainFormPeer peer(form);
        const std::size_t before = b.unit->ReceivedCount();
        for (auto _ : state) {
            peer.ExchangeState() = step;
            peer.BlockNumber() = block;
            peer.InReport() = reply;
            form.HandleInReport();
            benchmark::DoNotOptimize(peer.OutReport());
        }
        if (b.unit->ReceivedCount() - before != std::size_t(state.iterations()))
            state.SkipWithError("not every step wrote its request");
        else if (form.State() != static_cast<Awaiting>(int(step) + 1))
            state.SkipWithError("the step did not move to the next state");
    } catch (const std::exception& e) {
        SkipWithError(state, e);
    }
}
BENCHMARK(BM_StepMovesReportsOnly)
    ->DenseRange(int(Awaiting::ReadBlock0), int(Awaiting::ReadBlock1))
    ->Iterations(50000)
    ->UseRealTime()
    ->Unit(benchmark::kMicrosecond);

// ---- the same step through the receive thread ------------------------------
//

// Timed from the reply being handed in to the next request having been
// written ('r' 0 reply in state 16, 'R' 0 out).
void BM_StepThroughReceiveThread(benchmark::State& state)
{
    try {
        Bench b;
        b.LinkWithSilentUnit();
        TMainForm& form = *b.form;
        SimulatedUnit& unit = *b.unit;
        ReplyLine line(unit, ReplyTo(Request({0, cmd::ReadBlock, 0})));
        MainLoop loop;
        std::size_t sent = 0;
        const std::function<bool()> written = [&] { return unit.ReceivedCount() != sent; };
        for (auto _ : state) {
            MainFormPeer(form).ExchangeState() = Awaiting::ReadBlock0;
            MainFormPeer(form).BlockNumber() = 0;
            sent = unit.ReceivedCount();
            line.SendAfter(std::chrono::microseconds(500));
            loop.RunUntil(written);
            const auto done = std::chrono::steady_clock::now();
            state.SetIterationTime(std::chrono::duration<double>(done - line.SentAt()).count());
        }
        if (form.State() != Awaiting::ReadBlock0Done)
            state.SkipWithError("the step did not move to the next state");
    } catch (const std::exception& e) {
        SkipWithError(state, e);
    }
}
BENCHMARK(BM_StepThroughReceiveThread)
    ->Iterations(1000)
    ->UseManualTime()
    ->Unit(benchmark::kMicrosecond);

// ---- the whole read ---------------------------------------------------------
//
// The operator presses "Read From QUORVEX"; the unit answers every request
// at once; the "Read Complete" box is answered by script. Timed from the
// press until the box has been shown, the state is back to 0 and the main
// thread has handled what was left pending (the window's repaints). The
// first press of a run, which also finds and opens the unit, is not timed.
// The log is cleared every 64 presses (192 lines), untimed.

// One press of `button` and the main thread's work until `completed` holds
// and nothing is left pending. Kept out of line so that a profiler can
// collect this alone (valgrind --toggle-collect='*PressAndFinish*').
[[gnu::noinline]] void PressAndFinish(QPushButton* button, MainLoop& loop, const std::function<bool()>& completed)
{
    button->click();
    loop.RunUntil(completed);
    Flush();
}

// The window with one unit, its buttons and a scripted end of each exchange.
struct ExchangeBench : Bench {
    explicit ExchangeBench(bool shown, const QString& buttonName, const QString& lastBox) : Bench(shown), box(lastBox)
    {
        button = h.Form->findChild<QPushButton*>(buttonName);
        clearButton = h.Form->findChild<QPushButton*>(QStringLiteral("ClearButton"));
        if (!button || !clearButton)
            throw std::runtime_error("no such button");
        completed = [this] {
            return h.Form->State() == Awaiting::Nothing && !h.Dialogs.Boxes.empty() && h.Dialogs.Boxes.back().Text == box;
        };
    }

    void Press()
    {
        PressAndFinish(button, loop, completed);
        if (h.Dialogs.BoxTexts() != std::vector<QString>{box})
            throw std::runtime_error("the exchange did not end in \"" + box.toStdString() + "\" alone");
        h.Dialogs.Boxes.clear();
    }

    // Empties the log every 64 presses, as the operator's "Clear" does, so
    // that a run does not time an ever longer log.
    void ClearLogNow(benchmark::State& state, std::int64_t presses)
    {
        if (presses % 64 != 0)
            return;
        state.PauseTiming();
        clearButton->click();
        Flush();
        state.ResumeTiming();
    }

    QString box;
    QPushButton* button = nullptr;
    QPushButton* clearButton = nullptr;
    MainLoop loop;
    std::function<bool()> completed;
};

void BM_WholeReadExchange(benchmark::State& state)
{
    try {
        ExchangeBench b(state.range(0) != 0, QStringLiteral("ReadButton"), QStringLiteral("Read Complete"));
        b.Press(); // links to the unit

        std::int64_t reads = 0;
        double cpu = 0;
        for (auto _ : state) {
            const double before = ThreadCpuMicroseconds();
            b.Press();
            cpu += ThreadCpuMicroseconds() - before;
            b.ClearLogNow(state, ++reads);
        }
        state.counters["main_cpu_us"] = benchmark::Counter(cpu, benchmark::Counter::kAvgIterations);
        // Six requests per read, the first one included.
        if (b.unit->ReceivedCount() != std::size_t(6 * (reads + 1)))
            state.SkipWithError("a read did not send exactly six requests");
    } catch (const std::exception& e) {
        SkipWithError(state, e);
    }
}
BENCHMARK(BM_WholeReadExchange)
    ->ArgName("shown")
    ->Arg(1)
    ->Arg(0)
    ->UseRealTime()
    ->Unit(benchmark::kMicrosecond);

// ---- at the pace of a full-speed USB link -----------------------------------
//
// The unit takes requests and sends replies in the link's 1 ms frames (the
// model is described at SimulatedUnit::SetUsbTiming). Each press falls at
// a random point of a frame, as an operator's does; the floor of that press
// is the time from it to the last reply becoming readable had the tool
// taken no time at all: from the press to the next frame boundary, 1 ms
// for the first reply and 2 ms for each further round trip. Timed from the
// press to the closing box ("Read Complete" after six round trips,
// "Download Complete" after seven). Counters: floor_ms (the mean floor),
// ratio (the time taken over the floor, all presses of the run together),
// worst_ratio (the slowest press of the run) and main_cpu_us (the main
// thread's CPU time per press). The first press, which links to the unit,
// is not timed.

void BM_AtUsbTiming(benchmark::State& state, bool write)
{
    const int roundTrips = write ? 7 : 6;
    try {
        ExchangeBench b(true, write ? QStringLiteral("WriteButton") : QStringLiteral("ReadButton"),
                        write ? QStringLiteral("Download Complete") : QStringLiteral("Read Complete"));
        b.unit->SetUsbTiming(true);
        Clock::time_point boxAt{};
        b.h.Dialogs.OnBox = [&](const ShownBox&) { boxAt = Clock::now(); };
        b.Press(); // links to the unit

        std::mt19937 random(1);
        std::uniform_int_distribution<int> phaseUs(0, 999);
        double taken = 0, floor = 0, worst = 0, cpu = 0;
        std::int64_t presses = 0;
        for (auto _ : state) {
            // A press at a random point of a frame.
            std::this_thread::sleep_until(SimulatedUnit::UsbFrameAfter(Clock::now())
                                          + std::chrono::microseconds(phaseUs(random)));
            const double cpuBefore = ThreadCpuMicroseconds();
            const Clock::time_point pressAt = Clock::now();
            b.Press();
            cpu += ThreadCpuMicroseconds() - cpuBefore;
            const Clock::time_point floorEnd =
                SimulatedUnit::UsbFrameAfter(pressAt) + SimulatedUnit::kUsbFrame * (2 * roundTrips - 1);
            const double t = std::chrono::duration<double>(boxAt - pressAt).count();
            const double f = std::chrono::duration<double>(floorEnd - pressAt).count();
            state.SetIterationTime(t);
            taken += t;
            floor += f;
            worst = std::max(worst, t / f);
            b.ClearLogNow(state, ++presses);
        }
        state.counters["floor_ms"] = benchmark::Counter(floor * 1e3, benchmark::Counter::kAvgIterations);
        state.counters["ratio"] = floor > 0 ? taken / floor : 0;
        state.counters["worst_ratio"] = worst;
        state.counters["main_cpu_us"] = benchmark::Counter(cpu, benchmark::Counter::kAvgIterations);
        if (b.unit->ReceivedCount() != std::size_t(roundTrips * (presses + 1)))
            state.SkipWithError("an exchange did not send exactly its requests");
    } catch (const std::exception& e) {
        SkipWithError(state, e);
    }
}
BENCHMARK_CAPTURE(BM_AtUsbTiming, read, false)->Iterations(100)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_AtUsbTiming, write, true)->Iterations(100)->UseManualTime()->Unit(benchmark::kMillisecond);

// ---- where the whole read's time goes ---------------------------------------
//
// A read shows the record twice (states 19 and 20), sets the MAC field and
// adds three lines to the log.

void BM_ConfigToForm(benchmark::State& state)
{
    const bool changing = state.range(0) != 0;
    try {
        Bench b;
        TMainForm& form = *b.form;
        ConfigRecord defaults{};
        SetDefaults(defaults);
        const ConfigRecord records[2] = {SampleUnitConfig(), defaults};
        MainFormPeer(form).ConfigRecord() = records[0];
        form.ConfigToForm();
        Flush();
        std::size_t next = 0;
        for (auto _ : state) {
            if (changing)
                next ^= 1;
            MainFormPeer(form).ConfigRecord() = records[next];
            form.ConfigToForm();
            Flush();
        }
    } catch (const std::exception& e) {
        SkipWithError(state, e);
    }
}
BENCHMARK(BM_ConfigToForm)
    ->ArgName("changed")
    ->Arg(0)
    ->Arg(1)
    ->UseRealTime()
    ->Unit(benchmark::kMicrosecond);

// The log is cleared every 64 lines, untimed. Without the repaint, the
// repaints of all lines are left to the clear.
void BM_Log(benchmark::State& state)
{
    const bool repaint = state.range(0) != 0;
    try {
        Bench b;
        TMainForm& form = *b.form;
        const QString line = QStringLiteral("Data read");
        std::int64_t lines = 0;
        for (auto _ : state) {
            form.Log(line);
            if (repaint)
                Flush();
            if (++lines % 64 == 0) {
                state.PauseTiming();
                form.ClearButtonClick();
                Flush();
                state.ResumeTiming();
            }
        }
    } catch (const std::exception& e) {
        SkipWithError(state, e);
    }
}
BENCHMARK(BM_Log)
    ->ArgName("repaint")
    ->Arg(0)
    ->Arg(1)
    ->UseRealTime()
    ->Unit(benchmark::kMicrosecond);

// One repaint of the log's scroll bar moved by a line, with 40 lines in the
// log. The CPU column is the main thread's.
void BM_LogBarRepaint(benchmark::State& state)
{
    try {
        Bench b;
        auto* log = b.form->findChild<QPlainTextEdit*>(QStringLiteral("LogMemo"));
        if (!log)
            throw std::runtime_error("no log");
        for (int i = 0; i < 40; ++i)
            b.form->Log(QStringLiteral("Data read"));
        Flush();
        QScrollBar* bar = log->verticalScrollBar();
        int value = bar->maximum();
        for (auto _ : state) {
            value = value == bar->maximum() ? bar->maximum() - 1 : bar->maximum();
            {
                const QSignalBlocker logStays(bar); // the bar alone: the log does not scroll
                bar->setValue(value);
            }
            bar->repaint();
        }
    } catch (const std::exception& e) {
        SkipWithError(state, e);
    }
}
BENCHMARK(BM_LogBarRepaint)->UseRealTime()->Unit(benchmark::kMicrosecond);

// The offscreen platform warns each time a window is shown that it cannot
// pass size hints on; nothing here depends on them.
QtMessageHandler previousHandler = nullptr;

void QuietMessages(QtMsgType type, const QMessageLogContext& context, const QString& message)
{
    if (message.contains(QLatin1String("propagateSizeHints")))
        return;
    if (previousHandler)
        previousHandler(type, context, message);
    else
        std::fprintf(stderr, "%s\n", qPrintable(message));
}

} // namespace

int main(int argc, char* argv[])
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    previousHandler = qInstallMessageHandler(QuietMessages);
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
