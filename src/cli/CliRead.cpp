// read: the unit's configuration, as readable lines or to a file.

#include "cli/CliCommands.h"
#include "cli/CliStdio.h"

namespace vantrel::cli {

CommandSpec ReadSpec()
{
    return {.Name = QStringLiteral("read"),
            .Summary = QStringLiteral("Read the unit's configuration."),
            .Description = {QStringLiteral(
                "Without -o, prints it one field per line, named as the window names it, and the MAC "
                "address. With -o, writes it to FILE: a data file when FILE ends in .dat, the JSON form "
                "when it ends in .json; -o - writes it to standard output in the form --format names.")},
            .Options = {{QStringLiteral("--output"), QStringLiteral("FILE"),
                         QStringLiteral("write the configuration to FILE (- for standard output)"), QStringLiteral("-o")},
                        FormatOption(),
                        UnitOption(),
                        TimeoutOption()}};
}

CliExit RunRead(const ParsedArgs& args, CliContext& context)
{
    const QString output = args.Value(QStringLiteral("--output"));
    if (args.Has(QStringLiteral("--output")))
        ConfigArgType(output, args);
    const auto session = ConnectToUnit(context, args);
    const UnitSession::ReadResult read = session->Read(FactoryRecord());
    if (!args.Has(QStringLiteral("--output"))) {
        for (const QString& line : ReadableLines(read.Record))
            context.Out << line << '\n';
        context.Out << "MAC Address: " << MacText(read.Mac) << '\n';
        return CliExit::Success;
    }
    ConfigDocument document;
    document.Record = read.Record;
    SaveConfigArg(output, document, args, context);
    return CliExit::Success;
}

} // namespace vantrel::cli
