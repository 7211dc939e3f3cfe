#include "config/ConfigRecord.h"

#include <algorithm>
#include <cstring>

namespace vantrel {

namespace {
void SetOctets(std::uint8_t (&field)[4], std::uint8_t a, std::uint8_t b, std::uint8_t c, std::uint8_t d)
{
    field[0] = a;
    field[1] = b;
    field[2] = c;
    field[3] = d;
}
} // namespace

void SetDefaults(ConfigRecord& r)
{
    SetOctets(r.IPAddr, 192, 168, 0, 6);
    SetOctets(r.GateWayAddr, 192, 168, 0, 1);
    SetOctets(r.SubMaskAddr, 255, 255, 255, 0);
    r.DHCPEnable = 0;
    r.UseBroadcast = 0;
    r.EnableClient = 0;
    std::fill(std::begin(r.Hysteresis), std::end(r.Hysteresis), 1024);
    StoreName(r.DeviceName, sizeof r.DeviceName, kDeviceNameChars, "QUORVEX");
    StoreName(r.EthernetName, sizeof r.EthernetName, kEthernetNameChars, "QUORVEX");
    std::fill(std::begin(r.InvertInputs), std::end(r.InvertInputs), 0);
    std::fill(std::begin(r.InvertOutputs), std::end(r.InvertOutputs), 0);
    std::fill(std::begin(r.OutputStartStatus), std::end(r.OutputStartStatus), 0);
    r.ServerTimeout = 60;
    r.ClientPort = 3012;
    r.UpdatePeriod = 10;
}

bool RecordsDiffer(const ConfigRecord& a, const ConfigRecord& b)
{
    return std::memcmp(&a, &b, sizeof(ConfigRecord)) != 0;
}

void StoreName(std::uint8_t* field, std::size_t width, std::size_t maxChars, const std::string& bytes)
{
    const std::size_t n = std::min({bytes.size(), maxChars, width});
    std::memcpy(field, bytes.data(), n);
    if (n < width)
        field[n] = 0;
}

std::string LoadName(const std::uint8_t* field, std::size_t width)
{
    const auto* end = std::find(field, field + width, std::uint8_t{0});
    return std::string(field, end);
}

} // namespace vantrel
