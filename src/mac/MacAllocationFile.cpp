#include "mac/MacAllocationFile.h"

#include "mac/MacLineCodec.h"

#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <string>

namespace vantrel {

MacFileStatus ReadMacAllocationFile(const QString& path, MacAllocationFile& file, QString* error)
{
    file = MacAllocationFile{};
    file.Path = path;
    if (!QFileInfo(path).isFile())
        return MacFileStatus::Missing;
    QFile in(path);
    bool read = in.open(QIODevice::ReadOnly);
    if (read)
        file.Bytes = in.readAll();
    read = read && in.error() == QFileDevice::NoError;
    if (!read) {
        if (error != nullptr)
            *error = in.errorString();
        file.Bytes.clear();
        return MacFileStatus::Unreadable;
    }
    // A byte-order mark selects its encoding; without one the file is in the
    // single-byte code page. The bytes of every line are kept for the
    // write-back, which gives back all but the first two as they are.
    file.File = SplitMacFile(std::string_view(file.Bytes.constData(), std::size_t(file.Bytes.size())));
    for (const std::string& line : file.File.Lines)
        file.Lines << DecodeMacLine(file.File.Encoding, line);
    return MacFileStatus::Read;
}

MacAddressResult MacAddressFrom(const QStringList& lines, const QString& octet5, const QString& octet6)
{
    MacAddressResult result;
    if (lines.size() < 6) {
        result.TooFewLines = true;
        return result;
    }
    // Octets 1 to 4 from entries 5 down to 2, octets 5 and 6 from the texts.
    const QString sources[6] = {lines[5], lines[4], lines[3], lines[2], octet5, octet6};
    MacOctets octets{};
    for (std::size_t i = 0; i < 6; ++i) {
        const auto octet = HexPairToOctet(sources[i].toLatin1().toStdString());
        if (!octet) {
            result.BadOctet = int(i);
            result.BadText = sources[i].left(2);
            return result;
        }
        octets[i] = *octet;
    }
    result.Octets = octets;
    return result;
}

namespace {

std::optional<QByteArray> Joined(const MacAllocationFile& file, const std::string& first, const std::string& second)
{
    const auto bytes = ReplaceFirstTwoLines(file.File, first, second);
    if (!bytes)
        return std::nullopt;
    return QByteArray(bytes->data(), qsizetype(bytes->size()));
}

// Line `index` with its first two characters (hex digits) replaced by
// `octet` in the same letter case, the rest of its bytes as they are.
std::optional<std::string> WithOctet(const MacAllocationFile& file, qsizetype index, std::uint8_t octet)
{
    const MacFileEncoding encoding = file.File.Encoding;
    const QString oldDigits = file.Lines[index].left(2);
    const std::string& bytes = file.File.Lines[std::size_t(index)];
    const std::string oldPrefix = EncodeMacLine(encoding, oldDigits);
    if (bytes.compare(0, oldPrefix.size(), oldPrefix) != 0)
        return std::nullopt;
    QString digits = OctetText(octet);
    if (oldDigits != oldDigits.toUpper())
        digits = digits.toLower();
    std::string line = EncodeMacLine(encoding, digits) + bytes.substr(oldPrefix.size());
    if (DecodeMacLine(encoding, line).left(2) != digits)
        return std::nullopt;
    return line;
}

} // namespace

std::optional<QByteArray> WithFirstTwoLines(const MacAllocationFile& file, const QString& line1, const QString& line2)
{
    // Lines 1 and 2 are encoded anew, the mark and all other lines are
    // written back as the bytes they were. A file that would not read back
    // as exactly these lines (the encoding cannot hold a text, a text holds
    // a line end or would form a mark, the last line ends inside a code
    // unit) is refused.
    const MacFileEncoding encoding = file.File.Encoding;
    const std::string first = EncodeMacLine(encoding, line1);
    const std::string second = EncodeMacLine(encoding, line2);
    if (DecodeMacLine(encoding, first) != line1 || DecodeMacLine(encoding, second) != line2)
        return std::nullopt;
    return Joined(file, first, second);
}

std::optional<QByteArray> WithNextOctets(const MacAllocationFile& file, std::uint8_t octet5, std::uint8_t octet6)
{
    if (file.Lines.size() < 2)
        return std::nullopt;
    const auto line1 = WithOctet(file, 0, octet6);
    const auto line2 = WithOctet(file, 1, octet5);
    if (!line1 || !line2)
        return std::nullopt;
    return Joined(file, *line1, *line2);
}

QString OctetText(std::uint8_t octet)
{
    return QString::fromLatin1(QByteArray(1, char(octet)).toHex().toUpper());
}

namespace {

int Count56(const MacOctets& mac)
{
    return mac[4] * 256 + mac[5];
}

constexpr int kLastCount = 0xFFFF;

MacAddressResult NamedNow(const MacAllocationFile& file)
{
    if (file.Lines.size() < 6) {
        MacAddressResult none;
        none.TooFewLines = true;
        return none;
    }
    return MacAddressFrom(file.Lines, file.Lines[1], file.Lines[0]);
}

} // namespace

std::optional<MacOctets> MacAfter(const MacOctets& mac)
{
    const int after = Count56(mac) + 1;
    if (after > kLastCount)
        return std::nullopt;
    MacOctets next = mac;
    next[4] = std::uint8_t(after >> 8);
    next[5] = std::uint8_t(after & 0xFF);
    return next;
}

NextMacs NextFreeMacs(const MacAllocationFile& file, int count)
{
    NextMacs next;
    next.Named = NamedNow(file);
    if (!next.Named.Octets) {
        next.Status = NextMacsStatus::NoAddress;
        return next;
    }
    MacOctets mac = *next.Named.Octets;
    if (Count56(mac) == kLastCount) {
        next.Status = NextMacsStatus::LastAddress;
        return next;
    }
    // Every address given has one after it, so FF FF is never among them.
    for (;;) {
        next.Macs.push_back(mac);
        const MacOctets after = *MacAfter(mac);
        if (int(next.Macs.size()) >= std::max(count, 1) || Count56(after) == kLastCount) {
            next.After = after;
            break;
        }
        mac = after;
    }
    const auto advanced = WithNextOctets(file, next.After[4], next.After[5]);
    if (!advanced) {
        next.Macs.clear();
        next.After = {};
        next.Status = NextMacsStatus::NotExact;
        return next;
    }
    next.NewFile = *advanced;
    return next;
}

MacGiveBack MacGivenBack(const MacAllocationFile& file, const MacOctets& mac)
{
    MacGiveBack back;
    back.Named = NamedNow(file);
    if (!back.Named.Octets) {
        back.Status = GiveBackStatus::NoAddress;
        return back;
    }
    const auto after = MacAfter(mac);
    if (after)
        back.Expected = *after;
    if (!after || *back.Named.Octets != *after) {
        back.Status = GiveBackStatus::NotNext;
        return back;
    }
    const auto bytes = WithNextOctets(file, mac[4], mac[5]);
    if (!bytes) {
        back.Status = GiveBackStatus::NotExact;
        return back;
    }
    back.NewFile = *bytes;
    return back;
}

} // namespace vantrel
