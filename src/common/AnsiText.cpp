#include "common/AnsiText.h"

#include <QStringDecoder>
#include <QStringEncoder>

namespace vantrel {

std::string ToAnsi(const QString& text)
{
#ifdef Q_OS_WIN
    // Qt's system encoding is the ANSI code page (CP_ACP) on Windows.
    QStringEncoder encode(QStringConverter::System);
    const QByteArray bytes = encode(text);
    return std::string(bytes.constData(), std::size_t(bytes.size()));
#else
    return text.toLatin1().toStdString();
#endif
}

QString FromAnsi(std::string_view bytes)
{
#ifdef Q_OS_WIN
    QStringDecoder decode(QStringConverter::System);
    return decode(QByteArrayView(bytes.data(), qsizetype(bytes.size())));
#else
    return QString::fromLatin1(bytes.data(), qsizetype(bytes.size()));
#endif
}

} // namespace vantrel
