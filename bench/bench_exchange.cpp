// How long the tool itself takes over the read exchange. Everything runs
// against the real window (shown, on the offscreen platform), the real
// receive thread and a simulated unit behind the HID layer, so the figures
// are the tool's own cost; the USB link's time comes on top.
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
//                                   window repainted
//   BM_WholeReadExchange/shown:0    the same with the window hidden: no
//                                   painting
//   BM_ConfigToForm/changed:0, 1    the record shown in the controls and
//                                   repainted: the same values again, new
//                                   values
//   BM_Log/repaint:0, 1             one line added to the log, without and
//                                   with its repaint
//
// Every figure is the median of 10 runs. Each run builds its own window and
// unit: the simulated unit keeps every request it receives (65 bytes each),
// so a run is kept to a bounded number of requests.

#include "support/UnitHarness.h"

#include <QAbstractEventDispatcher>
#include <QApplication>
#include <QPushButton>
#include <QTest>

#include <benchmark/benchmark.h>

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <stdexcept>
#include <thread>

using namespace vantrel;

namespace {

constexpr int kRepetitions = 10;


// The reply a unit holding SampleUnitConfig() sends to `request`, taken from a
// unit of its own so that the unit under test sees nothing of it.
Report ReplyTo(const Report& request)
{
    auto unit = std::make_shared<SimulatedUnit>();
    unit->StoreConfig(SampleUnitConfig());
    const auto write = unit->Open(HidOpenMode::Write);
    const auto read = unit->Open(HidOpenMode::Read);
    Report reply{};
    if (!write->WriteReport(request.data(), request.size())
        || read->ReadReport(reply.data(), reply.size(), 1000) != int(kReportSize))
        throw std::runtime_error("the simulated unit did not answer");
    return reply;
}

// Runs the main thread's event loop until `done` holds, sleeping while
// there is nothing to do, as the running program does between reports.
// Some event dispatchers handle what is pending and then wait for more
// within one call; they are told not to wait once `done` holds.
class MainLoop {
public:
    MainLoop()
    {
        QAbstractEventDispatcher* dispatcher = QAbstractEventDispatcher::instance();
        connection_ = QObject::connect(dispatcher, &QAbstractEventDispatcher::aboutToBlock, [this, dispatcher] {
            if (done_ && (*done_)())
                dispatcher->interrupt();
        });
    }
    ~MainLoop() { QObject::disconnect(connection_); }
    MainLoop(const MainLoop&) = delete;
    MainLoop& operator=(const MainLoop&) = delete;

    void RunUntil(const std::function<bool()>& done)
    {
        done_ = &done;
        while (!done())
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
        done_ = nullptr;
    }

private:
    const std::function<bool()>* done_ = nullptr;
    QMetaObject::Connection connection_;
};

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
    const int step = int(state.range(0));
    try {
        Bench b;
        b.LinkWithSilentUnit();
        // The reply each state takes: 'r' 0, 'R' 0, 'r' 1.
        const Report reply = step == 16   ? ReplyTo(Request({0, cmd::ReadBlock, 0}))
                             : step == 17 ? ReplyTo(Request({0, cmd::ReadBlockDone, 0}))
                                          : ReplyTo(Request({0, cmd::ReadBlock, 1}));
        const std::uint8_t block = step == 18 ? 1 : 0;
        TMainForm& form = *b.form;
        const std::size_t before = b.unit->ReceivedCount();
        for (auto _ : state) {
            form.ExchangeState = step;
            form.BlockNumber = block;
            form.InReport = reply;
            form.HandleInReport();
            benchmark::DoNotOptimize(form.OutReport);
        }
        if (b.unit->ReceivedCount() - before != std::size_t(state.iterations()))
            state.SkipWithError("not every step wrote its request");
        else if (form.ExchangeState != step + 1)
            state.SkipWithError("the step did not move to the next state");
    } catch (const std::exception& e) {
        SkipWithError(state, e);
    }
}
BENCHMARK(BM_StepMovesReportsOnly)
    ->DenseRange(16, 18)
    ->Iterations(50000)
    ->Repetitions(kRepetitions)
    ->ReportAggregatesOnly(true)
    ->UseRealTime()
    ->Unit(benchmark::kMicrosecond);

// ---- the same step through the receive thread ------------------------------
//
// Stands for the USB link: hands the unit's reply in from a thread of its
// own once the receive thread waits in its read and the main thread sleeps
// in its event loop, and notes when.
class ReplyLine {
public:
    ReplyLine(SimulatedUnit& unit, const Report& reply) : unit_(unit), reply_(reply), thread_([this] { Run(); }) {}
    ~ReplyLine()
    {
        {
            std::lock_guard lock(mutex_);
            stop_ = true;
        }
        changed_.notify_all();
        thread_.join();
    }
    ReplyLine(const ReplyLine&) = delete;
    ReplyLine& operator=(const ReplyLine&) = delete;

    // The reply arrives `idle` from now; returns at once.
    void SendAfter(std::chrono::microseconds idle)
    {
        {
            std::lock_guard lock(mutex_);
            idle_ = idle;
            armed_ = true;
        }
        changed_.notify_all();
    }

    // When the last reply was handed in.
    std::chrono::steady_clock::time_point SentAt() const
    {
        std::lock_guard lock(mutex_);
        return sentAt_;
    }

private:
    void Run()
    {
        std::unique_lock lock(mutex_);
        for (;;) {
            changed_.wait(lock, [this] { return armed_ || stop_; });
            if (stop_)
                return;
            armed_ = false;
            const auto idle = idle_;
            lock.unlock();
            std::this_thread::sleep_for(idle);
            const auto now = std::chrono::steady_clock::now();
            lock.lock();
            sentAt_ = now;
            lock.unlock();
            unit_.InjectReply(reply_);
            lock.lock();
        }
    }

    SimulatedUnit& unit_;
    const Report reply_;
    mutable std::mutex mutex_;
    std::condition_variable changed_;
    std::chrono::microseconds idle_{0};
    std::chrono::steady_clock::time_point sentAt_{};
    bool armed_ = false;
    bool stop_ = false;
    std::thread thread_; // last: starts once the rest is set up
};

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
            form.ExchangeState = 16;
            form.BlockNumber = 0;
            sent = unit.ReceivedCount();
            line.SendAfter(std::chrono::microseconds(500));
            loop.RunUntil(written);
            const auto done = std::chrono::steady_clock::now();
            state.SetIterationTime(std::chrono::duration<double>(done - line.SentAt()).count());
        }
        if (form.ExchangeState != 17)
            state.SkipWithError("the step did not move to the next state");
    } catch (const std::exception& e) {
        SkipWithError(state, e);
    }
}
BENCHMARK(BM_StepThroughReceiveThread)
    ->Iterations(1000)
    ->Repetitions(kRepetitions)
    ->ReportAggregatesOnly(true)
    ->UseManualTime()
    ->Unit(benchmark::kMicrosecond);

// ---- the whole read ---------------------------------------------------------
//
// The operator presses "Read From QUORVEX"; the unit answers every request
// at once; the "Read Complete" box is answered by script. Timed from the
// press until the box has been shown, the state is back to 0 and the main
// thread has handled what was left pending (the window's repaints). The
// first press of a run, which also finds and opens the unit, is not timed.
// The log is cleared every 64 reads (192 lines), untimed.

void BM_WholeReadExchange(benchmark::State& state)
{
    try {
        Bench b(state.range(0) != 0);
        UnitHarness& h = b.h;
        QPushButton* readButton = h.Form->findChild<QPushButton*>(QStringLiteral("ReadButton"));
        QPushButton* clearButton = h.Form->findChild<QPushButton*>(QStringLiteral("ClearButton"));
        if (!readButton || !clearButton)
            throw std::runtime_error("no Read or Clear button");

        MainLoop loop;
        const std::function<bool()> completed = [&] {
            return h.Form->ExchangeState == 0 && !h.Dialogs.Boxes.empty()
                   && h.Dialogs.Boxes.back().Text == QStringLiteral("Read Complete");
        };
        const auto press = [&] {
            readButton->click();
            loop.RunUntil(completed);
            Flush();
        };
        press(); // links to the unit
        if (h.Dialogs.BoxTexts() != std::vector<QString>{QStringLiteral("Read Complete")})
            throw std::runtime_error("the first read did not complete");
        h.Dialogs.Boxes.clear();

        std::int64_t reads = 0;
        for (auto _ : state) {
            press();
            h.Dialogs.Boxes.clear();
            if (++reads % 64 == 0) {
                state.PauseTiming();
                clearButton->click();
                Flush();
                state.ResumeTiming();
            }
        }
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
    ->Repetitions(kRepetitions)
    ->ReportAggregatesOnly(true)
    ->UseRealTime()
    ->Unit(benchmark::kMicrosecond);

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
        form.ConfigRecord = records[0];
        form.ConfigToForm();
        Flush();
        std::size_t next = 0;
        for (auto _ : state) {
            if (changing)
                next ^= 1;
            form.ConfigRecord = records[next];
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
    ->Repetitions(kRepetitions)
    ->ReportAggregatesOnly(true)
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
    ->Repetitions(kRepetitions)
    ->ReportAggregatesOnly(true)
    ->UseRealTime()
    ->Unit(benchmark::kMicrosecond);

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
