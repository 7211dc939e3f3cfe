#pragma once
// The commissioning record: a CSV file (RFC 4180, UTF-8, lines ending in
// CR LF) that gets one line per unit, each written in one step, so a line
// is either there whole or not at all.

#include <array>
#include <string>

namespace vantrel {

struct CommissionEntry {
    std::string Time;            // "2026-12-07T14:03:11+01:00"
    std::string SerialNumber;    // empty when the unit did not say
    std::string FirmwareVersion; // as the unit sent it, in UTF-8
    std::string MacAddress;      // "00.04.A3.01.1E.0F", empty when not known
    std::string IpAddress;       // the address written to it, empty when none was
    std::string Result;          // "commissioned", "program mode", "check failed: IP Address", ...
};

// The first line of a new record.
inline constexpr char kCommissionHeader[] = "time,serial number,firmware version,MAC address,IP address,result\r\n";

// One line of the record, CR LF at its end. A field holding a comma, a
// double quote, a line break or a blank at either end is put in double
// quotes, its own double quotes doubled. A firmware version that starts
// like a spreadsheet formula gets an apostrophe in front.
std::string CommissionLine(const CommissionEntry& entry);

} // namespace vantrel
