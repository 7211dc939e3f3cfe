// The bench loop's own cost: `vantrel-cli commission` of 100 units in a row
// against simulated units that answer at once, so the time measured is the
// tool's (finding the unit, the write, the MAC address with the allocation
// file rewritten, the read-back and its check, the record line) and none
// of it is waiting for the unit. Plugging in and unplugging happen the
// moment the tool looks at the device list.
//
//   BM_Commission100/mac:1  with --mac-next: the MAC allocation file is
//                           rewritten and flushed to the disk per unit
//   BM_Commission100/mac:0  without it
// per_unit_ms: wall time per unit; per_unit_cpu_ms: the process's CPU time
// per unit.
//
// Against a real unit each unit also waits for the link's floor: the
// write's seven round trips, the MAC address and the read-back.
//
//   BM_ParallelAtUsbTiming/mac:1|0  commission --parallel of eight units
//                           plugged in at once against one unit alone, at
//                           full-speed USB timing (each unit on a link of
//                           its own), with / without --mac-next.
// one_unit_ms, eight_units_ms: wall time of a run, from the start of the
// command to its end; ratio: eight over one; cpu_per_unit_ms: the
// process's CPU time over the eight-unit run, per unit. The files are in a
// temporary folder (TMPDIR): each lock file and the allocation file's
// rewrite are flushed to the disk, which a folder in memory makes free.
// Figures: docs/performance.md.

#include "cli/Cli.h"
#include "config/ConfigJson.h"
#include "unit/SimulatedUnit.h"

#include <QCoreApplication>
#include <QFile>
#include <QTemporaryDir>
#include <QTextStream>

#include <benchmark/benchmark.h>

#include <time.h>

#include <chrono>

namespace {

constexpr int kUnits = 100;

double ProcessCpuSeconds()
{
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return double(t.tv_sec) + double(t.tv_nsec) / 1e9;
}

void Write(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size())
        throw std::runtime_error("cannot write " + path.toStdString());
}

// A bench's folder: the site's configuration (the factory one) and a MAC
// allocation file.
struct BenchFolder {
    BenchFolder()
    {
        vantrel::ConfigRecord config{};
        vantrel::SetDefaults(config);
        Write(Site, vantrel::ConfigToJson(vantrel::ConfigDocument{config, {}}));
        Write(MacFile, QByteArrayLiteral("00\r\n10\r\n01\r\nA3\r\n04\r\n00\r\n"));
    }
    QTemporaryDir Dir;
    QString Site = Dir.filePath(QStringLiteral("site.json"));
    QString MacFile = Dir.filePath(QStringLiteral("SetFullMACAddress.txt"));
};

void BM_Commission100(benchmark::State& state)
{
    double wall = 0, cpu = 0;
    for (auto _ : state) {
        state.PauseTiming();
        const BenchFolder folder;
        const QTemporaryDir& dir = folder.Dir;
        const QString& site = folder.Site;
        const QString& macFile = folder.MacFile;
        vantrel::SimulatedHidBackend hid;
        std::vector<std::shared_ptr<vantrel::SimulatedUnit>> units;
        for (int i = 0; i < kUnits; ++i) {
            vantrel::SimulatedIdentity identity;
            identity.SerialNumber = 5000 + i;
            units.push_back(std::make_shared<vantrel::SimulatedUnit>(identity));
            units.back()->KeepReceived(0);
            units.back()->Unplug();
            hid.Add(units.back());
        }
        QString out, err;
        QTextStream outStream(&out), errStream(&err);
        vantrel::CliContext context{hid, outStream, errStream, macFile};
        std::size_t next = 0;
        context.Sleep = [&](std::chrono::milliseconds) {
            if (next > 0 && units[next - 1]->IsPlugged())
                units[next - 1]->Unplug();
            else if (next < units.size())
                units[next++]->PlugIn();
        };
        context.Now = [] { return QStringLiteral("2026-12-07T10:00:00+01:00"); };
        QStringList args{QStringLiteral("commission"), QStringLiteral("--config"), site,
                               QStringLiteral("--ip-from"), QStringLiteral("192.168.0.10"), QStringLiteral("--count"),
                               QString::number(kUnits), QStringLiteral("--record"),
                               dir.filePath(QStringLiteral("bench.csv"))};
        if (state.range(0) != 0)
            args << QStringLiteral("--mac-next");
        state.ResumeTiming();

        const auto start = std::chrono::steady_clock::now();
        const double cpuStart = ProcessCpuSeconds();
        const int code = vantrel::RunCli(args, context);
        cpu += ProcessCpuSeconds() - cpuStart;
        wall += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();

        state.PauseTiming();
        if (code != 0 || !out.contains(QStringLiteral("Done: 100 commissioned, 0 failed"))) {
            state.SkipWithError(("commission failed: " + err.toStdString()).c_str());
            break;
        }
        state.ResumeTiming();
    }
    const double runs = double(state.iterations());
    state.counters["per_unit_ms"] = wall / runs / kUnits * 1e3;
    state.counters["per_unit_cpu_ms"] = cpu / runs / kUnits * 1e3;
}
BENCHMARK(BM_Commission100)->ArgName("mac")->Arg(1)->Arg(0)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(2.0);

// One run of commission --parallel --count N with N units plugged in from
// the start, at USB timing: wall time and the process's CPU time.
struct ParallelRun {
    double Wall = 0, Cpu = 0;
};

ParallelRun RunParallel(int count, bool macNext, std::string& error)
{
    const BenchFolder folder;
    const QTemporaryDir& dir = folder.Dir;
    const QString& site = folder.Site;
    const QString& macFile = folder.MacFile;
    vantrel::SimulatedHidBackend hid;
    std::vector<std::shared_ptr<vantrel::SimulatedUnit>> units;
    for (int i = 0; i < count; ++i) {
        vantrel::SimulatedIdentity identity;
        identity.SerialNumber = 7000 + i;
        units.push_back(std::make_shared<vantrel::SimulatedUnit>(identity));
        units.back()->KeepReceived(0);
        units.back()->SetUsbTiming(true);
        hid.Add(units.back());
    }
    QString out, err;
    QTextStream outStream(&out), errStream(&err);
    vantrel::CliContext context{hid, outStream, errStream, macFile};
    context.Now = [] { return QStringLiteral("2026-12-07T10:00:00+01:00"); };
    QStringList args{QStringLiteral("commission"), QStringLiteral("--parallel"), QStringLiteral("--config"), site,
                     QStringLiteral("--ip-from"), QStringLiteral("192.168.0.10"), QStringLiteral("--count"),
                     QString::number(count), QStringLiteral("--record"), dir.filePath(QStringLiteral("bench.csv"))};
    if (macNext)
        args << QStringLiteral("--mac-next");

    ParallelRun run;
    const auto start = std::chrono::steady_clock::now();
    const double cpuStart = ProcessCpuSeconds();
    const int code = vantrel::RunCli(args, context);
    run.Cpu = ProcessCpuSeconds() - cpuStart;
    run.Wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    if (code != 0 || !out.contains(QStringLiteral("Done: %1 commissioned, 0 failed").arg(count)))
        error = "commission --parallel failed: " + err.toStdString();
    return run;
}

void BM_ParallelAtUsbTiming(benchmark::State& state)
{
    constexpr int kParallelUnits = 8;
    const bool macNext = state.range(0) != 0;
    double one = 0, eight = 0, cpu = 0;
    std::string error;
    for (auto _ : state) {
        one += RunParallel(1, macNext, error).Wall;
        const ParallelRun run = RunParallel(kParallelUnits, macNext, error);
        eight += run.Wall;
        cpu += run.Cpu;
        if (!error.empty()) {
            state.SkipWithError(error.c_str());
            break;
        }
    }
    const double runs = double(state.iterations());
    state.counters["one_unit_ms"] = one / runs * 1e3;
    state.counters["eight_units_ms"] = eight / runs * 1e3;
    state.counters["ratio"] = eight / one;
    state.counters["cpu_per_unit_ms"] = cpu / runs / kParallelUnits * 1e3;
}
BENCHMARK(BM_ParallelAtUsbTiming)->ArgName("mac")->Arg(1)->Arg(0)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(3.0);

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
