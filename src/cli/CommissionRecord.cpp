#include "cli/CommissionRecord.h"

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
} // namespace

std::string CommissionLine(const CommissionEntry& entry)
{
    const std::string version = PlainText(entry.FirmwareVersion);
    const std::array<const std::string*, 6> fields{&entry.Time,       &entry.SerialNumber, &version,
                                                   &entry.MacAddress, &entry.IpAddress,    &entry.Result};
    std::string line;
    for (const std::string* field : fields) {
        if (field != fields.front())
            line += ',';
        line += CsvField(*field);
    }
    return line + "\r\n";
}

} // namespace vantrel
