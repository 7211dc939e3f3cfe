#include "mac/MacLineCodec.h"

#include "common/AnsiText.h"

#include <QStringDecoder>
#include <QStringEncoder>

namespace vantrel {

namespace {

// The converter of a Unicode form; the single-byte code page has its own.
QStringConverter::Encoding Converter(MacFileEncoding encoding)
{
    switch (encoding) {
    case MacFileEncoding::Utf16LE:
        return QStringConverter::Utf16LE;
    case MacFileEncoding::Utf16BE:
        return QStringConverter::Utf16BE;
    case MacFileEncoding::Utf32LE:
        return QStringConverter::Utf32LE;
    case MacFileEncoding::Utf32BE:
        return QStringConverter::Utf32BE;
    default:
        return QStringConverter::Utf8;
    }
}

} // namespace

QString DecodeMacLine(MacFileEncoding encoding, const std::string& bytes)
{
    if (encoding == MacFileEncoding::SingleByte)
        return FromAnsi(bytes);
    QStringDecoder decode(Converter(encoding),
                          QStringConverter::Flag::ConvertInitialBom | QStringConverter::Flag::Stateless);
    return decode(QByteArrayView(bytes.data(), qsizetype(bytes.size())));
}

std::string EncodeMacLine(MacFileEncoding encoding, const QString& text)
{
    if (encoding == MacFileEncoding::SingleByte)
        return ToAnsi(text);
    QStringEncoder encode(Converter(encoding), QStringConverter::Flag::Stateless);
    const QByteArray bytes = encode(text);
    return std::string(bytes.constData(), std::size_t(bytes.size()));
}

} // namespace vantrel
