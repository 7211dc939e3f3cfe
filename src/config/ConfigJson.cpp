#include "config/ConfigJson.h"

#include "common/AnsiText.h"
#include "config/RecordFields.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonValue>
#include <QSet>

#include <algorithm>
#include <array>
#include <cctype>
#include <cmath>
#include <cstring>
#include <limits>
#include <optional>
#include <span>
#include <vector>

namespace vantrel {

namespace {

// One JSON field: the table's fields that share its key (RecordFields.h).
// The eight hysteresis numbers are one list, the reserved bytes one text.
struct JsonField {
    std::span<const RecordField> Rows;

    const RecordField& First() const { return Rows.front(); }
    const char* Key() const { return First().JsonKey; }
    const char* Extra() const { return First().JsonExtra; }
    FieldKind Kind() const { return First().Kind; }
    bool IsList() const { return Kind() == FieldKind::Number32 && Rows.size() > 1; }
};

// The JSON fields in the table's order.
const std::vector<JsonField>& JsonFields()
{
    static const std::vector<JsonField> fields = [] {
        std::vector<JsonField> grouped;
        const std::span<const RecordField> rows = RecordFields();
        for (std::size_t i = 0; i < rows.size();) {
            std::size_t end = i + 1;
            while (end < rows.size() && std::strcmp(rows[end].JsonKey, rows[i].JsonKey) == 0)
                ++end;
            grouped.push_back({rows.subspan(i, end - i)});
            i = end;
        }
        return grouped;
    }();
    return fields;
}

// The record bytes a field's rows cover, in the table's order.
std::vector<std::size_t> OffsetsOf(const JsonField& f)
{
    std::vector<std::size_t> offsets;
    for (const RecordField& row : f.Rows)
        for (std::size_t i = 0; i < row.Size; ++i)
            offsets.push_back(row.Offset + i);
    return offsets;
}

// "record bytes 51, 85 to 87 and 157 to 159"
QString RecordBytesText(const JsonField& f)
{
    QStringList parts;
    for (const RecordField& row : f.Rows)
        parts << (row.Size == 1 ? QString::number(row.Offset)
                                : QStringLiteral("%1 to %2").arg(row.Offset).arg(row.Offset + row.Size - 1));
    const QString last = parts.takeLast();
    return QStringLiteral("record bytes ")
           + (parts.isEmpty() ? last : parts.join(QStringLiteral(", ")) + QStringLiteral(" and ") + last);
}

constexpr char kVersionKey[] = "dataFileVersion";
constexpr char kNameTailKey[] = "dataFileNameTail";

// What the names are stored in (AnsiText.h).
#ifdef Q_OS_WIN
constexpr QLatin1StringView kAnsiName{"the system's ANSI code page"};
#else
constexpr QLatin1StringView kAnsiName{"Latin-1"};
#endif

constexpr int kChannels = 16;

// ---- Values as text ---------------------------------------------------------------------

// A value as JSON writes it.
QString JsonText(const QJsonValue& value)
{
    const QByteArray array = QJsonDocument(QJsonArray{value}).toJson(QJsonDocument::Compact);
    return QString::fromUtf8(array.mid(1, array.size() - 2));
}

// The same, shortened when long, for messages.
QString ShownValue(const QJsonValue& value)
{
    const QString text = JsonText(value);
    return text.size() > 80 ? text.left(77) + QStringLiteral("...") : text;
}

QString HexText(const std::uint8_t* bytes, std::size_t count)
{
    return QString::fromLatin1(QByteArray(reinterpret_cast<const char*>(bytes), qsizetype(count)).toHex(' ').toUpper());
}

// Bytes written as two hex digits each; blanks between them are allowed.
std::optional<QByteArray> ParseHex(const QString& text, std::size_t count)
{
    QString digits = text;
    digits.remove(QLatin1Char(' '));
    if (std::size_t(digits.size()) != 2 * count)
        return std::nullopt;
    for (QChar c : digits)
        if (!std::isxdigit(static_cast<unsigned char>(c.toLatin1())) || c.unicode() > 0x7F)
            return std::nullopt;
    return QByteArray::fromHex(digits.toLatin1());
}

std::optional<std::int64_t> WholeNumber(const QJsonValue& value, std::int64_t min, std::int64_t max)
{
    if (!value.isDouble())
        return std::nullopt;
    const double d = value.toDouble();
    if (!std::isfinite(d) || std::floor(d) != d || d < double(min) || d > double(max))
        return std::nullopt;
    return std::int64_t(d);
}

// "A.B.C.D": four numbers from 0 to 255, decimal digits only.
std::optional<std::array<std::uint8_t, 4>> ParseDotted(const QJsonValue& value)
{
    if (!value.isString())
        return std::nullopt;
    const QStringList parts = value.toString().split(QLatin1Char('.'));
    if (parts.size() != 4)
        return std::nullopt;
    std::array<std::uint8_t, 4> octets{};
    for (int i = 0; i < 4; ++i) {
        const QString& part = parts[i];
        if (part.isEmpty() || part.size() > 3)
            return std::nullopt;
        int n = 0;
        for (QChar c : part) {
            if (c < QLatin1Char('0') || c > QLatin1Char('9'))
                return std::nullopt;
            n = n * 10 + (c.unicode() - '0');
        }
        if (n > 255)
            return std::nullopt;
        octets[std::size_t(i)] = std::uint8_t(n);
    }
    return octets;
}

// The name field a text gives: its one-byte text, then zeros up to
// `width` (a text longer than that stays as it is).
QByteArray NameFieldOf(const QString& text, std::size_t width)
{
    QByteArray field = QByteArray::fromStdString(ToAnsi(text));
    if (std::size_t(field.size()) < width)
        field.append(qsizetype(width) - field.size(), '\0');
    return field;
}

QString NameTextOf(const std::uint8_t* field, std::size_t width)
{
    return FromAnsi(LoadName(field, width));
}

// ---- Writing ---------------------------------------------------------------------------

class Writer {
public:
    void Add(const char* key, const QString& valueText)
    {
        if (!text_.isEmpty())
            text_ += ",\n";
        text_ += "  \"";
        text_ += key;
        text_ += "\": ";
        text_ += valueText.toUtf8();
    }
    void Add(const char* key, const QJsonValue& value) { Add(key, JsonText(value)); }
    void AddList(const char* key, const QList<std::int64_t>& numbers)
    {
        QStringList items;
        for (std::int64_t n : numbers)
            items << QString::number(n);
        Add(key, QLatin1Char('[') + items.join(QStringLiteral(", ")) + QLatin1Char(']'));
    }
    void AddHex(const char* key, const std::uint8_t* bytes, std::size_t count)
    {
        Add(key, QJsonValue(HexText(bytes, count)));
    }
    QByteArray Finish() const { return "{\n" + text_ + "\n}\n"; }

private:
    QByteArray text_;
};

bool AllZeroOrOne(const std::uint8_t* bytes, std::size_t count)
{
    for (std::size_t i = 0; i < count; ++i)
        if (bytes[i] > 1)
            return false;
    return true;
}

void WriteField(Writer& w, const JsonField& f, const ConfigRecord& r)
{
    const RecordField& row = f.First();
    const std::uint8_t* p = FieldBytes(r, row);
    switch (f.Kind()) {
    case FieldKind::Address:
        w.Add(f.Key(), QJsonValue(QStringLiteral("%1.%2.%3.%4").arg(p[0]).arg(p[1]).arg(p[2]).arg(p[3])));
        return;
    case FieldKind::Flag:
        w.Add(f.Key(), QJsonValue(p[0] != 0));
        if (p[0] > 1)
            w.Add(f.Extra(), QJsonValue(qint64(p[0])));
        return;
    case FieldKind::Name: {
        const QString text = NameTextOf(p, row.Size);
        w.Add(f.Key(), QJsonValue(text));
        if (NameFieldOf(text, row.Size) != QByteArray(reinterpret_cast<const char*>(p), qsizetype(row.Size)))
            w.AddHex(f.Extra(), p, row.Size);
        return;
    }
    case FieldKind::Number8:
    case FieldKind::Number32:
        if (f.IsList()) {
            QList<std::int64_t> values;
            for (const RecordField& element : f.Rows)
                values << FieldNumber(r, element);
            w.AddList(f.Key(), values);
        } else {
            w.Add(f.Key(), QJsonValue(qint64(FieldNumber(r, row))));
        }
        return;
    case FieldKind::Channels: {
        QList<std::int64_t> channels;
        for (int c = 0; c < kChannels; ++c)
            if (p[c] != 0)
                channels << c + 1;
        w.AddList(f.Key(), channels);
        if (!AllZeroOrOne(p, kChannels))
            w.AddHex(f.Extra(), p, kChannels);
        return;
    }
    case FieldKind::Reserved: {
        const auto* record = reinterpret_cast<const std::uint8_t*>(&r);
        std::vector<std::uint8_t> bytes;
        for (std::size_t offset : OffsetsOf(f))
            bytes.push_back(record[offset]);
        w.AddHex(f.Key(), bytes.data(), bytes.size());
        return;
    }
    }
}

// ---- Reading ---------------------------------------------------------------------------

class Reader {
public:
    Reader(const QJsonObject& object, QStringList& errors) : object_(object), errors_(errors) {}

    void Fail(const QString& key, const QJsonValue& value, const QString& what)
    {
        errors_ << QStringLiteral("%1: %2 %3").arg(key, ShownValue(value), what);
    }
    void Fail(const QString& message) { errors_ << message; }

    // The extra field's value, when given.
    std::optional<QJsonValue> Extra(const char* key) const
    {
        if (!key || !object_.contains(QLatin1String(key)))
            return std::nullopt;
        return object_.value(QLatin1String(key));
    }

    void ReadField(const JsonField& f, std::uint8_t* record)
    {
        const QString key = QLatin1String(f.Key());
        if (!object_.contains(key)) {
            Fail(key + QStringLiteral(": missing"));
            return;
        }
        const QJsonValue value = object_.value(key);
        std::uint8_t* p = record + f.First().Offset;
        switch (f.Kind()) {
        case FieldKind::Address:
            if (const auto octets = ParseDotted(value))
                std::memcpy(p, octets->data(), 4);
            else
                Fail(key, value, QStringLiteral("is not a dotted address of four numbers from 0 to 255"));
            return;
        case FieldKind::Flag:
            ReadFlag(f, value, p);
            return;
        case FieldKind::Name:
            ReadName(f, value, p);
            return;
        case FieldKind::Number8:
        case FieldKind::Number32:
            if (f.IsList())
                ReadList(f, value, record);
            else
                ReadNumberInto(key, value, f.First(), record);
            return;
        case FieldKind::Channels:
            ReadChannels(f, value, p);
            return;
        case FieldKind::Reserved: {
            const std::vector<std::size_t> offsets = OffsetsOf(f);
            const auto bytes = ReadHex(key, value, offsets.size(), RecordBytesText(f));
            if (bytes)
                for (std::size_t i = 0; i < offsets.size(); ++i)
                    record[offsets[i]] = std::uint8_t(bytes->at(qsizetype(i)));
            return;
        }
        }
    }

    std::optional<std::int64_t> ReadNumber(const QString& key, const QJsonValue& value, std::int64_t min,
                                           std::int64_t max)
    {
        const auto n = WholeNumber(value, min, max);
        if (!n)
            Fail(key, value, QStringLiteral("is not a whole number from %1 to %2").arg(min).arg(max));
        return n;
    }

    std::optional<QByteArray> ReadHex(const QString& key, const QJsonValue& value, std::size_t count,
                                      const QString& what)
    {
        std::optional<QByteArray> bytes;
        if (value.isString())
            bytes = ParseHex(value.toString(), count);
        if (!bytes)
            Fail(key, value, QStringLiteral("is not %1 bytes in hexadecimal, two digits each (%2)").arg(count).arg(what));
        return bytes;
    }

private:
    void ReadFlag(const JsonField& f, const QJsonValue& value, std::uint8_t* p)
    {
        const QString key = QLatin1String(f.Key());
        if (!value.isBool()) {
            Fail(key, value, QStringLiteral("is not true or false"));
            return;
        }
        *p = value.toBool() ? 1 : 0;
        if (const auto extra = Extra(f.Extra())) {
            const auto n = ReadNumber(QLatin1String(f.Extra()), *extra, 0, 255);
            if (!n)
                return;
            if ((*n != 0) != value.toBool())
                Fail(QStringLiteral("%1: %2 does not match %3: %4")
                         .arg(QLatin1String(f.Extra()), ShownValue(*extra), key, ShownValue(value)));
            *p = std::uint8_t(*n);
        }
    }

    void ReadName(const JsonField& f, const QJsonValue& value, std::uint8_t* p)
    {
        const QString key = QLatin1String(f.Key());
        if (!value.isString()) {
            Fail(key, value, QStringLiteral("is not a text"));
            return;
        }
        const QString text = value.toString();
        if (const auto extra = Extra(f.Extra())) {
            const auto bytes = ReadHex(QLatin1String(f.Extra()), *extra, f.First().Size,
                                       QStringLiteral("the whole %1-byte field").arg(f.First().Size));
            if (!bytes)
                return;
            const auto* field = reinterpret_cast<const std::uint8_t*>(bytes->constData());
            const QString shown = NameTextOf(field, f.First().Size);
            if (shown != text)
                Fail(QStringLiteral("%1: %2 does not match %3, which hold %4")
                         .arg(key, ShownValue(value), QLatin1String(f.Extra()), ShownValue(QJsonValue(shown))));
            std::memcpy(p, field, f.First().Size);
            return;
        }
        if (text.contains(QChar(0))) {
            Fail(key, value, QStringLiteral("holds a zero character"));
            return;
        }
        if (FromAnsi(ToAnsi(text)) != text) {
            Fail(key, value, QStringLiteral("holds a character the unit's one-byte text cannot carry (%1)").arg(kAnsiName));
            return;
        }
        const QByteArray field = NameFieldOf(text, f.First().Size);
        if (std::size_t(field.size()) > f.First().Size) {
            Fail(key, value, QStringLiteral("is longer than %1 characters").arg(f.First().Size));
            return;
        }
        std::memcpy(p, field.constData(), f.First().Size);
    }

    // A number as wide as the field's bytes allow.
    void ReadNumberInto(const QString& key, const QJsonValue& value, const RecordField& row, std::uint8_t* record)
    {
        std::uint8_t* p = record + row.Offset;
        if (row.Kind == FieldKind::Number8) {
            if (const auto n = ReadNumber(key, value, 0, 255))
                *p = std::uint8_t(*n);
            return;
        }
        if (const auto n = ReadNumber(key, value, std::numeric_limits<std::int32_t>::min(),
                                      std::numeric_limits<std::int32_t>::max())) {
            const auto n32 = std::int32_t(*n);
            std::memcpy(p, &n32, sizeof n32);
        }
    }

    void ReadList(const JsonField& f, const QJsonValue& value, std::uint8_t* record)
    {
        const QString key = QLatin1String(f.Key());
        if (!value.isArray() || value.toArray().size() != qsizetype(f.Rows.size())) {
            Fail(key, value, QStringLiteral("is not a list of %1 whole numbers").arg(f.Rows.size()));
            return;
        }
        const QJsonArray list = value.toArray();
        for (qsizetype i = 0; i < list.size(); ++i)
            ReadNumberInto(QStringLiteral("%1[%2]").arg(key).arg(i), list[i], f.Rows[std::size_t(i)], record);
    }

    void ReadChannels(const JsonField& f, const QJsonValue& value, std::uint8_t* p)
    {
        const QString key = QLatin1String(f.Key());
        if (!value.isArray()) {
            Fail(key, value, QStringLiteral("is not a list of channel numbers from 1 to %1").arg(kChannels));
            return;
        }
        std::array<bool, kChannels> on{};
        bool ok = true;
        const QJsonArray list = value.toArray();
        for (qsizetype i = 0; i < list.size(); ++i) {
            const auto n = WholeNumber(list[i], 1, kChannels);
            if (!n) {
                Fail(QStringLiteral("%1[%2]").arg(key).arg(i), list[i],
                     QStringLiteral("is not a channel number from 1 to %1").arg(kChannels));
                ok = false;
            } else if (on[std::size_t(*n - 1)]) {
                Fail(QStringLiteral("%1: channel %2 is listed twice").arg(key).arg(*n));
                ok = false;
            } else {
                on[std::size_t(*n - 1)] = true;
            }
        }
        if (!ok)
            return;
        for (int c = 0; c < kChannels; ++c)
            p[c] = on[std::size_t(c)] ? 1 : 0;
        if (const auto extra = Extra(f.Extra())) {
            const auto bytes = ReadHex(QLatin1String(f.Extra()), *extra, kChannels,
                                       QStringLiteral("channels 1 to %1").arg(kChannels));
            if (!bytes)
                return;
            for (int c = 0; c < kChannels; ++c) {
                const auto b = std::uint8_t(bytes->at(c));
                if ((b != 0) != on[std::size_t(c)]) {
                    Fail(QStringLiteral("%1: %2 does not match %3: %4")
                             .arg(QLatin1String(f.Extra()), ShownValue(*extra), key, ShownValue(value)));
                    return;
                }
                p[c] = b;
            }
        }
    }

    const QJsonObject& object_;
    QStringList& errors_;
};

// Keys that the top-level object gives more than once (QJsonDocument keeps
// only the last). `json` is known to parse as an object.
QStringList RepeatedKeys(QByteArrayView json)
{
    QSet<QString> seen;
    QStringList repeated;
    int depth = 0;
    for (qsizetype i = 0; i < json.size(); ++i) {
        const char c = json[i];
        if (c == '{' || c == '[') {
            ++depth;
        } else if (c == '}' || c == ']') {
            --depth;
        } else if (c == '"') {
            const qsizetype start = i++;
            while (i < json.size() && json[i] != '"')
                i += json[i] == '\\' ? 2 : 1;
            if (depth != 1)
                continue;
            qsizetype next = i + 1;
            while (next < json.size() && (json[next] == ' ' || json[next] == '\t' || json[next] == '\n' || json[next] == '\r'))
                ++next;
            if (next >= json.size() || json[next] != ':')
                continue;
            // The key as JSON reads it, escapes and all.
            const QByteArray token = "[" + json.sliced(start, i + 1 - start).toByteArray() + "]";
            const QString key = QJsonDocument::fromJson(token).array().at(0).toString();
            if (seen.contains(key) && !repeated.contains(key))
                repeated << key;
            seen.insert(key);
        }
    }
    return repeated;
}

} // namespace

QByteArray ConfigToJson(const ConfigDocument& document)
{
    Writer w;
    for (const JsonField& f : JsonFields())
        WriteField(w, f, document.Record);
    if (document.Header.Version != kDataFileVersion)
        w.Add(kVersionKey, QJsonValue(qint64(document.Header.Version)));
    const auto& tail = document.Header.NameTail;
    if (!std::all_of(tail.begin(), tail.end(), [](std::uint8_t b) { return b == 0; }))
        w.AddHex(kNameTailKey, tail.data(), tail.size());
    return w.Finish();
}

QString JsonKeyAt(std::size_t offset)
{
    if (offset >= sizeof(ConfigRecord))
        return {};
    const RecordField& row = FieldAt(offset);
    for (const JsonField& f : JsonFields()) {
        if (f.Rows.data() > &row || &row >= f.Rows.data() + f.Rows.size())
            continue;
        if (f.IsList())
            return QStringLiteral("%1[%2]").arg(QLatin1String(f.Key())).arg(&row - f.Rows.data());
        return QLatin1String(f.Key());
    }
    return {};
}

bool ConfigFromJson(QByteArrayView json, ConfigDocument& document, QStringList& errors)
{
    errors.clear();
    QJsonParseError parseError;
    const QJsonDocument parsed = QJsonDocument::fromJson(json.toByteArray(), &parseError);
    if (parseError.error != QJsonParseError::NoError) {
        errors << QStringLiteral("not valid JSON: %1 at byte %2").arg(parseError.errorString()).arg(parseError.offset);
        return false;
    }
    if (!parsed.isObject()) {
        errors << QStringLiteral("not a JSON object: the file must hold one {...} with the configuration's fields");
        return false;
    }
    const QJsonObject object = parsed.object();

    for (const QString& key : RepeatedKeys(json))
        errors << QStringLiteral("%1: given more than once").arg(key);

    QSet<QString> known{QLatin1String(kVersionKey), QLatin1String(kNameTailKey)};
    for (const JsonField& f : JsonFields()) {
        known.insert(QLatin1String(f.Key()));
        if (f.Extra())
            known.insert(QLatin1String(f.Extra()));
    }
    for (const QString& key : object.keys())
        if (!known.contains(key))
            errors << QStringLiteral("%1: unknown field").arg(key);

    Reader reader(object, errors);
    ConfigDocument read;
    auto* record = reinterpret_cast<std::uint8_t*>(&read.Record);
    for (const JsonField& f : JsonFields())
        reader.ReadField(f, record);
    if (const auto version = reader.Extra(kVersionKey)) {
        if (const auto n = reader.ReadNumber(QLatin1String(kVersionKey), *version,
                                             std::numeric_limits<std::int32_t>::min(), kDataFileVersion))
            read.Header.Version = std::int32_t(*n);
    }
    if (const auto tail = reader.Extra(kNameTailKey)) {
        const auto bytes = reader.ReadHex(QLatin1String(kNameTailKey), *tail, kNameTailSize,
                                          QStringLiteral("data file bytes 20 to 35"));
        if (bytes)
            std::memcpy(read.Header.NameTail.data(), bytes->constData(), kNameTailSize);
    }
    if (!errors.isEmpty())
        return false;
    document = read;
    return true;
}

} // namespace vantrel
