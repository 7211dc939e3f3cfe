// One unit of the bench loop: the write, the MAC address, the read-back,
// and what the record says of it however far it got.
//
// Before the erase goes out, the unit's MAC address is reserved (the
// allocation file advanced past it) and a line naming it and the IP
// address goes into the record: from then on both are spent, whatever
// becomes of the unit or of this program. A MAC address whose request
// never went out goes back; one that did is spent, confirmed or not.

#include "cli/Commission.h"

#include "config/AddressRange.h"

#include <mutex>

namespace vantrel::cli {

namespace {

// Where one unit's commissioning got to.
enum class Stage { Opening, Write, Mac, ReadBack, Done };

struct Progress {
    Stage At = Stage::Opening;
    std::optional<MacOctets> Mac; // the address reserved for it
    bool MacConfirmed = false;    // the unit confirmed it
};

// A failure of the record or the allocation file before the erase: nothing
// was written to the unit, and the bench stops.
struct NotStarted {
    CliFailure Failure;
    std::string Result;
};

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

// The read-back against what was written, and the MAC address against the
// one sent.
void CheckReadBack(const UnitPlan& plan, const Progress& progress, const UnitSession::ReadResult& read,
                   UnitOutcome& outcome)
{
    CommissionEntry& entry = outcome.Entry;
    if (!progress.Mac) {
        entry.MacAddress = MacText(read.Mac).toStdString();
        entry.MacState = kMacRead;
    }
    const WriteCheck check = CompareReadBack(plan.Record, read);
    QStringList differing = check.Differing;
    QStringList lines = check.Differences;
    if (progress.Mac && read.Mac != *progress.Mac) {
        differing << QStringLiteral("MAC Address");
        lines << QStringLiteral("MAC Address: %1 | %2").arg(MacText(*progress.Mac), MacText(read.Mac));
    }
    if (differing.isEmpty()) {
        outcome.Commissioned = true;
        entry.Result = "commissioned";
        return;
    }
    // After what the operator was told before (another MAC address than
    // announced), not in its place.
    outcome.Details << QStringLiteral("The unit does not give back what was written (written | read back):") << lines;
    entry.Result = "check failed: " + differing.join(QStringLiteral("; ")).toStdString();
}

// One unit's session and what it needs besides.
struct Run {
    CliContext& Context;
    const UnitPlan& Plan;
    const UnitHooks& Hooks;
    UnitSession& Session;
    Progress& Where;
    UnitOutcome& Outcome;

    void Say(const QString& what) const
    {
        if (Hooks.Progress)
            Hooks.Progress(Session, what);
    }
};

// Before the erase: the MAC address reserved, and the unit's first line in
// the record. Throws NotStarted, with nothing written to the unit.
void Claim(const Run& run)
{
    if (MacSupply* macs = run.Hooks.Macs) {
        try {
            run.Where.Mac = macs->Take();
        } catch (const CliFailure& failure) {
            throw NotStarted{failure, "not written: no MAC address could be reserved"};
        }
        const MacOctets mac = *run.Where.Mac;
        if (run.Plan.MacAnnounced && mac != *run.Plan.MacAnnounced)
            run.Outcome.Details << QStringLiteral("Another program took the MAC address %1 meanwhile; this unit gets %2.")
                                       .arg(MacText(*run.Plan.MacAnnounced), MacText(mac));
    }
    CommissionEntry line = run.Outcome.Entry;
    if (const auto& ident = run.Session.LastIdent()) {
        line.SerialNumber = std::to_string(ident->SerialNumber);
        line.FirmwareVersion = UnitText(ident->Version).toStdString();
    }
    line.IpAddress = DottedText(run.Plan.Ip);
    line.Result = "in progress";
    if (run.Where.Mac) {
        line.MacAddress = MacText(*run.Where.Mac).toStdString();
        line.MacState = kMacReserved;
    }
    try {
        run.Hooks.Record.Claim(line, run.Plan.Ip, run.Where.Mac);
    } catch (const CliFailure& failure) {
        if (run.Where.Mac)
            run.Hooks.Macs->GiveBack(*std::exchange(run.Where.Mac, std::nullopt));
        throw NotStarted{failure, failure.Code == CliExit::Usage ? "not written: address given before"
                                                                  : "not written: the record failed"};
    }
    run.Outcome.IpUsed = true;
}

// The MAC address step ("Send New MAC": the identification, then the
// address reserved for the unit). Throws SessionError.
void GiveMacAddress(const Run& run)
{
    run.Where.At = Stage::Mac;
    run.Session.Identify();
    run.Say(QStringLiteral("MAC address ") + MacText(*run.Where.Mac));
    run.Session.SendMac(*run.Where.Mac);
    run.Where.MacConfirmed = true;
}

// The three exchanges in one session. Throws SessionError.
void Exchange(const Run& run)
{
    if (run.Plan.Unit)
        run.Session.ConnectTo(*run.Plan.Unit);
    else
        run.Session.Connect();
    run.Where.At = Stage::Write;
    run.Session.Write(run.Plan.Record);
    if (run.Where.Mac)
        GiveMacAddress(run);
    run.Where.At = Stage::ReadBack;
    run.Say(QStringLiteral("reading back"));
    const UnitSession::ReadResult read = run.Session.Read(run.Plan.Record);
    run.Where.At = Stage::Done;
    CheckReadBack(run.Plan, run.Where, read, run.Outcome);
}

// The record's result for a failed exchange; a unit that cannot be opened
// ends the loop, an interruption ends it too.
std::string FailureResult(SessionFailure failure, Stage stage, UnitOutcome& outcome, const QString& message)
{
    switch (failure) {
    case SessionFailure::NoUnit:
        outcome.Vanished = stage == Stage::Opening;
        return std::string("unplugged during ") + StageName(stage);
    case SessionFailure::ProgramMode:
        return "program mode";
    case SessionFailure::NoAccess:
        outcome.Stop = CliFailure(CliExit::NoAccess, message);
        return "cannot be opened";
    case SessionFailure::WrongApplication:
        return "not a QUORVEX Vantrel";
    case SessionFailure::NoAnswer:
        return std::string("no answer during ") + StageName(stage);
    case SessionFailure::UnitLost:
        return std::string("unplugged during ") + StageName(stage);
    case SessionFailure::Interrupted:
        outcome.Interrupted = true;
        return std::string("interrupted during ") + StageName(stage);
    }
    return {};
}

// The MAC address column: what may be in the unit, and what never left.
void RecordMac(const Run& run)
{
    const Progress& progress = run.Where;
    if (!progress.Mac)
        return;
    CommissionEntry& entry = run.Outcome.Entry;
    const QString mac = MacText(*progress.Mac);
    entry.MacAddress = mac.toStdString();
    if (progress.MacConfirmed) {
        entry.MacState = kMacConfirmed;
    } else if (run.Session.Sent(RequestKind::MacWrite)) {
        entry.MacState = kMacUnconfirmed;
        run.Outcome.MacUnconfirmed = progress.Mac;
        run.Outcome.Details << QStringLiteral("The MAC address %1 was sent, but the unit did not confirm it. It is "
                                              "spent: no bench gives it again. See what the unit holds with: "
                                              "vantrel-cli info")
                                   .arg(mac);
    } else {
        entry.MacState = kMacUnused;
        run.Outcome.MacUnsent = progress.Mac;
    }
}

void RecordFailure(const SessionError& error, const Progress& progress, UnitOutcome& outcome)
{
    const QString message = QString::fromStdString(error.what());
    outcome.Entry.Result = FailureResult(error.Kind(), progress.At, outcome, message);
    if (progress.At == Stage::Opening)
        return;
    outcome.Details.prepend(message + QStringLiteral(": ")
                            + WhatTheUnitHolds(progress.At, outcome.IpUsed, progress.MacConfirmed) + QLatin1Char('.'));
}

} // namespace

UnitOutcome CommissionUnit(CliContext& context, std::chrono::milliseconds timeout, const UnitPlan& plan,
                          const UnitHooks& hooks)
{
    UnitOutcome outcome;
    CommissionEntry& entry = outcome.Entry;
    entry = hooks.Trace;
    entry.Time = context.Now ? context.Now().toStdString() : std::string();

    UnitSession session(context.Hid, timeout, context.Interrupt);
    Progress progress;
    const Run run{context, plan, hooks, session, progress, outcome};
    session.BeforeRequest = [&](const RequestStep& step) {
        if (step.Kind == RequestKind::Erase && !outcome.IpUsed) {
            Claim(run);
            run.Say(QStringLiteral("writing the configuration"));
        }
    };
    try {
        Exchange(run);
    } catch (const SessionError& error) {
        RecordFailure(error, progress, outcome);
    } catch (const NotStarted& notStarted) {
        entry.Result = notStarted.Result;
        outcome.Stop = notStarted.Failure;
        outcome.Details << QStringLiteral("Nothing was written to it.");
    }
    RecordMac(run);
    if (const auto& ident = session.LastIdent()) {
        entry.SerialNumber = std::to_string(ident->SerialNumber);
        entry.FirmwareVersion = UnitText(ident->Version).toStdString();
    }
    if (outcome.IpUsed)
        entry.IpAddress = DottedText(plan.Ip);
    return outcome;
}

} // namespace vantrel::cli
