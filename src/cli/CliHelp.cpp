#include "cli/CliHelp.h"

#include <algorithm>

namespace vantrel::cli {

namespace {

// The widest left column of a table; a longer term puts its text below it.
constexpr qsizetype kTermWidth = 24;

// A table of terms and their texts: "  term    text that wraps\n" with the
// text's further lines below its first.
QString Table(const QList<std::pair<QString, QString>>& rows)
{
    const qsizetype indent = 2;
    qsizetype width = 0;
    for (const auto& row : rows)
        if (row.first.size() <= kTermWidth)
            width = std::max(width, row.first.size());
    const QString margin(indent + width + 2, QLatin1Char(' '));
    QString text;
    for (const auto& [term, body] : rows) {
        const QStringList lines = Wrap(body, kHelpWidth - margin.size());
        QString line = QString(indent, QLatin1Char(' ')) + term;
        if (term.size() > width) {
            text += line + QLatin1Char('\n');
            line = margin;
        } else {
            line = line.leftJustified(margin.size());
        }
        for (const QString& l : lines) {
            text += line + l + QLatin1Char('\n');
            line = margin;
        }
    }
    return text;
}

QString Paragraph(const QString& text)
{
    return Wrap(text, kHelpWidth).join(QLatin1Char('\n')) + QLatin1Char('\n');
}

} // namespace

QStringList Wrap(const QString& text, qsizetype width, qsizetype firstWidth)
{
    QStringList lines;
    QString line;
    for (const QString& word : text.split(QLatin1Char(' '), Qt::SkipEmptyParts)) {
        const qsizetype room = lines.isEmpty() && firstWidth > 0 ? firstWidth : width;
        if (!line.isEmpty() && line.size() + 1 + word.size() > room) {
            lines << line;
            line.clear();
        }
        if (!line.isEmpty())
            line += QLatin1Char(' ');
        line += word;
    }
    if (!line.isEmpty() || lines.isEmpty())
        lines << line;
    return lines;
}

QString Synopsis(const CommandSpec& spec)
{
    QString text = QStringLiteral("vantrel-cli ") + spec.Name;
    bool others = false;
    for (const OptionSpec& o : spec.Options) {
        if (o.Required)
            text += QLatin1Char(' ') + o.Name + QLatin1Char(' ') + o.Value;
        else
            others = true;
    }
    if (others)
        text += QStringLiteral(" [options]");
    if (!spec.Arguments.isEmpty())
        text += QLatin1Char(' ') + spec.Arguments;
    return text;
}

QString OptionTerm(const OptionSpec& option)
{
    QString term = option.Alias.isEmpty() ? option.Name : option.Alias + QStringLiteral(", ") + option.Name;
    if (!option.Value.isEmpty())
        term += QLatin1Char(' ') + option.Value;
    return term;
}

QString OptionHelp(const OptionSpec& option)
{
    return option.Required ? option.Help + QStringLiteral(" (required)") : option.Help;
}

QString Plain(const QString& text)
{
    return QString(text).remove(QLatin1Char('`'));
}

QString CommandHelp(const CommandSpec& spec)
{
    // Further lines of the synopsis start below the subcommand's name.
    const QString usage = QStringLiteral("Usage: ");
    const QString indent(usage.size() + QStringLiteral("vantrel-cli ").size(), QLatin1Char(' '));
    QString text;
    QString line = usage;
    for (const QString& l : Wrap(Synopsis(spec), kHelpWidth - indent.size(), kHelpWidth - usage.size())) {
        text += line + l + QLatin1Char('\n');
        line = indent;
    }
    text += QLatin1Char('\n') + Paragraph(spec.Summary);
    for (const QString& paragraph : spec.Description)
        text += QLatin1Char('\n') + Paragraph(paragraph);
    QList<std::pair<QString, QString>> rows;
    for (const OptionSpec& o : spec.Options)
        rows.append({OptionTerm(o), OptionHelp(o)});
    rows.append({QStringLiteral("-h, --help"), QStringLiteral("show this help")});
    return text + QStringLiteral("\nOptions:\n") + Table(rows);
}

QString ProgramSummary()
{
    return QStringLiteral("The QUORVEX unit's configuration from a terminal or a script.");
}

QString ProgramHelp()
{
    QList<std::pair<QString, QString>> commands;
    for (const CommandSpec& spec : CommandSpecs())
        commands.append({spec.Name, spec.Summary});
    QList<std::pair<QString, QString>> codes;
    for (const ExitCodeText& code : ExitCodeTexts())
        codes.append({QString::number(int(code.Code)).rightJustified(3), Plain(QString::fromUtf8(code.Meaning))});
    return QStringLiteral("Usage: vantrel-cli SUBCOMMAND [options] [arguments]\n\n") + ProgramSummary()
           + QStringLiteral("\n\nSubcommands:\n") + Table(commands)
           + QStringLiteral("\n")
           + Paragraph(QStringLiteral("Run 'vantrel-cli help SUBCOMMAND' (or 'vantrel-cli SUBCOMMAND --help') for its "
                                      "options, 'vantrel-cli --version' for the version."))
           + QStringLiteral("\nExit codes:\n") + Table(codes);
}

} // namespace vantrel::cli
