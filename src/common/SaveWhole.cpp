#include "common/SaveWhole.h"

#include <QFileInfo>
#include <QSaveFile>

#ifdef _WIN32
#include <io.h>
#include <windows.h>
#else
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>
#endif

namespace vantrel {

bool SaveWhole(const QString& path, const QByteArray& bytes, QString* error)
{
    QSaveFile file(path);
    const bool saved = file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size() && file.commit();
    if (!saved && error != nullptr)
        *error = file.errorString();
    return saved;
}

bool SaveWholeDurably(const QString& path, const QByteArray& bytes, QString* error)
{
    if (!SaveWhole(path, bytes, error))
        return false;
#ifndef _WIN32
    // The new file's bytes are on the disk (QSaveFile syncs them before the
    // rename); the rename itself is in the folder, which is synced here.
    const QByteArray folder = QFile::encodeName(QFileInfo(path).absolutePath());
    const int fd = ::open(folder.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return true; // a folder that cannot be opened for this is no failure of the write
    const bool synced = ::fsync(fd) == 0 || errno == EINVAL; // some file systems cannot sync a folder
    ::close(fd);
    if (!synced && error != nullptr)
        *error = QString::fromLocal8Bit(strerror(errno));
    return synced;
#else
    // Windows has no call that flushes a folder; the rename is left to
    // NTFS's own journal.
    return true;
#endif
}

bool SyncToDisk(QFile& file)
{
#ifdef _WIN32
    return FlushFileBuffers(reinterpret_cast<HANDLE>(_get_osfhandle(file.handle()))) != 0;
#else
    return ::fsync(file.handle()) == 0;
#endif
}

} // namespace vantrel
