// Text to number: TryStrToInt, StrToInt, StrToOctet and IsValidOctet
// against a reference written the plain way, for any text.
//
// The reference: leading blanks, an optional sign, then "$" or "0x"/"0X"
// for hexadecimal, then at least one digit of that base and nothing else.
// The digits, without their leading zeros, are compared as text with the
// largest magnitude allowed (2147483647, or 2147483648 after '-', for
// decimal; FFFFFFFF for hexadecimal, whose top bit makes the number
// negative), so no arithmetic can overflow on the way.

#include "FuzzCheck.h"
#include "config/StrToInt.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <string_view>

namespace {

int DigitValue(char c)
{
    const std::string_view digits = "0123456789abcdef";
    const char lower = (c >= 'A' && c <= 'F') ? char(c - 'A' + 'a') : c;
    const std::size_t at = digits.find(lower);
    return at == std::string_view::npos || lower == '\0' ? -1 : int(at);
}

std::optional<std::int32_t> Reference(std::string_view text)
{
    std::size_t i = text.find_first_not_of(' ');
    if (i == std::string_view::npos)
        return std::nullopt;
    text.remove_prefix(i);
    bool negative = false;
    if (!text.empty() && (text[0] == '+' || text[0] == '-')) {
        negative = text[0] == '-';
        text.remove_prefix(1);
    }
    int base = 10;
    if (text.starts_with('$')) {
        base = 16;
        text.remove_prefix(1);
    } else if (text.size() >= 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        base = 16;
        text.remove_prefix(2);
    }
    if (text.empty())
        return std::nullopt;
    std::string digits;
    for (char c : text) {
        const int v = DigitValue(c);
        if (v < 0 || v >= base)
            return std::nullopt;
        digits += "0123456789ABCDEF"[v];
    }
    digits.erase(0, std::min(digits.find_first_not_of('0'), digits.size() - 1));
    const std::string largest = base == 16 ? "FFFFFFFF" : negative ? "2147483648" : "2147483647";
    if (digits.size() > largest.size() || (digits.size() == largest.size() && digits > largest))
        return std::nullopt;
    std::uint32_t magnitude = std::uint32_t(std::stoull(digits, nullptr, base));
    // The sign applies in 32-bit two's complement, so "-$FFFFFFFF" is 1.
    const std::uint32_t bits = negative ? 0u - magnitude : magnitude;
    return std::int32_t(bits);
}

// The text as the error message names it: between quotes, a zero byte shown
// as U+FFFD so that the message is not cut short.
std::string Quoted(const std::string& text)
{
    std::string quoted = "'";
    for (char c : text)
        quoted += c == '\0' ? std::string("\xEF\xBF\xBD") : std::string(1, c);
    return quoted + "'";
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string text(reinterpret_cast<const char*>(data), size);
    const std::optional<std::int32_t> expected = Reference(text);

    std::int32_t value = 12345;
    const bool converted = vantrel::TryStrToInt(text, value);
    FUZZ_CHECK(converted == expected.has_value());
    if (converted)
        FUZZ_CHECK(value == *expected);

    try {
        const std::int32_t n = vantrel::StrToInt(text);
        FUZZ_CHECK(expected && n == *expected);
    } catch (const vantrel::ConversionError& e) {
        FUZZ_CHECK(!expected);
        FUZZ_CHECK(std::string(e.what()) == Quoted(text) + " is not a valid integer value");
    }

    const bool octet = expected && *expected >= 0 && *expected <= 255;
    FUZZ_CHECK(vantrel::IsValidOctet(text) == octet);
    try {
        const std::uint8_t n = vantrel::StrToOctet(text);
        FUZZ_CHECK(octet && n == *expected);
    } catch (const vantrel::ConversionError& e) {
        FUZZ_CHECK(!octet);
        FUZZ_CHECK(std::string(e.what()) == Quoted(text) + (expected ? " is not a valid octet value (0 to 255)"
                                                                     : " is not a valid integer value"));
    }
    return 0;
}
