#pragma once
// The MAC allocation file as "mac" and "commission" use it: the address
// "Send New MAC" sends, and the next free addresses given out.
//
// An address is spent once it may have reached a unit. So it is reserved
// before it is sent: under the file's lock the file is advanced past it
// (atomically, flushed to the disk) and the lock let go; only then does
// the request go out. Whatever happens after that, no bench gives the
// address again. Only an address whose request was never written may go
// back (GiveBackMac), and only while the file still names the address
// right after it; otherwise it is a gap, which is harmless.

#include "cli/ExitCodes.h"
#include "common/FileLock.h"
#include "mac/MacAllocationFile.h"
#include "protocol/UnitSession.h"

#include <QByteArray>
#include <QString>

#include <chrono>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <optional>
#include <vector>

namespace vantrel::cli {

// Reads the whole file. Throws CliFailure(BadFile) when it is missing or
// cannot be read.
MacAllocationFile LoadMacAllocation(const QString& path);

// The address "Send New MAC" sends: octets 1 to 4 from lines 6 to 3,
// octets 5 and 6 from the two texts (the first two characters of each, as
// the window takes its two fields). The window's refusals: "MAC allocation
// file has fewer than 6 lines", "Invalid MAC octet: 'G1'". Throws
// CliFailure(BadFile), or `textCode` when one of the two texts is wrong.
MacOctets AllocationMac(const MacAllocationFile& allocation, const QString& octet5, const QString& octet6,
                        CliExit textCode);

// The next free addresses by the file's rules (NextFreeMacs in
// mac/MacAllocationFile.h): fewer than asked for may come back, but never
// none. A file naming no address, one holding FF FF in lines 2 and 1, and
// one that would not read back exactly are refused (CliFailure(BadFile)).
NextMacs PlanNextMacs(const MacAllocationFile& allocation, int count = 1);

// The next free address as the file names it now, read under the file's
// lock when it can be had within `wait` (on Windows a reader's open handle
// makes another program's write-back fail), else as it stands. Throws what
// LoadMacAllocation and PlanNextMacs throw.
MacOctets PeekNextMac(const QString& path, std::chrono::milliseconds wait);

// Reserves the next `count` free addresses (fewer when FF FF comes first):
// the file is advanced past them under its lock, durably. Throws
// CliFailure: Locked when another program holds the file for longer than
// `wait`; BadFile when it is missing, its lock file cannot be made, or
// PlanNextMacs refuses it; Failure when it cannot be written.
NextMacs ReserveNextMacs(const QString& path, int count, std::chrono::milliseconds wait);

// Puts an address that was reserved and never sent back into the file:
// under its lock, and only when the file names the address right after it
// in lines 2 and 1 (no other program took one since) and its first four
// octets. False, with the reason, when it is a gap instead.
bool GiveBackMac(const QString& path, const MacOctets& mac, std::chrono::milliseconds wait, QString& whyNot);

// The allocation file for the units of one bench: each unit takes an
// address before its request goes out. Units that ask at the same time
// (commission --parallel) are served in one turn on the file: the first
// to come reserves for every unit waiting. An address a unit hands back
// unsent goes to the file when it can (GiveBackMac), else to the next unit
// of this bench; what is left at the end goes back to the file or is a
// gap. After a failure of the file no more addresses are given.
class MacSupply {
public:
    MacSupply(QString path, std::chrono::milliseconds wait) : path_(std::move(path)), wait_(wait) {}
    ~MacSupply();
    const QString& Path() const { return path_; }

    // Throws what ReserveNextMacs throws (the first failure again, to every
    // later caller).
    MacOctets Take();
    // An address from Take whose request never went out. True when the
    // file names it again.
    bool GiveBack(const MacOctets& mac);
    // The addresses handed back and not taken again: each goes back to the
    // file when it can. Those that cannot are gaps, returned here.
    std::vector<MacOctets> Finish();

private:
    QString path_;
    std::chrono::milliseconds wait_;
    std::mutex mutex_; // guards what follows
    std::condition_variable changed_;
    std::deque<MacOctets> spare_; // reserved, not taken yet
    int waiting_ = 0;
    bool reserving_ = false;
    std::optional<CliFailure> failure_;
};

// Takes `lock` or throws CliFailure: Locked when another program holds it
// past `wait`, `cannotCreate` when its lock file cannot be made. `what`
// names the file ("the MAC allocation file").
void TakeOrFail(FileLock& lock, std::chrono::milliseconds wait, const QString& what, const QString& path,
                CliExit cannotCreate);

QString MacText(const MacOctets& mac);

} // namespace vantrel::cli
