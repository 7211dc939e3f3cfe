// Several benches on one MAC allocation file and one commissioning record,
// as on a shared folder: processes that run the bench loop at the same
// time, each against a simulated unit of its own.

#include "cli/Cli.h"
#include "cli/CommissionRecord.h"
#include "config/DataFile.h"
#include "support/UnitHarness.h"

#include <QCoreApplication>
#include <QProcess>
#include <QSet>
#include <QTextStream>

#include <gtest/gtest.h>

#include <memory>

using namespace vantrel;

namespace {

constexpr int kBenches = 4;
constexpr int kUnitsEach = 25;
const char kBenchDir[] = "VANTREL_BENCH_DIR";
const char kBenchIndex[] = "VANTREL_BENCH_INDEX";

} // namespace

// One bench: `commission --mac-next` of kUnitsEach units, one after the
// other. Run by the test below in processes of its own; skipped otherwise.
TEST(SharedFilesBench, OneBench)
{
    if (!qEnvironmentVariableIsSet(kBenchDir))
        GTEST_SKIP() << "a bench of SharedFiles.BenchesAtOnceNeverGiveAnAddressTwice";
    const QDir dir(qEnvironmentVariable(kBenchDir));
    const int bench = qEnvironmentVariableIntValue(kBenchIndex);

    SimulatedHidBackend backend;
    int plugged = 0;
    std::shared_ptr<SimulatedUnit> unit;
    const auto plugNext = [&] {
        SimulatedIdentity identity;
        identity.SerialNumber = bench * 1000 + ++plugged;
        unit = std::make_shared<SimulatedUnit>(identity);
        backend.Add(unit);
    };
    plugNext();
    QString out, err;
    QTextStream outStream(&out), errStream(&err);
    CliContext context{backend, outStream, errStream, dir.filePath(QStringLiteral("SetFullMACAddress.txt"))};
    context.PollInterval = std::chrono::milliseconds(0);
    // The operator: unplugs the unit once asked, then plugs in the next.
    context.Sleep = [&](std::chrono::milliseconds) {
        if (unit->IsPlugged())
            unit->Unplug();
        else
            plugNext();
    };
    context.Now = [] { return QStringLiteral("2026-12-07T10:00:00+01:00"); };
    const int code = RunCli({QStringLiteral("commission"), QStringLiteral("--config"), dir.filePath(QStringLiteral("site.dat")),
                             QStringLiteral("--ip-from"), QStringLiteral("10.0.%1.1").arg(bench),
                             QStringLiteral("--count"), QString::number(kUnitsEach), QStringLiteral("--mac-next"),
                             QStringLiteral("--record"), dir.filePath(QStringLiteral("record.csv"))},
                            context);
    EXPECT_EQ(code, 0) << out.toStdString() << err.toStdString();
}

TEST(SharedFiles, BenchesAtOnceNeverGiveAnAddressTwice)
{
    QTemporaryDir dir;
    WriteFile(dir.filePath(QStringLiteral("SetFullMACAddress.txt")), "00\r\n00\r\n01\r\nA3\r\n04\r\n00\r\n");
    ConfigRecord site{};
    SetDefaults(site);
    site.DHCPEnable = 0;
    const DataFileImage image = EncodeDataFile(site);
    WriteFile(dir.filePath(QStringLiteral("site.dat")),
              QByteArray(reinterpret_cast<const char*>(image.data()), qsizetype(image.size())));

    std::vector<std::unique_ptr<QProcess>> benches;
    for (int i = 1; i <= kBenches; ++i) {
        auto process = std::make_unique<QProcess>();
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QString::fromLatin1(kBenchDir), dir.path());
        env.insert(QString::fromLatin1(kBenchIndex), QString::number(i));
        process->setProcessEnvironment(env);
        process->setProcessChannelMode(QProcess::MergedChannels);
        process->start(QCoreApplication::applicationFilePath(),
                       {QStringLiteral("--gtest_filter=SharedFilesBench.OneBench")});
        benches.push_back(std::move(process));
    }
    for (auto& process : benches) {
        ASSERT_TRUE(process->waitForFinished(120000));
        EXPECT_EQ(process->exitCode(), 0) << process->readAll().toStdString();
    }

    // Every unit has a whole line and an address of its own; the file moved
    // on by exactly the addresses given.
    // The header, two lines a unit (before its erase, and how it went),
    // nothing after the last break.
    const QList<QByteArray> lines = ReadFile(dir.filePath(QStringLiteral("record.csv"))).split('\n');
    ASSERT_EQ(lines.size(), 1 + 2 * kBenches * kUnitsEach + 1);
    EXPECT_EQ(lines[0] + '\n', QByteArray(kCommissionHeader));
    EXPECT_TRUE(lines.last().isEmpty());
    QSet<QByteArray> macs, serials;
    for (qsizetype i = 1; i + 1 < lines.size(); ++i) {
        const QList<QByteArray> fields = lines[i].split(',');
        ASSERT_EQ(fields.size(), 11) << lines[i].toStdString();
        if (fields[5] == "in progress")
            continue;
        EXPECT_EQ(fields[5] + ',' + fields[6], "commissioned,confirmed") << lines[i].toStdString();
        macs << fields[3];
        serials << fields[1];
    }
    EXPECT_EQ(macs.size(), kBenches * kUnitsEach);
    EXPECT_EQ(serials.size(), kBenches * kUnitsEach);
    for (int n = 0; n < kBenches * kUnitsEach; ++n)
        EXPECT_TRUE(macs.contains(QStringLiteral("00.04.A3.01.%1.%2")
                                      .arg(n >> 8, 2, 16, QLatin1Char('0'))
                                      .arg(n & 0xFF, 2, 16, QLatin1Char('0'))
                                      .toUpper()
                                      .toLatin1()))
            << n;
    const int next = kBenches * kUnitsEach;
    EXPECT_EQ(ReadFile(dir.filePath(QStringLiteral("SetFullMACAddress.txt"))),
              QStringLiteral("%1\r\n%2\r\n01\r\nA3\r\n04\r\n00\r\n")
                  .arg(next & 0xFF, 2, 16, QLatin1Char('0'))
                  .arg(next >> 8, 2, 16, QLatin1Char('0'))
                  .toUpper()
                  .toLatin1());
}
