#pragma once
// vantrel-cli's help texts, built from the subcommands' tables and the exit
// codes' table and wrapped to fit a terminal of 80 columns. Printed by the
// program itself (never QCommandLineParser::showHelp(), which on Windows
// shows a message box when there is no console).

#include "cli/CliOptions.h"

#include <QString>
#include <QStringList>

#include <vector>

namespace vantrel::cli {

// The widest line of any help text.
constexpr qsizetype kHelpWidth = 79;

// Every subcommand's table, in the order the help lists them.
const std::vector<CommandSpec>& CommandSpecs();

// `text`'s words in lines of at most `width` characters (the first line
// `firstWidth` when that is given).
QStringList Wrap(const QString& text, qsizetype width, qsizetype firstWidth = 0);

// "vantrel-cli commission --config FILE ... [options]": the subcommand,
// its required options, "[options]" for the others, its arguments.
QString Synopsis(const CommandSpec& spec);

// "-o, --output FILE".
QString OptionTerm(const OptionSpec& option);

// An option's help, with "(required)" for a required one.
QString OptionHelp(const OptionSpec& option);

// The text without its `backquotes`.
QString Plain(const QString& text);

// "The QUORVEX unit's configuration from a terminal or a script."
QString ProgramSummary();

// vantrel-cli --help, and vantrel-cli SUBCOMMAND --help.
QString ProgramHelp();
QString CommandHelp(const CommandSpec& spec);

} // namespace vantrel::cli
