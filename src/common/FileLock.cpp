#include "common/FileLock.h"

namespace vantrel {

FileLock::FileLock(const QString& file) : name_(file + QStringLiteral(".lock")), lock_(name_)
{
    // A step holds the file for one exchange with a unit at the most, a few
    // seconds; a lock this old is left by a holder that is gone (one on
    // another machine, whose process cannot be looked for from here).
    lock_.setStaleLockTime(60000);
}

bool FileLock::Take(std::chrono::milliseconds wait, QString& whyNot)
{
    if (lock_.tryLock(int(wait.count())))
        return true;
    switch (lock_.error()) {
    case QLockFile::LockFailedError: {
        qint64 pid = 0;
        QString host, program;
        if (lock_.getLockInfo(&pid, &host, &program))
            whyNot = QStringLiteral("another program holds it: %1, process %2 on %3")
                         .arg(program.isEmpty() ? QStringLiteral("unknown") : program)
                         .arg(pid)
                         .arg(host.isEmpty() ? QStringLiteral("an unknown machine") : host);
        else
            whyNot = QStringLiteral("another program holds it (%1)").arg(name_);
        break;
    }
    case QLockFile::PermissionError:
        whyNot = QStringLiteral("%1 cannot be created: permission denied").arg(name_);
        break;
    default:
        whyNot = QStringLiteral("%1 cannot be created").arg(name_);
        break;
    }
    return false;
}

} // namespace vantrel
