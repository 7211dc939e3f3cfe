#pragma once
// The MAC allocation file as "mac" and "commission" use it: the address
// "Send New MAC" sends, and the file advanced to the next free address.

#include "cli/ExitCodes.h"
#include "mac/MacAllocationFile.h"
#include "protocol/UnitSession.h"

#include <QByteArray>
#include <QString>

namespace vantrel::cli {

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

} // namespace vantrel::cli
