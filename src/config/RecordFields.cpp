#include "config/RecordFields.h"

#include <array>
#include <cstring>
#include <stdexcept>
#include <string>

namespace vantrel {

namespace {

constexpr std::size_t kHysteresis = offsetof(ConfigRecord, Hysteresis);

// The window's limits. The update period's and the timeout's controls are
// narrowed to the one byte the record has for each.
constexpr WindowLimits kPort{1, 65535};
constexpr WindowLimits kSeconds{1, 255};
constexpr WindowLimits kHysteresisLimits{0, 1024};
constexpr WindowLimits kDeviceName{0, kDeviceNameChars};
constexpr WindowLimits kEthernetName{0, kEthernetNameChars};

constexpr std::array<RecordField, 26> kFields{{
    {"IP Address", FieldKind::Address, offsetof(ConfigRecord, IPAddr), 4, "ipAddress"},
    {"Gateway Address", FieldKind::Address, offsetof(ConfigRecord, GateWayAddr), 4, "gatewayAddress"},
    {"Submask", FieldKind::Address, offsetof(ConfigRecord, SubMaskAddr), 4, "submask"},
    {"Get Address Automatically", FieldKind::Flag, offsetof(ConfigRecord, DHCPEnable), 1, "getAddressAutomatically",
     "getAddressAutomaticallyByte"},
    {"Device Name", FieldKind::Name, offsetof(ConfigRecord, DeviceName), 32, "deviceName", "deviceNameBytes",
     kDeviceName},
    {"Ethernet Name", FieldKind::Name, offsetof(ConfigRecord, EthernetName), 16, "ethernetName", "ethernetNameBytes",
     kEthernetName},
    {"Port Number", FieldKind::Number32, offsetof(ConfigRecord, ClientPort), 4, "portNumber", nullptr, kPort},
    {"Target IP Address", FieldKind::Address, offsetof(ConfigRecord, ClientAddr), 4, "targetIpAddress"},
    {"Enable Client", FieldKind::Flag, offsetof(ConfigRecord, EnableClient), 1, "enableClient", "enableClientByte"},
    {"Use Broadcast Address", FieldKind::Flag, offsetof(ConfigRecord, UseBroadcast), 1, "useBroadcastAddress",
     "useBroadcastAddressByte"},
    {"Update Period", FieldKind::Number8, offsetof(ConfigRecord, UpdatePeriod), 1, "updatePeriod", nullptr, kSeconds},
    {"Timeout", FieldKind::Number8, offsetof(ConfigRecord, ServerTimeout), 1, "timeout", nullptr, kSeconds},
    {"Analogue Update Hysteresis Input 1", FieldKind::Number32, kHysteresis + 0, 4, "hysteresis", nullptr,
     kHysteresisLimits},
    {"Analogue Update Hysteresis Input 2", FieldKind::Number32, kHysteresis + 4, 4, "hysteresis", nullptr,
     kHysteresisLimits},
    {"Analogue Update Hysteresis Input 3", FieldKind::Number32, kHysteresis + 8, 4, "hysteresis", nullptr,
     kHysteresisLimits},
    {"Analogue Update Hysteresis Input 4", FieldKind::Number32, kHysteresis + 12, 4, "hysteresis", nullptr,
     kHysteresisLimits},
    {"Analogue Update Hysteresis Input 5", FieldKind::Number32, kHysteresis + 16, 4, "hysteresis", nullptr,
     kHysteresisLimits},
    {"Analogue Update Hysteresis Input 6", FieldKind::Number32, kHysteresis + 20, 4, "hysteresis", nullptr,
     kHysteresisLimits},
    {"Analogue Update Hysteresis Input 7", FieldKind::Number32, kHysteresis + 24, 4, "hysteresis", nullptr,
     kHysteresisLimits},
    {"Analogue Update Hysteresis Input 8", FieldKind::Number32, kHysteresis + 28, 4, "hysteresis", nullptr,
     kHysteresisLimits},
    {"Invert Inputs", FieldKind::Channels, offsetof(ConfigRecord, InvertInputs), 16, "invertInputs",
     "invertInputsBytes"},
    {"Invert Outputs", FieldKind::Channels, offsetof(ConfigRecord, InvertOutputs), 16, "invertOutputs",
     "invertOutputsBytes"},
    {"Output Start Status", FieldKind::Channels, offsetof(ConfigRecord, OutputStartStatus), 16, "outputStartStatus",
     "outputStartStatusBytes"},
    {"Reserved byte 51", FieldKind::Reserved, offsetof(ConfigRecord, Reserved51), 1, "reserved"},
    {"Reserved bytes 85 to 87", FieldKind::Reserved, offsetof(ConfigRecord, Reserved85), 3, "reserved"},
    {"Reserved bytes 157 to 159", FieldKind::Reserved, offsetof(ConfigRecord, Reserved157), 3, "reserved"},
}};

constexpr std::size_t CoveredBytes()
{
    std::size_t total = 0;
    for (const RecordField& f : kFields)
        total += f.Size;
    return total;
}
// With no field overlapping another (the tests check each byte's owner),
// this makes every byte belong to exactly one field.
static_assert(CoveredBytes() == sizeof(ConfigRecord), "every byte of the record belongs to a field");

} // namespace

std::span<const RecordField> RecordFields()
{
    return kFields;
}

const RecordField& FieldAt(std::size_t offset)
{
    for (const RecordField& f : kFields)
        if (offset >= f.Offset && offset < f.Offset + f.Size)
            return f;
    throw std::out_of_range("no record byte at offset " + std::to_string(offset));
}

std::int64_t FieldNumber(const ConfigRecord& record, const RecordField& field)
{
    const std::uint8_t* p = FieldBytes(record, field);
    if (field.Kind == FieldKind::Number8)
        return p[0];
    std::int32_t n = 0;
    std::memcpy(&n, p, sizeof n);
    return n;
}

const std::uint8_t* FieldBytes(const ConfigRecord& record, const RecordField& field)
{
    return reinterpret_cast<const std::uint8_t*>(&record) + field.Offset;
}

std::vector<RecordField> DifferingFields(const ConfigRecord& a, const ConfigRecord& b)
{
    std::vector<RecordField> differing;
    for (const RecordField& f : RecordFields())
        if (std::memcmp(FieldBytes(a, f), FieldBytes(b, f), f.Size) != 0)
            differing.push_back(f);
    return differing;
}

} // namespace vantrel
