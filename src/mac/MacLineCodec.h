#pragma once
// One line of the MAC allocation file between its bytes and its text, in
// the encoding the file's mark names (the single-byte code page without
// one). The window and vantrel-cli read and write the file with these.

#include "mac/MacAllocation.h"

#include <QString>

#include <string>

namespace vantrel {

// A line's characters. A mark at the start of a line is one of its
// characters: only the file's own mark selects the encoding.
QString DecodeMacLine(MacFileEncoding encoding, const std::string& bytes);

// A line's bytes, with no mark of its own.
std::string EncodeMacLine(MacFileEncoding encoding, const QString& text);

} // namespace vantrel
