#include "cli/CommissionRecord.h"

#include "config/AddressRange.h"

#include <algorithm>
#include <array>
#include <string_view>

namespace vantrel {

namespace {
std::string CsvField(const std::string& text)
{
    const bool quote = text.find_first_of(",\"\r\n") != std::string::npos
                       || (!text.empty() && (text.front() == ' ' || text.back() == ' '));
    if (!quote)
        return text;
    std::string field = "\"";
    for (char c : text) {
        if (c == '"')
            field += '"';
        field += c;
    }
    return field + '"';
}
// The unit's own text may start like a formula ("=", "+", "-", "@"); a
// spreadsheet opening the record would run it. A leading apostrophe makes
// it plain text there and keeps what the unit sent readable.
std::string PlainText(const std::string& text)
{
    if (!text.empty() && std::string_view("=+-@\t\r").find(text.front()) != std::string_view::npos)
        return '\'' + text;
    return text;
}

QByteArray WithoutLineEnd(const char* header)
{
    QByteArray line(header);
    line.chop(2);
    return line;
}

// Where the columns stand in every format.
constexpr std::size_t kMacColumn = 3;
constexpr std::size_t kIpColumn = 4;
constexpr std::size_t kMacStateColumn = 6;
} // namespace

std::string CommissionLine(const CommissionEntry& entry, RecordFormat format)
{
    const std::string version = PlainText(entry.FirmwareVersion);
    const std::array<const std::string*, 11> fields{
        &entry.Time,     &entry.SerialNumber, &version,           &entry.MacAddress,
        &entry.IpAddress, &entry.Result,      &entry.MacState,    &entry.ToolVersion,
        &entry.Station,  &entry.Configuration, &entry.ConfigurationSha256};
    const std::size_t count = format == RecordFormat::Traced ? fields.size() : 6;
    std::string line;
    for (std::size_t i = 0; i < count; ++i) {
        if (i > 0)
            line += ',';
        line += CsvField(*fields[i]);
    }
    return line + "\r\n";
}

std::optional<RecordFormat> RecordFormatOf(const QByteArray& firstLine)
{
    if (firstLine == WithoutLineEnd(kCommissionHeader))
        return RecordFormat::Traced;
    if (firstLine == WithoutLineEnd(kCommissionHeaderSixColumns))
        return RecordFormat::SixColumns;
    return std::nullopt;
}

std::vector<CsvRecord> ParseCsv(const QByteArray& text, int firstLine)
{
    std::vector<CsvRecord> records;
    CsvRecord record{firstLine, {}};
    std::string field;
    bool quoted = false, fieldStarted = false;
    int line = firstLine;
    const auto endField = [&] {
        record.Fields.push_back(std::move(field));
        field.clear();
        fieldStarted = false;
    };
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (quoted) {
            if (c == '"' && i + 1 < text.size() && text[i + 1] == '"') {
                field += '"';
                ++i;
            } else if (c == '"') {
                quoted = false;
            } else {
                if (c == '\n')
                    ++line;
                field += c;
            }
            continue;
        }
        if (c == '"' && !fieldStarted) {
            quoted = fieldStarted = true;
        } else if (c == ',') {
            endField();
        } else if (c == '\n') {
            if (!field.empty() && field.back() == '\r')
                field.pop_back();
            endField();
            records.push_back(std::move(record));
            record = CsvRecord{++line, {}};
        } else {
            field += c;
            fieldStarted = true;
        }
    }
    if (fieldStarted || !field.empty() || !record.Fields.empty()) {
        endField();
        records.push_back(std::move(record));
    }
    return records;
}

void GivenAddresses::Add(const std::vector<CsvRecord>& records, RecordFormat format)
{
    for (const CsvRecord& record : records) {
        const auto field = [&](std::size_t column) {
            return column < record.Fields.size() ? record.Fields[column] : std::string();
        };
        if (const auto ip = AddressFromText(field(kIpColumn))) {
            Ips.emplace(*ip, record.Line);
            LastIp = LastIp ? std::max(*LastIp, *ip) : *ip;
        }
        const std::string mac = field(kMacColumn);
        if (mac.empty())
            continue;
        const std::string state = format == RecordFormat::Traced ? field(kMacStateColumn) : std::string();
        if (state == kMacUnused) {
            if (Reserved.erase(mac) != 0)
                Macs.erase(mac);
            continue;
        }
        if (Macs.emplace(mac, record.Line).second && state == kMacReserved)
            Reserved.emplace(mac, record.Line);
        else if (state != kMacReserved)
            Reserved.erase(mac);
    }
}

} // namespace vantrel
