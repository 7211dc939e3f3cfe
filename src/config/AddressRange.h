#pragma once
// IPv4 addresses as 32-bit numbers (first octet highest), for handing out
// one address after the other: the host addresses of the subnet that the
// first one lies in, never the subnet's own address or its broadcast
// address.

#include <cstdint>
#include <optional>
#include <string>

namespace vantrel {

std::uint32_t AddressNumber(const std::uint8_t (&octets)[4]);
void StoreAddressNumber(std::uint32_t number, std::uint8_t (&octets)[4]);

// "10.0.0.22".
std::string DottedText(std::uint32_t number);
// The address "10.0.0.22" names: four decimal numbers from 0 to 255 with
// dots between them and nothing else. None for any other text.
std::optional<std::uint32_t> AddressFromText(const std::string& text);

struct HostRange {
    std::uint32_t First = 0;
    std::uint32_t Last = 0;
};

// The host addresses of the subnet that `address` lies in under `mask`:
// from the subnet's address + 1 to its broadcast address - 1; with a
// 31- or 32-bit mask, the subnet's every address. None when the mask is
// not a run of ones followed by zeros.
std::optional<HostRange> HostRangeOf(std::uint32_t address, std::uint32_t mask);

} // namespace vantrel
