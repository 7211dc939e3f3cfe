#pragma once
// The unit's configuration as one fixed 160-byte record. Its byte image is
// the payload of a data file and the change test compares it byte for byte,
// so every offset below is part of the file format.

#include <bit>
#include <cstddef>
#include <cstdint>
#include <string>
#include <type_traits>

namespace vantrel {

static_assert(std::endian::native == std::endian::little,
              "the record's numbers are stored little-endian, as in memory");

struct ConfigRecord {
    std::uint8_t IPAddr[4];
    std::uint8_t GateWayAddr[4];
    std::uint8_t SubMaskAddr[4];
    std::uint8_t ClientAddr[4];
    std::uint8_t DeviceName[32];
    std::uint8_t DHCPEnable;
    std::uint8_t UseBroadcast;
    std::uint8_t EnableClient;
    std::uint8_t Reserved51;
    std::int32_t Hysteresis[8];
    std::uint8_t ServerTimeout;
    std::uint8_t Reserved85[3];
    std::int32_t ClientPort;
    std::uint8_t UpdatePeriod;
    std::uint8_t InvertInputs[16];
    std::uint8_t InvertOutputs[16];
    std::uint8_t OutputStartStatus[16];
    std::uint8_t EthernetName[16];
    std::uint8_t Reserved157[3];
};

static_assert(std::is_standard_layout_v<ConfigRecord>);
static_assert(std::is_trivially_copyable_v<ConfigRecord>);
static_assert(sizeof(ConfigRecord) == 160);
static_assert(offsetof(ConfigRecord, IPAddr) == 0);
static_assert(offsetof(ConfigRecord, GateWayAddr) == 4);
static_assert(offsetof(ConfigRecord, SubMaskAddr) == 8);
static_assert(offsetof(ConfigRecord, ClientAddr) == 12);
static_assert(offsetof(ConfigRecord, DeviceName) == 16);
static_assert(offsetof(ConfigRecord, DHCPEnable) == 48);
static_assert(offsetof(ConfigRecord, UseBroadcast) == 49);
static_assert(offsetof(ConfigRecord, EnableClient) == 50);
static_assert(offsetof(ConfigRecord, Reserved51) == 51);
static_assert(offsetof(ConfigRecord, Hysteresis) == 52);
static_assert(offsetof(ConfigRecord, ServerTimeout) == 84);
static_assert(offsetof(ConfigRecord, Reserved85) == 85);
static_assert(offsetof(ConfigRecord, ClientPort) == 88);
static_assert(offsetof(ConfigRecord, UpdatePeriod) == 92);
static_assert(offsetof(ConfigRecord, InvertInputs) == 93);
static_assert(offsetof(ConfigRecord, InvertOutputs) == 109);
static_assert(offsetof(ConfigRecord, OutputStartStatus) == 125);
static_assert(offsetof(ConfigRecord, EthernetName) == 141);
static_assert(offsetof(ConfigRecord, Reserved157) == 157);

constexpr std::size_t kConfigRecordSize = sizeof(ConfigRecord);
constexpr std::size_t kDeviceNameChars = 32;   // fills the field, no terminator needed
constexpr std::size_t kEthernetNameChars = 15; // always followed by a zero byte

// Writes the factory defaults into the fields that have one. The target
// address, the reserved bytes and the name bytes after each terminator keep
// what they hold.
void SetDefaults(ConfigRecord& record);

// True when the two records differ in any of their 160 bytes.
bool RecordsDiffer(const ConfigRecord& a, const ConfigRecord& b);

// Stores a name (one byte per character) into a text field of `width` bytes,
// taking at most `maxChars` characters. A terminator follows when there is
// room for it; bytes after the terminator keep their old values.
void StoreName(std::uint8_t* field, std::size_t width, std::size_t maxChars, const std::string& bytes);

// The name held in a text field: its bytes up to the first zero, at most `width`.
std::string LoadName(const std::uint8_t* field, std::size_t width);

} // namespace vantrel
