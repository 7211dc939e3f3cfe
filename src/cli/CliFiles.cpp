// diff and convert: configurations side by side, and from one form to the
// other.

#include "cli/CliCommands.h"
#include "cli/CliStdio.h"

#include <QJsonArray>
#include <QJsonDocument>

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
                "reserved bytes, flags as 0 or 1, names as at most 31 and 15 characters). One side may be "
                "- (standard input, in the form --format names). With --json, prints one JSON document: "
                "\"a\" and \"b\" the two sides as given, \"same\" true or false, and \"differences\", one "
                "object per differing field of the JSON form: \"field\" its name there, \"a\" and \"b\" its "
                "two values.")},
            .Options = {JsonOption(), FormatOption(), UnitOption(), TimeoutOption()},
            .MinPositional = 2,
            .MaxPositional = 2,
            .FileArguments = true,
            .ArgumentWords = {QStringLiteral("unit")}};
}

namespace {

// The two records in the JSON form, compared by its fields.
QJsonObject DifferenceDocument(const QString& a, const QString& b, const ConfigRecord& left, const ConfigRecord& right)
{
    const auto form = [](const ConfigRecord& record) {
        return QJsonDocument::fromJson(ConfigToJson(ConfigDocument{record, {}})).object();
    };
    const QJsonObject formA = form(left), formB = form(right);
    QStringList keys = formA.keys();
    for (const QString& key : formB.keys())
        if (!keys.contains(key))
            keys << key;
    QJsonArray differences;
    for (const QString& key : keys)
        if (formA.value(key) != formB.value(key))
            differences.append(QJsonObject{{QStringLiteral("field"), key},
                                           {QStringLiteral("a"), formA.value(key)},
                                           {QStringLiteral("b"), formB.value(key)}});
    return {{QStringLiteral("a"), a},
            {QStringLiteral("b"), b},
            {QStringLiteral("same"), differences.isEmpty()},
            {QStringLiteral("differences"), differences}};
}

} // namespace

CliExit RunDiff(const ParsedArgs& args, CliContext& context)
{
    const QString unitWord = QStringLiteral("unit");
    const QString& a = args.Positional[0];
    const QString& b = args.Positional[1];
    std::optional<ConfigRecord> fileA, fileB;
    if (a == QStringLiteral("-") && b == QStringLiteral("-"))
        throw UsageError(DiffSpec(), QStringLiteral("only one side can be standard input"));
    if (a != unitWord)
        fileA = LoadConfigArg(a, args, context).Record;
    if (b != unitWord)
        fileB = LoadConfigArg(b, args, context).Record;
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
    if (args.Has(QStringLiteral("--json"))) {
        PrintJson(context, DifferenceDocument(a, b, left, right));
        return differences.isEmpty() ? CliExit::Success : CliExit::CheckFailed;
    }
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
                                           "bytes. Either may be - (standard input or output), in the form "
                                           "--format names. A JSON file with values outside what the window "
                                           "allows is converted as it is, and each such value is named on the "
                                           "error stream: write refuses them.")},
            .Options = {FormatOption()},
            .MinPositional = 2,
            .MaxPositional = 2,
            .FileArguments = true};
}

CliExit RunConvert(const ParsedArgs& args, CliContext& context)
{
    const QString& from = args.Positional[0];
    const QString& to = args.Positional[1];
    ConfigArgType(to, args);
    const ConfigDocument document = LoadConfigArg(from, args, context);
    SaveConfigArg(to, document, args, context);
    // A data file converts whatever its bytes (and back, byte for byte); a
    // JSON file, most likely written by hand, is told what write refuses.
    if (ConfigArgType(from, args) == ConfigFileType::Json) {
        try {
            CheckWindowLimits(from == QStringLiteral("-") ? QStringLiteral("standard input") : from, document.Record);
        } catch (const CliFailure& outside) {
            context.Err << outside.Message << '\n'
                        << "Converted as it is; vantrel-cli write refuses these values.\n";
        }
    }
    return CliExit::Success;
}

} // namespace vantrel::cli
