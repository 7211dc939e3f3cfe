#pragma once
// A subcommand's options and arguments: the table each subcommand declares
// (CommandSpec), parsed by QCommandLineParser, with what that class leaves
// to its caller: a one-line message and exit code 2 for a usage error, an
// option given twice where one value is meant, required options, the
// number of arguments. The same tables give the help, the man page and the
// bash completion (CliHelp.h, CliDocs.h).

#include "cli/ExitCodes.h"

#include <QString>
#include <QStringList>

#include <chrono>
#include <optional>
#include <utility>
#include <vector>

namespace vantrel {
struct CliContext;
}

namespace vantrel::cli {

struct OptionSpec {
    QString Name;  // "--timeout"; a one-letter alias goes in Alias ("-o")
    QString Value; // what the value is called in the help ("MS"); empty for a switch
    QString Help = {};
    QString Alias = {};
    bool Repeatable = false;
    bool Required = false;
};

struct CommandSpec {
    QString Name;            // "read"
    QString Arguments = {};  // "FILE", as the synopsis shows them after the options
    QString Summary = {};    // one line, for vantrel-cli --help
    QStringList Description = {}; // the rest of the subcommand's help, one paragraph each
    std::vector<OptionSpec> Options = {};
    int MinPositional = 0;
    int MaxPositional = 0;
    // For the completion: the arguments are file names, or one of these words.
    bool FileArguments = false;
    QStringList ArgumentWords = {};
};

// `--timeout MS`: how long to wait for each reply (default 2000), and
// `--mac-file PATH`: the MAC allocation file instead of its fixed place.
OptionSpec TimeoutOption();
OptionSpec MacFileOption();
// `--unit UNIT`: which unit, by its path or its serial number, when several
// are present (ConnectToUnit in CliSupport.h).
OptionSpec UnitOption();
// `--json`: one JSON document instead of text (list, info, diff), and
// `--format json|dat`: the form of "-", standard input or output.
OptionSpec JsonOption();
OptionSpec FormatOption();
constexpr std::chrono::milliseconds kDefaultReplyTimeout{2000};

// Whether an option's value names a file ("FILE", "FILE.csv", "PATH"), and
// the words a value is one of ("on|off"; empty for any other).
bool ValueIsFile(const OptionSpec& option);
QStringList ValueWords(const OptionSpec& option);

class ParsedArgs {
public:
    QStringList Positional;
    std::vector<std::pair<QString, QString>> Given; // option name ("--output") and value, in order

    bool Has(const QString& name) const;
    QString Value(const QString& name) const; // the last one given; empty when none
    QStringList Values(const QString& name) const;
};

// The subcommand's arguments (after its name). A word after "--" is never
// an option. Throws CliFailure(Usage) naming what is wrong.
ParsedArgs ParseArgs(const CommandSpec& spec, const QStringList& args);

// A usage failure with the hint to the subcommand's help.
CliFailure UsageError(const CommandSpec& spec, const QString& message);

std::chrono::milliseconds ReplyTimeout(const ParsedArgs& args);
QString MacAllocationPath(const ParsedArgs& args, const CliContext& context);

// A decimal whole number from `min` to `max` (an optional '-' and digits).
std::optional<long long> ParseDecimal(const QString& text, long long min, long long max);

} // namespace vantrel::cli
