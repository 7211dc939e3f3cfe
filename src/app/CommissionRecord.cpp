#include "app/CommissionRecord.h"

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
} // namespace

std::string CommissionLine(const CommissionEntry& entry)
{
    const std::array<const std::string*, 6> fields{&entry.Time,       &entry.SerialNumber, &entry.FirmwareVersion,
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
