#include "common/FileLock.h"

#include <QDir>
#include <QFileInfo>

namespace vantrel {

FileLock::FileLock(const QString& file) : name_(file + QStringLiteral(".lock")), lock_(name_)
{
    // A step holds the file for a few file operations, never across an
    // exchange with a unit; a lock this old is left by a holder that is
    // gone (one on another machine, whose process cannot be looked for
    // from here).
    lock_.setStaleLockTime(60000);
}

namespace {
// Why a lock file cannot be made in its folder.
QString CannotCreateReason(const QString& name, QLockFile::LockError error)
{
    const QFileInfo folder(QFileInfo(name).absolutePath());
    QString why;
    if (QFileInfo(name).isDir())
        why = QStringLiteral("a folder of that name is in the way");
    else if (!folder.exists())
        why = QStringLiteral("the folder %1 does not exist").arg(folder.filePath());
    else if (!folder.isDir())
        why = QStringLiteral("%1 is not a folder").arg(folder.filePath());
    else if (error == QLockFile::PermissionError)
        why = QStringLiteral("permission denied");
    else
        why = QStringLiteral("the folder %1 cannot be written to").arg(folder.filePath());
    return QStringLiteral("its lock file %1 cannot be created: %2").arg(name, why);
}
} // namespace

FileLock::Outcome FileLock::TakeFor(std::chrono::milliseconds wait, QString& whyNot)
{
    // A folder where the lock file goes is no lock another program holds.
    if (QFileInfo(name_).isDir()) {
        whyNot = CannotCreateReason(name_, QLockFile::UnknownError);
        return Outcome::CannotCreate;
    }
    if (lock_.tryLock(int(wait.count())))
        return Outcome::Taken;
    if (lock_.error() != QLockFile::LockFailedError) {
        whyNot = CannotCreateReason(name_, lock_.error());
        return Outcome::CannotCreate;
    }
    qint64 pid = 0;
    QString host, program;
    if (lock_.getLockInfo(&pid, &host, &program))
        whyNot = QStringLiteral("another program holds it: %1, process %2 on %3")
                     .arg(program.isEmpty() ? QStringLiteral("unknown") : program)
                     .arg(pid)
                     .arg(host.isEmpty() ? QStringLiteral("an unknown machine") : host);
    else
        whyNot = QStringLiteral("another program holds it (%1)").arg(name_);
    return Outcome::Held;
}

} // namespace vantrel
