#include "cli/CliOptions.h"

#include "cli/Cli.h"

#include <QCommandLineParser>
#include <QRegularExpression>

#include <map>

namespace vantrel::cli {

OptionSpec TimeoutOption()
{
    return {QStringLiteral("--timeout"), QStringLiteral("MS"),
            QStringLiteral("wait at most MS milliseconds for each reply of the unit (default 2000)")};
}

OptionSpec MacFileOption()
{
    return {QStringLiteral("--mac-file"), QStringLiteral("PATH"),
            QStringLiteral("the MAC allocation file to use instead of the one at its fixed place")};
}

OptionSpec JsonOption()
{
    return {QStringLiteral("--json"), QString(), QStringLiteral("print one JSON document for scripts (docs/cli.md)")};
}

OptionSpec FormatOption()
{
    return {QStringLiteral("--format"), QStringLiteral("json|dat"),
            QStringLiteral("the form of - (standard input or output)")};
}

OptionSpec UnitOption()
{
    return {QStringLiteral("--unit"), QStringLiteral("UNIT"),
            QStringLiteral("the unit to use when several are present: its path, as list prints it, or its serial "
                           "number")};
}

bool ValueIsFile(const OptionSpec& option)
{
    return option.Value == QStringLiteral("PATH") || option.Value.startsWith(QStringLiteral("FILE"));
}

QStringList ValueWords(const OptionSpec& option)
{
    return option.Value.contains(QLatin1Char('|')) ? option.Value.split(QLatin1Char('|')) : QStringList();
}

bool ParsedArgs::Has(const QString& name) const
{
    for (const auto& [given, value] : Given)
        if (given == name)
            return true;
    return false;
}

QString ParsedArgs::Value(const QString& name) const
{
    QString last;
    for (const auto& [given, value] : Given)
        if (given == name)
            last = value;
    return last;
}

QStringList ParsedArgs::Values(const QString& name) const
{
    QStringList values;
    for (const auto& [given, value] : Given)
        if (given == name)
            values << value;
    return values;
}

CliFailure UsageError(const CommandSpec& spec, const QString& message)
{
    return CliFailure(CliExit::Usage, QStringLiteral("vantrel-cli %1: %2\nTry 'vantrel-cli %1 --help'.")
                                          .arg(spec.Name, message));
}

namespace {

QString Undashed(const QString& name)
{
    return name.mid(name.startsWith(QStringLiteral("--")) ? 2 : 1);
}

// The option that QCommandLineParser knows by `name` ("output", "o").
const OptionSpec* OptionNamed(const CommandSpec& spec, const QString& name)
{
    for (const OptionSpec& o : spec.Options)
        if (Undashed(o.Name) == name || (!o.Alias.isEmpty() && Undashed(o.Alias) == name))
            return &o;
    return nullptr;
}

QCommandLineOption QtOption(const OptionSpec& option)
{
    QStringList names{Undashed(option.Name)};
    if (!option.Alias.isEmpty())
        names.prepend(Undashed(option.Alias));
    return QCommandLineOption(names, option.Help, option.Value);
}

// An unknown option as it was typed ("--colour", "-x").
QString AsTyped(const QString& name, const QStringList& args)
{
    for (const QString& word : args) {
        if (word == QStringLiteral("--"))
            break;
        if (word.size() > 1 && word.startsWith(QLatin1Char('-')) && Undashed(word.section(QLatin1Char('='), 0, 0)) == name)
            return word.section(QLatin1Char('='), 0, 0);
    }
    return (name.size() == 1 ? QStringLiteral("-") : QStringLiteral("--")) + name;
}

// What QCommandLineParser refused, in the words of the subcommand's options.
QString ParseFailure(const CommandSpec& spec, const QCommandLineParser& parser, const QStringList& args)
{
    if (!parser.unknownOptionNames().isEmpty())
        return QStringLiteral("unknown option '%1'").arg(AsTyped(parser.unknownOptionNames().first(), args));
    QString error = parser.errorText();
    static const QRegularExpression quoted(QStringLiteral("'-*([^']+)'"));
    const QRegularExpressionMatch match = quoted.match(error);
    const OptionSpec* option = match.hasMatch() ? OptionNamed(spec, match.captured(1)) : nullptr;
    if (option && error.startsWith(QStringLiteral("Missing value")))
        return QStringLiteral("%1 needs a value (%2)").arg(option->Name, option->Value);
    if (option && error.startsWith(QStringLiteral("Unexpected value")))
        return QStringLiteral("%1 takes no value").arg(option->Name);
    if (error.endsWith(QLatin1Char('.')))
        error.chop(1);
    return error;
}

// The options in the order given, each value with its option; one given
// twice where one value is meant is refused.
void CollectOptions(const CommandSpec& spec, const QCommandLineParser& parser, ParsedArgs& parsed)
{
    std::map<QString, qsizetype> seen;
    for (const QString& name : parser.optionNames()) {
        const OptionSpec* option = OptionNamed(spec, name);
        if (!option)
            continue; // cannot happen: the parser knows only these
        const qsizetype n = seen[option->Name]++;
        if (n > 0 && !option->Repeatable)
            throw UsageError(spec, QStringLiteral("%1 is given more than once").arg(option->Name));
        const QStringList values = parser.values(Undashed(option->Name));
        parsed.Given.emplace_back(option->Name, n < values.size() ? values[n] : QString());
    }
}

} // namespace

ParsedArgs ParseArgs(const CommandSpec& spec, const QStringList& args)
{
    QCommandLineParser parser;
    // "-o" and "--output" as the table names them; "-abc" is never three options.
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    for (const OptionSpec& o : spec.Options)
        parser.addOption(QtOption(o));
    if (!parser.parse(QStringList{QStringLiteral("vantrel-cli")} + args))
        throw UsageError(spec, ParseFailure(spec, parser, args));

    ParsedArgs parsed;
    parsed.Positional = parser.positionalArguments();
    CollectOptions(spec, parser, parsed);
    if (parsed.Positional.size() < spec.MinPositional)
        throw UsageError(spec, QStringLiteral("missing argument: %1").arg(spec.Arguments));
    if (parsed.Positional.size() > spec.MaxPositional)
        throw UsageError(spec, QStringLiteral("unexpected argument '%1'").arg(parsed.Positional[spec.MaxPositional]));
    for (const OptionSpec& o : spec.Options)
        if (o.Required && !parsed.Has(o.Name))
            throw UsageError(spec, QStringLiteral("%1 is required").arg(o.Name));
    return parsed;
}

std::optional<long long> ParseDecimal(const QString& text, long long min, long long max)
{
    // Fifteen digits cannot overflow; no range the options take needs more.
    if (text.isEmpty() || text.size() > 16)
        return std::nullopt;
    qsizetype i = 0;
    const bool negative = text[0] == QLatin1Char('-');
    if (negative)
        ++i;
    if (i == text.size())
        return std::nullopt;
    long long value = 0;
    for (; i < text.size(); ++i) {
        const QChar c = text[i];
        if (c < QLatin1Char('0') || c > QLatin1Char('9'))
            return std::nullopt;
        value = value * 10 + (c.unicode() - '0');
    }
    if (negative)
        value = -value;
    if (value < min || value > max)
        return std::nullopt;
    return value;
}

std::chrono::milliseconds ReplyTimeout(const ParsedArgs& args)
{
    if (!args.Has(QStringLiteral("--timeout")))
        return kDefaultReplyTimeout;
    const QString text = args.Value(QStringLiteral("--timeout"));
    const auto ms = ParseDecimal(text, 1, 3600000);
    if (!ms)
        throw CliFailure(CliExit::Usage,
                         QStringLiteral("--timeout: '%1' is not a whole number of milliseconds from 1 to 3600000")
                             .arg(text));
    return std::chrono::milliseconds(*ms);
}

QString MacAllocationPath(const ParsedArgs& args, const CliContext& context)
{
    return args.Has(QStringLiteral("--mac-file")) ? args.Value(QStringLiteral("--mac-file"))
                                                  : context.MacAllocationFile;
}

} // namespace vantrel::cli
