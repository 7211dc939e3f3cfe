#include "demo/DemoUnit.h"

#include "config/ConfigRecord.h"

#include <algorithm>
#include <iterator>

namespace vantrel {

std::shared_ptr<SimulatedUnit> MakeDemoUnit()
{
    SimulatedIdentity identity;
    identity.SerialNumber = 20261207;
    identity.Version = "1.05 (simulated)";
    auto unit = std::make_shared<SimulatedUnit>(identity);
    ConfigRecord stored{};
    SetDefaults(stored);
    const std::uint8_t ip[4] = {10, 0, 0, 5};
    std::copy(std::begin(ip), std::end(ip), stored.IPAddr);
    StoreName(stored.DeviceName, sizeof stored.DeviceName, kDeviceNameChars, "Demo unit");
    stored.EnableClient = 1;
    stored.Hysteresis[0] = 300;
    stored.InvertInputs[0] = stored.InvertInputs[15] = 1;
    unit->StoreConfig(stored);
    unit->SetMac({0x00, 0x04, 0xA3, 0x01, 0x02, 0x0F});
    return unit;
}

} // namespace vantrel
