#pragma once
// The window with a simulated HID backend that holds simulated units.

#include "unit/SimulatedUnit.h"
#include "support/FormHarness.h"

#include <QElapsedTimer>

#include <functional>

// A configuration a unit may hold: unlike the defaults in most fields, so a
// read visibly changes the window.
inline vantrel::ConfigRecord SampleUnitConfig()
{
    vantrel::ConfigRecord r{};
    vantrel::SetDefaults(r);
    const std::uint8_t ip[4] = {10, 0, 0, 5};
    std::copy(std::begin(ip), std::end(ip), r.IPAddr);
    r.ClientAddr[0] = 172;
    r.ClientAddr[3] = 9;
    r.EnableClient = 1;
    r.UseBroadcast = 1;
    r.Hysteresis[0] = 300;
    r.Hysteresis[7] = 7;
    r.ServerTimeout = 30;
    r.UpdatePeriod = 15;
    r.ClientPort = 502;
    r.InvertInputs[0] = r.InvertInputs[15] = 1;
    r.OutputStartStatus[8] = 1;
    vantrel::StoreName(r.DeviceName, sizeof r.DeviceName, vantrel::kDeviceNameChars, "Pump house");
    vantrel::StoreName(r.EthernetName, sizeof r.EthernetName, vantrel::kEthernetNameChars, "ETH-PUMP-000001");
    return r;
}

inline bool WaitUntil(const std::function<bool()>& done, int timeoutMs = 5000)
{
    return QTest::qWaitFor(done, timeoutMs);
}

// The request as sent: 65 bytes, all zero but those given from byte 0 on.
inline vantrel::Report Request(std::initializer_list<std::uint8_t> leading)
{
    vantrel::Report r{};
    std::copy(leading.begin(), leading.end(), r.begin());
    return r;
}

inline std::string Hex(const vantrel::Report& r)
{
    static const char digits[] = "0123456789ABCDEF";
    std::string s;
    for (std::uint8_t b : r) {
        s += digits[b >> 4];
        s += digits[b & 15];
        s += ' ';
    }
    return s;
}

class UnitHarness : public FormHarness {
public:
    UnitHarness() : FormHarness(&Backend) {}

    std::shared_ptr<vantrel::SimulatedUnit> AddUnit(const std::string& hardwareId = "HID\\VID_04D8&PID_FD37&REV_0006")
    {
        vantrel::SimulatedIdentity identity;
        identity.HardwareId = hardwareId;
        auto unit = std::make_shared<vantrel::SimulatedUnit>(identity);
        Backend.Add(unit);
        return unit;
    }

    bool WaitForBox(const QString& text, int timeoutMs = 5000)
    {
        return WaitUntil(
            [&] {
                for (const auto& b : Dialogs.Boxes)
                    if (b.Text == text)
                        return true;
                return false;
            },
            timeoutMs);
    }

    bool WaitForState(Awaiting state, int timeoutMs = 5000)
    {
        return WaitUntil([&] { return Form->State() == state; }, timeoutMs);
    }

    vantrel::SimulatedHidBackend Backend;
};
