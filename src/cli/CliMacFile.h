#pragma once
// The MAC allocation file as "mac" and "commission" use it: the address
// "Send New MAC" sends, and the file advanced to the next free address.

#include "cli/ExitCodes.h"
#include "common/FileLock.h"
#include "mac/MacAllocationFile.h"
#include "protocol/UnitSession.h"

#include <QByteArray>
#include <QString>

#include <chrono>

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

// The allocation file held for one step that gives out its next address,
// from reading it to writing it back: other programs wait for it, so no
// address is given twice. Held through the exchange with the unit (one
// exchange at the most), so a unit that fails leaves the file as it was.
// Throws CliFailure(Locked) when another program holds it for longer than
// `wait`, and what LoadMacAllocation and PlanNextMac throw.
class HeldNextMac {
public:
    HeldNextMac(const QString& path, std::chrono::milliseconds wait);
    const MacAllocation& File() const { return file_; }
    const NextMac& Next() const { return next_; }
    // CommitNextMac, while still held.
    void Commit() const { CommitNextMac(file_, next_); }

private:
    FileLock lock_;
    MacAllocation file_;
    NextMac next_;
};

// The next free address as the file names it now, read under the file's
// lock when it can be had within `wait` (on Windows a reader's open handle
// makes another program's write-back fail), else as it stands. Throws what
// LoadMacAllocation and PlanNextMac throw.
NextMac PeekNextMac(const QString& path, std::chrono::milliseconds wait);

// Takes `lock` or throws CliFailure(Locked) naming `what` ("the MAC
// allocation file").
void TakeOrFail(FileLock& lock, std::chrono::milliseconds wait, const QString& what, const QString& path);

QString MacText(const MacOctets& mac);

} // namespace vantrel::cli
