#pragma once
// The MAC allocation file as the window and vantrel-cli use it: read whole,
// its six-octet address, and the file with lines 1 and 2 given new text.

#include "mac/MacAllocation.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <array>
#include <cstdint>
#include <optional>

namespace vantrel {

struct MacAllocationFile {
    QString Path;
    QByteArray Bytes;  // the file as read
    MacFileBytes File; // its mark and the bytes of each line
    QStringList Lines; // each line's text
};

enum class MacFileStatus { Read, Missing, Unreadable };

// Reads the whole file. `Missing` when there is no file of that name (a
// folder is none); `Unreadable` with the system's reason in `error`.
MacFileStatus ReadMacAllocationFile(const QString& path, MacAllocationFile& file, QString* error = nullptr);

// The address "Send New MAC" sends: octets 1 to 4 from lines 6 to 3, octets
// 5 and 6 from the two texts (the first two characters of each).
struct MacAddressResult {
    std::optional<MacOctets> Octets;
    bool TooFewLines = false; // fewer than 6 lines
    int BadOctet = -1;        // else the first octet (0 to 5) that is not two hex digits
    QString BadText;          // its two characters
};
MacAddressResult MacAddressFrom(const QStringList& lines, const QString& octet5, const QString& octet6);

// The file with lines 1 and 2 replaced by `line1` and `line2` in the file's
// encoding, every other byte as it was. Nothing when the result would not
// read back as exactly these lines.
std::optional<QByteArray> WithFirstTwoLines(const MacAllocationFile& file, const QString& line1,
                                            const QString& line2);

// The file naming `octet5` `octet6` in lines 2 and 1: only their first two
// characters change (in the same letter case), the rest of each line and
// every other byte stay as they were. Nothing when it would not read back
// exactly.
std::optional<QByteArray> WithNextOctets(const MacAllocationFile& file, std::uint8_t octet5, std::uint8_t octet6);

// Two upper-case hexadecimal digits.
QString OctetText(std::uint8_t octet);

} // namespace vantrel
