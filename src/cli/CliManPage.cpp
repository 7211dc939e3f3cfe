#include "cli/CliDocs.h"

#include "cli/CliHelp.h"

#include <utility>

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

// A term and its paragraph: `term` in roff already.
QString Item(const QString& term, const QString& text)
{
    return QStringLiteral(".TP\n") + term + QLatin1Char('\n') + Roff(text);
}

QString Files()
{
    return QStringLiteral(".SH FILES\n")
           + Item(QStringLiteral("\\fI~/DravonSetMACAddress/SetFullMACAddress.txt\\fR"),
                  QStringLiteral("The MAC allocation file, at this fixed place in the home folder (on Windows "
                                 "C:\\DravonSetMACAddress\\SetFullMACAddress.txt), as the window uses it. `mac` "
                                 "and `commission --mac-next` take the next free address from it; `--mac-file` "
                                 "names another file."))
           + Item(QStringLiteral("\\fIFILE\\fR.lock"),
                  QStringLiteral("A lock file beside the MAC allocation file and beside the commissioning record, "
                                 "held while the file is read and written back, so that programs on this machine "
                                 "and on others sharing the folder take turns. A lock left by a program that died "
                                 "is taken over. One held by another program for longer than 10 seconds ends the "
                                 "subcommand with exit status 9."))
           + Item(QStringLiteral("\\fIFILE.csv\\fR"),
                  QStringLiteral("The commissioning record that `commission --record` names and appends to."));
}

// The worked examples: what a command does, and the command (its lines
// continued as in the shell, to fit a terminal of 80 columns).
QString Examples()
{
    const std::pair<const char*, const char*> examples[] = {
        {"Read the unit's configuration into a JSON file:", "vantrel-cli read -o pump.json"},
        {"Write it to the next unit with its own IP address, and check it:",
         "vantrel-cli write pump.json --ip 10.0.0.22"},
        {"Give that unit the next free MAC address of the MAC allocation file:", "vantrel-cli mac --next"},
        {"Start a configuration from the values a fresh window starts with:", "vantrel-cli new pump.json"},
        {"Commission ten units one after the other, from 10.0.0.30 on, each with the next free MAC address, and "
         "record them:",
         "vantrel-cli commission --config pump.json --ip-from 10.0.0.30 \\\n    --count 10 --mac-next --record bench.csv"},
        {"Go on the next day after the record's highest IP address:",
         "vantrel-cli commission --config pump.json --ip-from next \\\n    --mac-next --record bench.csv"},
    };
    QString text = QStringLiteral(".SH EXAMPLES\n");
    for (const auto& [what, command] : examples) {
        text += QStringLiteral(".PP\n") + Roff(QString::fromUtf8(what)) + QStringLiteral(".PP\n.RS 4\n.nf\n");
        for (const QString& line : QString::fromUtf8(command).split(QLatin1Char('\n')))
            text += Roff(line);
        text += QStringLiteral(".fi\n.RE\n");
    }
    return text;
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
                                  ".br\n"
                                  ".B vantrel\\-cli help\n"
                                  "[\\fISUBCOMMAND\\fR]\n"
                                  ".br\n"
                                  ".B vantrel\\-cli \\-\\-version\n"
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
    text += QStringLiteral(".SH \"EXIT STATUS\"\n") + Roff(QStringLiteral("vantrel-cli exits with one of these codes:"));
    for (const ExitCodeText& code : ExitCodeTexts())
        text += QStringLiteral(".TP\n.B %1\n").arg(int(code.Code)) + Roff(QString::fromUtf8(code.Meaning));
    text += QStringLiteral(".PP\n")
            + Roff(QStringLiteral("A result or a message that cannot be written (a full disk, a closed pipe) is "
                                  "said on standard error where it can be, and the exit status is 1 unless the "
                                  "subcommand failed already."));
    text += QStringLiteral(".SH ENVIRONMENT\n")
            + Roff(QStringLiteral("vantrel-cli reads no variables of its own."))
            + Item(QStringLiteral(".B HOME"),
                   QStringLiteral("On Linux, the home folder that holds the MAC allocation file's fixed place."));
    text += Files() + Examples();
    text += QStringLiteral(".SH \"SEE ALSO\"\n")
            + Roff(QStringLiteral("The operator's help, /usr/share/vantrel/vantrel.chm. The project's documentation: docs/cli.md for the subcommands and the JSON "
                                  "form, docs/bench-loop.md for commission, docs/mac-allocation-file.md for the "
                                  "MAC allocation file."));
    return text;
}

} // namespace vantrel::cli
