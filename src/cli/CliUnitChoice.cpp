// Which unit a subcommand talks to: the one present, or the one --unit
// names by its path or its serial number. With several present and no
// --unit, none: picking one of them silently could write to the wrong unit.

#include "cli/CliSupport.h"

#include "device/UnitSelection.h"

#include <climits>

namespace vantrel::cli {

namespace {

const QString kUnitOption = QStringLiteral("--unit");

QString PathOf(const HidInterfaceInfo& unit)
{
    return QString::fromStdString(unit.Path);
}

QString ModeOf(const HidInterfaceInfo& unit)
{
    return IsProgramMode(unit.HardwareId) ? QStringLiteral("program mode") : QStringLiteral("normal");
}

// "  /dev/hidraw3  normal" for each unit, or what the search found of it.
QString UnitLines(const std::vector<HidInterfaceInfo>& units, const std::vector<QString>& notes = {})
{
    QString text;
    for (std::size_t i = 0; i < units.size(); ++i)
        text += QStringLiteral("\n  ") + PathOf(units[i]) + QStringLiteral("  ")
                + (i < notes.size() && !notes[i].isEmpty() ? notes[i] : ModeOf(units[i]));
    return text;
}

struct Candidate {
    std::unique_ptr<UnitSession> Session;
    QString Path;
};

// The units whose identification gives `serial`; `notes` says for every
// unit what it gave. Only an interruption ends the search early.
std::vector<Candidate> FindBySerial(CliContext& context, std::chrono::milliseconds timeout,
                                    const std::vector<HidInterfaceInfo>& units, const QString& serial,
                                    std::vector<QString>& notes)
{
    std::vector<Candidate> found;
    for (const HidInterfaceInfo& unit : units) {
        auto session = std::make_unique<UnitSession>(context.Hid, timeout, context.Interrupt);
        try {
            session->ConnectTo(unit);
            const IdentReply ident = session->Identify();
            const QString its = QString::number(ident.SerialNumber);
            notes.push_back(QStringLiteral("serial number ") + its);
            if (its == serial)
                found.push_back({std::move(session), PathOf(unit)});
        } catch (const SessionError& error) {
            if (error.Kind() == SessionFailure::Interrupted)
                throw;
            notes.push_back(error.Kind() == SessionFailure::ProgramMode
                                ? QStringLiteral("program mode, no serial number")
                                : QString::fromStdString(error.what()));
        }
    }
    return found;
}

} // namespace

std::unique_ptr<UnitSession> ConnectToUnit(CliContext& context, const ParsedArgs& args)
{
    const std::chrono::milliseconds timeout = ReplyTimeout(args);
    const std::vector<HidInterfaceInfo> units = PresentUnits(context.Hid.Enumerate());
    auto session = std::make_unique<UnitSession>(context.Hid, timeout, context.Interrupt);
    if (!args.Has(kUnitOption)) {
        if (units.size() > 1)
            throw CliFailure(CliExit::Usage, QStringLiteral("%1 QUORVEX units are present; choose one with --unit "
                                                            "and its path or serial number:")
                                                     .arg(units.size())
                                                 + UnitLines(units));
        session->Connect();
        return session;
    }
    const QString wanted = args.Value(kUnitOption);
    for (const HidInterfaceInfo& unit : units) {
        if (PathOf(unit) == wanted) {
            session->ConnectTo(unit);
            return session;
        }
    }
    std::vector<QString> notes;
    std::vector<Candidate> found;
    if (ParseDecimal(wanted, INT32_MIN, INT32_MAX) && QString::number(wanted.toLongLong()) == wanted)
        found = FindBySerial(context, timeout, units, wanted, notes);
    if (found.size() == 1)
        return std::move(found.front().Session);
    if (found.size() > 1) {
        QStringList paths;
        for (const Candidate& c : found)
            paths << c.Path;
        throw CliFailure(CliExit::Usage, QStringLiteral("--unit %1: several units have this serial number (%2); "
                                                        "choose one by its path")
                                             .arg(wanted, paths.join(QStringLiteral(", "))));
    }
    throw CliFailure(CliExit::NoUnit,
                     units.empty() ? QStringLiteral("Cannot find QUORVEX")
                                   : QStringLiteral("--unit %1: no unit present has this path or serial number; "
                                                    "present:")
                                             .arg(wanted)
                                         + UnitLines(units, notes));
}

} // namespace vantrel::cli
