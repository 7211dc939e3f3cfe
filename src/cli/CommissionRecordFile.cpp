#include "cli/Commission.h"

#include <QFile>

namespace vantrel::cli {

RecordFile::RecordFile(QString path) : path_(std::move(path))
{
    QFile file(path_);
    if (!file.open(QIODevice::ReadWrite | QIODevice::Append | QIODevice::Unbuffered))
        throw CliFailure(CliExit::Failure,
                         QStringLiteral("Cannot open the commissioning record %1: %2").arg(path_, file.errorString()));
    if (file.size() == 0) {
        Write(file, QByteArray(kCommissionHeader));
        return;
    }
    // A record whose last line was ended by hand without a line break
    // gets one before the first new line.
    file.seek(file.size() - 1);
    needsBreak_ = file.read(1) != "\n";
}

void RecordFile::Append(const CommissionEntry& entry)
{
    QByteArray line = QByteArray::fromStdString(CommissionLine(entry));
    if (needsBreak_)
        line.prepend("\r\n");
    QFile file(path_);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::Unbuffered))
        throw CliFailure(CliExit::Failure, QStringLiteral("Cannot append to the commissioning record %1: %2\n"
                                                          "Not recorded: %3")
                                               .arg(path_, file.errorString(), QString::fromUtf8(line).trimmed()));
    Write(file, line);
    needsBreak_ = false;
}

// One write; a line that did not go out whole is taken back out.
void RecordFile::Write(QFile& file, const QByteArray& bytes)
{
    const qint64 before = file.size();
    if (file.write(bytes) == bytes.size() && file.flush())
        return;
    const QString reason = file.errorString();
    file.resize(before);
    throw CliFailure(CliExit::Failure, QStringLiteral("Cannot append to the commissioning record %1: %2\n"
                                                      "Not recorded: %3")
                                           .arg(path_, reason, QString::fromUtf8(bytes).trimmed()));
}

} // namespace vantrel::cli
