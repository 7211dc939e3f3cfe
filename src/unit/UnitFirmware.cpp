#include "unit/UnitFirmware.h"

#include <algorithm>
#include <cstring>

namespace vantrel {

UnitFirmware::UnitFirmware(UnitIdentity identity) : identity_(std::move(identity))
{
    ConfigRecord defaults{};
    SetDefaults(defaults);
    StoreConfig(defaults);
}

void UnitFirmware::StoreConfig(const ConfigRecord& record)
{
    // The unit keeps what the write placement carries.
    Report scratch{};
    EncodeBlock0Data(scratch, 0, record);
    std::copy(scratch.begin() + 3, scratch.end(), stored_[0].begin());
    std::fill(stored_[0].begin() + 44, stored_[0].end(), std::uint8_t{0xFF});
    scratch.fill(0xFF);
    EncodeBlock1Data(scratch, 1, record);
    std::copy(scratch.begin() + 3, scratch.end(), stored_[1].begin());
}

ConfigRecord UnitFirmware::StoredConfig() const
{
    return DecodeWrittenBlocks(stored_[0].data(), stored_[1].data(), ConfigRecord{});
}

Report UnitFirmware::Answer(const Report& request)
{
    Report reply{};
    reply[1] = request[1];
    switch (request[1]) {
    case cmd::Identify: {
        std::copy(identity_.ApplicationCode.begin(), identity_.ApplicationCode.end(), reply.begin() + 2);
        const auto serial = static_cast<std::uint32_t>(identity_.SerialNumber);
        for (int i = 0; i < 4; ++i)
            reply[6 + i] = std::uint8_t(serial >> (8 * i));
        const std::size_t n = std::min<std::size_t>(identity_.Version.size(), kReportSize - 10);
        std::memcpy(reply.data() + 10, identity_.Version.data(), n);
        break;
    }
    case cmd::BlockData:
        if (request[2] < 2)
            std::copy(request.begin() + 3, request.end(), pending_[request[2]].begin());
        break;
    case cmd::BlockDone:
        if (request[2] < 2)
            stored_[request[2]] = pending_[request[2]];
        break;
    case cmd::ReadBlock:
        if (request[2] < 2) {
            const BlockImage image = ReadPlacement(request[2], stored_[request[2]].data());
            std::copy(image.begin(), image.end(), reply.begin() + 2);
        }
        break;
    case cmd::Mac:
        if (request[2] == cmd::MacRead)
            std::copy(mac_.begin(), mac_.end(), reply.begin() + 2);
        else if (request[2] == cmd::MacWrite)
            std::copy_n(request.begin() + 3, 6, mac_.begin());
        break;
    default: // 'E', 'R', 'Z' and anything unknown: acknowledged
        break;
    }
    return reply;
}

} // namespace vantrel
