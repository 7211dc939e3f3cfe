#include "cli/Commission.h"

#include <QFile>

namespace vantrel::cli {

// Lines that go out together, in one write.
struct RecordFile::Batch {
    QByteArray Lines;
    bool Done = false;
    std::optional<WriteFailure> Failure;
};

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
    const QByteArray header(kCommissionHeader);
    if (file.size() != 0)
        return;
    if (const auto reason = Write(file, header))
        throw CliFailure(CliExit::Failure, QStringLiteral("Cannot append to the commissioning record %1: %2\n"
                                                          "Not recorded: %3")
                                               .arg(path_, *reason, QString::fromUtf8(header).trimmed()));
}

RecordFile::~RecordFile() = default;

// The units of a parallel bench that finish together go out in one write
// under one hold of the lock file (taking it costs a flush to the disk):
// the first to come writes what has gathered meanwhile, the others wait
// for it. Each line is still whole, and all of one write are recorded or
// none.
void RecordFile::Append(const CommissionEntry& entry)
{
    const QByteArray line = QByteArray::fromStdString(CommissionLine(entry));
    std::unique_lock lock(mutex_);
    if (!gathering_)
        gathering_ = std::make_shared<Batch>();
    const std::shared_ptr<Batch> mine = gathering_;
    mine->Lines += line;
    while (!mine->Done) {
        if (writing_) {
            written_.wait(lock);
            continue;
        }
        writing_ = true;
        const std::shared_ptr<Batch> batch = std::exchange(gathering_, nullptr);
        lock.unlock();
        batch->Failure = AppendLines(batch->Lines);
        lock.lock();
        batch->Done = true;
        writing_ = false;
        written_.notify_all();
    }
    if (!mine->Failure)
        return;
    throw CliFailure(mine->Failure->Code, QStringLiteral("Cannot append to the commissioning record %1: %2\n"
                                                         "Not recorded: %3")
                                              .arg(path_, mine->Failure->Reason, QString::fromUtf8(line).trimmed()));
}

std::optional<RecordFile::WriteFailure> RecordFile::AppendLines(QByteArray lines)
{
    FileLock lock(path_);
    QString whyNot;
    if (!lock.Take(lockWait_, whyNot))
        return WriteFailure{CliExit::Locked, whyNot};
    QFile file(path_);
    if (!file.open(QIODevice::ReadWrite | QIODevice::Append | QIODevice::Unbuffered))
        return WriteFailure{CliExit::Failure, file.errorString()};
    // A record whose last line was ended by hand without a line break gets
    // one before the new line; one emptied meanwhile gets its header again.
    if (file.size() == 0) {
        lines.prepend(kCommissionHeader);
    } else {
        file.seek(file.size() - 1);
        if (file.read(1) != "\n")
            lines.prepend("\r\n");
    }
    if (const auto reason = Write(file, lines))
        return WriteFailure{CliExit::Failure, *reason};
    return std::nullopt;
}

// One write; what did not go out whole is taken back out. The reason when
// it did not.
std::optional<QString> RecordFile::Write(QFile& file, const QByteArray& bytes)
{
    const qint64 before = file.size();
    if (file.write(bytes) == bytes.size() && file.flush())
        return std::nullopt;
    const QString reason = file.errorString();
    file.resize(before);
    return reason;
}

} // namespace vantrel::cli
