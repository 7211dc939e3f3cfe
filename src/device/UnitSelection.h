#pragma once
// Which present HID interface is the unit. The unit is known by the text of
// its hardware ID alone: vendor 04D8, product FD37 and the revision, 0006
// for a unit the tool works with, 0001 for one in program mode. The
// patterns are tried in this order; each search takes the first interface
// whose first hardware-ID string holds the pattern, whatever the case.

#include "device/HidBackend.h"

#include <array>
#include <functional>
#include <memory>
#include <string>
#include <optional>
#include <string_view>
#include <vector>

namespace vantrel {

inline constexpr std::string_view kNormalPattern = "Vid_04d8&Pid_fd37&rev_0006";
inline constexpr std::string_view kProgramModePattern = "Vid_04d8&Pid_fd37&rev_0001";
inline constexpr std::string_view kAnyRevisionPattern = "Vid_04d8&Pid_fd37";
inline constexpr std::array<std::string_view, 3> kUnitPatterns{kNormalPattern, kProgramModePattern,
                                                                kAnyRevisionPattern};

// True when `hardwareId` holds `pattern`, compared without regard to case.
bool MatchesPattern(std::string_view hardwareId, std::string_view pattern);

// The index of the first interface that matches, if any.
std::optional<std::size_t> FindFirstMatch(const std::vector<HidInterfaceInfo>& interfaces, std::string_view pattern);

// One search for the unit: the first present interface that matches a
// pattern, opened once for writing and once for reading. The search ends
// at that first match, whatever the opens give.
struct UnitOpen {
    std::optional<HidInterfaceInfo> Match; // the interface the pattern matched, if any
    std::unique_ptr<HidHandle> Write, Read; // both set when it opened
    std::string Error;                      // else "Cannot open <path>: <the system's reason>"
    bool Opened() const { return Write && Read; }
};

// Runs the search; `beforeOpen`, when given, runs once a match is found and
// before it is opened (the window drops its old link there).
UnitOpen OpenFirstMatch(HidBackend& hid, std::string_view pattern, const std::function<void()>& beforeOpen = {});

// Every unit among `interfaces` (any revision, program mode too), in their
// order: what "vantrel-cli list" shows, one entry per path.
std::vector<HidInterfaceInfo> PresentUnits(const std::vector<HidInterfaceInfo>& interfaces);

// Opens this one interface as OpenFirstMatch opens its match: once for
// writing and once for reading, both or none.
UnitOpen OpenUnit(HidBackend& hid, const HidInterfaceInfo& unit);

// True for a unit in program mode (revision 0001).
bool IsProgramMode(std::string_view hardwareId);

} // namespace vantrel
