#include "mac/MacAllocationFile.h"

#include "mac/MacLineCodec.h"

#include <QFile>
#include <QFileInfo>

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

} // namespace vantrel
