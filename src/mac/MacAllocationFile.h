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
#include <vector>

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

// ---- The next free addresses ------------------------------------------------------------
// Lines 6 to 1 name the next free address (MacAddressFrom with lines 2 and
// 1 as octets 5 and 6). The addresses are given out counting octets 5 and 6
// up as one number, octet 5 × 256 + octet 6, octets 1 to 4 as they are. FF
// FF is never given: no file could name the one after it. The file is
// advanced only to a text that reads back as exactly what it should name
// (WithNextOctets).

// The address after `mac` in that count; nothing after FF FF.
std::optional<MacOctets> MacAfter(const MacOctets& mac);

enum class NextMacsStatus {
    Planned,
    NoAddress,   // lines 6 to 1 name none: see Named
    LastAddress, // they name FF FF
    NotExact,    // the advanced file would not read back exactly
};

// The next free addresses: `Macs` from the one the file names on, `After`
// the first one not taken, which `NewFile` names in lines 2 and 1 (the
// rest of each of the two lines and every other line byte for byte as they
// were). All three only when Planned.
struct NextMacs {
    NextMacsStatus Status = NextMacsStatus::Planned;
    MacAddressResult Named; // the address the file names now
    std::vector<MacOctets> Macs;
    MacOctets After{};
    QByteArray NewFile;
};

// The next `count` free addresses (at least one; fewer when FF FF comes
// first) and the file advanced past them.
NextMacs NextFreeMacs(const MacAllocationFile& file, int count);

// An address given out and never sent back into the file: `NewFile` names
// it again. Only while the file names the address right after it (the same
// octets 1 to 4); otherwise it is a gap, which is harmless.
enum class GiveBackStatus {
    Ready,
    NoAddress, // lines 6 to 1 name none: see Named
    NotNext,   // the file names another address next
    NotExact,  // the file naming it would not read back exactly
};
struct MacGiveBack {
    GiveBackStatus Status = GiveBackStatus::Ready;
    MacAddressResult Named; // the address the file names now
    MacOctets Expected{};   // the address right after the one given back
    QByteArray NewFile;
};
MacGiveBack MacGivenBack(const MacAllocationFile& file, const MacOctets& mac);

} // namespace vantrel
