#pragma once
// Which present HID interface is the unit. The unit is known by the text of
// its hardware ID alone: vendor 04D8, product FD37 and the revision, 0006
// for a unit the tool works with, 0001 for one in program mode. The
// patterns are tried in this order; each search takes the first interface
// whose first hardware-ID string holds the pattern, whatever the case.

#include "device/HidBackend.h"

#include <array>
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

// True for a unit in program mode (revision 0001).
bool IsProgramMode(std::string_view hardwareId);

} // namespace vantrel
