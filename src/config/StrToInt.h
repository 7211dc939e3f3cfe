#pragma once
// Text-to-number conversions used wherever the operator types a number.
// A text that does not convert throws ConversionError; the window's handler
// boundary turns it into an error box naming the text.

#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>

namespace vantrel {

class ConversionError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// A whole number in the signed 32-bit range: optional leading blanks, an
// optional sign, decimal digits, or hexadecimal digits after '$' or "0x".
// Returns nothing for an empty text or anything else.
bool TryStrToInt(std::string_view text, std::int32_t& value);

// As TryStrToInt, but throws "'<text>' is not a valid integer value".
std::int32_t StrToInt(std::string_view text);

// An address octet: StrToInt, then 0 to 255. A number outside that range is
// refused too, with "'<text>' is not a valid octet value (0 to 255)".
std::uint8_t StrToOctet(std::string_view text);

// True when the text converts to a number from 0 to 255.
bool IsValidOctet(std::string_view text);

} // namespace vantrel
