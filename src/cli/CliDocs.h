#pragma once
// vantrel-cli's man page and its bash completion, made from the same tables
// as its help (the subcommands' options, the exit codes), so none of them
// can drift from what the program accepts. The build writes both with
// vantrel-cli-docs (CliDocsMain.cpp) and the Debian package installs them.

#include <QString>

namespace vantrel::cli {

// vantrel-cli(1) in roff (man(7) macros); `version` goes into its footer.
QString ManPage(const QString& version);

// A bash completion script: the subcommands, each one's options, the
// words an option's value is one of, and file names where a file is meant.
QString BashCompletion();

} // namespace vantrel::cli
