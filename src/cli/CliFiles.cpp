// diff and convert: configurations side by side, and from one form to the
// other.

#include "cli/CliCommands.h"

namespace vantrel::cli {

CommandSpec DiffSpec()
{
    return {.Name = QStringLiteral("diff"),
            .Arguments = QStringLiteral("A B"),
            .Summary = QStringLiteral("Compare two configurations field by field."),
            .Description = {QStringLiteral(
                "A and B are each a .dat or .json file or the word \"unit\" (the unit's configuration, read "
                "from it). Prints \"Caption: A's value | B's value\" for every field that differs and exits "
                "with the code of a failed check; exits 0 when they are the same. Against the unit, a file "
                "counts as what the unit would give back once it had been written (a read carries no "
                "reserved bytes, flags as 0 or 1, names as at most 31 and 15 characters).")},
            .Options = {UnitOption(), TimeoutOption()},
            .MinPositional = 2,
            .MaxPositional = 2,
            .FileArguments = true,
            .ArgumentWords = {QStringLiteral("unit")}};
}

CliExit RunDiff(const ParsedArgs& args, CliContext& context)
{
    const QString unitWord = QStringLiteral("unit");
    const QString& a = args.Positional[0];
    const QString& b = args.Positional[1];
    std::optional<ConfigRecord> fileA, fileB;
    if (a != unitWord)
        fileA = LoadConfig(a).Record;
    if (b != unitWord)
        fileB = LoadConfig(b).Record;
    ConfigRecord left{}, right{};
    if (fileA && fileB) {
        left = *fileA;
        right = *fileB;
    } else {
        const auto session = ConnectToUnit(context, args);
        // What the unit holds, against what it would hold had the file been
        // written; fields a read does not carry come from the file on both sides.
        const auto side = [&](const std::optional<ConfigRecord>& file) {
            if (file)
                return ReadBackOf(*file, *file);
            const std::optional<ConfigRecord>& other = fileA ? fileA : fileB;
            return session->Read(other ? *other : FactoryRecord()).Record;
        };
        left = side(fileA);
        right = side(fileB);
    }
    const QStringList differences = DifferenceLines(left, right);
    if (differences.isEmpty()) {
        context.Out << "No differences\n";
        return CliExit::Success;
    }
    context.Out << a << " | " << b << '\n';
    for (const QString& line : differences)
        context.Out << line << '\n';
    return CliExit::CheckFailed;
}

CommandSpec ConvertSpec()
{
    return {.Name = QStringLiteral("convert"),
            .Arguments = QStringLiteral("A B"),
            .Summary = QStringLiteral("Convert a configuration between a data file and the JSON form."),
            .Description = {QStringLiteral("A and B are .dat or .json files, by their names. B is written "
                                           "atomically; a .dat file converted to JSON and back is the same 196 "
                                           "bytes.")},
            .MinPositional = 2,
            .MaxPositional = 2,
            .FileArguments = true};
}

CliExit RunConvert(const ParsedArgs& args, CliContext&)
{
    const QString& to = args.Positional[1];
    ConfigFileTypeOf(to);
    SaveConfig(to, LoadConfig(args.Positional[0]));
    return CliExit::Success;
}

} // namespace vantrel::cli
