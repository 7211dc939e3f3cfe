#pragma once
// What vantrel-cli's subcommands share: their options (CliOptions.h),
// configuration files by extension, records as readable text, the write
// with its read-back check, and the MAC allocation file (CliMacFile.h).
// Each failure ends the subcommand with a CliFailure that RunCli prints
// and turns into the exit code.

#include "cli/Cli.h"
#include "cli/CliMacFile.h"
#include "cli/CliOptions.h"
#include "config/ConfigJson.h"
#include "config/RecordFields.h"
#include "protocol/UnitSession.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <string>

namespace vantrel::cli {

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
    QString IpOption = QStringLiteral("--ip"); // the option that gave Ip, as messages name it
};

// The window's address check over the record's addresses with the
// overrides in place, then the addresses taken as the window takes them:
// the IP address only while "Get Address Automatically" is off, the target
// only while "Enable Client" is on. An override the write would not use is
// refused. Throws CliFailure(Usage) with the check's lines and "There are
// errors", then a line for each option whose text fails ("--ip: '10.0.0.300'
// is not an IP address (...)").
void ApplyAddresses(ConfigRecord& record, const AddressOverrides& overrides);

// The values no control of the window can hold, each field by its JSON
// key and its caption ("portNumber (Port Number): 0 is not a whole number
// from 1 to 65535"); empty when the window could send it.
QStringList OutsideWindowRanges(const ConfigRecord& record);

// Every value within what the window's controls allow; a value outside
// throws CliFailure(BadFile), a line for each: `file`, the field, the value
// and the range.
void CheckWindowLimits(const QString& file, const ConfigRecord& record);

// ApplyAddresses, then CheckWindowLimits.
void CheckForWrite(const QString& file, ConfigRecord& record, const AddressOverrides& overrides);

struct WriteCheck {
    IdentReply Ident;
    ConfigRecord Expected{}; // what a read must give back: ReadBackOf(written)
    ConfigRecord ReadBack{}; // what it gave
    MacOctets Mac{};         // the MAC address the read brought
    QStringList Differing;   // the captions of the fields that differ
    QStringList Differences; // "Caption: written | read back"
    bool Ok() const { return Differences.isEmpty(); }
};

// What a read gave back against what was written: the fields a read
// carries must come back as they went out (ReadBackOf).
WriteCheck CompareReadBack(const ConfigRecord& written, const UnitSession::ReadResult& read);

// "Write To QUORVEX" of `record`, then "Read From QUORVEX", which must give
// back what was written (the fields a read carries). A failure of the
// exchanges throws SessionError; once the erase was handed to the write,
// its message says the unit may hold an incomplete configuration.
WriteCheck WriteAndCheck(UnitSession& session, const ConfigRecord& record);

// A session with the unit found and opened, waiting --timeout for each
// reply (CliUnitChoice.cpp). With --unit, the unit of that path, else the
// one whose serial number it is (one identification exchange with each unit
// present to find it); a unit in program mode has no serial number. Without
// --unit, the one unit present, found as the window finds it; with several
// present, none: CliFailure(Usage) listing them. Throws CliFailure(NoUnit)
// when no unit has the path or serial number (Usage when several have it),
// SessionError for the exchanges.
std::unique_ptr<UnitSession> ConnectToUnit(CliContext& context, const ParsedArgs& args);

} // namespace vantrel::cli
