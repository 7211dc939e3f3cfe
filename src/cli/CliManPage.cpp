#include "cli/CliDocs.h"

#include "cli/CliHelp.h"

namespace vantrel::cli {

namespace {

// Text for roff: a backslash and a minus as roff wants them, `quoted`
// words in bold.
QString Escaped(const QString& text)
{
    QString out;
    bool bold = false;
    for (const QChar c : text) {
        if (c == QLatin1Char('\\'))
            out += QStringLiteral("\\e");
        else if (c == QLatin1Char('-'))
            out += QStringLiteral("\\-");
        else if (c == QLatin1Char('`'))
            out += (bold = !bold) ? QStringLiteral("\\fB") : QStringLiteral("\\fR");
        else
            out += c;
    }
    return out;
}

// A line of text that roff never takes for a request.
QString Roff(const QString& text)
{
    const QString line = Escaped(text);
    const bool request = line.startsWith(QLatin1Char('.')) || line.startsWith(QLatin1Char('\''));
    return (request ? QStringLiteral("\\&") : QString()) + line + QLatin1Char('\n');
}

QString OptionItem(const OptionSpec& option)
{
    const QString names = option.Alias.isEmpty() ? option.Name : option.Alias + QStringLiteral(", ") + option.Name;
    QString term = QStringLiteral("\\fB") + Escaped(names) + QStringLiteral("\\fR");
    if (!option.Value.isEmpty())
        term += QStringLiteral(" \\fI") + Escaped(option.Value) + QStringLiteral("\\fR");
    return QStringLiteral(".TP\n") + term + QLatin1Char('\n') + Roff(OptionHelp(option));
}

QString Subcommand(const CommandSpec& spec)
{
    QString text = QStringLiteral(".SS ") + spec.Name + QLatin1Char('\n');
    text += QStringLiteral(".B ") + Roff(Synopsis(spec));
    text += QStringLiteral(".PP\n") + Roff(spec.Summary);
    for (const QString& paragraph : spec.Description)
        text += QStringLiteral(".PP\n") + Roff(paragraph);
    for (const OptionSpec& option : spec.Options)
        text += OptionItem(option);
    return text + QStringLiteral(".TP\n\\fB\\-h, \\-\\-help\\fR\nshow the subcommand's help\n");
}

} // namespace

QString ManPage(const QString& version)
{
    QString text = QStringLiteral(".\\\" vantrel-cli(1), made by vantrel-cli-docs from the program's own tables.\n"
                                  ".TH VANTREL\\-CLI 1 \"\" \"Vantrel %1\" \"User Commands\"\n"
                                  ".SH NAME\n"
                                  "vantrel\\-cli \\- the QUORVEX unit's configuration from a terminal or a script\n"
                                  ".SH SYNOPSIS\n"
                                  ".B vantrel\\-cli\n"
                                  ".I SUBCOMMAND\n"
                                  "[\\fIoptions\\fR] [\\fIarguments\\fR]\n"
                                  ".br\n"
                                  ".B vantrel\\-cli\n"
                                  "[\\fISUBCOMMAND\\fR]\n"
                                  ".B \\-\\-help\n"
                                  ".SH DESCRIPTION\n")
                       .arg(Escaped(version));
    text += Roff(ProgramSummary()
                 + QStringLiteral(" It reads a unit, writes a configuration to it and checks it, gives it its MAC "
                                  "address, keeps configurations in .dat files or in a readable JSON form, and "
                                  "commissions unit after unit on a bench. It needs no display."));
    text += QStringLiteral(".PP\n")
            + Roff(QStringLiteral("Each subcommand checks its arguments and files before it sends anything to the "
                                  "unit. Results go to standard output, messages to standard error. Ctrl-C stops "
                                  "a subcommand at the next safe point."));
    text += QStringLiteral(".SH SUBCOMMANDS\n");
    for (const CommandSpec& spec : CommandSpecs())
        text += Subcommand(spec);
    text += QStringLiteral(".SH \"EXIT STATUS\"\n");
    for (const ExitCodeText& code : ExitCodeTexts())
        text += QStringLiteral(".TP\n.B %1\n").arg(int(code.Code)) + Roff(QString::fromUtf8(code.Meaning));
    return text;
}

} // namespace vantrel::cli
