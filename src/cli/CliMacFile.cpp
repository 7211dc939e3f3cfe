#include "cli/CliMacFile.h"

#include "common/SaveWhole.h"

#include <QFile>

namespace vantrel::cli {

QString MacText(const MacOctets& mac)
{
    return QString::fromStdString(MacAddressText(mac.data()));
}

MacAllocation LoadMacAllocation(const QString& path)
{
    MacAllocation allocation;
    QString error;
    switch (ReadMacAllocationFile(path, allocation, &error)) {
    case MacFileStatus::Read:
        return allocation;
    case MacFileStatus::Missing:
        throw CliFailure(CliExit::BadFile, QStringLiteral("MAC allocation file not found: %1").arg(path));
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
    if (!mac.Octets)
        throw CliFailure(mac.BadOctet < 4 ? CliExit::BadFile : textCode,
                         QStringLiteral("Invalid MAC octet: '%1'").arg(mac.BadText));
    return *mac.Octets;
}

NextMac PlanNextMac(const MacAllocation& allocation)
{
    NextMac next;
    if (allocation.Lines.size() < 6)
        throw CliFailure(CliExit::BadFile,
                         QStringLiteral("MAC allocation file has fewer than 6 lines\n") + allocation.Path);
    next.Mac = AllocationMac(allocation, allocation.Lines[1], allocation.Lines[0], CliExit::BadFile);
    const int value = next.Mac[4] * 256 + next.Mac[5];
    if (value == 0xFFFF)
        throw CliFailure(CliExit::BadFile,
                         QStringLiteral("MAC allocation file: lines 2 and 1 hold FF FF, the last address; there is "
                                        "none after it, so nothing was sent\n")
                             + allocation.Path);
    const int after = value + 1;
    next.After = next.Mac;
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

void CommitNextMac(const MacAllocation& allocation, const NextMac& next)
{
    const auto notAdvanced = [&](const QString& reason) {
        return CliFailure(CliExit::Failure,
                          QStringLiteral("The unit now has the MAC address %1, but the MAC allocation file %2 was "
                                         "not advanced: %3\nSet its lines 2 and 1 to %4 and %5 before the next unit.")
                              .arg(MacText(next.Mac), allocation.Path, reason, OctetText(next.After[4]),
                                   OctetText(next.After[5])));
    };
    QFile file(allocation.Path);
    QByteArray now;
    const bool read = file.open(QIODevice::ReadOnly);
    if (read)
        now = file.readAll();
    if (!read || file.error() != QFileDevice::NoError || now != allocation.Bytes)
        throw notAdvanced(QStringLiteral("it changed while the address was sent"));
    file.close();
    QString error;
    if (!SaveWhole(allocation.Path, next.NewFile, &error))
        throw notAdvanced(QStringLiteral("Cannot write %1: %2").arg(allocation.Path, error));
}

void TakeOrFail(FileLock& lock, std::chrono::milliseconds wait, const QString& what, const QString& path)
{
    QString whyNot;
    if (!lock.Take(wait, whyNot))
        throw CliFailure(CliExit::Locked, QStringLiteral("Cannot use %1 %2: %3").arg(what, path, whyNot));
}

HeldNextMac::HeldNextMac(const QString& path, std::chrono::milliseconds wait) : lock_(path)
{
    TakeOrFail(lock_, wait, QStringLiteral("the MAC allocation file"), path);
    file_ = LoadMacAllocation(path);
    next_ = PlanNextMac(file_);
}

NextMac PeekNextMac(const QString& path, std::chrono::milliseconds wait)
{
    FileLock lock(path);
    QString whyNot;
    // Only a look: when another program holds the file for longer, it is
    // read as it stands.
    const bool held = lock.Take(wait, whyNot);
    static_cast<void>(held);
    return PlanNextMac(LoadMacAllocation(path));
}

} // namespace vantrel::cli
