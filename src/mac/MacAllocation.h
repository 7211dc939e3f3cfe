#pragma once
// The MAC allocation file: one two-digit hexadecimal octet per line, last
// octet of the address first. Only the first two characters of a line or
// an edit count; whatever follows them is kept but not read.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vantrel {

// Lines end at CR LF, a lone LF or a lone CR; a last line without an end
// still counts; an empty text has no lines.
std::vector<std::string> SplitLines(std::string_view text);

// Every line followed by CR LF, the last one included.
std::string JoinLinesCrLf(const std::vector<std::string>& lines);

// The octet spelled by the first two characters (high digit first; 0-9,
// A-F, a-f). Nothing when the text is shorter or they are not hex digits.
std::optional<std::uint8_t> HexPairToOctet(std::string_view text);

} // namespace vantrel
