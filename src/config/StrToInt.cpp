#include "config/StrToInt.h"

#include <cctype>
#include <limits>

namespace vantrel {

namespace {
// The text between quotes, as an error message names it. A message travels
// as a C string, so a zero byte would cut it short there: each one shows as
// the replacement character instead.
std::string Quoted(std::string_view text)
{
    std::string quoted = "'";
    for (const char c : text) {
        if (c == '\0')
            quoted += "\xEF\xBF\xBD";
        else
            quoted += c;
    }
    return quoted + "'";
}
} // namespace

bool TryStrToInt(std::string_view text, std::int32_t& value)
{
    std::size_t i = 0;
    while (i < text.size() && text[i] == ' ')
        ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
        negative = text[i] == '-';
        ++i;
    }
    int base = 10;
    if (i < text.size() && text[i] == '$') {
        base = 16;
        ++i;
    } else if (i + 1 < text.size() && text[i] == '0' && (text[i + 1] == 'x' || text[i + 1] == 'X')) {
        base = 16;
        i += 2;
    }
    if (i >= text.size())
        return false;

    // Decimal numbers must lie in the signed 32-bit range; hexadecimal ones
    // may use all 32 bits, the top bit making them negative.
    const std::uint64_t limit = base == 16 ? 0xFFFFFFFFull
                                           : (negative ? 2147483648ull : 2147483647ull);
    std::uint64_t magnitude = 0;
    for (; i < text.size(); ++i) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        int digit;
        if (std::isdigit(c))
            digit = c - '0';
        else if (base == 16 && std::isxdigit(c))
            digit = std::tolower(c) - 'a' + 10;
        else
            return false;
        magnitude = magnitude * base + digit;
        if (magnitude > limit)
            return false;
    }
    std::int64_t signedValue = base == 16 ? static_cast<std::int32_t>(static_cast<std::uint32_t>(magnitude))
                                          : static_cast<std::int64_t>(magnitude);
    if (negative)
        signedValue = -signedValue;
    value = static_cast<std::int32_t>(signedValue);
    return true;
}

std::int32_t StrToInt(std::string_view text)
{
    std::int32_t value = 0;
    if (!TryStrToInt(text, value))
        throw ConversionError(Quoted(text) + " is not a valid integer value");
    return value;
}

std::uint8_t StrToOctet(std::string_view text)
{
    const std::int32_t value = StrToInt(text);
    if (value < 0 || value > 255)
        throw ConversionError(Quoted(text) + " is not a valid octet value (0 to 255)");
    return static_cast<std::uint8_t>(value);
}

bool IsValidOctet(std::string_view text)
{
    std::int32_t value = 0;
    return TryStrToInt(text, value) && value >= 0 && value <= 255;
}

} // namespace vantrel
