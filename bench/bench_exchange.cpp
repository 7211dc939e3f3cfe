// How long the tool itself takes over the read exchange. Everything runs
// against the real window (shown, on the offscreen platform), the real
// receive thread and a simulated unit behind the HID layer, so the figures
// are the tool's own cost; the USB link's cost comes on top.
//
//   BM_StepMovesReportsOnly/16..18  one step that only moves reports, called
//                                   directly on the main thread
//   BM_StepThroughReceiveThread     the same step as it really happens: the
//                                   reply arrives on the receive thread, the
//                                   handler runs on the main thread, the next
//                                   request goes out
//   BM_WholeReadExchange            "Read From QUORVEX" from the press to the
//                                   "Read Complete" box and back to state 0
//   BM_ConfigToForm/0, /1           the record shown in the controls: the
//                                   same values again (/0), new values (/1)
//   BM_Log                          one line added to the log
//
// Every figure is the median of 10 runs. Each run builds its own window and
// unit: the simulated unit keeps every request it receives, so a run must
// not go on for ever.

#include "support/UnitHarness.h"

#include <QApplication>
#include <QPushButton>
#include <QTest>

#include <benchmark/benchmark.h>

#include <cstring>
#include <stdexcept>
#include <thread>

using namespace vantrel;

namespace {

constexpr int kRepetitions = 10;

// What the unit under test holds: not the defaults, so that a read changes
// what the window shows.
ConfigRecord UnitConfig()
{
    ConfigRecord r{};
    SetDefaults(r);
    const std::uint8_t ip[4] = {10, 0, 0, 5};
    std::memcpy(r.IPAddr, ip, sizeof ip);
    r.ClientAddr[0] = 172;
    r.ClientAddr[3] = 9;
    r.EnableClient = 1;
    r.UseBroadcast = 1;
    r.Hysteresis[0] = 300;
    r.Hysteresis[7] = 7;
    r.ServerTimeout = 30;
    r.UpdatePeriod = 15;
    r.ClientPort = 502;
    r.InvertInputs[0] = r.InvertInputs[15] = 1;
    r.OutputStartStatus[8] = 1;
    StoreName(r.DeviceName, sizeof r.DeviceName, kDeviceNameChars, "Pump house");
    StoreName(r.EthernetName, sizeof r.EthernetName, 15, "ETH-PUMP-000001");
    return r;
}

// The reply a unit holding UnitConfig() sends to `request`, taken from a
// unit of its own so that the unit under test sees nothing of it.
Report ReplyTo(const Report& request)
{
    auto unit = std::make_shared<SimulatedUnit>();
    unit->StoreConfig(UnitConfig());
    const auto write = unit->Open(HidOpenMode::Write);
    const auto read = unit->Open(HidOpenMode::Read);
    Report reply{};
    if (!write->WriteReport(request.data(), request.size())
        || read->ReadReport(reply.data(), reply.size(), 1000) != int(kReportSize))
        throw std::runtime_error("the simulated unit did not answer");
    return reply;
}

// Lets the main thread wait, as it does in the running program, until
// `done` holds: it sleeps in the event loop until an event is posted.
template <typename Done>
void PumpUntil(Done done)
{
    while (!done())
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
}

// Handles whatever the main thread has pending (repaints, for instance)
// without waiting for more.
void Flush()
{
    QCoreApplication::processEvents(QEventLoop::AllEvents);
}

// The shown window with one unit that holds UnitConfig().
struct Bench {
    Bench()
    {
        unit = h.AddUnit();
        unit->StoreConfig(UnitConfig());
        unit->SetMac({0x00, 0x04, 0xA3, 0xFF, 0x10, 0x0A});
        form = &h.Create();
        if (qEnvironmentVariableIsSet("DIAG_HIDDEN")) return;
        form->show();
        if (!QTest::qWaitForWindowExposed(form))
            throw std::runtime_error("the window did not show");
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
// shown. The report is already in InReport and the handler is called on the
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
        if (form.ExchangeState != step + 1)
            state.SkipWithError("the step did not move to the next state");
    } catch (const std::exception& e) {
        SkipWithError(state, e);
    }
}
// A fixed number of steps per run keeps what the unit stores bounded
// (65 bytes per request).
BENCHMARK(BM_StepMovesReportsOnly)
    ->DenseRange(16, 18)
    ->Iterations(50000)
    ->Repetitions(kRepetitions)
    ->ReportAggregatesOnly(true)
    ->UseRealTime()
    ->Unit(benchmark::kMicrosecond);

// ---- the same step through the receive thread ------------------------------
//
// The reply comes in on the receive thread, which copies it into InReport
// and hands the handler to the main thread; the main thread sleeps in its
// event loop until then, as in the running program. Timed from the reply
// being available to the next request having been written.

void BM_StepThroughReceiveThread(benchmark::State& state)
{
    try {
        Bench b;
        b.LinkWithSilentUnit();
        const Report reply = ReplyTo(Request({0, cmd::ReadBlock, 0}));
        TMainForm& form = *b.form;
        SimulatedUnit& unit = *b.unit;
        for (auto _ : state) {
            form.ExchangeState = 16;
            form.BlockNumber = 0;
            const std::size_t sent = unit.ReceivedCount();
            if (state.range(0)) { state.PauseTiming(); std::this_thread::sleep_for(std::chrono::microseconds(state.range(0))); state.ResumeTiming(); }
            unit.InjectReply(reply);
            PumpUntil([&] { return unit.ReceivedCount() != sent; });
        }
        if (form.ExchangeState != 17)
            state.SkipWithError("the step did not move to the next state");
    } catch (const std::exception& e) {
        SkipWithError(state, e);
    }
}
BENCHMARK(BM_StepThroughReceiveThread)->Arg(0)->Arg(200)->Arg(2000)
    ->Iterations(2000)
    ->Repetitions(kRepetitions)
    ->ReportAggregatesOnly(true)
    ->UseRealTime()
    ->Unit(benchmark::kMicrosecond);

// ---- the whole read ---------------------------------------------------------
//
// The operator presses "Read From QUORVEX"; the unit answers every request
// at once; the "Read Complete" box is answered by script. Timed from the
// press until the box has been shown, the state is back to 0 and the main
// thread has handled what was left pending (the repaints of the window).
// The first press of a run, which also finds and opens the unit, is not
// timed. The log is cleared every so often so that it stays short.

bool ReadCompleted(const UnitHarness& h)
{
    return h.Form->ExchangeState == 0 && !h.Dialogs.Boxes.empty()
           && h.Dialogs.Boxes.back().Text == QStringLiteral("Read Complete");
}

void BM_WholeReadExchange(benchmark::State& state)
{
    try {
        Bench b;
        UnitHarness& h = b.h;
        QPushButton* readButton = h.Form->findChild<QPushButton*>(QStringLiteral("ReadButton"));
        QPushButton* clearButton = h.Form->findChild<QPushButton*>(QStringLiteral("ClearButton"));
        if (!readButton || !clearButton)
            throw std::runtime_error("no Read or Clear button");

        const auto press = [&] {
            readButton->click();
            PumpUntil([&] { return ReadCompleted(h); });
            Flush();
        };
        press(); // links to the unit
        if (h.Dialogs.BoxTexts() != std::vector<QString>{QStringLiteral("Read Complete")})
            throw std::runtime_error("the first read did not complete");

        std::int64_t reads = 0;
        if (qEnvironmentVariableIsSet("DIAG_STEPS")) {
            QElapsedTimer t;
            std::vector<std::pair<int, qint64>> marks;
            for (int k = 0; k < 5; ++k) {
                marks.clear();
                t.start();
                readButton->click();
                int last = -1;
                marks.push_back({h.Form->ExchangeState, t.nsecsElapsed()});
                while (!ReadCompleted(h)) {
                    QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
                    if (h.Form->ExchangeState != last) { last = h.Form->ExchangeState; marks.push_back({last, t.nsecsElapsed()}); }
                }
                marks.push_back({-1, t.nsecsElapsed()});
                Flush();
                marks.push_back({-2, t.nsecsElapsed()});
                h.Dialogs.Boxes.clear();
                for (auto& m : marks) fprintf(stderr, "%d@%lld ", m.first, (long long)m.second/1000);
                fprintf(stderr, "\n");
            }
        }
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
        // Six requests per read, the first read included.
        if (b.unit->ReceivedCount() != std::size_t(6 * (reads + 1)))
            state.SkipWithError("a read did not send exactly six requests");
    } catch (const std::exception& e) {
        SkipWithError(state, e);
    }
}
BENCHMARK(BM_WholeReadExchange)
    ->Repetitions(kRepetitions)
    ->ReportAggregatesOnly(true)
    ->UseRealTime()
    ->Unit(benchmark::kMicrosecond);

// ---- where the whole read's time goes ---------------------------------------
//
// A read shows the record twice (states 19 and 20) and adds one line to the
// log. Each is timed with the repaints it causes.

void BM_ConfigToForm(benchmark::State& state)
{
    const bool changing = state.range(0) != 0;
    try {
        Bench b;
        TMainForm& form = *b.form;
        ConfigRecord defaults{};
        SetDefaults(defaults);
        const ConfigRecord records[2] = {UnitConfig(), defaults};
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

void BM_Log(benchmark::State& state)
{
    try {
        Bench b;
        TMainForm& form = *b.form;
        const QString line = QStringLiteral("Data read");
        std::int64_t lines = 0;
        for (auto _ : state) {
            form.Log(line);
            if (state.range(0) != 0)
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

} // namespace

int main(int argc, char* argv[])
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
