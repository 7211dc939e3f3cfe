// One unit of the bench loop: the write, the MAC address, the read-back,
// and what the record says of it however far it got.
//
// An IP address is used up once the write has erased the unit's
// configuration: from then on the unit may hold it. A MAC address is used
// up once the unit has confirmed it, as with "mac --next".

#include "cli/Commission.h"

#include "config/AddressRange.h"

#include <mutex>

namespace vantrel::cli {

namespace {

// Where one unit's commissioning got to.
enum class Stage { Opening, Write, Mac, ReadBack, Done };

struct Progress {
    Stage At = Stage::Opening;
    std::optional<MacOctets> Mac; // the address taken from the allocation file for it
    bool MacSent = false;         // the MAC address request went out
    bool MacConfirmed = false;    // and the unit confirmed it
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
    entry.MacAddress = MacText(read.Mac).toStdString();
    const ConfigRecord expected = ReadBackOf(plan.Record, plan.Record);
    QStringList differing;
    for (const RecordField& field : DifferingFields(expected, read.Record))
        differing << QString::fromLatin1(field.Caption);
    outcome.Details = DifferenceLines(expected, read.Record);
    if (progress.Mac && read.Mac != *progress.Mac) {
        differing << QStringLiteral("MAC Address");
        outcome.Details << QStringLiteral("MAC Address: %1 | %2").arg(MacText(*progress.Mac), MacText(read.Mac));
    }
    if (differing.isEmpty()) {
        outcome.Commissioned = true;
        entry.Result = "commissioned";
        return;
    }
    outcome.Details.prepend(QStringLiteral("The unit does not give back what was written (written | read back):"));
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

// The MAC address step ("Send New MAC": the identification, then the
// address): the allocation file is held from reading it to writing it
// back, so another bench on the same file waits rather than give out the
// same address; in a parallel bench the units take turns for it first. The
// identification goes before, so that the file is held for one exchange
// only. The address may be a later one than the operator was told, when
// another bench took that one meanwhile. Throws SessionError.
void GiveMacAddress(const Run& run)
{
    UnitOutcome& outcome = run.Outcome;
    run.Where.At = Stage::Mac;
    run.Session.Identify();
    std::unique_lock<std::mutex> turn;
    if (MacTurns* macs = run.Hooks.Macs) {
        turn = std::unique_lock(macs->Turn);
        if (macs->Blocked) {
            outcome.Entry.Result = "MAC address not sent";
            outcome.Details << QStringLiteral("No MAC address was sent: the MAC allocation file failed an "
                                              "earlier unit.");
            return;
        }
    }
    const auto blocked = [&](const CliFailure& failure) {
        outcome.Stop = failure;
        if (run.Hooks.Macs)
            run.Hooks.Macs->Blocked = true;
    };
    std::optional<HeldNextMac> held;
    try {
        held.emplace(*run.Plan.MacFile, run.Context.LockWait);
    } catch (const CliFailure& failure) {
        blocked(failure);
        outcome.Entry.Result = "MAC address not sent";
        return;
    }
    if (run.Plan.MacAnnounced && held->Next().Mac != *run.Plan.MacAnnounced)
        outcome.Details << QStringLiteral("Another program took the MAC address %1 meanwhile; this unit gets %2.")
                               .arg(MacText(*run.Plan.MacAnnounced), MacText(held->Next().Mac));
    run.Where.Mac = held->Next().Mac;
    run.Say(QStringLiteral("MAC address ") + MacText(*run.Where.Mac));
    run.Session.SendMac(*run.Where.Mac);
    run.Where.MacConfirmed = true;
    try {
        held->Commit();
    } catch (const CliFailure& failure) {
        blocked(failure);
    }
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
    if (run.Plan.MacFile) {
        GiveMacAddress(run);
        if (!run.Where.MacConfirmed)
            return;
    }
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

void RecordFailure(const SessionError& error, const Progress& progress, UnitOutcome& outcome)
{
    if (progress.Mac && progress.MacConfirmed)
        outcome.Entry.MacAddress = MacText(*progress.Mac).toStdString();
    const QString message = QString::fromStdString(error.what());
    outcome.Entry.Result = FailureResult(error.Kind(), progress.At, outcome, message);
    if (progress.At == Stage::Opening)
        return;
    outcome.Details << message + QStringLiteral(": ") + WhatTheUnitHolds(progress.At, outcome.IpUsed, progress.MacConfirmed)
                           + QLatin1Char('.');
    if (progress.At == Stage::Mac && progress.MacSent && !progress.MacConfirmed)
        outcome.Details << QStringLiteral("The MAC address %1 was sent, but the unit did not confirm it; the "
                                          "MAC allocation file was not advanced.")
                               .arg(MacText(*progress.Mac));
}

} // namespace

UnitOutcome CommissionUnit(CliContext& context, std::chrono::milliseconds timeout, const UnitPlan& plan,
                          const UnitHooks& hooks)
{
    UnitOutcome outcome;
    CommissionEntry& entry = outcome.Entry;
    entry.Time = context.Now ? context.Now().toStdString() : std::string();

    UnitSession session(context.Hid, timeout, context.Interrupt);
    Progress progress;
    const Run run{context, plan, hooks, session, progress, outcome};
    session.BeforeRequest = [&](const RequestStep& step) {
        if (step.Kind == RequestKind::Erase && !outcome.IpUsed)
            run.Say(QStringLiteral("writing the configuration"));
        outcome.IpUsed = outcome.IpUsed || step.Kind == RequestKind::Erase;
        progress.MacSent = progress.MacSent || step.Kind == RequestKind::MacWrite;
    };
    try {
        Exchange(run);
    } catch (const SessionError& error) {
        RecordFailure(error, progress, outcome);
    }
    if (const auto& ident = session.LastIdent()) {
        entry.SerialNumber = std::to_string(ident->SerialNumber);
        entry.FirmwareVersion = UnitText(ident->Version).toStdString();
    }
    if (outcome.IpUsed)
        entry.IpAddress = DottedText(plan.Ip);
    if (outcome.Stop && progress.MacConfirmed) // the file could not be advanced
        entry.Result += "; MAC allocation file not advanced";
    return outcome;
}

} // namespace vantrel::cli
