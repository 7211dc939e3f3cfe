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

#include "common/Version.h"
#include "config/AddressRange.h"
#include "device/UnitSelection.h"

#include <QCryptographicHash>
#include <QFileInfo>

#include <thread>

namespace vantrel::cli {

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

// --ip-from next: the address after the record's highest one.
QString FirstAddressText(const ParsedArgs& args, const RecordFile& record)
{
    const QString from = args.Value(kIpFromOption);
    if (from != QStringLiteral("next"))
        return from;
    const auto last = record.LastIp();
    if (!last)
        throw CliFailure(CliExit::Usage, QStringLiteral("--ip-from next: the commissioning record %1 names no IP "
                                                        "address yet; give the first unit's address")
                                             .arg(record.Path()));
    if (*last == 0xFFFFFFFF)
        throw CliFailure(CliExit::Usage, QStringLiteral("--ip-from next: the record's highest IP address is %1; there "
                                                        "is none after it")
                                             .arg(AddressText(*last)));
    return AddressText(*last + 1);
}

// The columns every line of this bench has alike.
CommissionEntry TraceOf(const QString& configPath, const ConfigRecord& config, CliContext& context)
{
    CommissionEntry trace;
    trace.ToolVersion = ToolVersion().toStdString();
    trace.Station = context.Station.toStdString();
    trace.Configuration = QFileInfo(configPath).fileName().toStdString();
    const QByteArray bytes(reinterpret_cast<const char*>(&config), sizeof config);
    trace.ConfigurationSha256 = QCryptographicHash::hash(bytes, QCryptographicHash::Sha256).toHex().toStdString();
    return trace;
}

// A bench started again, or an allocation file put back from a backup:
// caught before anything is sent. With --count every address the bench
// would give is looked at now; without it the first, and each in its turn.
void RefuseRepeats(const Bench& bench, const RecordFile& record, CliContext& context)
{
    const std::uint64_t last = bench.Count ? std::uint64_t(bench.First) + std::uint64_t(*bench.Count) - 1 : bench.First;
    for (std::uint64_t ip = bench.First; ip <= last; ++ip)
        if (const auto line = record.LineGiving(std::uint32_t(ip)))
            throw record.Repeat(QStringLiteral("IP address"), AddressText(std::uint32_t(ip)), *line);
    if (!bench.MacNext)
        return;
    const MacOctets mac = PeekNextMac(bench.MacPath, context.LockWait);
    if (const auto line = record.LineGiving(mac))
        throw CliFailure(CliExit::Usage, record.Repeat(QStringLiteral("MAC address"), MacText(mac), *line).Message
                                             + QStringLiteral("\nThe MAC allocation file %1 names it next: was it put "
                                                              "back from a backup? Set its lines 2 and 1 past the "
                                                              "record's addresses.")
                                                   .arg(bench.MacPath));
}

Bench SetUpBench(const ParsedArgs& args, const RecordFile& record, CliContext& context)
{
    Bench bench;
    bench.Timeout = ReplyTimeout(args);
    bench.Count = CountOf(args);
    // The configuration, checked as "write" checks it with --ip.
    const QString configPath = args.Value(kConfigOption);
    bench.Config = LoadConfig(configPath).Record;
    bench.Trace = TraceOf(configPath, bench.Config, context);
    CheckForWrite(configPath, bench.Config, AddressOverrides{FirstAddressText(args, record), {}, {}, {}, kIpFromOption});
    SetAddresses(bench, configPath);
    if (LoadName(bench.Config.DeviceName, sizeof bench.Config.DeviceName).size() > kDeviceNameChars - 1)
        context.Err << "Device Name: the unit keeps its first " << kDeviceNameChars - 1 << " characters\n";
    bench.MacNext = args.Has(kMacNextOption);
    bench.MacPath = MacAllocationPath(args, context);
    RefuseRepeats(bench, record, context);
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
void PlanNextUnit(const Bench& bench, UnitPlan& plan, int commissioned, CliContext& context)
{
    plan = PlanUnit(bench, plan.Number + 1, plan.Ip);
    QString macNote;
    if (bench.MacNext) {
        plan.MacAnnounced = PeekNextMac(bench.MacPath, context.LockWait);
        macNote = QStringLiteral(", MAC address ") + MacText(*plan.MacAnnounced);
    }
    context.Out << "Waiting for " << UnitOf(plan.Number, commissioned + 1, bench.Count) << " (IP address " << AddressText(plan.Ip)
                << macNote << "): plug it in\n";
    context.Out.flush();
}

// The next unit's IP address, unless the subnet has none left.
std::optional<std::uint32_t> NextIp(const Bench& bench, std::uint32_t ip)
{
    return ip <= bench.Hosts.Last ? std::optional(ip) : std::nullopt;
}

// Records the unit and says how it went. Ends the loop (a return value, or
// the failure that stops it) after an interruption or a failure that stops.
std::optional<CliExit> Conclude(const Bench& bench, UnitOutcome& outcome, UnitPlan& plan, RecordFile& record,
                                MacSupply* macs, Tally& tally, CliContext& context)
{
    try {
        record.Append(outcome.Entry);
    } catch (...) {
        HandBackUnsentMac(outcome, macs); // the run ends here: the address is not lost with it
        throw;
    }
    HandBackUnsentMac(outcome, macs);
    context.Out << "Unit " << plan.Number << ": " << QString::fromStdString(outcome.Entry.Result) << '\n';
    for (const QString& line : outcome.Details)
        context.Out << line << '\n';
    if (outcome.IpUsed)
        ++plan.Ip;
    tally.Count(outcome);
    if (outcome.Interrupted) {
        // Its line is in the record: Append above throws otherwise.
        context.Err << InterruptedWhileCommissioning({InterruptedUnit(plan.Number, outcome.Entry.SerialNumber)}, true,
                                                     record.Path(), NextIp(bench, plan.Ip))
                    << '\n';
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
                            "its line to the commissioning record, asks for the unit to be unplugged, waits until "
                            "it is gone, and goes on with the next. A unit in program mode, one that fails the "
                            "check or is unplugged mid-way is recorded as such and the loop goes on."),
             QStringLiteral("The IP addresses run from --ip-from through the host addresses of its subnet (the "
                            "configuration's Submask); --ip-from next continues after the record's highest one. Before "
                            "a unit's erase goes out, its MAC address is reserved (the allocation file advanced past "
                            "it) and a line naming both addresses goes into the record: from then on both are "
                            "spent, whatever becomes of the unit or the program, and no bench gives them again. An "
                            "address that the record lists as given already is refused (exit 2), before anything is "
                            "sent."),
             QStringLiteral("Ends after --count units commissioned, or with Ctrl-C, which leaves the record and "
                            "the MAC allocation file whole and says which unit was interrupted."),
             QStringLiteral("With --parallel, every unit plugged in is commissioned at once, each in its own "
                            "session: the IP addresses go out in the order the units are plugged in, the MAC "
                            "addresses in the order the units reach that step; each unit's lines start with "
                            "its serial number, or its path until the unit has said it. A unit that fails does "
                            "not stop the others.")},
        .Options = {{.Name = kConfigOption, .Value = QStringLiteral("FILE"),
                     .Help = QStringLiteral("the configuration to write, a .dat or .json file"), .Required = true},
                    {.Name = kIpFromOption, .Value = QStringLiteral("A.B.C.D|next"),
                     .Help = QStringLiteral("the first unit's IP address, or next: after the record's highest"),
                     .Required = true},
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

namespace {

// The bench's last line, however it ends: how many units, the MAC
// addresses that may be in a unit unconfirmed, the gaps, the next address.
class Summary {
public:
    Summary(CliContext& context, Tally& tally, MacSupply* macs, const std::uint32_t& next, const HostRange& hosts)
        : context_(context), tally_(tally), macs_(macs), next_(next), hosts_(hosts)
    {
    }
    ~Summary()
    {
        context_.Out << tally_.Done(macs_, next_ <= hosts_.Last ? std::optional(next_) : std::nullopt) << '\n';
        context_.Out.flush();
    }

private:
    CliContext& context_;
    Tally& tally_;
    MacSupply* macs_;
    const std::uint32_t& next_;
    const HostRange& hosts_;
};

CliExit RunOneAtATime(const Bench& bench, RecordFile& record, MacSupply* macs, CliContext& context)
{
    Tally tally;
    UnitPlan plan;
    plan.Ip = bench.First;
    const Summary summary(context, tally, macs, plan.Ip, bench.Hosts);
    const UnitHooks hooks{.Record = record, .Trace = bench.Trace, .Macs = macs};
    while (!bench.Count || tally.Commissioned != *bench.Count) {
        if (plan.Ip > bench.Hosts.Last)
            throw NoIpAddressLeft(bench);
        if (const auto line = record.LineGiving(plan.Ip))
            throw record.Repeat(QStringLiteral("IP address"), AddressText(plan.Ip), *line);
        PlanNextUnit(bench, plan, tally.Commissioned, context);
        if (!WaitForUnit(context, true)) {
            context.Err << InterruptedWhileWaiting(plan.Number, std::nullopt) << '\n';
            return CliExit::Interrupted;
        }
        UnitOutcome outcome = CommissionUnit(context, bench.Timeout, plan, hooks);
        if (outcome.Vanished) { // unplugged again at once: wait for it anew
            --plan.Number;
            continue;
        }
        if (const auto end = Conclude(bench, outcome, plan, record, macs, tally, context))
            return *end;
        context.Out << "Unplug unit " << plan.Number << '\n';
        context.Out.flush();
        if (!WaitForUnit(context, false)) {
            context.Err << "Interrupted while waiting for unit " << plan.Number << " to be unplugged; it is recorded in "
                        << record.Path() << '.' << NextIpSentence(NextIp(bench, plan.Ip)) << '\n';
            return CliExit::Interrupted;
        }
    }
    return CliExit::Success;
}

} // namespace

CliExit RunCommission(const ParsedArgs& args, CliContext& context)
{
    RecordFile record(args.Value(kRecordOption), context.LockWait);
    const Bench bench = SetUpBench(args, record, context);
    std::optional<MacSupply> macs;
    if (bench.MacNext)
        macs.emplace(bench.MacPath, context.LockWait);
    MacSupply* supply = macs ? &*macs : nullptr;
    if (args.Has(kParallelOption))
        return RunParallelBench(bench, record, supply, context);
    return RunOneAtATime(bench, record, supply, context);
}

} // namespace vantrel::cli
