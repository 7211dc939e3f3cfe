// vantrel-cli commission: the bench loop. One configuration goes to unit
// after unit, each with the next IP address (and, if asked, the next free
// MAC address), each checked by reading it back, each recorded in one line
// of the commissioning record. The loop waits for a unit to be plugged in,
// commissions it, waits for it to be unplugged, and goes on; a unit that
// fails is recorded as such and the loop goes on with the next.
//
// An IP address is used up once the write has erased the unit's
// configuration: from then on the unit may hold it. A MAC address is used
// up once the unit has confirmed it, as with "mac --next". Ctrl-C is
// looked at while waiting, both for the operator and for the unit; the
// record and the MAC allocation file are only ever changed in one step
// each, so an interruption leaves both whole.

#include "cli/CliSupport.h"
#include "cli/CommissionRecord.h"
#include "config/AddressRange.h"
#include "device/UnitSelection.h"

#include <QFile>
#include <QFileInfo>

#include <thread>

namespace vantrel::cli {

namespace {

const QString kConfigOption = QStringLiteral("--config");
const QString kIpFromOption = QStringLiteral("--ip-from");
const QString kCountOption = QStringLiteral("--count");
const QString kMacNextOption = QStringLiteral("--mac-next");
const QString kRecordOption = QStringLiteral("--record");

// The record, opened for each line so that it is never held open between
// units (a spreadsheet may look at it meanwhile).
class RecordFile {
public:
    explicit RecordFile(QString path) : path_(std::move(path))
    {
        QFile file(path_);
        if (!file.open(QIODevice::ReadWrite | QIODevice::Append | QIODevice::Unbuffered))
            throw CliFailure(CliExit::Failure,
                             QStringLiteral("Cannot open the commissioning record %1: %2").arg(path_, file.errorString()));
        if (file.size() == 0) {
            Write(file, QByteArray(kCommissionHeader));
            return;
        }
        // A record whose last line was ended by hand without a line break
        // gets one before the first new line.
        file.seek(file.size() - 1);
        needsBreak_ = file.read(1) != "\n";
    }

    const QString& Path() const { return path_; }

    void Append(const CommissionEntry& entry)
    {
        QByteArray line = QByteArray::fromStdString(CommissionLine(entry));
        if (needsBreak_)
            line.prepend("\r\n");
        QFile file(path_);
        if (!file.open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::Unbuffered))
            throw CliFailure(CliExit::Failure, QStringLiteral("Cannot append to the commissioning record %1: %2\n"
                                                              "Not recorded: %3")
                                                   .arg(path_, file.errorString(), QString::fromUtf8(line).trimmed()));
        Write(file, line);
        needsBreak_ = false;
    }

private:
    // One write; a line that did not go out whole is taken back out.
    void Write(QFile& file, const QByteArray& bytes)
    {
        const qint64 before = file.size();
        if (file.write(bytes) == bytes.size() && file.flush())
            return;
        const QString reason = file.errorString();
        file.resize(before);
        throw CliFailure(CliExit::Failure, QStringLiteral("Cannot append to the commissioning record %1: %2\n"
                                                          "Not recorded: %3")
                                               .arg(path_, reason, QString::fromUtf8(bytes).trimmed()));
    }

    QString path_;
    bool needsBreak_ = false;
};

bool UnitPresent(HidBackend& hid)
{
    for (const HidInterfaceInfo& info : hid.Enumerate())
        if (MatchesPattern(info.HardwareId, kAnyRevisionPattern))
            return true;
    return false;
}

bool Interrupted(const CliContext& context)
{
    return context.Interrupt && context.Interrupt->load();
}

// Looks at the device list every PollInterval until `present` is what it
// shows; false when the operator interrupted the wait.
bool WaitForUnit(CliContext& context, bool present)
{
    for (;;) {
        if (Interrupted(context))
            return false;
        if (UnitPresent(context.Hid) == present)
            return true;
        if (context.Sleep)
            context.Sleep(context.PollInterval);
        else
            std::this_thread::sleep_for(context.PollInterval);
    }
}

QString AddressText(std::uint32_t address)
{
    return QString::fromStdString(DottedText(address));
}

// Where one unit's commissioning got to.
enum class Stage { Opening, Write, Mac, ReadBack, Done };

const char* StageName(Stage stage)
{
    switch (stage) {
    case Stage::Opening:
    case Stage::Write:
        return "the write";
    case Stage::Mac:
        return "the MAC address";
    case Stage::ReadBack:
        return "the read-back";
    case Stage::Done:
        break;
    }
    return "the end";
}

struct UnitPlan {
    int Number = 0;
    std::uint32_t Ip = 0;
    ConfigRecord Record{};               // the configuration with this unit's IP address
    std::optional<MacAllocation> MacFile; // with --mac-next
    std::optional<NextMac> Mac;
};

struct UnitOutcome {
    CommissionEntry Entry;
    bool Vanished = false;     // gone before it could be opened: nothing to record
    bool Commissioned = false;
    bool IpUsed = false;       // the erase went out
    bool Interrupted = false;
    QStringList Details;       // lines for the operator after "Unit N: result"
    std::optional<CliFailure> Stop; // ends the loop once recorded
};

// What the unit holds after a failure at `stage`.
QString WhatTheUnitHolds(Stage stage, bool erased, bool macConfirmed)
{
    if (!erased)
        return QStringLiteral("nothing was written to it");
    if (stage == Stage::Write)
        return QStringLiteral("it may hold an incomplete configuration");
    if (stage == Stage::Mac)
        return QStringLiteral("its configuration is written; its MAC address may or may not be");
    return macConfirmed ? QStringLiteral("its configuration and MAC address are written; the check did not finish")
                        : QStringLiteral("its configuration is written; the check did not finish");
}

UnitOutcome CommissionUnit(CliContext& context, std::chrono::milliseconds timeout, const UnitPlan& plan)
{
    UnitOutcome outcome;
    CommissionEntry& entry = outcome.Entry;
    entry.Time = context.Now ? context.Now().toStdString() : std::string();

    UnitSession session(context.Hid, timeout, context.Interrupt);
    Stage stage = Stage::Opening;
    bool macSent = false, macConfirmed = false;
    session.BeforeRequest = [&](const RequestStep& step) {
        outcome.IpUsed = outcome.IpUsed || step.Kind == RequestKind::Erase;
        macSent = macSent || step.Kind == RequestKind::MacWrite;
    };
    try {
        session.Connect();
        stage = Stage::Write;
        session.Write(plan.Record);
        if (plan.Mac) {
            stage = Stage::Mac;
            session.WriteMac(plan.Mac->Mac);
            macConfirmed = true;
            try {
                CommitNextMac(*plan.MacFile, *plan.Mac);
            } catch (const CliFailure& failure) {
                outcome.Stop = failure;
            }
        }
        stage = Stage::ReadBack;
        const UnitSession::ReadResult read = session.Read(plan.Record);
        stage = Stage::Done;
        entry.MacAddress = MacText(read.Mac).toStdString();

        const ConfigRecord expected = ReadBackOf(plan.Record, plan.Record);
        QStringList differing;
        for (const RecordField& field : DifferingFields(expected, read.Record))
            differing << QString::fromLatin1(field.Caption);
        outcome.Details = DifferenceLines(expected, read.Record);
        if (plan.Mac && read.Mac != plan.Mac->Mac) {
            differing << QStringLiteral("MAC Address");
            outcome.Details << QStringLiteral("MAC Address: %1 | %2").arg(MacText(plan.Mac->Mac), MacText(read.Mac));
        }
        if (differing.isEmpty()) {
            outcome.Commissioned = true;
            entry.Result = "commissioned";
        } else {
            outcome.Details.prepend(QStringLiteral("The unit does not give back what was written (written | read back):"));
            entry.Result = "check failed: " + differing.join(QStringLiteral("; ")).toStdString();
        }
    } catch (const SessionError& error) {
        if (plan.Mac && macConfirmed)
            entry.MacAddress = MacText(plan.Mac->Mac).toStdString();
        switch (error.Kind()) {
        case SessionFailure::NoUnit:
            outcome.Vanished = stage == Stage::Opening;
            entry.Result = std::string("unplugged during ") + StageName(stage);
            break;
        case SessionFailure::ProgramMode:
            entry.Result = "program mode";
            break;
        case SessionFailure::NoAccess:
            entry.Result = "cannot be opened";
            outcome.Stop = CliFailure(CliExit::NoAccess, QString::fromStdString(error.what()));
            break;
        case SessionFailure::WrongApplication:
            entry.Result = "not a QUORVEX Vantrel";
            break;
        case SessionFailure::NoAnswer:
            entry.Result = std::string("no answer during ") + StageName(stage);
            break;
        case SessionFailure::UnitLost:
            entry.Result = std::string("unplugged during ") + StageName(stage);
            break;
        case SessionFailure::Interrupted:
            entry.Result = std::string("interrupted during ") + StageName(stage);
            outcome.Interrupted = true;
            break;
        }
        if (stage != Stage::Opening) {
            outcome.Details << QString::fromStdString(error.what()) + QStringLiteral(": ")
                                   + WhatTheUnitHolds(stage, outcome.IpUsed, macConfirmed) + QLatin1Char('.');
            if (stage == Stage::Mac && macSent && !macConfirmed)
                outcome.Details << QStringLiteral("The MAC address %1 was sent, but the unit did not confirm it; the "
                                                  "MAC allocation file was not advanced.")
                                       .arg(MacText(plan.Mac->Mac));
        }
    }
    if (const auto& ident = session.LastIdent()) {
        entry.SerialNumber = std::to_string(ident->SerialNumber);
        entry.FirmwareVersion = UnitText(ident->Version).toStdString();
    }
    if (outcome.IpUsed)
        entry.IpAddress = DottedText(plan.Ip);
    if (outcome.Stop && macConfirmed) // the file could not be advanced
        entry.Result += "; MAC allocation file not advanced";
    return outcome;
}

} // namespace

CommandSpec CommissionSpec()
{
    return {QStringLiteral("commission"), QString(),
            QStringLiteral("Commission unit after unit: the bench loop."),
            QStringLiteral(
                "--config, --ip-from and --record are required.\n"
                "Waits for a unit to be plugged in, writes the configuration with the next IP address,\n"
                "with --mac-next gives it the next free MAC address, reads it back to check it, appends\n"
                "one line to the commissioning record (time, serial number, firmware version, MAC\n"
                "address, IP address, result), asks for the unit to be unplugged, waits until it is\n"
                "gone, and goes on with the next. A unit in program mode, one that fails the check or\n"
                "is unplugged mid-way is recorded as such and the loop goes on.\n"
                "The IP addresses run from --ip-from through the host addresses of its subnet (the\n"
                "configuration's Submask); an address is used up once the write has begun to change\n"
                "the unit. A MAC address is used up once the unit has confirmed it.\n"
                "Ends after --count units commissioned, or with Ctrl-C, which leaves the record and\n"
                "the MAC allocation file whole and says which unit was interrupted."),
            {{kConfigOption, QStringLiteral("FILE"), QStringLiteral("the configuration to write (.dat or .json)")},
             {kIpFromOption, QStringLiteral("A.B.C.D"), QStringLiteral("the first unit's IP address")},
             {kCountOption, QStringLiteral("N"), QStringLiteral("stop once N units are commissioned (default: until Ctrl-C)")},
             {kMacNextOption, QString(), QStringLiteral("give each unit the next free MAC address, as mac --next does")},
             {kRecordOption, QStringLiteral("FILE.csv"), QStringLiteral("the commissioning record, appended to")},
             MacFileOption(),
             TimeoutOption()}};
}

CliExit RunCommission(const ParsedArgs& args, CliContext& context)
{
    for (const QString& required : {kConfigOption, kIpFromOption, kRecordOption})
        if (!args.Has(required))
            throw UsageError(CommissionSpec(), QStringLiteral("%1 is required").arg(required));
    const std::chrono::milliseconds timeout = ReplyTimeout(args);
    std::optional<long long> count;
    if (args.Has(kCountOption)) {
        count = ParseDecimal(args.Value(kCountOption), 1, 65536);
        if (!count)
            throw CliFailure(CliExit::Usage, QStringLiteral("--count: '%1' is not a whole number from 1 to 65536")
                                                 .arg(args.Value(kCountOption)));
    }

    // The configuration, checked as "write" checks it with --ip.
    const QString configPath = args.Value(kConfigOption);
    ConfigRecord config = LoadConfig(configPath).Record;
    CheckForWrite(configPath, config, AddressOverrides{args.Value(kIpFromOption), {}, {}, {}});
    const std::uint32_t first = AddressNumber(config.IPAddr);
    const std::uint32_t mask = AddressNumber(config.SubMaskAddr);
    const auto hosts = HostRangeOf(first, mask);
    if (!hosts)
        throw CliFailure(CliExit::Usage, QStringLiteral("%1: Submask %2 is not a run of ones followed by zeros, so "
                                                        "the addresses after --ip-from cannot be told")
                                             .arg(configPath, AddressText(mask)));
    const QString subnet = AddressText(first & mask) + QLatin1Char('/') + AddressText(mask);
    if (first < hosts->First || first > hosts->Last)
        throw CliFailure(CliExit::Usage, QStringLiteral("--ip-from: %1 is the %2 address of the subnet %3")
                                             .arg(AddressText(first),
                                                  first == (first & mask) ? QStringLiteral("own") : QStringLiteral("broadcast"),
                                                  subnet));
    if (count && std::uint64_t(first) + std::uint64_t(*count) - 1 > hosts->Last)
        throw CliFailure(CliExit::Usage,
                         QStringLiteral("--count %1 from %2 runs past %3, the last host address of the subnet %4")
                             .arg(QString::number(*count), AddressText(first), AddressText(hosts->Last), subnet));
    if (LoadName(config.DeviceName, sizeof config.DeviceName).size() > kDeviceNameChars - 1)
        context.Err << "Device Name: the unit keeps its first " << kDeviceNameChars - 1 << " characters\n";

    const bool macNext = args.Has(kMacNextOption);
    const QString macPath = MacAllocationPath(args, context);
    if (macNext)
        PlanNextMac(LoadMacAllocation(macPath)); // refused now rather than at the first unit
    RecordFile record(args.Value(kRecordOption));

    int commissioned = 0, failed = 0;
    UnitPlan plan;
    plan.Ip = first;
    for (;;) {
        if (count && commissioned == *count)
            break;
        if (plan.Ip > hosts->Last) {
            context.Out << "Done: " << commissioned << " commissioned, " << failed << " failed\n";
            throw CliFailure(CliExit::Failure, QStringLiteral("No IP address left: %1 was the last host address of "
                                                              "the subnet %2")
                                                   .arg(AddressText(hosts->Last), subnet));
        }
        ++plan.Number;
        plan.Record = config;
        StoreAddressNumber(plan.Ip, plan.Record.IPAddr);
        QString macNote;
        if (macNext) {
            plan.MacFile = LoadMacAllocation(macPath);
            plan.Mac = PlanNextMac(*plan.MacFile);
            macNote = QStringLiteral(", MAC address ") + MacText(plan.Mac->Mac);
        }
        context.Out << "Waiting for unit " << plan.Number << " (IP address " << AddressText(plan.Ip) << macNote
                    << "): plug it in\n";
        context.Out.flush();
        if (!WaitForUnit(context, true)) {
            context.Err << "Interrupted while waiting for unit " << plan.Number
                        << "; no unit was being commissioned.\n";
            return CliExit::Interrupted;
        }

        UnitOutcome outcome = CommissionUnit(context, timeout, plan);
        if (outcome.Vanished) { // unplugged again at once: wait for it anew
            --plan.Number;
            continue;
        }
        record.Append(outcome.Entry);
        context.Out << "Unit " << plan.Number << ": " << QString::fromStdString(outcome.Entry.Result) << '\n';
        for (const QString& line : outcome.Details)
            context.Out << line << '\n';
        if (outcome.IpUsed)
            ++plan.Ip;
        (outcome.Commissioned ? commissioned : failed) += 1;
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
        context.Out << "Unplug unit " << plan.Number << '\n';
        context.Out.flush();
        if (!WaitForUnit(context, false)) {
            context.Err << "Interrupted while waiting for unit " << plan.Number << " to be unplugged; it is recorded in "
                        << record.Path() << ". The next IP address is " << AddressText(plan.Ip) << ".\n";
            return CliExit::Interrupted;
        }
    }
    context.Out << "Done: " << commissioned << " commissioned, " << failed << " failed; the next IP address is "
                << AddressText(plan.Ip) << '\n';
    return CliExit::Success;
}

} // namespace vantrel::cli
