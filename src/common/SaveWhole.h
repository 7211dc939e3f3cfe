#pragma once
// Writing a file whole: the bytes go to a temporary file beside it, which
// then takes the file's place, so a write that fails half-way leaves any
// earlier file of that name as it was.

#include <QByteArray>
#include <QFile>
#include <QString>

namespace vantrel {

// True when `bytes` are in place at `path`; otherwise false with the
// system's reason in `error` (when given).
bool SaveWhole(const QString& path, const QByteArray& bytes, QString* error = nullptr);

// SaveWhole, and once it returns true the file's new name survives a power
// cut too: the folder holding it is flushed to the disk after the rename.
bool SaveWholeDurably(const QString& path, const QByteArray& bytes, QString* error = nullptr);

// Flushes what was written to an open file to the disk.
bool SyncToDisk(QFile& file);

} // namespace vantrel
