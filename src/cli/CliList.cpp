// list and info: which units are there, and which one this is.

#include "cli/CliCommands.h"

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
                "to choose one of several units.")}};
}

CliExit RunList(const ParsedArgs&, CliContext& context)
{
    const std::vector<HidInterfaceInfo> units = PresentUnits(context.Hid.Enumerate());
    for (const HidInterfaceInfo& info : units) {
        std::string writeError, readError;
        const bool openable = context.Hid.Open(info.Path, HidOpenMode::Write, writeError) != nullptr
                              && context.Hid.Open(info.Path, HidOpenMode::Read, readError) != nullptr;
        const QString access = openable ? QStringLiteral("can be opened")
                                        : QStringLiteral("cannot be opened: ")
                                              + QString::fromStdString(writeError.empty() ? readError : writeError);
        context.Out << QString::fromStdString(info.HardwareId) << '\t' << QString::fromStdString(info.Path) << '\t'
                    << (IsProgramMode(info.HardwareId) ? "program mode" : "normal") << '\t' << access << '\n';
    }
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
                "a failed check.")},
            .Options = {UnitOption(), TimeoutOption()}};
}

CliExit RunInfo(const ParsedArgs& args, CliContext& context)
{
    const auto session = ConnectToUnit(context, args);
    const UnitSession::ReadResult read = session->Read(FactoryRecord());
    context.Out << "Application: QUORVEX Vantrel\n"
                << "Firmware Version: " << UnitText(read.Ident.Version) << '\n'
                << "Serial Number: " << read.Ident.SerialNumber << '\n'
                << "MAC Address: " << MacText(read.Mac) << '\n';
    return CliExit::Success;
}

} // namespace vantrel::cli
