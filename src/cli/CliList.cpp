// list and info: which units are there, and which one this is.

#include "cli/CliCommands.h"
#include "cli/CliStdio.h"

#include <QJsonArray>

#include "device/UnitSelection.h"

namespace vantrel::cli {

CommandSpec ListSpec()
{
    return {.Name = QStringLiteral("list"),
            .Summary = QStringLiteral("List every QUORVEX unit present."),
            .Description = {QStringLiteral(
                "One line per unit, its fields separated by tabs: the hardware ID, the path, \"normal\" or "
                "\"program mode\", and \"can be opened\" or \"cannot be opened: <the system's reason>\". "
                "Exits with the code for \"no unit\" when there is none. The path is what --unit takes "
                "to choose one of several units. With --json, prints one JSON document: \"units\", one "
                "object per unit with \"hardwareId\", \"path\", \"programMode\" (true or false), "
                "\"canBeOpened\" (true or false) and \"reason\" (why not, else empty).")},
            .Options = {JsonOption()}};
}

CliExit RunList(const ParsedArgs& args, CliContext& context)
{
    const bool json = args.Has(QStringLiteral("--json"));
    const std::vector<HidInterfaceInfo> units = PresentUnits(context.Hid.Enumerate());
    QJsonArray list;
    for (const HidInterfaceInfo& info : units) {
        // The reason of the open that failed (a backend may fill it in on success too).
        std::string writeError, readError;
        const bool writable = context.Hid.Open(info.Path, HidOpenMode::Write, writeError) != nullptr;
        const bool openable = writable && context.Hid.Open(info.Path, HidOpenMode::Read, readError) != nullptr;
        const QString reason = openable ? QString() : QString::fromStdString(writable ? readError : writeError);
        if (json) {
            list.append(QJsonObject{{QStringLiteral("hardwareId"), QString::fromStdString(info.HardwareId)},
                                    {QStringLiteral("path"), QString::fromStdString(info.Path)},
                                    {QStringLiteral("programMode"), IsProgramMode(info.HardwareId)},
                                    {QStringLiteral("canBeOpened"), openable},
                                    {QStringLiteral("reason"), reason}});
            continue;
        }
        const QString access = openable ? QStringLiteral("can be opened") : QStringLiteral("cannot be opened: ") + reason;
        context.Out << QString::fromStdString(info.HardwareId) << '\t' << QString::fromStdString(info.Path) << '\t'
                    << (IsProgramMode(info.HardwareId) ? "program mode" : "normal") << '\t' << access << '\n';
    }
    if (json)
        PrintJson(context, {{QStringLiteral("units"), list}});
    if (units.empty())
        throw CliFailure(CliExit::NoUnit, QStringLiteral("Cannot find QUORVEX"));
    return CliExit::Success;
}

CommandSpec InfoSpec()
{
    return {.Name = QStringLiteral("info"),
            .Summary = QStringLiteral("Show the unit's identification and MAC address."),
            .Description = {QStringLiteral(
                "Runs \"Read From QUORVEX\" and prints the application, the firmware version, the serial "
                "number and the MAC address. A unit running another application ends with the code for "
                "a failed check. With --json, prints one JSON document: \"application\", "
                "\"firmwareVersion\", \"serialNumber\" (a number) and \"macAddress\".")},
            .Options = {JsonOption(), UnitOption(), TimeoutOption()}};
}

CliExit RunInfo(const ParsedArgs& args, CliContext& context)
{
    const auto session = ConnectToUnit(context, args);
    const UnitSession::ReadResult read = session->Read(FactoryRecord());
    if (args.Has(QStringLiteral("--json"))) {
        PrintJson(context, {{QStringLiteral("application"), QStringLiteral("QUORVEX Vantrel")},
                            {QStringLiteral("firmwareVersion"), UnitText(read.Ident.Version)},
                            {QStringLiteral("serialNumber"), qint64(read.Ident.SerialNumber)},
                            {QStringLiteral("macAddress"), MacText(read.Mac)}});
        return CliExit::Success;
    }
    context.Out << "Application: QUORVEX Vantrel\n"
                << "Firmware Version: " << UnitText(read.Ident.Version) << '\n'
                << "Serial Number: " << read.Ident.SerialNumber << '\n'
                << "MAC Address: " << MacText(read.Mac) << '\n';
    return CliExit::Success;
}

} // namespace vantrel::cli
