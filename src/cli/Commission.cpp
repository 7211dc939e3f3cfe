// vantrel-cli commission: the bench loop. One configuration goes to unit
// after unit, each with the next IP address (and, if asked, the next free
// MAC address), each checked by reading it back, each recorded in one line
// of the commissioning record. The loop waits for a unit to be plugged in,
// commissions it (CommissionUnit.cpp), waits for it to be unplugged, and
// goes on; a unit that fails is recorded as such and the loop goes on with
// the next.
//
// Ctrl-C is looked at while waiting, both for the operator and for the
// unit; the record and the MAC allocation file are only ever changed in
// one step each, so an interruption leaves both whole.
//
// With --parallel, CommissionParallel.cpp runs the bench instead, on the
// same set-up and the same record.

#include "cli/CliCommands.h"
#include "cli/Commission.h"

#include "config/AddressRange.h"
#include "device/UnitSelection.h"

#include <thread>

namespace vantrel::cli {

QString AddressText(std::uint32_t address)
{
    return QString::fromStdString(DottedText(address));
}

namespace {

const QString kConfigOption = QStringLiteral("--config");
const QString kIpFromOption = QStringLiteral("--ip-from");
const QString kCountOption = QStringLiteral("--count");
const QString kMacNextOption = QStringLiteral("--mac-next");
const QString kRecordOption = QStringLiteral("--record");
const QString kParallelOption = QStringLiteral("--parallel");

std::optional<long long> CountOf(const ParsedArgs& args)
{
    if (!args.Has(kCountOption))
        return std::nullopt;
    const auto count = ParseDecimal(args.Value(kCountOption), 1, 65536);
    if (!count)
        throw CliFailure(CliExit::Usage, QStringLiteral("--count: '%1' is not a whole number from 1 to 65536")
                                             .arg(args.Value(kCountOption)));
    return count;
}

// The host addresses from --ip-from on, under the configuration's Submask,
// enough of them for --count.
void SetAddresses(Bench& bench, const QString& configPath)
{
    bench.First = AddressNumber(bench.Config.IPAddr);
    const std::uint32_t mask = AddressNumber(bench.Config.SubMaskAddr);
    const auto hosts = HostRangeOf(bench.First, mask);
    if (!hosts)
        throw CliFailure(CliExit::Usage, QStringLiteral("%1: Submask %2 is not a run of ones followed by zeros, so "
                                                        "the addresses after --ip-from cannot be told")
                                             .arg(configPath, AddressText(mask)));
    bench.Hosts = *hosts;
    const std::uint32_t first = bench.First;
    bench.Subnet = AddressText(first & mask) + QLatin1Char('/') + AddressText(mask);
    if (first < hosts->First || first > hosts->Last)
        throw CliFailure(CliExit::Usage,
                         QStringLiteral("--ip-from: %1 is the %2 address of the subnet %3")
                             .arg(AddressText(first),
                                  first == (first & mask) ? QStringLiteral("own") : QStringLiteral("broadcast"),
                                  bench.Subnet));
    if (bench.Count && std::uint64_t(first) + std::uint64_t(*bench.Count) - 1 > hosts->Last)
        throw CliFailure(CliExit::Usage,
                         QStringLiteral("--count %1 from %2 runs past %3, the last host address of the subnet %4")
                             .arg(QString::number(*bench.Count), AddressText(first), AddressText(hosts->Last),
                                  bench.Subnet));
}

Bench SetUpBench(const ParsedArgs& args, CliContext& context)
{
    Bench bench;
    bench.Timeout = ReplyTimeout(args);
    bench.Count = CountOf(args);
    // The configuration, checked as "write" checks it with --ip.
    const QString configPath = args.Value(kConfigOption);
    bench.Config = LoadConfig(configPath).Record;
    CheckForWrite(configPath, bench.Config, AddressOverrides{args.Value(kIpFromOption), {}, {}, {}});
    SetAddresses(bench, configPath);
    if (LoadName(bench.Config.DeviceName, sizeof bench.Config.DeviceName).size() > kDeviceNameChars - 1)
        context.Err << "Device Name: the unit keeps its first " << kDeviceNameChars - 1 << " characters\n";
    bench.MacNext = args.Has(kMacNextOption);
    bench.MacPath = MacAllocationPath(args, context);
    if (bench.MacNext)
        PeekNextMac(bench.MacPath, context.LockWait); // refused now rather than at the first unit
    return bench;
}

bool UnitPresent(HidBackend& hid)
{
    for (const HidInterfaceInfo& info : hid.Enumerate())
        if (MatchesPattern(info.HardwareId, kAnyRevisionPattern))
            return true;
    return false;
}

// Looks at the device list every PollInterval until `present` is what it
// shows; false when the operator interrupted the wait.
bool WaitForUnit(CliContext& context, bool present)
{
    for (;;) {
        if (context.Interrupt && context.Interrupt->load())
            return false;
        if (UnitPresent(context.Hid) == present)
            return true;
        if (context.Sleep)
            context.Sleep(context.PollInterval);
        else
            std::this_thread::sleep_for(context.PollInterval);
    }
}

// The next unit's number, configuration and MAC address, and the line that
// asks for it.
void PlanNextUnit(const Bench& bench, UnitPlan& plan, CliContext& context)
{
    ++plan.Number;
    plan.Record = bench.Config;
    StoreAddressNumber(plan.Ip, plan.Record.IPAddr);
    QString macNote;
    if (bench.MacNext) {
        plan.MacFile = bench.MacPath;
        plan.MacAnnounced = PeekNextMac(bench.MacPath, context.LockWait).Mac;
        macNote = QStringLiteral(", MAC address ") + MacText(*plan.MacAnnounced);
    }
    context.Out << "Waiting for unit " << plan.Number << " (IP address " << AddressText(plan.Ip) << macNote
                << "): plug it in\n";
    context.Out.flush();
}

struct Tally {
    int Commissioned = 0;
    int Failed = 0;
};

// Records the unit and says how it went. Ends the loop (a return value, or
// the failure that stops it) after an interruption or a failure that stops.
std::optional<CliExit> Conclude(const UnitOutcome& outcome, UnitPlan& plan, RecordFile& record, Tally& tally,
                                CliContext& context)
{
    record.Append(outcome.Entry);
    context.Out << "Unit " << plan.Number << ": " << QString::fromStdString(outcome.Entry.Result) << '\n';
    for (const QString& line : outcome.Details)
        context.Out << line << '\n';
    if (outcome.IpUsed)
        ++plan.Ip;
    (outcome.Commissioned ? tally.Commissioned : tally.Failed) += 1;
    if (outcome.Interrupted) {
        const QString serial = outcome.Entry.SerialNumber.empty()
                                   ? QString()
                                   : QStringLiteral(" (serial number %1)")
                                         .arg(QString::fromStdString(outcome.Entry.SerialNumber));
        context.Err << "Interrupted: unit " << plan.Number << serial << " was being commissioned; recorded in "
                    << record.Path() << ". The next IP address is " << AddressText(plan.Ip) << ".\n";
        return CliExit::Interrupted;
    }
    if (outcome.Stop)
        throw *outcome.Stop;
    return std::nullopt;
}

} // namespace

CommandSpec CommissionSpec()
{
    return {
        .Name = QStringLiteral("commission"),
        .Summary = QStringLiteral("Commission unit after unit: the bench loop."),
        .Description =
            {QStringLiteral("Waits for a unit to be plugged in, writes the configuration with the next IP address, "
                            "with --mac-next gives it the next free MAC address, reads it back to check it, appends "
                            "one line to the commissioning record (time, serial number, firmware version, MAC "
                            "address, IP address, result), asks for the unit to be unplugged, waits until it is "
                            "gone, and goes on with the next. A unit in program mode, one that fails the check or "
                            "is unplugged mid-way is recorded as such and the loop goes on."),
             QStringLiteral("The IP addresses run from --ip-from through the host addresses of its subnet (the "
                            "configuration's Submask); an address is used up once the write has begun to change "
                            "the unit. A MAC address is used up once the unit has confirmed it."),
             QStringLiteral("Ends after --count units commissioned, or with Ctrl-C, which leaves the record and "
                            "the MAC allocation file whole and says which unit was interrupted."),
             QStringLiteral("With --parallel, every unit plugged in is commissioned at once, each in its own "
                            "session: the IP addresses go out in the order the units are plugged in, the MAC "
                            "addresses in the order the units reach that step; each unit's lines start with "
                            "its serial number, or its path until the unit has said it. A unit that fails does "
                            "not stop the others.")},
        .Options = {{.Name = kConfigOption, .Value = QStringLiteral("FILE"),
                     .Help = QStringLiteral("the configuration to write, a .dat or .json file"), .Required = true},
                    {.Name = kIpFromOption, .Value = QStringLiteral("A.B.C.D"),
                     .Help = QStringLiteral("the first unit's IP address"), .Required = true},
                    {.Name = kCountOption, .Value = QStringLiteral("N"),
                     .Help = QStringLiteral("stop once N units are commissioned (default: until Ctrl-C)")},
                    {.Name = kMacNextOption, .Value = QString(),
                     .Help = QStringLiteral("give each unit the next free MAC address, as mac --next does")},
                    {.Name = kRecordOption, .Value = QStringLiteral("FILE.csv"),
                     .Help = QStringLiteral("the commissioning record, appended to"), .Required = true},
                    {.Name = kParallelOption, .Value = QString(),
                     .Help = QStringLiteral("commission every unit plugged in at once (a bench with a hub)")},
                    MacFileOption(),
                    TimeoutOption()}};
}

CliExit RunCommission(const ParsedArgs& args, CliContext& context)
{
    const Bench bench = SetUpBench(args, context);
    RecordFile record(args.Value(kRecordOption), context.LockWait);
    if (args.Has(kParallelOption))
        return RunParallelBench(bench, record, context);
    Tally tally;
    UnitPlan plan;
    plan.Ip = bench.First;
    while (!bench.Count || tally.Commissioned != *bench.Count) {
        if (plan.Ip > bench.Hosts.Last) {
            context.Out << "Done: " << tally.Commissioned << " commissioned, " << tally.Failed << " failed\n";
            throw CliFailure(CliExit::Failure, QStringLiteral("No IP address left: %1 was the last host address of "
                                                              "the subnet %2")
                                                   .arg(AddressText(bench.Hosts.Last), bench.Subnet));
        }
        PlanNextUnit(bench, plan, context);
        if (!WaitForUnit(context, true)) {
            context.Err << "Interrupted while waiting for unit " << plan.Number
                        << "; no unit was being commissioned.\n";
            return CliExit::Interrupted;
        }
        const UnitOutcome outcome = CommissionUnit(context, bench.Timeout, plan);
        if (outcome.Vanished) { // unplugged again at once: wait for it anew
            --plan.Number;
            continue;
        }
        if (const auto end = Conclude(outcome, plan, record, tally, context))
            return *end;
        context.Out << "Unplug unit " << plan.Number << '\n';
        context.Out.flush();
        if (!WaitForUnit(context, false)) {
            context.Err << "Interrupted while waiting for unit " << plan.Number << " to be unplugged; it is recorded in "
                        << record.Path() << ". The next IP address is " << AddressText(plan.Ip) << ".\n";
            return CliExit::Interrupted;
        }
    }
    context.Out << "Done: " << tally.Commissioned << " commissioned, " << tally.Failed
                << " failed; the next IP address is " << AddressText(plan.Ip) << '\n';
    return CliExit::Success;
}

} // namespace vantrel::cli
