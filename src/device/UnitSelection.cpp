#include "device/UnitSelection.h"

#include <algorithm>
#include <cctype>
#include <string>

namespace vantrel {

namespace {
std::string Lower(std::string_view text)
{
    std::string lower(text);
    std::transform(lower.begin(), lower.end(), lower.begin(), [](unsigned char c) { return char(std::tolower(c)); });
    return lower;
}
} // namespace

bool MatchesPattern(std::string_view hardwareId, std::string_view pattern)
{
    return Lower(hardwareId).find(Lower(pattern)) != std::string::npos;
}

std::optional<std::size_t> FindFirstMatch(const std::vector<HidInterfaceInfo>& interfaces, std::string_view pattern)
{
    for (std::size_t i = 0; i < interfaces.size(); ++i)
        if (MatchesPattern(interfaces[i].HardwareId, pattern))
            return i;
    return std::nullopt;
}

namespace {
void OpenBothEnds(HidBackend& hid, UnitOpen& unit)
{
    std::string writeError, readError;
    unit.Write = hid.Open(unit.Match->Path, HidOpenMode::Write, writeError);
    unit.Read = hid.Open(unit.Match->Path, HidOpenMode::Read, readError);
    if (!unit.Opened()) {
        // A link needs both ends; a half-open unit is as good as absent.
        unit.Error = "Cannot open " + unit.Match->Path + ": " + (unit.Write ? readError : writeError);
        unit.Write.reset();
        unit.Read.reset();
    }
}
} // namespace

UnitOpen OpenFirstMatch(HidBackend& hid, std::string_view pattern, const std::function<void()>& beforeOpen)
{
    UnitOpen unit;
    const std::vector<HidInterfaceInfo> present = hid.Enumerate();
    const auto match = FindFirstMatch(present, pattern);
    if (!match)
        return unit;
    unit.Match = present[*match];
    if (beforeOpen)
        beforeOpen();
    OpenBothEnds(hid, unit);
    return unit;
}

std::vector<HidInterfaceInfo> PresentUnits(const std::vector<HidInterfaceInfo>& interfaces)
{
    std::vector<HidInterfaceInfo> units;
    for (const HidInterfaceInfo& info : interfaces) {
        if (!MatchesPattern(info.HardwareId, kAnyRevisionPattern))
            continue;
        // A platform may list one device more than once; it is one unit.
        const bool seen = std::any_of(units.begin(), units.end(),
                                      [&](const HidInterfaceInfo& u) { return u.Path == info.Path; });
        if (!seen)
            units.push_back(info);
    }
    return units;
}

UnitOpen OpenUnit(HidBackend& hid, const HidInterfaceInfo& unit)
{
    UnitOpen open;
    open.Match = unit;
    OpenBothEnds(hid, open);
    return open;
}

bool IsProgramMode(std::string_view hardwareId)
{
    return MatchesPattern(hardwareId, kProgramModePattern);
}

} // namespace vantrel
