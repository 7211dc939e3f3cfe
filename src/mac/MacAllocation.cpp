#include "mac/MacAllocation.h"

namespace vantrel {

namespace {

std::size_t CodeUnitSize(MacFileEncoding encoding)
{
    switch (encoding) {
    case MacFileEncoding::Utf16LE:
    case MacFileEncoding::Utf16BE:
        return 2;
    case MacFileEncoding::Utf32LE:
    case MacFileEncoding::Utf32BE:
        return 4;
    default:
        return 1;
    }
}

bool LittleEndian(MacFileEncoding encoding)
{
    return encoding == MacFileEncoding::Utf16LE || encoding == MacFileEncoding::Utf32LE;
}

// The code unit of `width` bytes at `at`.
std::uint32_t CodeUnit(std::string_view bytes, std::size_t at, std::size_t width, bool littleEndian)
{
    std::uint32_t unit = 0;
    for (std::size_t k = 0; k < width; ++k) {
        const std::size_t index = littleEndian ? at + width - 1 - k : at + k;
        unit = unit << 8 | static_cast<std::uint8_t>(bytes[index]);
    }
    return unit;
}

void AppendCodeUnit(std::string& bytes, std::uint32_t unit, std::size_t width, bool littleEndian)
{
    for (std::size_t k = 0; k < width; ++k) {
        const std::size_t shift = 8 * (littleEndian ? k : width - 1 - k);
        bytes += static_cast<char>((unit >> shift) & 0xFF);
    }
}

} // namespace

MacFileBytes SplitMacFile(std::string_view file)
{
    static constexpr struct {
        std::string_view mark;
        MacFileEncoding encoding;
    } kMarks[] = {
        {std::string_view("\x00\x00\xFE\xFF", 4), MacFileEncoding::Utf32BE},
        {std::string_view("\xFF\xFE\x00\x00", 4), MacFileEncoding::Utf32LE},
        {"\xEF\xBB\xBF", MacFileEncoding::Utf8},
        {"\xFE\xFF", MacFileEncoding::Utf16BE},
        {"\xFF\xFE", MacFileEncoding::Utf16LE},
    };
    MacFileBytes result;
    for (const auto& m : kMarks) {
        if (file.substr(0, m.mark.size()) == m.mark) {
            result.Encoding = m.encoding;
            result.Mark = m.mark;
            break;
        }
    }

    const std::string_view body = file.substr(result.Mark.size());
    const std::size_t width = CodeUnitSize(result.Encoding);
    const bool little = LittleEndian(result.Encoding);
    std::size_t start = 0;
    std::size_t i = 0;
    while (i + width <= body.size()) {
        const std::uint32_t unit = CodeUnit(body, i, width, little);
        i += width;
        if (unit != '\r' && unit != '\n')
            continue;
        result.Lines.emplace_back(body.substr(start, i - width - start));
        if (unit == '\r' && i + width <= body.size() && CodeUnit(body, i, width, little) == '\n')
            i += width;
        start = i;
    }
    if (start < body.size())
        result.Lines.emplace_back(body.substr(start));
    return result;
}

std::string JoinMacFile(const MacFileBytes& file)
{
    const std::size_t width = CodeUnitSize(file.Encoding);
    const bool little = LittleEndian(file.Encoding);
    std::string bytes = file.Mark;
    for (const std::string& line : file.Lines) {
        bytes += line;
        AppendCodeUnit(bytes, '\r', width, little);
        AppendCodeUnit(bytes, '\n', width, little);
    }
    return bytes;
}

std::optional<std::string> ReplaceFirstTwoLines(const MacFileBytes& file, std::string first, std::string second)
{
    MacFileBytes written = file;
    if (written.Lines.size() < 2)
        written.Lines.resize(2);
    written.Lines[0] = std::move(first);
    written.Lines[1] = std::move(second);
    std::string bytes = JoinMacFile(written);
    // What the next start will read from these bytes must be exactly what
    // is meant to be there.
    const MacFileBytes back = SplitMacFile(bytes);
    if (back.Encoding != written.Encoding || back.Mark != written.Mark || back.Lines != written.Lines)
        return std::nullopt;
    return bytes;
}

namespace {
std::optional<int> HexDigit(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return std::nullopt;
}
} // namespace

std::optional<std::uint8_t> HexPairToOctet(std::string_view text)
{
    if (text.size() < 2)
        return std::nullopt;
    const auto high = HexDigit(text[0]);
    const auto low = HexDigit(text[1]);
    if (!high || !low)
        return std::nullopt;
    return std::uint8_t(*high * 16 + *low);
}

} // namespace vantrel
