#pragma once
// The unit's firmware as the tool sees it: it answers every output report
// with exactly one input report, keeps the two configuration blocks that
// 'd' and 'D' program, hands them back to 'r', and keeps a MAC address.
// Free of Qt and of any transport: the in-process simulated unit and the
// virtual unit on a real kernel (quorvex-virtual-unit) both run it. Not
// thread-safe; its owner serialises the calls.

#include "config/ConfigRecord.h"
#include "protocol/Reports.h"

#include <array>
#include <cstdint>
#include <string>

namespace vantrel {

// What the identification reply tells about the unit.
struct UnitIdentity {
    std::array<std::uint8_t, 3> ApplicationCode{0x00, 0x01, 0x05};
    std::int32_t SerialNumber = 4711;
    std::string Version = "1.05";
};

// One stored block as the unit keeps it: image bytes 0 to 61 of the 'd'
// request that programmed it (write placement).
using StoredBlockImage = std::array<std::uint8_t, 62>;

class UnitFirmware {
public:
    // Starts with the factory configuration and MAC 00.04.A3.01.02.0F.
    explicit UnitFirmware(UnitIdentity identity = {});

    const UnitIdentity& Identity() const { return identity_; }
    void SetIdentity(const UnitIdentity& identity) { identity_ = identity; }

    // The reply to one request, report ID first. Requests the unit does not
    // know are acknowledged with an empty reply.
    Report Answer(const Report& request);

    // The stored configuration, as a read would report it.
    void StoreConfig(const ConfigRecord& record);
    ConfigRecord StoredConfig() const;
    const StoredBlockImage& StoredBlock(int block) const { return stored_.at(std::size_t(block)); }

    void SetMac(const std::array<std::uint8_t, 6>& mac) { mac_ = mac; }
    const std::array<std::uint8_t, 6>& Mac() const { return mac_; }

private:
    UnitIdentity identity_;
    std::array<StoredBlockImage, 2> stored_{};
    std::array<StoredBlockImage, 2> pending_{}; // 'd' fills, 'D' commits
    std::array<std::uint8_t, 6> mac_{0x00, 0x04, 0xA3, 0x01, 0x02, 0x0F};
};

} // namespace vantrel
