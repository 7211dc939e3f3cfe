#pragma once
// Writing a file whole: the bytes go to a temporary file beside it, which
// then takes the file's place, so a write that fails half-way leaves any
// earlier file of that name as it was.

#include <QByteArray>
#include <QString>

namespace vantrel {

// True when `bytes` are in place at `path`; otherwise false with the
// system's reason in `error` (when given).
bool SaveWhole(const QString& path, const QByteArray& bytes, QString* error = nullptr);

} // namespace vantrel
