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

int Octets56(const MacOctets& mac)
{
    return mac[4] * 256 + mac[5];
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

MacAllocation LoadMacAllocation(const QString& path)
{
    MacAllocation allocation;
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

MacOctets AllocationMac(const MacAllocation& allocation, const QString& octet5, const QString& octet6,
                        CliExit textCode)
{
    const MacAddressResult mac = MacAddressFrom(allocation.Lines, octet5, octet6);
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

NextMacs PlanNextMacs(const MacAllocation& allocation, int count)
{
    NextMacs next;
    if (allocation.Lines.size() < 6)
        throw CliFailure(CliExit::BadFile,
                         QStringLiteral("MAC allocation file has fewer than 6 lines\n") + allocation.Path);
    MacOctets mac = AllocationMac(allocation, allocation.Lines[1], allocation.Lines[0], CliExit::BadFile);
    if (Octets56(mac) == 0xFFFF)
        throw CliFailure(CliExit::BadFile,
                         QStringLiteral("MAC allocation file: lines 2 and 1 hold FF FF, the last address; there is "
                                        "none after it, so nothing was sent\n")
                             + allocation.Path);
    for (int value = Octets56(mac); int(next.Macs.size()) < std::max(count, 1) && value < 0xFFFF; ++value) {
        mac[4] = std::uint8_t(value >> 8);
        mac[5] = std::uint8_t(value & 0xFF);
        next.Macs.push_back(mac);
    }
    const int after = Octets56(next.Macs.back()) + 1;
    next.After = next.Macs.back();
    next.After[4] = std::uint8_t(after >> 8);
    next.After[5] = std::uint8_t(after & 0xFF);

    const auto file = WithNextOctets(allocation, next.After[4], next.After[5]);
    if (!file)
        throw CliFailure(CliExit::BadFile, QStringLiteral("MAC allocation file not written: it would not read back "
                                                          "exactly, so nothing was sent\n")
                                               + allocation.Path);
    next.NewFile = *file;
    return next;
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
        const MacAllocation file = LoadMacAllocation(path);
        const NextMacs now = PlanNextMacs(file);
        MacOctets after = mac;
        const int value = Octets56(mac) + 1;
        after[4] = std::uint8_t(value >> 8);
        after[5] = std::uint8_t(value & 0xFF);
        if (now.Macs.front() != after) {
            whyNot = QStringLiteral("the MAC allocation file names %1 next, not %2").arg(MacText(now.Macs.front()),
                                                                                         MacText(after));
            return false;
        }
        const auto back = WithNextOctets(file, mac[4], mac[5]);
        QString error;
        if (!back || !SaveWholeDurably(path, *back, &error)) {
            whyNot = QStringLiteral("the MAC allocation file cannot be written: %1").arg(error);
            return false;
        }
        return true;
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
