#pragma once
// The unit keeps its texts (the two names, the firmware version) one byte
// per character, in the system's ANSI code page. These two functions are
// the only road between such bytes and the window's text.

#include <QString>

#include <string>
#include <string_view>

namespace vantrel {

// On Windows the system's ANSI code page; a character it lacks becomes '?'
// (Windows may first pick a close letter, its "best fit"). Elsewhere
// Latin-1 stands in: a character outside it becomes '?'.
std::string ToAnsi(const QString& text);

// The reverse: on Windows from the ANSI code page, elsewhere from Latin-1,
// which gives every byte a character.
QString FromAnsi(std::string_view bytes);

} // namespace vantrel
