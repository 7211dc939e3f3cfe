// The commissioning record on disk: appended to by one or several benches,
// each line in one write under the record's lock, and read back under the
// same lock, so that an address another bench has given is known before
// this one gives it.

#include "cli/Commission.h"

#include "common/SaveWhole.h"
#include "config/AddressRange.h"

#include <QFile>
#include <QFileInfo>

#include <algorithm>

namespace vantrel::cli {

namespace {
QByteArray FirstLine(const QByteArray& bytes)
{
    QByteArray line = bytes.left(bytes.indexOf('\n') < 0 ? bytes.size() : bytes.indexOf('\n'));
    if (line.endsWith('\r'))
        line.chop(1);
    return line;
}

// A line as it may be shown: printable, and not too long.
QString Shown(const QByteArray& line)
{
    QString text = QString::fromUtf8(line.left(80));
    for (QChar& c : text)
        if (!c.isPrint())
            c = QChar(0xFFFD);
    return line.size() > 80 ? text + QStringLiteral("...") : text;
}

CliFailure NotARecord(const QString& path, const QByteArray& firstLine)
{
    return CliFailure(CliExit::BadFile,
                      QStringLiteral("%1 is not a commissioning record, so nothing was appended to it: its first line "
                                     "is not the record's header.\n  its first line: %2\n  the header:     %3\n"
                                     "Give --record a new file, or a record that vantrel-cli commission wrote.")
                          .arg(path, Shown(firstLine), Shown(FirstLine(kCommissionHeader))));
}
} // namespace

// Lines that go out together, in one write.
struct RecordFile::Batch {
    struct Item {
        QByteArray Line;
        std::optional<Claimed> Claim;
        std::optional<CliFailure> Refused;
    };
    std::vector<Item> Items;
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
    TakeOrFail(lock, lockWait_, QStringLiteral("the commissioning record"), path_, CliExit::Failure);
    QFile file(path_);
    if (!file.exists()) {
        // A new record: its header goes in with its first line.
        const QFileInfo folder(QFileInfo(path_).absolutePath());
        if (!folder.isDir() || !folder.isWritable())
            throw CliFailure(CliExit::Failure, QStringLiteral("Cannot open the commissioning record %1: the folder %2 "
                                                              "cannot be written to")
                                                   .arg(path_, folder.filePath()));
        return;
    }
    if (!file.open(QIODevice::ReadWrite | QIODevice::Append | QIODevice::Unbuffered))
        throw CliFailure(CliExit::Failure,
                         QStringLiteral("Cannot open the commissioning record %1: %2").arg(path_, file.errorString()));
    if (file.size() == 0)
        return;
    file.seek(0);
    const QByteArray start = file.read(4096);
    const auto format = RecordFormatOf(FirstLine(start));
    if (!format || (start.indexOf('\n') < 0 && file.size() > start.size()))
        throw NotARecord(path_, FirstLine(start));
    format_ = *format;
    std::lock_guard guard(mutex_);
    if (const auto reason = ReadNewLines(file))
        throw CliFailure(CliExit::Failure,
                         QStringLiteral("Cannot read the commissioning record %1: %2").arg(path_, *reason));
}

RecordFile::~RecordFile() = default;

// The lines from where the last look ended up to the last line break; a
// record that has become shorter (edited by hand) is read anew.
std::optional<QString> RecordFile::ReadNewLines(QFile& file)
{
    if (file.size() < readUpTo_) {
        given_ = {};
        readUpTo_ = 0;
    }
    if (!file.seek(readUpTo_))
        return file.errorString();
    QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError)
        return file.errorString();
    bytes.truncate(bytes.lastIndexOf('\n') + 1);
    const bool fromStart = readUpTo_ == 0;
    if (fromStart) {
        const qsizetype header = bytes.indexOf('\n') + 1;
        bytes.remove(0, header);
        readUpTo_ = header;
        nextLine_ = 2;
    }
    given_.Add(ParseCsv(bytes, nextLine_), format_);
    readUpTo_ += bytes.size();
    nextLine_ += int(bytes.count('\n'));
    return std::nullopt;
}

std::optional<int> RecordFile::LineGiving(std::uint32_t ip) const
{
    std::lock_guard lock(mutex_);
    const auto found = given_.Ips.find(ip);
    return found == given_.Ips.end() ? std::nullopt : std::optional<int>(found->second);
}

std::optional<int> RecordFile::LineGiving(const MacOctets& mac) const
{
    std::lock_guard lock(mutex_);
    const auto found = given_.Macs.find(MacText(mac).toStdString());
    return found == given_.Macs.end() ? std::nullopt : std::optional<int>(found->second);
}

std::optional<std::uint32_t> RecordFile::LastIp() const
{
    std::lock_guard lock(mutex_);
    return given_.LastIp;
}

CliFailure RecordFile::Repeat(const QString& what, const QString& address, int line) const
{
    return CliFailure(CliExit::Usage,
                      QStringLiteral("The commissioning record %1 lists the %2 %3 as given to a unit already, in "
                                     "line %4; nothing was sent with it.")
                          .arg(path_, what, address)
                          .arg(line));
}

void RecordFile::Append(const CommissionEntry& entry)
{
    Add(entry, std::nullopt);
}

void RecordFile::Claim(const CommissionEntry& entry, std::uint32_t ip, const std::optional<MacOctets>& mac)
{
    Add(entry, Claimed{ip, mac});
}

// The units of a parallel bench that finish together go out in one write
// under one hold of the lock file (taking it costs a flush to the disk):
// the first to come writes what has gathered meanwhile, the others wait
// for it. Each line is still whole, and all of one write are recorded or
// none.
void RecordFile::Add(const CommissionEntry& entry, const std::optional<Claimed>& claim)
{
    const QByteArray line = QByteArray::fromStdString(CommissionLine(entry, format_));
    std::unique_lock lock(mutex_);
    if (!gathering_)
        gathering_ = std::make_shared<Batch>();
    const std::shared_ptr<Batch> mine = gathering_;
    const std::size_t index = mine->Items.size();
    mine->Items.push_back({line, claim, std::nullopt});
    while (!mine->Done) {
        if (writing_) {
            written_.wait(lock);
            continue;
        }
        writing_ = true;
        const std::shared_ptr<Batch> batch = std::exchange(gathering_, nullptr);
        lock.unlock();
        AppendBatch(*batch);
        lock.lock();
        batch->Done = true;
        writing_ = false;
        written_.notify_all();
    }
    if (mine->Items[index].Refused)
        throw *mine->Items[index].Refused;
    if (!mine->Failure)
        return;
    throw CliFailure(mine->Failure->Code, QStringLiteral("Cannot append to the commissioning record %1: %2\n"
                                                         "Not recorded: %3")
                                              .arg(path_, mine->Failure->Reason, QString::fromUtf8(line).trimmed()));
}

// One hold of the lock: the lines other benches added since, then every
// line of the batch whose addresses the record does not list yet.
void RecordFile::AppendBatch(Batch& batch)
{
    FileLock lock(path_);
    QString whyNot;
    switch (lock.TakeFor(lockWait_, whyNot)) {
    case FileLock::Outcome::Taken:
        break;
    case FileLock::Outcome::Held:
        batch.Failure = WriteFailure{CliExit::Locked, whyNot};
        return;
    case FileLock::Outcome::CannotCreate:
        batch.Failure = WriteFailure{CliExit::Failure, whyNot};
        return;
    }
    QFile file(path_);
    if (!file.open(QIODevice::ReadWrite | QIODevice::Append | QIODevice::Unbuffered)) {
        batch.Failure = WriteFailure{CliExit::Failure, file.errorString()};
        return;
    }
    std::unique_lock guard(mutex_);
    if (const auto reason = ReadNewLines(file)) {
        batch.Failure = WriteFailure{CliExit::Failure, *reason};
        return;
    }
    QByteArray lines;
    GivenAddresses claimed; // by this batch
    for (Batch::Item& item : batch.Items) {
        if (item.Claim) {
            const std::uint32_t ip = item.Claim->Ip;
            const auto ipLine = given_.Ips.find(ip);
            if (ipLine != given_.Ips.end()) {
                item.Refused = Repeat(QStringLiteral("IP address"), AddressText(ip), ipLine->second);
                continue;
            }
            if (item.Claim->Mac) {
                const auto macLine = given_.Macs.find(MacText(*item.Claim->Mac).toStdString());
                if (macLine != given_.Macs.end()) {
                    item.Refused = Repeat(QStringLiteral("MAC address"), MacText(*item.Claim->Mac), macLine->second);
                    continue;
                }
            }
        }
        lines += item.Line;
    }
    // A record whose last line was ended by hand without a line break gets
    // one before the new line; one emptied meanwhile gets its header again.
    QByteArray before;
    if (file.size() == 0) {
        before = format_ == RecordFormat::Traced ? kCommissionHeader : kCommissionHeaderSixColumns;
    } else {
        file.seek(file.size() - 1);
        if (file.read(1) != "\n")
            before = "\r\n";
    }
    if (lines.isEmpty())
        return;
    // A line before a unit's erase is its trace should the bench die: on
    // the disk before the erase goes out.
    const bool durable = std::any_of(batch.Items.begin(), batch.Items.end(),
                                     [](const Batch::Item& item) { return item.Claim && !item.Refused; });
    if (const auto reason = Write(file, before + lines, durable)) {
        batch.Failure = WriteFailure{CliExit::Failure, *reason};
        return;
    }
    // What was written is known as given from now on.
    static_cast<void>(ReadNewLines(file));
}

// One write; what did not go out whole is taken back out. The reason when
// it did not.
std::optional<QString> RecordFile::Write(QFile& file, const QByteArray& bytes, bool durable)
{
    const qint64 before = file.size();
    if (file.write(bytes) == bytes.size() && file.flush() && (!durable || SyncToDisk(file)))
        return std::nullopt;
    const QString reason = file.errorString();
    file.resize(before);
    return reason;
}

} // namespace vantrel::cli
