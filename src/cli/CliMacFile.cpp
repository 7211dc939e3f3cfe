#include "cli/CliMacFile.h"

#include "common/SaveWhole.h"

#include <QFileInfo>

#include <algorithm>

namespace vantrel::cli {

QString MacText(const MacOctets& mac)
{
    return QString::fromStdString(MacAddressText(mac.data()));
}

namespace {
CliFailure NotFound(const QString& path)
{
    return CliFailure(CliExit::BadFile, QStringLiteral("MAC allocation file not found: %1").arg(path));
}

// The file's lock: a lock file that cannot be made is the file's fault,
// named as LoadMacAllocation names it when the file is not there at all.
void TakeMacFileLock(FileLock& lock, std::chrono::milliseconds wait, const QString& path)
{
    if (!QFileInfo(path).isFile())
        throw NotFound(path);
    TakeOrFail(lock, wait, QStringLiteral("the MAC allocation file"), path, CliExit::BadFile);
}
} // namespace

MacAllocationFile LoadMacAllocation(const QString& path)
{
    MacAllocationFile allocation;
    QString error;
    switch (ReadMacAllocationFile(path, allocation, &error)) {
    case MacFileStatus::Read:
        return allocation;
    case MacFileStatus::Missing:
        throw NotFound(path);
    case MacFileStatus::Unreadable:
        break;
    }
    throw CliFailure(CliExit::BadFile, QStringLiteral("MAC allocation file cannot be read: %1: %2").arg(path, error));
}

namespace {
// The address or the window's refusal of it, and where the bad octet came from.
MacOctets OctetsOrFail(const MacAllocationFile& allocation, const MacAddressResult& mac, CliExit textCode)
{
    if (mac.TooFewLines)
        throw CliFailure(CliExit::BadFile,
                         QStringLiteral("MAC allocation file has fewer than 6 lines\n") + allocation.Path);
    if (!mac.Octets) {
        // The window's line, then where the octet came from: octets 1 to 6
        // from lines 6 to 1 of the file, but octets 5 and 6 from the command
        // line's XX and YY when a bad text there is not the file's fault.
        const bool fromFile = mac.BadOctet < 4 || textCode == CliExit::BadFile;
        const QString where = fromFile ? QStringLiteral("%1, line %2").arg(allocation.Path).arg(6 - mac.BadOctet)
                                       : QStringLiteral("octet %1 (%2)")
                                             .arg(mac.BadOctet + 1)
                                             .arg(QLatin1String(mac.BadOctet == 4 ? "XX" : "YY"));
        throw CliFailure(fromFile ? CliExit::BadFile : textCode,
                         QStringLiteral("Invalid MAC octet: '%1'\n%2").arg(mac.BadText, where));
    }
    return *mac.Octets;
}
} // namespace

MacOctets AllocationMac(const MacAllocationFile& allocation, const QString& octet5, const QString& octet6,
                        CliExit textCode)
{
    return OctetsOrFail(allocation, MacAddressFrom(allocation.Lines, octet5, octet6), textCode);
}

NextMacs PlanNextMacs(const MacAllocationFile& allocation, int count)
{
    NextMacs next = NextFreeMacs(allocation, count);
    switch (next.Status) {
    case NextMacsStatus::Planned:
        return next;
    case NextMacsStatus::NoAddress:
        OctetsOrFail(allocation, next.Named, CliExit::BadFile);
        break;
    case NextMacsStatus::LastAddress:
        throw CliFailure(CliExit::BadFile,
                         QStringLiteral("MAC allocation file: lines 2 and 1 hold FF FF, the last address; there is "
                                        "none after it, so nothing was sent\n")
                             + allocation.Path);
    case NextMacsStatus::NotExact:
        break;
    }
    throw CliFailure(CliExit::BadFile, QStringLiteral("MAC allocation file not written: it would not read back "
                                                      "exactly, so nothing was sent\n")
                                           + allocation.Path);
}

void TakeOrFail(FileLock& lock, std::chrono::milliseconds wait, const QString& what, const QString& path,
                CliExit cannotCreate)
{
    QString whyNot;
    switch (lock.TakeFor(wait, whyNot)) {
    case FileLock::Outcome::Taken:
        return;
    case FileLock::Outcome::Held:
        throw CliFailure(CliExit::Locked, QStringLiteral("Cannot use %1 %2: %3").arg(what, path, whyNot));
    case FileLock::Outcome::CannotCreate:
        break;
    }
    throw CliFailure(cannotCreate, QStringLiteral("Cannot use %1 %2: %3").arg(what, path, whyNot));
}

MacOctets PeekNextMac(const QString& path, std::chrono::milliseconds wait)
{
    FileLock lock(path);
    QString whyNot;
    // Only a look: when another program holds the file for longer, it is
    // read as it stands.
    static_cast<void>(lock.Take(wait, whyNot));
    return PlanNextMacs(LoadMacAllocation(path)).Macs.front();
}

NextMacs ReserveNextMacs(const QString& path, int count, std::chrono::milliseconds wait)
{
    FileLock lock(path);
    TakeMacFileLock(lock, wait, path);
    NextMacs next = PlanNextMacs(LoadMacAllocation(path), count);
    QString error;
    if (!SaveWholeDurably(path, next.NewFile, &error))
        throw CliFailure(CliExit::Failure,
                         QStringLiteral("MAC allocation file cannot be advanced: %1: %2; nothing was sent").arg(path, error));
    return next;
}

bool GiveBackMac(const QString& path, const MacOctets& mac, std::chrono::milliseconds wait, QString& whyNot)
{
    try {
        FileLock lock(path);
        TakeMacFileLock(lock, wait, path);
        const MacAllocationFile file = LoadMacAllocation(path);
        const MacGiveBack back = MacGivenBack(file, mac);
        QString error;
        switch (back.Status) {
        case GiveBackStatus::Ready:
            if (SaveWholeDurably(path, back.NewFile, &error))
                return true;
            break;
        case GiveBackStatus::NoAddress:
            OctetsOrFail(file, back.Named, CliExit::BadFile);
            break;
        case GiveBackStatus::NotNext:
            whyNot = QStringLiteral("the MAC allocation file names %1 next, not %2")
                         .arg(MacText(*back.Named.Octets), MacText(back.Expected));
            return false;
        case GiveBackStatus::NotExact:
            break;
        }
        whyNot = QStringLiteral("the MAC allocation file cannot be written: %1").arg(error);
        return false;
    } catch (const CliFailure& failure) {
        whyNot = failure.Message;
        return false;
    }
}

MacSupply::~MacSupply() = default;

MacOctets MacSupply::Take()
{
    std::unique_lock lock(mutex_);
    ++waiting_;
    for (;;) {
        if (!spare_.empty()) {
            const MacOctets mac = spare_.front();
            spare_.pop_front();
            --waiting_;
            return mac;
        }
        if (failure_) {
            --waiting_;
            throw *failure_;
        }
        if (reserving_) {
            changed_.wait(lock);
            continue;
        }
        // This caller's turn on the file, for every caller waiting now.
        reserving_ = true;
        const int wanted = waiting_;
        lock.unlock();
        std::optional<NextMacs> reserved;
        std::optional<CliFailure> failure;
        try {
            reserved = ReserveNextMacs(path_, wanted, wait_);
        } catch (const CliFailure& error) {
            failure = error;
        }
        lock.lock();
        reserving_ = false;
        if (reserved)
            spare_.insert(spare_.end(), reserved->Macs.begin(), reserved->Macs.end());
        else
            failure_ = failure;
        changed_.notify_all();
    }
}

bool MacSupply::GiveBack(const MacOctets& mac)
{
    std::lock_guard lock(mutex_);
    QString whyNot;
    if (GiveBackMac(path_, mac, wait_, whyNot))
        return true;
    spare_.insert(std::lower_bound(spare_.begin(), spare_.end(), mac), mac);
    changed_.notify_all();
    return false;
}

std::vector<MacOctets> MacSupply::Finish()
{
    std::lock_guard lock(mutex_);
    std::vector<MacOctets> left(spare_.begin(), spare_.end());
    spare_.clear();
    // The highest first: each one back makes room for the one before it.
    std::sort(left.begin(), left.end(), [](const MacOctets& a, const MacOctets& b) { return b < a; });
    std::vector<MacOctets> gaps;
    for (const MacOctets& mac : left) {
        QString whyNot;
        if (!GiveBackMac(path_, mac, wait_, whyNot))
            gaps.push_back(mac);
    }
    return gaps;
}

} // namespace vantrel::cli
