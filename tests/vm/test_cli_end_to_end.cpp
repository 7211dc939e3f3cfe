// vantrel-cli, the program itself, against quorvex-virtual-unit through a
// real Linux kernel (the USB gadget, usbhid, hidraw): read, write, the
// commissioning loop over two units plugged in one after the other, and
// four units commissioned at once (uhid devices) with --parallel. The
// files it writes are compared byte for byte with what the unit holds, and
// a read's requests with those the same command sends to the in-process
// simulated unit.

#include "vm/VmBenches.h"

using namespace vantrel;
using namespace vantrel::vm;

namespace {

CliResult RunCliProgram(const QStringList& args)
{
    return vm::RunCliProgram(QStringLiteral(VANTREL_CLI), args);
}

} // namespace

TEST(CliKernel, ReadGivesTheUnitsConfigurationWithTheSameRequests)
{
    VirtualUnitProcess unit(UnitArgs());
    ASSERT_TRUE(unit.Ready()) << unit.Output().toStdString();
    SimulatedBench sim(SampleUnitConfig());
    QTemporaryDir dir;
    const auto reads = [](const QTemporaryDir& d) {
        const QString read = S("read"), output = S("-o");
        return std::vector<QStringList>{{read, output, d.filePath(S("unit.json"))},
                                        {read, output, d.filePath(S("unit.dat"))},
                                        {read}};
    };
    std::vector<CliResult> kernel, simulated;
    for (const QStringList& args : reads(dir))
        kernel.push_back(RunCliProgram(args));
    for (const QStringList& args : reads(sim.Dir))
        simulated.push_back(sim.Run(args));
    for (std::size_t i = 0; i < kernel.size(); ++i) {
        EXPECT_EQ(kernel[i].Code, 0) << kernel[i];
        EXPECT_EQ(kernel[i].Err, QString()) << kernel[i];
        EXPECT_EQ(kernel[i].Out, simulated[i].Out) << kernel[i];
    }
    EXPECT_TRUE(kernel[2].Out.endsWith(S("\nMAC Address: 00.04.A3.FF.10.0A\n"))) << kernel[2];

    // The files hold what the unit holds, as a read carries it.
    ConfigDocument expected;
    expected.Record = ReadBackOf(SampleUnitConfig(), cli::FactoryRecord());
    EXPECT_EQ(ReadFile(dir.filePath(S("unit.dat"))), DatBytes(expected.Record));
    EXPECT_EQ(ReadFile(dir.filePath(S("unit.json"))), ConfigToJson(expected));

    ExpectSameRequests(unit.Requests(), sim.Unit->Received());
    EXPECT_EQ(unit.Requests().size(), 18u);
}

TEST(CliKernel, WriteLeavesExactlyTheWrittenConfigurationInTheUnit)
{
    QTemporaryDir dir;
    const QString saved = dir.filePath(S("saved.dat"));
    VirtualUnitProcess unit({S("--save"), saved}); // the factory configuration
    ASSERT_TRUE(unit.Ready()) << unit.Output().toStdString();
    const QStringList args{S("write"), SampleDataFile(), S("--ip"), S("10.0.0.22")};

    const CliResult run = RunCliProgram(args);
    EXPECT_EQ(run.Code, 0) << run;
    EXPECT_EQ(run.Out, S("Download Complete: serial number 4711, read back and found the same\n")) << run;
    EXPECT_EQ(ReadFile(saved), SavedAfterWriting(WithIp(SampleUnitConfig(), 22)));

    SimulatedBench sim(std::nullopt);
    EXPECT_EQ(sim.Run(args).Code, 0);
    ExpectSameRequests(unit.Requests(), sim.Unit->Received());
}

TEST(CliKernel, CommissionTwoUnitsInARow)
{
    QTemporaryDir dir;
    const QString macFile = dir.filePath(S("SetFullMACAddress.txt"));
    const QString record = dir.filePath(S("bench.csv"));
    const QString savedA = dir.filePath(S("a.dat")), savedB = dir.filePath(S("b.dat"));
    // The next free address 00.04.A3.1F.2B.FF: the second unit's carries into octet 5.
    WriteFile(macFile, "FF\r\n2B\r\n1F\r\nA3\r\n04\r\n00\r\n");

    ChildProcess cli(QStringLiteral(VANTREL_CLI),
                     {S("commission"), S("--config"), WriteSiteJson(dir), S("--ip-from"), S("10.0.0.30"), S("--count"),
                      S("2"), S("--mac-next"), S("--mac-file"), macFile, S("--record"), record, S("--timeout"),
                      S("5000")});
    ASSERT_TRUE(cli.WaitForOutput("Waiting for unit 1 of 2 (IP address 10.0.0.30, MAC address 00.04.A3.1F.2B.FF): "
                                  "plug it in\n",
                                  kStepMs))
        << cli.Output().toStdString();
    {
        VirtualUnitProcess a({S("--serial"), S("1001"), S("--save"), savedA});
        ASSERT_TRUE(a.Ready()) << a.Output().toStdString();
        ASSERT_TRUE(cli.WaitForOutput("Unit 1: commissioned\nUnplug unit 1\n", kStepMs)) << cli.Output().toStdString();
    } // Ctrl-C: unit A leaves the bus
    ASSERT_TRUE(cli.WaitForOutput("Waiting for unit 2 of 2 (IP address 10.0.0.31, MAC address 00.04.A3.1F.2C.00): "
                                  "plug it in\n",
                                  kStepMs))
        << cli.Output().toStdString();
    {
        VirtualUnitProcess b({S("--serial"), S("1002"), S("--save"), savedB});
        ASSERT_TRUE(b.Ready()) << b.Output().toStdString();
        ASSERT_TRUE(cli.WaitForOutput("Unit 2: commissioned\nUnplug unit 2\n", kStepMs)) << cli.Output().toStdString();
    }
    EXPECT_EQ(cli.WaitForExit(kStepMs), 0) << cli.Output().toStdString();
    EXPECT_TRUE(cli.Output().endsWith(S("Done: 2 commissioned, 0 failed; the next IP address is 10.0.0.32\n")))
        << cli.Output().toStdString();

    EXPECT_EQ(RecordLines(record), (QStringList{S("1001,1.05,00.04.A3.1F.2B.FF,10.0.0.30,commissioned"),
                                                S("1002,1.05,00.04.A3.1F.2C.00,10.0.0.31,commissioned")}));
    EXPECT_EQ(ReadFile(macFile), QByteArray("01\r\n2C\r\n1F\r\nA3\r\n04\r\n00\r\n"));
    EXPECT_EQ(ReadFile(savedA), SavedAfterWriting(WithIp(SiteConfig(), 30)));
    EXPECT_EQ(ReadFile(savedB), SavedAfterWriting(WithIp(SiteConfig(), 31)));
}

TEST(CliKernel, CommissionRecordsAUnitPulledMidWriteAndGoesOn)
{
    QTemporaryDir dir;
    const QString record = dir.filePath(S("bench.csv"));
    const QString saved = dir.filePath(S("unit.dat"));
    ChildProcess cli(QStringLiteral(VANTREL_CLI),
                     {S("commission"), S("--config"), WriteSiteJson(dir), S("--ip-from"), S("10.0.0.40"), S("--count"),
                      S("1"), S("--record"), record, S("--timeout"), S("5000")});
    ASSERT_TRUE(cli.WaitForOutput("Waiting for unit 1 of 1 (IP address 10.0.0.40): plug it in\n", kStepMs))
        << cli.Output().toStdString();
    // The unit leaves the bus on the fourth request, the end of block 0:
    // after the erase, so the address 10.0.0.40 is used up.
    VirtualUnitProcess unit({S("--serial"), S("1003"), S("--unplug-after"), S("3"), S("--save"), saved});
    ASSERT_TRUE(unit.Ready()) << unit.Output().toStdString();
    ASSERT_TRUE(cli.WaitForOutput("Unit 1: unplugged during the write\n", kStepMs)) << cli.Output().toStdString();
    ASSERT_TRUE(cli.WaitForOutput("Waiting for unit 2, 1 of 1 (IP address 10.0.0.41): plug it in\n", kStepMs))
        << cli.Output().toStdString();
    unit.Signal(SIGUSR2); // plugged in again, it is the next unit
    ASSERT_TRUE(cli.WaitForOutput("Unit 2: commissioned\nUnplug unit 2\n", kStepMs)) << cli.Output().toStdString();
    unit.Stop();
    EXPECT_EQ(cli.WaitForExit(kStepMs), 0) << cli.Output().toStdString();
    EXPECT_TRUE(cli.Output().endsWith(S("Done: 1 commissioned, 1 failed; the next IP address is 10.0.0.42\n")))
        << cli.Output().toStdString();

    EXPECT_EQ(RecordLines(record), (QStringList{S("1003,1.05,,10.0.0.40,unplugged during the write"),
                                                S("1003,1.05,00.04.A3.01.02.0F,10.0.0.41,commissioned")}));
    EXPECT_EQ(ReadFile(saved), SavedAfterWriting(WithIp(SiteConfig(), 41)));
}

// Four units on the bench at once, each a uhid device of its own: the one
// unit a command talks to is chosen by --unit, and commission --parallel
// takes each as it is plugged in, while the others are still being
// commissioned. Each unit answers late, so that all four run together.
TEST(CliKernel, CommissionFourUnitsAtOnce)
{
    QTemporaryDir dir;
    const QString macFile = dir.filePath(S("SetFullMACAddress.txt"));
    const QString record = dir.filePath(S("bench.csv"));
    WriteFile(macFile, "FF\r\n2B\r\n1F\r\nA3\r\n04\r\n00\r\n");
    const char* traces[] = {"unit-trace-1.txt", "unit-trace-2.txt", "unit-trace-3.txt", "unit-trace-4.txt"};
    const auto saved = [&](int i) { return dir.filePath(QStringLiteral("unit%1.dat").arg(i)); };
    const auto unitArgs = [&](int i) {
        return QStringList{S("--uhid"), S("--serial"), QString::number(3000 + i), S("--delay"), S("600"), S("--save"),
                           saved(i)};
    };
    std::vector<std::unique_ptr<VirtualUnitProcess>> units;

    // Two units present: a command without --unit names them and does nothing.
    for (int i = 1; i <= 2; ++i) {
        units.push_back(std::make_unique<VirtualUnitProcess>(unitArgs(i), traces[i - 1]));
        ASSERT_TRUE(units.back()->Ready()) << units.back()->Output().toStdString();
    }
    const CliResult refused = RunCliProgram({S("read")});
    EXPECT_EQ(refused.Code, 2) << refused;
    EXPECT_TRUE(refused.Err.startsWith(S("2 QUORVEX units are present; choose one with --unit"))) << refused;
    const CliResult info = RunCliProgram({S("info"), S("--unit"), S("3002")});
    EXPECT_EQ(info.Code, 0) << info;
    EXPECT_TRUE(info.Out.contains(S("Serial Number: 3002\n"))) << info;
    units.clear(); // both leave the bus

    ChildProcess cli(QStringLiteral(VANTREL_CLI),
                     {S("commission"), S("--parallel"), S("--config"), WriteSiteJson(dir), S("--ip-from"),
                      S("10.0.0.60"), S("--count"), S("4"), S("--mac-next"), S("--mac-file"), macFile, S("--record"),
                      record, S("--timeout"), S("5000")});
    ASSERT_TRUE(cli.WaitForOutput("Ctrl-C ends\n", kStepMs)) << cli.Output().toStdString();
    // Plugged in one after the other, each while those before it are at work.
    for (int i = 1; i <= 4; ++i) {
        units.push_back(std::make_unique<VirtualUnitProcess>(unitArgs(i), traces[i - 1]));
        ASSERT_TRUE(units.back()->Ready()) << units.back()->Output().toStdString();
        const QByteArray taken = QStringLiteral("] Unit %1 of 4: IP address 10.0.0.%2\n").arg(i).arg(59 + i).toLatin1();
        ASSERT_TRUE(cli.WaitForOutput(taken.constData(), kStepMs)) << cli.Output().toStdString();
    }
    EXPECT_EQ(cli.WaitForExit(kStepMs), 0) << cli.Output().toStdString();
    const QString out = cli.Output();
    EXPECT_TRUE(out.endsWith(S("Done: 4 commissioned, 0 failed; the next IP address is 10.0.0.64\n"))) << out.toStdString();
    const qsizetype firstDone = out.indexOf(S(": commissioned\n"));
    for (int i = 1; i <= 4; ++i)
        EXPECT_LT(out.indexOf(QStringLiteral("[%1] Unit %2: writing the configuration\n").arg(3000 + i).arg(i)), firstDone)
            << out.toStdString();

    // One line each, the IP addresses in plug order, the MAC addresses the
    // file's next four in the order the units reached that step.
    QStringList lines = RecordLines(record);
    ASSERT_EQ(lines.size(), 4) << lines.join('\n').toStdString();
    lines.sort();
    QStringList macs;
    for (int i = 1; i <= 4; ++i) {
        const QStringList fields = lines[i - 1].split(QLatin1Char(','));
        ASSERT_EQ(fields.size(), 5);
        EXPECT_EQ(fields[0], QString::number(3000 + i));
        EXPECT_EQ(fields[3], QStringLiteral("10.0.0.%1").arg(59 + i));
        EXPECT_EQ(fields[4], S("commissioned"));
        macs << fields[2];
        EXPECT_EQ(ReadFile(saved(i)), SavedAfterWriting(WithIp(SiteConfig(), std::uint8_t(59 + i)))) << i;
    }
    macs.sort();
    EXPECT_EQ(macs, (QStringList{S("00.04.A3.1F.2B.FF"), S("00.04.A3.1F.2C.00"), S("00.04.A3.1F.2C.01"),
                                 S("00.04.A3.1F.2C.02")}));
    EXPECT_EQ(ReadFile(macFile), QByteArray("03\r\n2C\r\n1F\r\nA3\r\n04\r\n00\r\n"));
}
