#pragma once
// The commissioning record: a CSV file (RFC 4180, UTF-8, lines ending in
// CR LF) that gets one line per step of a unit, each written in one step,
// so a line is either there whole or not at all.
//
// A unit whose configuration is about to be written gets a line first
// ("in progress", with the IP address and the MAC address reserved for
// it), written before its erase goes out, so that a bench killed mid-way
// leaves a trace of what may be in the unit; then the line saying how it
// went. A unit's last line tells.

#include <QByteArray>
#include <QString>

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace vantrel {

struct CommissionEntry {
    std::string Time;            // "2026-12-07T14:03:11+01:00"
    std::string SerialNumber;    // empty when the unit did not say
    std::string FirmwareVersion; // as the unit sent it, in UTF-8
    std::string MacAddress;      // "00.04.A3.01.1E.0F", empty when not known
    std::string IpAddress;       // the address that may be in the unit, empty when none may be
    std::string Result;          // "commissioned", "in progress", "program mode", "check failed: IP Address", ...
    std::string MacState;        // one of the kMacState... below, empty without a MAC address
    std::string ToolVersion;     // of the program that wrote the line
    std::string Station;         // the host name of the machine it ran on
    std::string Configuration;   // the configuration's file name
    std::string ConfigurationSha256; // of its 160-byte configuration record, in hex
};

// What the MAC address column holds.
inline constexpr char kMacConfirmed[] = "confirmed";     // given, and the unit confirmed it
inline constexpr char kMacUnconfirmed[] = "unconfirmed"; // sent, not confirmed: it may be in the unit
inline constexpr char kMacReserved[] = "reserved";       // on the line before the request went out
inline constexpr char kMacUnused[] = "unused";           // reserved, never sent: it is in no unit
inline constexpr char kMacRead[] = "read";               // not given: the unit's own, as read back

// The first line of a new record, and of a record written before the
// record had its last five columns; such a record is appended to in its
// own six columns.
inline constexpr char kCommissionHeader[] =
    "time,serial number,firmware version,MAC address,IP address,result,MAC state,tool version,station,"
    "configuration,configuration SHA-256\r\n";
inline constexpr char kCommissionHeaderSixColumns[] =
    "time,serial number,firmware version,MAC address,IP address,result\r\n";

enum class RecordFormat { SixColumns, Traced };

// One line of the record in its format, CR LF at its end. A field holding a
// comma, a double quote, a line break or a blank at either end is put in
// double quotes, its own double quotes doubled. A firmware version that
// starts like a spreadsheet formula gets an apostrophe in front.
std::string CommissionLine(const CommissionEntry& entry, RecordFormat format = RecordFormat::Traced);

// The format whose header `firstLine` (without its line end) is; nothing
// for any other line.
std::optional<RecordFormat> RecordFormatOf(const QByteArray& firstLine);

// The fields of each CSV record in `text`, with the line number (from
// `firstLine` on) on which it starts. Quoted fields may hold line breaks.
struct CsvRecord {
    int Line = 0;
    std::vector<std::string> Fields;
};
std::vector<CsvRecord> ParseCsv(const QByteArray& text, int firstLine = 1);

// The addresses a record lists as given to a unit, each with the number
// of the first line that lists it: every IP address, and every MAC address
// but one that a unit's line "reserved" and its next line "unused" (it
// never left the tool).
struct GivenAddresses {
    std::map<std::uint32_t, int> Ips;
    std::map<std::string, int> Macs; // "00.04.A3.01.1E.0F"
    std::map<std::string, int> Reserved; // of Macs, those whose last line so far says "reserved"
    std::optional<std::uint32_t> LastIp; // the highest one
    // Adds the records' addresses (lines after the header).
    void Add(const std::vector<CsvRecord>& records, RecordFormat format);
};

} // namespace vantrel
