#pragma once
// The MAC allocation file: one two-digit hexadecimal octet per line, last
// octet of the address first. Only the first two characters of a line or
// an edit count; whatever follows them is kept but not read.
//
// The write-back at close replaces lines 1 and 2 and must give back every
// other line exactly, whatever the file holds (marks inside lines, bytes that
// are not valid in the encoding, a last code unit cut short). So the file is
// kept as bytes: its mark and each line's bytes as they stand. Only lines 1
// and 2 are ever encoded anew, and the result is written only when it reads
// back as the same mark and the same lines.

#include "config/MacAddress.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vantrel {

// How the file's text is stored. A byte-order mark at the very start selects
// one of the Unicode forms; without one the file is in the single-byte code
// page.
enum class MacFileEncoding { SingleByte, Utf8, Utf16LE, Utf16BE, Utf32LE, Utf32BE };

struct MacFileBytes {
    MacFileEncoding Encoding = MacFileEncoding::SingleByte;
    std::string Mark;               // the byte-order mark's bytes; empty without one
    std::vector<std::string> Lines; // each line's bytes, without its line end
};

// Recognises the mark (a UTF-32 one first, then UTF-8, then UTF-16) and
// splits the rest into lines. Lines end at CR LF, a lone LF or a lone CR,
// counted in the encoding's code units (1, 2 or 4 bytes), so that a byte of
// another character never ends a line. A last line without an end still
// counts, and so do bytes too few for a whole code unit at the very end;
// an empty text has no lines.
MacFileBytes SplitMacFile(std::string_view file);

// The mark, then every line followed by CR LF in the encoding's code units.
std::string JoinMacFile(const MacFileBytes& file);

// The file to write back: `file` with lines 1 and 2 replaced by `first` and
// `second` (already in the file's encoding), given two lines when it had
// fewer. Nothing when that file would not read back as exactly this mark
// and these lines: a line end inside `first` or `second`, a mark that they
// would form with the file's own, a last line that ends inside a code unit.
std::optional<std::string> ReplaceFirstTwoLines(const MacFileBytes& file, std::string first, std::string second);

// The octet spelled by the first two characters (high digit first; 0-9,
// A-F, a-f). Nothing when the text is shorter or they are not hex digits.
std::optional<std::uint8_t> HexPairToOctet(std::string_view text);

} // namespace vantrel
