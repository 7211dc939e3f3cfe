// Addresses never given twice, whatever happens mid-way: a bench whose
// unit stores its MAC address and then loses the confirmation, or that is
// killed (SIGKILL, as a power cut) at each step of a unit, is followed by
// another bench on the same allocation file and record. No two units hold
// one address; the file and the record account for every address.

#include "cli/CliMacFile.h"
#include "cli/CommissionRecord.h"
#include "config/ConfigJson.h"
#include "support/CliHarness.h"

#include <QCoreApplication>
#include <QDir>
#include <QLockFile>
#include <QProcess>

#include <gtest/gtest.h>

#include <csignal>
#include <thread>

#ifdef _WIN32
#include <windows.h>
#else
#include <sys/resource.h>
#endif

using namespace vantrel;

namespace {

const char kDirVariable[] = "VANTREL_ALLOCATION_DIR";
const char kKillVariable[] = "VANTREL_ALLOCATION_KILL"; // "<command> <request>"
const QByteArray kMacFile = "0F\r\n1E\r\n01\r\nA3\r\n04\r\n00\r\n";
constexpr MacOctets kFactoryMac{0x00, 0x04, 0xA3, 0x01, 0x02, 0x0F};

// The command a bench runs, in `dir`, for a unit of `serial`.
QStringList Command(const std::string& kind, const QDir& dir, const char* ipFrom = "10.1.2.30")
{
    if (kind == "mac")
        return {S("mac"), S("--next"), S("--timeout"), S("200")};
    QStringList args{S("commission"), S("--config"), dir.filePath(S("site.json")), S("--ip-from"),
                     QString::fromLatin1(ipFrom), S("--count"), S("1"), S("--mac-next"), S("--record"),
                     dir.filePath(S("bench.csv")), S("--timeout"), S("200")};
    if (kind == "parallel")
        args << S("--parallel");
    return args;
}

void PrepareFolder(CliHarness& h)
{
    WriteFile(h.MacFile, kMacFile);
    ConfigRecord site = SampleUnitConfig();
    site.DHCPEnable = 0;
    WriteFile(h.Path("site.json"), ConfigToJson(ConfigDocument{site, {}}));
}

// The operator: pulls the unit once asked, and ends the wait when none is
// left. A parallel bench looks at the device list while the unit's session
// runs: there the operator waits for the unit's last line instead.
void PullWhenDone(CliHarness& h, const std::shared_ptr<SimulatedUnit>& unit, bool parallel = false)
{
    if (parallel) {
        const QString record = h.Path("bench.csv");
        const auto start = std::chrono::steady_clock::now();
        h.Sleep = [&h, record, start](std::chrono::milliseconds) {
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
            const QByteArray bytes = ReadFile(record);
            if (bytes.count("\r\n") - bytes.count(",in progress,") >= 2
                || std::chrono::steady_clock::now() - start > std::chrono::seconds(10))
                h.Interrupt = true;
        };
        return;
    }
    h.Sleep = [&h, unit](std::chrono::milliseconds) {
        if (unit->IsPlugged())
            unit->Unplug();
        else
            h.Interrupt = true;
    };
}

std::shared_ptr<SimulatedUnit> UnitOfSerial(CliHarness& h, int serial)
{
    auto unit = h.AddUnit();
    SimulatedIdentity id = unit->Identity();
    id.SerialNumber = serial;
    unit->SetIdentity(id);
    return unit;
}

[[noreturn]] void DieAsByPowerCut()
{
#ifdef _WIN32
    TerminateProcess(GetCurrentProcess(), 9);
#else
    std::raise(SIGKILL);
#endif
    std::abort();
}

QString OctetsText(const MacOctets& mac)
{
    return QString::fromStdString(MacAddressText(mac.data()));
}

// The second octet 6 the file names next (lines 2 and 1: 1E and this).
int FileNext(const QString& path)
{
    const QByteArray file = ReadFile(path);
    EXPECT_EQ(file.mid(2), kMacFile.mid(2));
    return file.left(2).toInt(nullptr, 16);
}

} // namespace

// A bench killed on the unit's request N: the unit has acted on it (its MAC
// address as it then stands goes into unit1.mac) and the program dies
// before the reply. Run by the test below in a process of its own; skipped
// otherwise.
TEST(CliAllocationChild, KilledBench)
{
    if (!qEnvironmentVariableIsSet(kDirVariable))
        GTEST_SKIP() << "a bench of CliAllocation.KilledAtEachStep";
    const QDir dir(qEnvironmentVariable(kDirVariable));
    const QStringList kill = qEnvironmentVariable(kKillVariable).split(QLatin1Char(' '));
    CliHarness h;
    h.MacFile = dir.filePath(S("SetFullMACAddress.txt"));
    if (kill[0] == S("lock")) { // dies holding the allocation file's lock
        QLockFile lock(h.MacFile + S(".lock"));
        ASSERT_TRUE(lock.tryLock(0));
        DieAsByPowerCut();
    }
    const auto unit = UnitOfSerial(h, 1001);
    const std::size_t at = kill[1].toULongLong();
    unit->OnRequestTaken([&](std::size_t request, const MacOctets& mac) {
        if (request != at)
            return;
        WriteFile(dir.filePath(S("unit1.mac")), OctetsText(mac).toLatin1());
        DieAsByPowerCut();
    });
    PullWhenDone(h, unit, kill[0] == S("parallel"));
    const CliRun run = h.Run(Command(kill[0].toStdString(), dir));
    FAIL() << "not killed: " << testing::PrintToString(run);
}

namespace {

struct KillCase {
    const char* name;
    const char* command; // "mac", "commission", "parallel", or "lock" (dies holding the file's lock)
    int killAt;          // the unit's request on which the bench dies
    bool holdsMac;       // the unit holds the reserved address then
    bool reserved;       // the bench had reserved it (the file was advanced)
    bool claimed;        // its line before the erase is in the record
};

void PrintTo(const KillCase& c, std::ostream* os)
{
    *os << c.name;
}

class CliAllocationKill : public testing::TestWithParam<KillCase> {};

} // namespace

TEST_P(CliAllocationKill, TheNextBenchGivesNoAddressTwice)
{
#ifdef _WIN32
    GTEST_SKIP() << "the benches are killed as on Linux";
#endif
    const KillCase& c = GetParam();
    CliHarness h;
    PrepareFolder(h);
    QProcess child;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QString::fromLatin1(kDirVariable), h.Dir.path());
    env.insert(QString::fromLatin1(kKillVariable), QStringLiteral("%1 %2").arg(QString::fromLatin1(c.command)).arg(c.killAt));
    child.setProcessEnvironment(env);
    child.setProcessChannelMode(QProcess::MergedChannels);
    child.start(QCoreApplication::applicationFilePath(), {S("--gtest_filter=CliAllocationChild.KilledBench")});
    ASSERT_TRUE(child.waitForFinished(60000));
    ASSERT_EQ(child.exitStatus(), QProcess::CrashExit) << child.readAll().toStdString();

    const QByteArray held = ReadFile(h.Path("unit1.mac"));
    const MacOctets first{0x00, 0x04, 0xA3, 0x01, 0x1E, 0x0F};
    if (std::string_view(c.command) != "lock") {
        EXPECT_EQ(held, (c.holdsMac ? OctetsText(first) : OctetsText(kFactoryMac)).toLatin1());
    }
    EXPECT_EQ(FileNext(h.MacFile), c.reserved ? 0x10 : 0x0F);
    const QByteArray record = ReadFile(h.Path("bench.csv"));
    EXPECT_EQ(record.contains(",00.04.A3.01.1E.0F,10.1.2.30,in progress,reserved,"), c.claimed) << record.toStdString();

    // The next bench: the record refuses what the killed one may have given.
    const std::string kind = std::string_view(c.command) == "mac" ? "mac" : "commission";
    const auto unit2 = UnitOfSerial(h, 1002);
    PullWhenDone(h, unit2);
    if (c.claimed) {
        const CliRun again = h.Run(Command(kind, h.Dir.path()));
        EXPECT_EQ(again.Code, int(CliExit::Usage)) << testing::PrintToString(again);
        EXPECT_TRUE(again.Err.contains(S("lists the IP address 10.1.2.30 as given to a unit already, in line 2")))
            << testing::PrintToString(again);
        EXPECT_EQ(unit2->ReceivedCount(), 0u);
    }
    const CliRun run = h.Run(Command(kind, h.Dir.path(), c.claimed ? "next" : "10.1.2.30"));
    EXPECT_EQ(run.Code, 0) << testing::PrintToString(run);
    const MacOctets second{0x00, 0x04, 0xA3, 0x01, 0x1E, std::uint8_t(c.reserved ? 0x10 : 0x0F)};
    EXPECT_EQ(unit2->Mac(), second);
    EXPECT_NE(OctetsText(unit2->Mac()).toLatin1(), held);
    EXPECT_EQ(FileNext(h.MacFile), second[5] + 1);
    if (kind == "commission") {
        EXPECT_EQ(unit2->StoredConfig().IPAddr[3], c.claimed ? 31 : 30);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Table, CliAllocationKill,
    testing::Values(
        // mac --next: 1 the identification, 2 the MAC address.
        KillCase{"MacAtIdentification", "mac", 1, false, true, false},
        KillCase{"MacStoredBeforeItsReply", "mac", 2, true, true, false},
        // commission: 1 to 7 the write (2 the erase), 8 and 9 the MAC address, 10 to 15 the read-back.
        KillCase{"CommissionAtIdentification", "commission", 1, false, false, false},
        KillCase{"CommissionAtTheErase", "commission", 2, false, true, true},
        KillCase{"CommissionBeforeTheMacRequest", "commission", 8, false, true, true},
        KillCase{"CommissionMacStoredBeforeItsReply", "commission", 9, true, true, true},
        KillCase{"CommissionAtTheLastReadBack", "commission", 15, true, true, true},
        KillCase{"ParallelMacStoredBeforeItsReply", "parallel", 9, true, true, true},
        // A bench that died holding the file's lock: the next one takes it over.
        KillCase{"HoldingTheLock", "lock", 0, false, false, false}),
    [](const auto& info) { return std::string(info.param.name); });

// Faults that do not kill the bench: what may be in a unit is spent, what
// never left the tool goes back; the next unit gets an address of its own.
TEST(CliAllocation, ALostConfirmationSpendsTheAddressAWriteThatNeverWentOutGivesItBack)
{
    const struct {
        const char* name;
        const char* command;
        std::function<void(SimulatedUnit&)> fault;
        CliExit code;
        int fileNext;        // octet 6 the file names next afterwards
        const char* told;    // a line of the output
    } cases[] = {
        {"mac, confirmation lost", "mac", [](SimulatedUnit& u) { u.LoseRepliesAfter(1); }, CliExit::NoAnswer, 0x10,
         "The MAC address 00.04.A3.01.1E.0F was sent, but the unit did not confirm it. It is spent: no bench gives "
         "it again. See what the unit holds with: vantrel-cli info"},
        {"mac, the address request cannot be written", "mac", [](SimulatedUnit& u) { u.FailWritesAfter(1); },
         CliExit::Failure, 0x10, "Cannot write to QUORVEX"},
        {"mac, the identification cannot be written", "mac", [](SimulatedUnit& u) { u.FailWrites(true); },
         CliExit::Failure, 0x0F, "The MAC address 00.04.A3.01.1E.0F was not sent; the MAC allocation file names it again."},
        {"mac, program mode", "mac",
         [](SimulatedUnit& u) {
             SimulatedIdentity id = u.Identity();
             id.HardwareId = "HID\\VID_04D8&PID_FD37&REV_0001";
             u.SetIdentity(id);
         },
         CliExit::ProgramMode, 0x0F, "The MAC address 00.04.A3.01.1E.0F was not sent; the MAC allocation file names it again."},
        {"commission, confirmation lost", "commission", [](SimulatedUnit& u) { u.LoseRepliesAfter(8); },
         CliExit::Success, 0x10, "Done: 0 commissioned, 1 failed, 1 unconfirmed MAC address (00.04.A3.01.1E.0F); "
                                 "the next IP address is 10.1.2.31"},
        {"parallel, confirmation lost", "parallel", [](SimulatedUnit& u) { u.LoseRepliesAfter(8); },
         CliExit::Success, 0x10, "Done: 0 commissioned, 1 failed, 1 unconfirmed MAC address (00.04.A3.01.1E.0F); "
                                 "the next IP address is 10.1.2.31"},
        {"commission, the address request cannot be written", "commission",
         [](SimulatedUnit& u) { u.FailWritesAfter(8); }, CliExit::Success, 0x10,
         "Done: 0 commissioned, 1 failed, 1 unconfirmed MAC address (00.04.A3.01.1E.0F); the next IP address is "
         "10.1.2.31"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        CliHarness h;
        PrepareFolder(h);
        const auto unit = UnitOfSerial(h, 1001);
        c.fault(*unit);
        PullWhenDone(h, unit, std::string_view(c.command) == "parallel");
        QStringList args = Command(c.command, h.Dir.path());
        if (args.contains(S("--count")))
            args[args.indexOf(S("--count")) + 1] = S("2"); // ends when no unit is left
        const CliRun run = h.Run(args);
        if (std::string_view(c.command) == "mac") {
            EXPECT_EQ(run.Code, int(c.code)) << testing::PrintToString(run);
        }
        const QString all = run.Out + run.Err;
        EXPECT_TRUE(all.contains(QString::fromUtf8(c.told))) << testing::PrintToString(run);
        EXPECT_EQ(FileNext(h.MacFile), c.fileNext);

        // Another bench on the same file and record gives the next address.
        CliHarness next;
        next.MacFile = h.MacFile;
        const auto unit2 = UnitOfSerial(next, 1002);
        const CliRun second = next.Run({S("mac"), S("--next")});
        EXPECT_EQ(second.Code, 0) << testing::PrintToString(second);
        EXPECT_NE(unit2->Mac(), unit->Mac());
        EXPECT_EQ(unit2->Mac()[5], c.fileNext);
    }
}

// A record given to --record that is not one is never appended to; one
// that lists the next MAC address (the allocation file put back from a
// backup) is refused before anything is sent.
TEST(CliAllocation, TheRecordRefusesRepeatsAndFilesThatAreNoRecord)
{
    const QByteArray traced = kCommissionHeader;
    const struct {
        const char* name;
        QByteArray record;
        CliExit code;
        const char* message;
    } cases[] = {
        {"another CSV", "name,price\r\npump,12\r\n", CliExit::BadFile, "is not a commissioning record"},
        {"junk", QByteArray("\x7F" "ELF\x02\x01\x01\0\0\0", 10), CliExit::BadFile, "is not a commissioning record"},
        {"the MAC address given before", traced + "T,7,1.05,00.04.A3.01.1E.0F,10.9.9.9,commissioned,confirmed,1.0,b,s,x\r\n",
         CliExit::Usage, "lists the MAC address 00.04.A3.01.1E.0F as given to a unit already, in line 2"},
        {"the MAC address in a six-column record", QByteArray(kCommissionHeaderSixColumns) + "T,7,1.05,00.04.A3.01.1E.0F,,r\r\n",
         CliExit::Usage, "lists the MAC address 00.04.A3.01.1E.0F as given to a unit already, in line 2"},
        {"an IP address of the run given before", traced + "T,7,1.05,,10.1.2.30,in progress,,1.0,b,s,x\r\n",
         CliExit::Usage, "lists the IP address 10.1.2.30 as given to a unit already, in line 2"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        CliHarness h;
        PrepareFolder(h);
        const auto unit = UnitOfSerial(h, 1001);
        WriteFile(h.Path("bench.csv"), c.record);
        const CliRun run = h.Run(Command("commission", h.Dir.path()));
        EXPECT_EQ(run.Code, int(c.code)) << testing::PrintToString(run);
        EXPECT_TRUE(run.Err.contains(QString::fromUtf8(c.message))) << testing::PrintToString(run);
        EXPECT_EQ(ReadFile(h.Path("bench.csv")), c.record);
        EXPECT_EQ(ReadFile(h.MacFile), kMacFile);
        EXPECT_EQ(unit->ReceivedCount(), 0u);
    }
}

// The count stops before FF FF, and the last address before it goes back
// to the file when it was never sent, though the file then names FF FF.
TEST(CliAllocation, TheAddressesBeforeFFFFAreGivenOutAndGoBackUnsent)
{
    using namespace std::chrono_literals;
    CliHarness h;
    const QByteArray tail = "01\r\nA3\r\n04\r\n00\r\n";
    WriteFile(h.MacFile, "FD\r\nFF\r\n" + tail);
    const NextMacs reserved = cli::ReserveNextMacs(h.MacFile, 5, 1s);
    ASSERT_EQ(reserved.Macs.size(), 2u);
    EXPECT_EQ(reserved.Macs[1], (MacOctets{0x00, 0x04, 0xA3, 0x01, 0xFF, 0xFE}));
    EXPECT_EQ(ReadFile(h.MacFile), "FF\r\nFF\r\n" + tail);

    QString whyNot;
    EXPECT_FALSE(cli::GiveBackMac(h.MacFile, reserved.Macs[0], 1s, whyNot));
    EXPECT_EQ(whyNot, S("the MAC allocation file names 00.04.A3.01.FF.FF next, not 00.04.A3.01.FF.FE"));
    EXPECT_TRUE(cli::GiveBackMac(h.MacFile, reserved.Macs[1], 1s, whyNot)) << whyNot.toStdString();
    EXPECT_TRUE(cli::GiveBackMac(h.MacFile, reserved.Macs[0], 1s, whyNot)) << whyNot.toStdString();
    EXPECT_EQ(ReadFile(h.MacFile), "FD\r\nFF\r\n" + tail);
}

namespace {
// The record's lines after the header, each "serial,version,MAC,IP,result,
// MAC state" (the time and the columns every line has alike left out).
QStringList RecordColumns(const QString& path)
{
    QStringList lines;
    for (const QByteArray& line : ReadFile(path).split('\n').mid(1)) {
        if (!line.isEmpty())
            lines << QString::fromUtf8(line).split(QLatin1Char(',')).mid(1, 6).join(QLatin1Char(','));
    }
    return lines;
}

// The operator plugs unit after unit in, each once the one before has its
// last line in the record, and pulls it when asked (one after another);
// with `endWhenDone`, Ctrl-C ends the wait once no unit is left.
// `plugged` gives each unit its fault.
void PlugInTurn(CliHarness& h, const std::vector<std::shared_ptr<SimulatedUnit>>& units, bool endWhenDone,
                const std::function<void(std::size_t, SimulatedUnit&)>& plugged)
{
    for (const auto& unit : units)
        unit->Unplug();
    auto next = std::make_shared<std::size_t>(0);
    const auto start = std::chrono::steady_clock::now();
    h.Sleep = [&h, units, endWhenDone, plugged, next, start](std::chrono::milliseconds) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
        const QByteArray record = ReadFile(h.Path("bench.csv"));
        // The units with their last line in the record.
        const qsizetype last = std::max<qsizetype>(0, record.count("\r\n") - record.count(",in progress,") - 1);
        if (*next > 0 && units[*next - 1]->IsPlugged() && last >= qsizetype(*next))
            units[*next - 1]->Unplug();
        else if (*next < units.size() && last >= qsizetype(*next)) {
            units[*next]->PlugIn();
            plugged(*next, *units[*next]);
            ++*next;
        } else if ((endWhenDone && *next == units.size() && last >= qsizetype(*next))
                   || std::chrono::steady_clock::now() - start > std::chrono::seconds(10))
            h.Interrupt = true;
    };
}

void RunWithIpFrom(QStringList& args, const char* ip)
{
    args[args.indexOf(S("--ip-from")) + 1] = S(ip);
    args.removeAt(args.indexOf(S("--count")) + 1);
    args.removeAll(S("--count"));
}
} // namespace

// The subnet's last host address reached mid-run: the run ends with exit 1
// once the units started are recorded; a unit that failed after its line
// went in has spent its IP address, and its MAC address, never sent, goes
// back to the allocation file.
TEST(CliAllocation, TheLastIpAddressEndsTheRunAndUnsentMacAddressesGoBack)
{
    for (const char* kind : {"commission", "parallel"}) {
        SCOPED_TRACE(kind);
        CliHarness h;
        PrepareFolder(h);
        const std::vector<std::shared_ptr<SimulatedUnit>> units{UnitOfSerial(h, 1001), UnitOfSerial(h, 1002)};
        PlugInTurn(h, units, false, [](std::size_t i, SimulatedUnit& u) {
            if (i == 1)
                u.UnplugAfter(1); // pulled at the erase
        });
        QStringList args = Command(kind, h.Dir.path());
        RunWithIpFrom(args, "10.1.2.253");
        const CliRun run = h.Run(args);

        EXPECT_EQ(run.Code, int(CliExit::Failure)) << testing::PrintToString(run);
        EXPECT_TRUE(run.Out.contains(S("Done: 1 commissioned, 1 failed\n"))) << testing::PrintToString(run);
        EXPECT_TRUE(run.Err.endsWith(S("No IP address left: 10.1.2.254 was the last host address of the subnet "
                                       "10.1.2.0/255.255.255.0\n")))
            << testing::PrintToString(run);
        EXPECT_EQ(RecordColumns(h.Path("bench.csv")),
                  QStringList({S("1001,1.05,00.04.A3.01.1E.0F,10.1.2.253,in progress,reserved"),
                               S("1001,1.05,00.04.A3.01.1E.0F,10.1.2.253,commissioned,confirmed"),
                               S("1002,1.05,00.04.A3.01.1E.10,10.1.2.254,in progress,reserved"),
                               S("1002,1.05,00.04.A3.01.1E.10,10.1.2.254,unplugged during the write,unused")}));
        EXPECT_EQ(FileNext(h.MacFile), 0x10);
    }
}

// Another program on the same allocation file takes an address meanwhile:
// before this bench's reservation (the unit gets the one after it, and is
// told so), or between the reservation and the give-back of an address
// never sent (the file no longer names the address right after it, so it
// is a gap). No address is given twice.
TEST(CliAllocation, AnAddressAnotherProgramTookMeanwhileIsNeverGivenTwice)
{
    const struct {
        const char* name;
        bool beforeReservation; // else after it, before the give-back
        QStringList record;
        const char* told;
        int fileNext; // octet 6 the file names next afterwards
    } cases[] = {
        {.name = "before the reservation", .beforeReservation = true,
         .record = {S("1001,1.05,00.04.A3.01.1E.10,10.1.2.30,in progress,reserved"),
                    S("1001,1.05,00.04.A3.01.1E.10,10.1.2.30,commissioned,confirmed")},
         .told = "Another program took the MAC address 00.04.A3.01.1E.0F meanwhile; this unit gets "
                 "00.04.A3.01.1E.10.",
         .fileNext = 0x11},
        {.name = "before the give-back", .beforeReservation = false,
         .record = {S("1001,1.05,00.04.A3.01.1E.0F,10.1.2.30,in progress,reserved"),
                    S("1001,1.05,00.04.A3.01.1E.0F,10.1.2.30,no answer during the write,unused")},
         .told = "Done: 0 commissioned, 1 failed, 1 MAC address reserved and never sent, a gap "
                 "(00.04.A3.01.1E.0F); the next IP address is 10.1.2.31",
         .fileNext = 0x11},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        CliHarness h;
        PrepareFolder(h);
        const QString macFile = h.MacFile;
        const auto anotherProgramTakes = [macFile](const char* octet6) {
            WriteFile(macFile, QByteArray(octet6) + kMacFile.mid(2));
        };
        const auto unit = UnitOfSerial(h, 1001);
        PlugInTurn(h, {unit}, true, [&](std::size_t, SimulatedUnit& u) {
            if (c.beforeReservation) {
                anotherProgramTakes("10"); // 1E.0F, which the operator was told
                return;
            }
            u.OnRequestTaken([=](std::size_t request, const std::array<std::uint8_t, 6>&) {
                if (request == 2) // the erase: 1E.0F is reserved, the file names 1E.10
                    anotherProgramTakes("11");
            });
            u.StopAnsweringAfter(3);
        });
        QStringList args = Command("commission", h.Dir.path());
        args[args.indexOf(S("--count")) + 1] = S("2"); // ends when no unit is left
        const CliRun run = h.Run(args);

        EXPECT_EQ(run.Code, int(CliExit::Interrupted)) << testing::PrintToString(run);
        EXPECT_TRUE(run.Out.contains(QString::fromUtf8(c.told))) << testing::PrintToString(run);
        EXPECT_EQ(RecordColumns(h.Path("bench.csv")), c.record);
        EXPECT_EQ(FileNext(h.MacFile), c.fileNext);
    }
}

#ifndef _WIN32
// An append to the record that fails partway (the file may grow no
// further: a full disk's stand-in) is taken back out, so the record holds
// no half line; nothing is written to the unit and its MAC address goes
// back to the allocation file.
TEST(CliAllocation, AnAppendThatFailsPartwayLeavesNoHalfLine)
{
    CliHarness h;
    PrepareFolder(h);
    const auto unit = UnitOfSerial(h, 1001);
    PullWhenDone(h, unit);
    const QByteArray record = QByteArray(kCommissionHeader) + "T,7,1.05,,10.9.9.9,commissioned,,1.0,b,s,x\r\n";
    WriteFile(h.Path("bench.csv"), record);

    rlimit before{};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &before), 0);
    rlimit limited = before;
    limited.rlim_cur = rlim_t(record.size() + 20); // the next line's first 20 bytes go out, then no more
    const auto earlierSignal = std::signal(SIGXFSZ, SIG_IGN);
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &limited), 0);
    const CliRun run = h.Run(Command("commission", h.Dir.path()));
    setrlimit(RLIMIT_FSIZE, &before);
    std::signal(SIGXFSZ, earlierSignal);

    EXPECT_EQ(run.Code, int(CliExit::Failure)) << testing::PrintToString(run);
    EXPECT_TRUE(run.Err.startsWith(S("Cannot append to the commissioning record ") + h.Path("bench.csv")))
        << testing::PrintToString(run);
    EXPECT_TRUE(run.Err.contains(S(",1001,1.05,,,not written: the record failed,,1.0,"))) << testing::PrintToString(run);
    EXPECT_EQ(ReadFile(h.Path("bench.csv")), record);
    EXPECT_EQ(ReadFile(h.MacFile), kMacFile);
    EXPECT_EQ(unit->ReceivedCount(), 1u); // the identification alone
}
#endif
