// Records as readable text: one "Caption: value" line per field of the
// record's table (config/RecordFields.h), and the fields in which two
// records differ.

#include "cli/CliSupport.h"

#include "common/AnsiText.h"

namespace vantrel::cli {

ConfigRecord FactoryRecord()
{
    ConfigRecord record{};
    SetDefaults(record);
    return record;
}

QString UnitText(const std::string& bytes)
{
    QString text = FromAnsi(bytes);
    for (QChar& c : text)
        if (c.unicode() < 0x20 || c.unicode() == 0x7F || c.unicode() == 0x85 || c == QChar::LineSeparator
            || c == QChar::ParagraphSeparator)
            c = QChar::ReplacementCharacter;
    return text;
}

namespace {

QString Hex(const std::uint8_t* bytes, std::size_t count)
{
    return QString::fromLatin1(QByteArray(reinterpret_cast<const char*>(bytes), qsizetype(count)).toHex(' ').toUpper());
}

QString FlagText(std::uint8_t byte)
{
    if (byte > 1)
        return QStringLiteral("on (byte %1)").arg(byte);
    return byte ? QStringLiteral("on") : QStringLiteral("off");
}

} // namespace

QString FieldValue(const ConfigRecord& record, const RecordField& field)
{
    const std::uint8_t* p = FieldBytes(record, field);
    switch (field.Kind) {
    case FieldKind::Address:
        return QStringLiteral("%1.%2.%3.%4").arg(p[0]).arg(p[1]).arg(p[2]).arg(p[3]);
    case FieldKind::Flag:
        return FlagText(p[0]);
    case FieldKind::Name:
        return UnitText(LoadName(p, field.Size));
    case FieldKind::Number8:
    case FieldKind::Number32:
        return QString::number(FieldNumber(record, field));
    case FieldKind::Channels: {
        QStringList on;
        for (std::size_t c = 0; c < field.Size; ++c)
            if (p[c] != 0)
                on << (p[c] == 1 ? QString::number(c + 1) : QStringLiteral("%1 (byte %2)").arg(c + 1).arg(p[c]));
        return on.isEmpty() ? QStringLiteral("none") : on.join(QStringLiteral(", "));
    }
    case FieldKind::Reserved:
        return Hex(p, field.Size);
    }
    return {};
}

QStringList ReadableLines(const ConfigRecord& record)
{
    QStringList lines;
    for (const RecordField& f : RecordFields())
        if (f.Kind != FieldKind::Reserved)
            lines << QString::fromLatin1(f.Caption) + QStringLiteral(": ") + FieldValue(record, f);
    return lines;
}

QStringList DifferenceLines(const ConfigRecord& a, const ConfigRecord& b)
{
    QStringList lines;
    for (const RecordField& f : DifferingFields(a, b)) {
        QString va = FieldValue(a, f), vb = FieldValue(b, f);
        if (va == vb) {
            va += QStringLiteral(" [%1]").arg(Hex(FieldBytes(a, f), f.Size));
            vb += QStringLiteral(" [%1]").arg(Hex(FieldBytes(b, f), f.Size));
        }
        lines << QStringLiteral("%1: %2 | %3").arg(QString::fromLatin1(f.Caption), va, vb);
    }
    return lines;
}

} // namespace vantrel::cli
