#pragma once
// What vantrel-cli's subcommands share: option parsing and help, the exit
// code of each failure, configuration files by extension, records as
// readable text, the write with its read-back check, and the MAC
// allocation file. Each failure ends the subcommand with a CliFailure that
// RunCli prints and turns into the exit code.

#include "cli/Cli.h"
#include "config/ConfigJson.h"
#include "config/RecordFields.h"
#include "mac/MacAllocationFile.h"
#include "protocol/UnitSession.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <chrono>
#include <exception>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace vantrel::cli {

// Ends a subcommand: `Message` (one or more lines) goes to the error
// stream and `Code` is the program's exit code.
class CliFailure : public std::exception {
public:
    CliFailure(CliExit code, QString message) : Code(code), Message(std::move(message)), text_(Message.toStdString()) {}
    const char* what() const noexcept override { return text_.c_str(); }
    CliExit Code;
    QString Message;

private:
    std::string text_;
};

// ---- Options ---------------------------------------------------------------------------

struct OptionSpec {
    QString Name;  // "--timeout"; a one-letter alias goes in Alias ("-o")
    QString Value; // what the value is called in the help ("MS"); empty for a switch
    QString Help = {};
    QString Alias = {};
    bool Repeatable = false;
};

struct CommandSpec {
    QString Name;        // "read"
    QString Arguments;   // "[-o FILE]" as the synopsis shows them after the options
    QString Summary;     // one line, for vantrel-cli --help
    QString Description; // the rest of the subcommand's help
    std::vector<OptionSpec> Options = {};
    int MinPositional = 0;
    int MaxPositional = 0;
};

// `--timeout MS`: how long to wait for each reply (default 2000), and
// `--mac-file PATH`: the MAC allocation file instead of its fixed place.
OptionSpec TimeoutOption();
OptionSpec MacFileOption();
constexpr std::chrono::milliseconds kDefaultReplyTimeout{2000};

class ParsedArgs {
public:
    QStringList Positional;
    std::vector<std::pair<QString, QString>> Given; // option name and value, in order

    bool Has(const QString& name) const;
    QString Value(const QString& name) const; // the last one given; empty when none
    QStringList Values(const QString& name) const;
};

// The subcommand's arguments (after its name). A word after "--" is never
// an option. Throws CliFailure(Usage) naming what is wrong.
ParsedArgs ParseArgs(const CommandSpec& spec, const QStringList& args);

// The subcommand's --help text.
QString CommandHelp(const CommandSpec& spec);

// A usage failure with the hint to the subcommand's help.
CliFailure UsageError(const CommandSpec& spec, const QString& message);

std::chrono::milliseconds ReplyTimeout(const ParsedArgs& args);
QString MacAllocationPath(const ParsedArgs& args, const CliContext& context);

// A decimal whole number from `min` to `max` (an optional '-' and digits).
std::optional<long long> ParseDecimal(const QString& text, long long min, long long max);

// ---- Failures and exit codes ----------------------------------------------------------------

CliExit ExitCodeFor(SessionFailure failure);

// Runs a subcommand: what it throws (CliFailure, SessionError, anything
// else) is printed on the error stream and becomes the exit code.
int RunGuarded(CliContext& context, const std::function<CliExit()>& body);

// ---- Configuration files ------------------------------------------------------------------

enum class ConfigFileType { Dat, Json };

// The type a path names by its extension (.dat or .json, any letter case).
// Throws CliFailure(Usage) for any other.
ConfigFileType ConfigFileTypeOf(const QString& path);

// Reads a whole data file or JSON file and checks it. Throws
// CliFailure(BadFile) with the path and what is wrong.
ConfigDocument LoadConfig(const QString& path);

// Writes the document in the type the path names, atomically: an earlier
// file of that name stays as it was unless the new one is complete.
void SaveConfig(const QString& path, const ConfigDocument& document);

// Writes the bytes to a temporary file and puts it in place. Throws
// CliFailure(Failure) naming the path and the reason.
void SaveAtomically(const QString& path, const QByteArray& bytes);

// ---- Records as text --------------------------------------------------------------------

// A fresh window's record: the factory defaults, everything else zero.
ConfigRecord FactoryRecord();

// One byte per character in the system's code page, as the window shows it;
// a control character shows as U+FFFD, so a unit's text cannot start a line.
QString UnitText(const std::string& bytes);

// The field's value as it reads: "10.0.0.5", "on", "Pump house", "1, 16",
// "none", "300". A flag byte other than 0 or 1 shows as "on (byte 2)".
QString FieldValue(const ConfigRecord& record, const RecordField& field);

// "Caption: value" for every field a control shows, in the window's order.
QStringList ReadableLines(const ConfigRecord& record);

// "Caption: a | b" for every field in which the two differ; where both
// values read the same (bytes after a name's end, say), the bytes follow
// each in hex.
QStringList DifferenceLines(const ConfigRecord& a, const ConfigRecord& b);

// ---- Writing a configuration ---------------------------------------------------------------

// Address texts that replace the record's addresses ("10.0.0.7").
struct AddressOverrides {
    std::optional<QString> Ip, Gateway, Mask, Target;
};

// The window's address check over the record's addresses with the
// overrides in place, then the addresses taken as the window takes them:
// the IP address only while "Get Address Automatically" is off, the target
// only while "Enable Client" is on. An override the write would not use is
// refused. Throws CliFailure(Usage) with the check's lines and "There are
// errors".
void ApplyAddresses(ConfigRecord& record, const AddressOverrides& overrides);

// The values no control of the window can hold ("Port Number: 0 is not a
// whole number from 1 to 65535"); empty when the window could send it.
QStringList OutsideWindowRanges(const ConfigRecord& record);

// ApplyAddresses, then every value within what the window's controls allow;
// a value outside throws CliFailure(BadFile) naming `file`, the field, the
// value and the range.
void CheckForWrite(const QString& file, ConfigRecord& record, const AddressOverrides& overrides);

struct WriteCheck {
    IdentReply Ident;
    ConfigRecord Expected{}; // what a read must give back: ReadBackOf(written)
    ConfigRecord ReadBack{}; // what it gave
    MacOctets Mac{};         // the MAC address the read brought
    QStringList Differences; // "Caption: written | read back"
    bool Ok() const { return Differences.isEmpty(); }
};

// "Write To QUORVEX" of `record`, then "Read From QUORVEX", which must give
// back what was written (the fields a read carries). A failure of the
// exchanges throws SessionError; once the erase has gone out, its message
// says the unit may hold an incomplete configuration.
WriteCheck WriteAndCheck(UnitSession& session, const ConfigRecord& record);

// A session with the unit found and opened. Throws SessionError.
std::unique_ptr<UnitSession> ConnectToUnit(CliContext& context, std::chrono::milliseconds timeout);

// ---- The MAC allocation file ----------------------------------------------------------------

using MacAllocation = MacAllocationFile;

// Reads the whole file. Throws CliFailure(BadFile) when it is missing or
// cannot be read.
MacAllocation LoadMacAllocation(const QString& path);

// The address "Send New MAC" sends: octets 1 to 4 from lines 6 to 3,
// octets 5 and 6 from the two texts (the first two characters of each, as
// the window takes its two fields). The window's refusals: "MAC allocation
// file has fewer than 6 lines", "Invalid MAC octet: 'G1'". Throws
// CliFailure(BadFile), or `textCode` when one of the two texts is wrong.
MacOctets AllocationMac(const MacAllocation& allocation, const QString& octet5, const QString& octet6,
                        CliExit textCode);

// `mac --next`: the address lines 2 and 1 name, and the file that names
// the address after it (octet 5 × 256 + octet 6 + 1) in lines 2 and 1, the
// rest of each of the two lines and every other line byte for byte as they
// were. Refused (CliFailure(BadFile)) before anything is sent: a file
// holding FF FF there, and one that would not read back exactly.
struct NextMac {
    MacOctets Mac{};
    MacOctets After{};
    QByteArray NewFile;
};
NextMac PlanNextMac(const MacAllocation& allocation);

// Puts the planned file in place, atomically, once the unit has taken the
// address. Refused (CliFailure(Failure)) when the file changed meanwhile.
void CommitNextMac(const MacAllocation& allocation, const NextMac& next);

QString MacText(const MacOctets& mac);

// ---- commission ---------------------------------------------------------------------------

CommandSpec CommissionSpec();
CliExit RunCommission(const ParsedArgs& args, CliContext& context);

} // namespace vantrel::cli
