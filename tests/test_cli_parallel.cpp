// vantrel-cli commission --parallel against several simulated units at
// once, faults on some of them: the record (one whole line per unit), the
// addresses each unit got and kept, the allocation file, and the output's
// lines, each whole and headed by its unit. Also built under
// ThreadSanitizer (scripts/tsan.sh).

#include "cli/CommissionRecord.h"
#include "config/ConfigJson.h"
#include "support/CliHarness.h"

#include <QLockFile>
#include <QRegularExpression>
#include <QSet>

#include <gtest/gtest.h>

#include <algorithm>
#include <thread>

using namespace vantrel;

namespace {

struct UnitSetup {
    std::function<void(SimulatedUnit&)> Fault = {}; // comes with the unit when it is plugged in
    std::size_t HangAfter = 0; // answers this many requests, then nothing until Ctrl-C
};

struct ParallelCase {
    std::string name;
    std::vector<UnitSetup> units = {};   // serial numbers 2001 on, at sim:0 on
    std::vector<std::string> lines = {}; // the record's lines after the time, in any order; "M" for a MAC address
    CliExit code = CliExit::Success;
    std::string message = "";      // a line of the output or the error stream ("$dir/": the test's folder)
    std::optional<int> count = {}; // without: Ctrl-C once every unit is recorded or hangs
    std::vector<int> plugOrder = {}; // one unit plugged in per look; empty: all there from the start
    bool macNext = true;
    bool macFileHeld = false; // by another program, for longer than the wait
    const char* timeout = "10000";
    bool recordHeld = false; // by another program from the first look on
};

void PrintTo(const ParallelCase& c, std::ostream* os)
{
    *os << c.name;
}

void ProgramMode(SimulatedUnit& u)
{
    SimulatedIdentity id = u.Identity();
    id.HardwareId = "HID\\VID_04D8&PID_FD37&REV_0001";
    u.SetIdentity(id);
}

std::string Commissioned(int serial, int ip)
{
    return std::to_string(serial) + ",1.05,M,10.1.2." + std::to_string(ip) + ",commissioned";
}

std::vector<ParallelCase> ParallelCases()
{
    ParallelCase eight{.name = "EightSound",
                       .units = std::vector<UnitSetup>(8),
                       .message = "Done: 8 commissioned, 0 failed; the next IP address is 10.1.2.38",
                       .count = 8};
    for (int i = 0; i < 8; ++i)
        eight.lines.push_back(Commissioned(2001 + i, 30 + i));
    return {
        eight,
        {.name = "FaultsOnSome",
         .units = {{},
                   {ProgramMode},
                   {[](SimulatedUnit& u) { u.UnplugAfter(3); }},
                   {[](SimulatedUnit& u) { u.StopAnsweringAfter(11); }}},
         .lines = {Commissioned(2001, 30), ",,,,program mode", "2003,1.05,M,10.1.2.32,unplugged during the write",
                   "2004,1.05,M,10.1.2.33,no answer during the read-back"},
         .code = CliExit::Interrupted,
         .message = "Interrupted while waiting for units; no unit was being commissioned. The next IP address is "
                    "10.1.2.31.",
         .timeout = "100"},
        {.name = "CountStartsNoMoreThanNeeded",
         .units = std::vector<UnitSetup>(4),
         .lines = {Commissioned(2001, 30), Commissioned(2002, 31)},
         .message = "[sim:3] not started: --count 2 reached",
         .count = 2},
        {.name = "AFailedUnitLeavesItsPlaceAndAddress",
         .units = {{ProgramMode}, {}, {}},
         .lines = {",,,,program mode", Commissioned(2002, 31), Commissioned(2003, 30)},
         .message = "Done: 2 commissioned, 1 failed; the next IP address is 10.1.2.32",
         .count = 2},
        {.name = "AddressesInPlugOrder",
         .units = std::vector<UnitSetup>(4),
         .lines = {Commissioned(2003, 30), Commissioned(2001, 31), Commissioned(2004, 32), Commissioned(2002, 33)},
         .message = "[sim:3] Unit 3 of 4: IP address 10.1.2.32",
         .count = 4,
         .plugOrder = {2, 0, 3, 1}},
        {.name = "NoAccessStartsNoNewUnit",
         .units = {{[](SimulatedUnit& u) { u.FailOpens(HidOpenMode::Write); }}, {}, {}},
         .lines = {",,,,cannot be opened", Commissioned(2002, 31)},
         .code = CliExit::NoAccess,
         .message = "Stopped after the fault above: 1 commissioned, 1 failed; the next IP address is 10.1.2.30",
         .count = 2},
        {.name = "InterruptedMidway",
         .units = {{.HangAfter = 1}, {.HangAfter = 8}, {}, {ProgramMode}},
         .lines = {"2001,1.05,,10.1.2.30,interrupted during the write",
                   "2002,1.05,,10.1.2.31,interrupted during the read-back", "2003,1.05,M,10.1.2.32,commissioned",
                   ",,,,program mode"},
         .code = CliExit::Interrupted,
         .message = "Interrupted: unit 1 (serial number 2001), unit 2 (serial number 2002) were being commissioned; "
                    "recorded in $dir/bench.csv. The next IP address is 10.1.2.33.",
         .macNext = false},
        // Nothing is written to a unit whose line cannot go into the record first.
        {.name = "RecordHeldElsewhere",
         .units = std::vector<UnitSetup>(2, {[](SimulatedUnit& u) { u.SetAnswerDelayMs(10); }}),
         .code = CliExit::Locked,
         .message = "Stopped after the fault above: 0 commissioned, 2 failed; the next IP address is 10.1.2.30",
         .count = 2,
         .macNext = false,
         .recordHeld = true},
        {.name = "AllocationFileHeldElsewhere",
         .units = std::vector<UnitSetup>(2),
         .lines = {"2001,1.05,,,not written: no MAC address could be reserved",
                   "2002,1.05,,,not written: no MAC address could be reserved"},
         .code = CliExit::Locked,
         .message = "Stopped after the fault above: 0 commissioned, 2 failed; the next IP address is 10.1.2.30",
         .count = 2,
         .macFileHeld = true},
    };
}

class CliParallel : public testing::TestWithParam<ParallelCase> {};

// The record's lines after the header, without their time stamp: each a
// list of its fields.
std::vector<QStringList> RecordLines(const QString& path)
{
    const QByteArray bytes = ReadFile(path);
    if (bytes == "<missing>")
        return {};
    QStringList lines = QString::fromUtf8(bytes).split(S("\r\n"));
    EXPECT_EQ(lines.value(0) + S("\r\n"), QString::fromLatin1(kCommissionHeader));
    EXPECT_EQ(lines.value(lines.size() - 1), QString());
    std::vector<QStringList> entries;
    for (const QString& line : lines.mid(1, lines.size() - 2)) {
        EXPECT_TRUE(line.startsWith(S("2026-12-07T10:00:00+01:00,"))) << line.toStdString();
        entries.push_back(line.split(QLatin1Char(',')).mid(1));
        EXPECT_EQ(entries.back().size(), 10) << line.toStdString();
    }
    return entries;
}

} // namespace

TEST_P(CliParallel, EachUnitInItsOwnSessionRecordedWhole)
{
    const ParallelCase& c = GetParam();
    CliHarness h;
    std::vector<std::shared_ptr<SimulatedUnit>> units;
    for (std::size_t i = 0; i < c.units.size(); ++i) {
        units.push_back(h.AddUnit());
        SimulatedIdentity id;
        id.SerialNumber = 2001 + int(i);
        units.back()->SetIdentity(id);
        if (c.units[i].HangAfter)
            units.back()->StopAnsweringAfter(c.units[i].HangAfter);
        if (!c.plugOrder.empty())
            units.back()->Unplug();
        else if (c.units[i].Fault)
            c.units[i].Fault(*units.back());
    }
    const QString record = h.Path("bench.csv");
    // Ctrl-C once every unit that does not hang is recorded and every one
    // that hangs waits, or after a long while in any case.
    const auto settled = [&] {
        qsizetype expected = 1;
        for (std::size_t i = 0; i < units.size(); ++i) {
            if (c.units[i].HangAfter == 0)
                ++expected;
            else if (units[i]->ReceivedCount() <= c.units[i].HangAfter)
                return false;
        }
        const QByteArray bytes = ReadFile(record);
        return bytes.count("\r\n") - bytes.count(",in progress,") == expected; // the units' last lines
    };
    std::size_t plugged = 0;
    const auto start = std::chrono::steady_clock::now();
    QLockFile recordLock(record + S(".lock"));
    h.Sleep = [&](std::chrono::milliseconds) {
        if (c.recordHeld && !recordLock.isLocked()) {
            ASSERT_TRUE(recordLock.tryLock(0));
        }
        if (plugged < c.plugOrder.size()) {
            const int i = c.plugOrder[plugged++];
            units[i]->PlugIn();
            if (c.units[i].Fault)
                c.units[i].Fault(*units[i]);
            return;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
        if ((!c.count && settled()) || std::chrono::steady_clock::now() - start > std::chrono::seconds(20))
            h.Interrupt = true;
    };
    const QByteArray macFile = "0F\r\n1E\r\n01\r\nA3\r\n04\r\n00\r\n";
    WriteFile(h.MacFile, macFile);
    QLockFile other(h.MacFile + S(".lock"));
    if (c.macFileHeld) {
        ASSERT_TRUE(other.tryLock(0));
    }
    ConfigRecord site = SampleUnitConfig();
    site.ClientPort = 503;
    WriteFile(h.Path("site.json"), ConfigToJson(ConfigDocument{site, {}}));
    QStringList args{S("commission"), S("--parallel"), S("--config"), h.Path("site.json"), S("--ip-from"),
                     S("10.1.2.30"), S("--record"), record, S("--timeout"), QString::fromLatin1(c.timeout)};
    if (c.count)
        args << S("--count") << QString::number(*c.count);
    if (c.macNext)
        args << S("--mac-next");
    const CliRun run = h.Run(args);

    EXPECT_EQ(run.Code, int(c.code)) << testing::PrintToString(run);
    recordLock.unlock();
    const QStringList said = run.Out.split(QLatin1Char('\n')) + run.Err.split(QLatin1Char('\n'));
    EXPECT_TRUE(said.contains(QString::fromStdString(c.message).replace(S("$dir/"), h.Dir.path() + QLatin1Char('/'))))
        << testing::PrintToString(run);
    // Whole lines only, each headed by its unit.
    static const QRegularExpression line(S(R"(^(\[(\d+|sim:\d)\] .+|Commissioning every unit .+|Done: .+|)$)"));
    for (const QString& l : run.Out.split(QLatin1Char('\n')))
        EXPECT_TRUE(line.match(l).hasMatch()) << l.toStdString();

    // The record: a unit's last line, whole; MAC addresses as "M". A unit
    // that got as far as its erase has one line before it, naming the same
    // addresses.
    const std::vector<QStringList> lines = RecordLines(record);
    std::vector<std::string> normal;
    QStringList given, listed; // MAC addresses that may be in a unit; every one the record names
    for (const QStringList& l : lines) {
        QStringList fields = l.mid(0, 5);
        if (!fields[2].isEmpty())
            listed << fields[2];
        if (fields[4] == S("in progress")) {
            EXPECT_EQ(std::count_if(lines.begin(), lines.end(), [&](const QStringList& o) {
                          return o[0] == fields[0] && o[3] == fields[3] && o[4] != S("in progress")
                                 && (fields[2].isEmpty() || o[2] == fields[2]);
                      }),
                      1)
                << l.join(QLatin1Char(',')).toStdString();
            continue;
        }
        if (l[5] == S("confirmed") || l[5] == S("unconfirmed"))
            given << fields[2];
        if (!fields[2].isEmpty())
            fields[2] = S("M");
        normal.push_back(fields.join(QLatin1Char(',')).toStdString());
    }
    std::vector<std::string> expected = c.lines;
    std::sort(expected.begin(), expected.end());
    std::sort(normal.begin(), normal.end());
    EXPECT_EQ(normal, expected) << testing::PrintToString(run);

    // Each commissioned unit keeps the IP and MAC addresses of its line.
    for (const QStringList& fields : lines) {
        if (fields.value(4) != S("commissioned"))
            continue;
        const auto& unit = units.at(fields[0].toInt() - 2001);
        const ConfigRecord stored = unit->StoredConfig();
        EXPECT_EQ(S("10.1.2.") + QString::number(stored.IPAddr[3]), fields[3]);
        EXPECT_EQ(stored.ClientPort, 503);
        EXPECT_EQ(QString::fromStdString(MacAddressText(unit->Mac().data())), fields[2]);
    }
    if (!c.macNext)
        return;
    // No MAC address given twice; every address the file was advanced past
    // is in the record (given, or reserved and never sent: a gap).
    EXPECT_EQ(QSet<QString>(given.begin(), given.end()).size(), given.size()) << given.join(S(" ")).toStdString();
    const QByteArray file = ReadFile(h.MacFile);
    const int next = file.left(2).toInt(nullptr, 16);
    ASSERT_EQ(file.mid(2), macFile.mid(2));
    for (int octet6 = 0x0F; octet6 < next; ++octet6)
        EXPECT_TRUE(listed.contains(QStringLiteral("00.04.A3.01.1E.%1").arg(octet6, 2, 16, QLatin1Char('0')).toUpper()))
            << octet6;
    for (const QString& mac : given)
        EXPECT_LT(mac.right(2).toInt(nullptr, 16), next) << mac.toStdString();
}

INSTANTIATE_TEST_SUITE_P(Table, CliParallel, testing::ValuesIn(ParallelCases()),
                         [](const auto& info) { return info.param.name; });
