// What the receive thread costs while nothing happens, how long it takes to
// stop, and how long the hand-over of a report to the main thread takes
// while every core is busy. Everything runs against the real window (not
// shown, offscreen platform), the real receive thread and a simulated unit
// behind the HID layer.
//
//   BM_IdleWakeUps/hidraw:H         a link stands open and no exchange runs:
//                                   how often the receive thread wakes
//                                   (its context switches) and how much CPU
//                                   it uses, per second, over 3 s
//   BM_StopIdleReceiveThread        StopAndJoin on a receive thread that
//                                   waits in its read
//   BM_CloseWindowWithIdleLink/hidraw:H
//                                   the window destroyed while its link
//                                   stands idle, as closing does
//
// hidraw:0 links to the simulated unit; hidraw:1 to a real unit through
// hidapi and the kernel's hidraw node (quorvex-virtual-unit inside the
// virtual machine; elsewhere these runs end with "no QUORVEX unit").
//   BM_HandOverUnderLoad/priority:P/busy:B
//                                   the unit's reply handed in until the
//                                   report handler has run on the main
//                                   thread and written the next request,
//                                   with the receive thread started at
//                                   QThread priority P (0 idle, 1 lowest)
//                                   and B threads spinning at normal
//                                   priority meanwhile
//
// Figures are medians over the repetitions. The hand-over runs also report
// the median, 90th percentile and largest single hand-over of each
// repetition as counters (p50_us, p90_us, max_us) and the scheduling policy
// the thread really ran under (policy: 0 normal, 5 idle).

#include "device/HidapiBackend.h"
#include "app/Port1Comms.h"
#include "MainLoop.h"
#include "ReplyLine.h"
#include "support/UnitHarness.h"

#include <QAbstractEventDispatcher>
#include <QApplication>
#include <QThread>

#include <benchmark/benchmark.h>

#include <sched.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <fstream>
#include <mutex>
#include <set>
#include <sstream>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include <dirent.h>

using namespace vantrel;
using Clock = std::chrono::steady_clock;

namespace {

constexpr int kRepetitions = 5;

// ---- the threads of this process, from /proc --------------------------------

std::set<int> Tasks()
{
    std::set<int> tids;
    if (DIR* dir = opendir("/proc/self/task")) {
        while (const dirent* entry = readdir(dir))
            if (entry->d_name[0] != '.')
                tids.insert(std::stoi(entry->d_name));
        closedir(dir);
    }
    return tids;
}

// The one thread that `start` brought into being.
int NewTask(const std::set<int>& before)
{
    std::vector<int> added;
    for (int tid : Tasks())
        if (!before.count(tid))
            added.push_back(tid);
    if (added.size() != 1)
        throw std::runtime_error("expected exactly one new thread, found " + std::to_string(added.size()));
    return added.front();
}

struct TaskCounters {
    long long voluntarySwitches = 0;
    long long involuntarySwitches = 0;
    long long cpuNs = 0;
};

TaskCounters ReadCounters(int tid)
{
    TaskCounters c;
    const std::string dir = "/proc/self/task/" + std::to_string(tid);
    std::ifstream status(dir + "/status");
    for (std::string line; std::getline(status, line);) {
        std::istringstream fields(line);
        std::string key;
        long long value = 0;
        fields >> key >> value;
        if (key == "voluntary_ctxt_switches:")
            c.voluntarySwitches = value;
        else if (key == "nonvoluntary_ctxt_switches:")
            c.involuntarySwitches = value;
    }
    std::ifstream schedstat(dir + "/schedstat");
    schedstat >> c.cpuNs;
    if (!status.is_open() || !schedstat)
        throw std::runtime_error("cannot read " + dir);
    return c;
}

// ---- the window, a silent unit and the main loop ----------------------------

// The window with one unit that answers nothing by itself.
struct Bench {
    Bench()
    {
        unit = h.AddUnit();
        unit->StopAnsweringAfter(0);
        form = &h.Create();
    }

    // The window linked to the unit as a press links it: the simulated one,
    // or (hidraw) a real one through hidapi.
    static std::unique_ptr<Bench> Linked(bool hidraw, int* tid)
    {
        auto b = std::make_unique<Bench>();
        if (hidraw) {
            b->hidapi = std::make_unique<HidapiBackend>();
            b->hidapiHarness = std::make_unique<FormHarness>(b->hidapi.get());
            b->form = &b->hidapiHarness->Create();
        }
        const std::set<int> before = Tasks();
        if (!b->form->ConnectToUnit())
            throw std::runtime_error(hidraw ? "no QUORVEX unit through hidapi (run it in the virtual machine: see "
                                              "docs/performance.md)"
                                            : "no link to the simulated unit");
        if (tid)
            *tid = NewTask(before);
        return b;
    }

    // Destroys the linked window, as closing does.
    void CloseWindow()
    {
        if (hidapiHarness)
            hidapiHarness->Form.reset();
        else
            h.Form.reset();
    }

    // Opens both ends as a press does, without starting a receive thread.
    void OpenHandles()
    {
        MainFormPeer peer(*form);
        peer.DeviceWriteHandle() = unit->Open(HidOpenMode::Write);
        peer.DeviceReadHandle() = unit->Open(HidOpenMode::Read);
        if (!peer.DeviceWriteHandle() || !peer.DeviceReadHandle())
            throw std::runtime_error("cannot open the simulated unit");
    }

    // A receive thread of its own on the window's link, started at
    // `priority`; the window's own link stays closed.
    std::unique_ptr<Port1Comms> StartThread(QThread::Priority priority, int* tid = nullptr)
    {
        MainFormPeer(*form).DeviceFound() = true;
        const std::set<int> before = Tasks();
        auto thread = MainFormPeer(*form).MakeReceiveThread();
        thread->start(priority);
        if (tid)
            *tid = NewTask(before);
        return thread;
    }

    UnitHarness h;
    std::shared_ptr<SimulatedUnit> unit;
    std::unique_ptr<HidapiBackend> hidapi;
    std::unique_ptr<FormHarness> hidapiHarness;
    TMainForm* form = nullptr;
};

void SkipWithError(benchmark::State& state, const std::exception& e)
{
    state.SkipWithError(e.what());
    for (auto _ : state) {
    }
}

// ---- idle -------------------------------------------------------------------

void BM_IdleWakeUps(benchmark::State& state)
{
    constexpr auto kIdle = std::chrono::seconds(3);
    try {
        int tid = 0;
        const auto b = Bench::Linked(state.range(0) != 0, &tid);
        std::this_thread::sleep_for(std::chrono::milliseconds(200)); // settled in its read
        for (auto _ : state) {
            const TaskCounters start = ReadCounters(tid);
            const auto t0 = Clock::now();
            std::this_thread::sleep_for(kIdle);
            const TaskCounters end = ReadCounters(tid);
            const double seconds = std::chrono::duration<double>(Clock::now() - t0).count();
            state.SetIterationTime(seconds);
            state.counters["wakeups_per_s"] =
                double(end.voluntarySwitches - start.voluntarySwitches + end.involuntarySwitches
                       - start.involuntarySwitches)
                / seconds;
            state.counters["cpu_us_per_s"] = double(end.cpuNs - start.cpuNs) / 1000.0 / seconds;
        }
    } catch (const std::exception& e) {
        SkipWithError(state, e);
    }
}
BENCHMARK(BM_IdleWakeUps)
    ->ArgName("hidraw")
    ->Arg(0)
    ->Arg(1)
    ->Iterations(1)
    ->Repetitions(kRepetitions)
    ->ReportAggregatesOnly(true)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

// ---- closing ------------------------------------------------------------------

void BM_StopIdleReceiveThread(benchmark::State& state)
{
    try {
        Bench b;
        b.OpenHandles();
        for (auto _ : state) {
            auto thread = b.StartThread(QThread::LowestPriority);
            std::this_thread::sleep_for(std::chrono::milliseconds(30)); // waiting in its read
            const auto t0 = Clock::now();
            thread->StopAndJoin();
            state.SetIterationTime(std::chrono::duration<double>(Clock::now() - t0).count());
        }
    } catch (const std::exception& e) {
        SkipWithError(state, e);
    }
}
BENCHMARK(BM_StopIdleReceiveThread)
    ->Iterations(20)
    ->Repetitions(kRepetitions)
    ->ReportAggregatesOnly(true)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

void BM_CloseWindowWithIdleLink(benchmark::State& state)
{
    const bool hidraw = state.range(0) != 0;
    for (auto _ : state) {
        std::unique_ptr<Bench> b;
        try {
            b = Bench::Linked(hidraw, nullptr);
        } catch (const std::exception& e) {
            state.SkipWithError(e.what());
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(30)); // waiting in its read
        const auto t0 = Clock::now();
        b->CloseWindow();
        state.SetIterationTime(std::chrono::duration<double>(Clock::now() - t0).count());
    }
}
BENCHMARK(BM_CloseWindowWithIdleLink)
    ->ArgName("hidraw")
    ->Arg(0)
    ->Arg(1)
    ->Iterations(20)
    ->Repetitions(kRepetitions)
    ->ReportAggregatesOnly(true)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

// ---- the hand-over while every core is busy -----------------------------------

// Threads at normal priority that keep every core busy while they live.
class BusyLoad {
public:
    explicit BusyLoad(int threads)
    {
        for (int i = 0; i < threads; ++i)
            threads_.emplace_back([this] {
                unsigned long long n = 0;
                while (!stop_.load(std::memory_order_relaxed))
                    benchmark::DoNotOptimize(++n);
            });
    }
    ~BusyLoad()
    {
        stop_ = true;
        for (std::thread& t : threads_)
            t.join();
    }
    BusyLoad(const BusyLoad&) = delete;
    BusyLoad& operator=(const BusyLoad&) = delete;

private:
    std::atomic<bool> stop_{false};
    std::vector<std::thread> threads_;
};


double Percentile(std::vector<double> samples, double p)
{
    std::sort(samples.begin(), samples.end());
    return samples[std::min(samples.size() - 1, std::size_t(p * double(samples.size() - 1) + 0.5))];
}

// The reply to 'r' 0 is taken in state 16, which writes 'R' 0; the handler
// has run when that request has reached the unit.
void BM_HandOverUnderLoad(benchmark::State& state)
{
    const auto priority = QThread::Priority(state.range(0));
    const int busy = int(state.range(1));
    try {
        Bench b;
        b.OpenHandles();
        int tid = 0;
        auto thread = b.StartThread(priority, &tid);
        TMainForm& form = *b.form;
        SimulatedUnit& unit = *b.unit;
        Report reply{};
        reply[1] = 'r';
        ReplyLine line(unit, reply);
        MainLoop loop;
        BusyLoad load(busy);
        std::size_t sent = 0;
        const std::function<bool()> written = [&] { return unit.ReceivedCount() != sent; };
        std::vector<double> samples;
        for (auto _ : state) {
            MainFormPeer(form).ExchangeState() = Awaiting::ReadBlock0;
            MainFormPeer(form).BlockNumber() = 0;
            sent = unit.ReceivedCount();
            line.SendAfter(std::chrono::microseconds(1000));
            if (!loop.RunUntil(written, std::chrono::seconds(20))) {
                state.SkipWithError("no hand-over within 20 s");
                break;
            }
            const double took = std::chrono::duration<double>(Clock::now() - line.SentAt()).count();
            samples.push_back(took * 1e6);
            state.SetIterationTime(took);
        }
        if (!samples.empty()) {
            state.counters["p50_us"] = Percentile(samples, 0.5);
            state.counters["p90_us"] = Percentile(samples, 0.9);
            state.counters["max_us"] = Percentile(samples, 1.0);
        }
        // Qt may set the priority from within the thread once it runs.
        state.counters["policy"] = sched_getscheduler(tid);
        thread->StopAndJoin();
    } catch (const std::exception& e) {
        SkipWithError(state, e);
    }
}
BENCHMARK(BM_HandOverUnderLoad)
    ->ArgNames({"priority", "busy"})
    ->ArgsProduct({{QThread::IdlePriority, QThread::LowestPriority}, {0, 3}})
    ->Iterations(200)
    ->Repetitions(kRepetitions)
    ->ReportAggregatesOnly(true)
    ->UseManualTime()
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
