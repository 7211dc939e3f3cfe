#include "config/AddressRange.h"

namespace vantrel {

std::uint32_t AddressNumber(const std::uint8_t (&octets)[4])
{
    return std::uint32_t(octets[0]) << 24 | std::uint32_t(octets[1]) << 16 | std::uint32_t(octets[2]) << 8 | octets[3];
}

void StoreAddressNumber(std::uint32_t number, std::uint8_t (&octets)[4])
{
    for (int i = 0; i < 4; ++i)
        octets[i] = std::uint8_t(number >> (24 - 8 * i));
}

std::string DottedText(std::uint32_t number)
{
    return std::to_string(number >> 24) + '.' + std::to_string(number >> 16 & 0xFF) + '.'
           + std::to_string(number >> 8 & 0xFF) + '.' + std::to_string(number & 0xFF);
}

std::optional<std::uint32_t> AddressFromText(const std::string& text)
{
    std::uint32_t address = 0;
    int octets = 0, digits = 0, octet = 0;
    for (std::size_t i = 0; i <= text.size(); ++i) {
        const char c = i < text.size() ? text[i] : '.';
        if (c >= '0' && c <= '9' && digits < 3) {
            octet = octet * 10 + (c - '0');
            ++digits;
            continue;
        }
        if (c != '.' || digits == 0 || octet > 255 || octets == 4)
            return std::nullopt;
        address = address << 8 | std::uint32_t(octet);
        ++octets;
        digits = octet = 0;
    }
    if (octets != 4)
        return std::nullopt;
    return address;
}

std::optional<HostRange> HostRangeOf(std::uint32_t address, std::uint32_t mask)
{
    const std::uint32_t hosts = ~mask;
    if ((hosts & (hosts + 1)) != 0) // the host bits are not all at the low end
        return std::nullopt;
    const std::uint32_t subnet = address & mask;
    const std::uint32_t broadcast = subnet | hosts;
    if (hosts <= 1) // a point-to-point link or a single address: no subnet or broadcast address
        return HostRange{subnet, broadcast};
    return HostRange{subnet + 1, broadcast - 1};
}

} // namespace vantrel
