#include "cli/Commission.h"

#include <QFile>

namespace vantrel::cli {

// Every step that reads or writes the record holds it (FileLock): several
// benches may append to one record on a shared folder, and their lines
// never interleave, nor do two of them both give a new record its header.
RecordFile::RecordFile(QString path, std::chrono::milliseconds lockWait)
    : path_(std::move(path)), lockWait_(lockWait)
{
    FileLock lock(path_);
    TakeOrFail(lock, lockWait_, QStringLiteral("the commissioning record"), path_);
    QFile file(path_);
    if (!file.open(QIODevice::ReadWrite | QIODevice::Append | QIODevice::Unbuffered))
        throw CliFailure(CliExit::Failure,
                         QStringLiteral("Cannot open the commissioning record %1: %2").arg(path_, file.errorString()));
    if (file.size() == 0)
        Write(file, QByteArray(kCommissionHeader));
}

void RecordFile::Append(const CommissionEntry& entry)
{
    QByteArray line = QByteArray::fromStdString(CommissionLine(entry));
    const auto notRecorded = [&](const QString& reason) {
        return CliFailure(CliExit::Failure, QStringLiteral("Cannot append to the commissioning record %1: %2\n"
                                                           "Not recorded: %3")
                                                .arg(path_, reason, QString::fromUtf8(line).trimmed()));
    };
    FileLock lock(path_);
    QString whyNot;
    if (!lock.Take(lockWait_, whyNot)) {
        CliFailure failure = notRecorded(whyNot);
        failure.Code = CliExit::Locked;
        throw failure;
    }
    QFile file(path_);
    if (!file.open(QIODevice::ReadWrite | QIODevice::Append | QIODevice::Unbuffered))
        throw notRecorded(file.errorString());
    // A record whose last line was ended by hand without a line break gets
    // one before the new line; one emptied meanwhile gets its header again.
    if (file.size() == 0) {
        line.prepend(kCommissionHeader);
    } else {
        file.seek(file.size() - 1);
        if (file.read(1) != "\n")
            line.prepend("\r\n");
    }
    Write(file, line);
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
