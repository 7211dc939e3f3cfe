#include "config/RecordFields.h"

#include <array>
#include <cstring>

namespace vantrel {

namespace {

constexpr std::size_t kHysteresis = offsetof(ConfigRecord, Hysteresis);

constexpr std::array<RecordField, 26> kFields{{
    {"IP Address", FieldKind::Address, offsetof(ConfigRecord, IPAddr), 4},
    {"Gateway Address", FieldKind::Address, offsetof(ConfigRecord, GateWayAddr), 4},
    {"Submask", FieldKind::Address, offsetof(ConfigRecord, SubMaskAddr), 4},
    {"Get Address Automatically", FieldKind::Flag, offsetof(ConfigRecord, DHCPEnable), 1},
    {"Device Name", FieldKind::Name, offsetof(ConfigRecord, DeviceName), 32},
    {"Ethernet Name", FieldKind::Name, offsetof(ConfigRecord, EthernetName), 16},
    {"Port Number", FieldKind::Number32, offsetof(ConfigRecord, ClientPort), 4},
    {"Target IP Address", FieldKind::Address, offsetof(ConfigRecord, ClientAddr), 4},
    {"Enable Client", FieldKind::Flag, offsetof(ConfigRecord, EnableClient), 1},
    {"Use Broadcast Address", FieldKind::Flag, offsetof(ConfigRecord, UseBroadcast), 1},
    {"Update Period", FieldKind::Number8, offsetof(ConfigRecord, UpdatePeriod), 1},
    {"Timeout", FieldKind::Number8, offsetof(ConfigRecord, ServerTimeout), 1},
    {"Analogue Update Hysteresis Input 1", FieldKind::Number32, kHysteresis + 0, 4},
    {"Analogue Update Hysteresis Input 2", FieldKind::Number32, kHysteresis + 4, 4},
    {"Analogue Update Hysteresis Input 3", FieldKind::Number32, kHysteresis + 8, 4},
    {"Analogue Update Hysteresis Input 4", FieldKind::Number32, kHysteresis + 12, 4},
    {"Analogue Update Hysteresis Input 5", FieldKind::Number32, kHysteresis + 16, 4},
    {"Analogue Update Hysteresis Input 6", FieldKind::Number32, kHysteresis + 20, 4},
    {"Analogue Update Hysteresis Input 7", FieldKind::Number32, kHysteresis + 24, 4},
    {"Analogue Update Hysteresis Input 8", FieldKind::Number32, kHysteresis + 28, 4},
    {"Invert Inputs", FieldKind::Channels, offsetof(ConfigRecord, InvertInputs), 16},
    {"Invert Outputs", FieldKind::Channels, offsetof(ConfigRecord, InvertOutputs), 16},
    {"Output Start Status", FieldKind::Channels, offsetof(ConfigRecord, OutputStartStatus), 16},
    {"Reserved byte 51", FieldKind::Reserved, offsetof(ConfigRecord, Reserved51), 1},
    {"Reserved bytes 85 to 87", FieldKind::Reserved, offsetof(ConfigRecord, Reserved85), 3},
    {"Reserved bytes 157 to 159", FieldKind::Reserved, offsetof(ConfigRecord, Reserved157), 3},
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
