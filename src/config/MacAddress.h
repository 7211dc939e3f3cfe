#pragma once
// The unit's MAC address: six octets, first octet first. It is not part of
// the configuration record; the unit reports it and takes a new one by a
// request of its own, and the MAC allocation file hands them out.

#include <array>
#include <cstdint>

namespace vantrel {

using MacOctets = std::array<std::uint8_t, 6>;

} // namespace vantrel
