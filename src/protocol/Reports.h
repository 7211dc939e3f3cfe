#pragma once
// The unit's 65-byte reports: request letters, the identification reply,
// and the two configuration blocks as the unit sends them (read placement)
// and as it takes them (write placement). Encoders write exactly the bytes
// their request defines and leave every other byte of the report alone:
// the unit receives whatever earlier requests left there.

#include "config/ConfigRecord.h"
#include "device/HidBackend.h"

#include <array>
#include <cstdint>
#include <string>

namespace vantrel {

using Report = std::array<std::uint8_t, kReportSize>;

constexpr std::size_t kBlockImageSize = 48; // image bytes an 'r' reply carries
using BlockImage = std::array<std::uint8_t, kBlockImageSize>;

namespace cmd {
constexpr std::uint8_t Identify = 'S';
constexpr std::uint8_t Erase = 'E';
constexpr std::uint8_t BlockData = 'd';
constexpr std::uint8_t BlockDone = 'D';
constexpr std::uint8_t Finish = 'Z';
constexpr std::uint8_t ReadBlock = 'r';
constexpr std::uint8_t ReadBlockDone = 'R';
constexpr std::uint8_t Mac = 'M';
constexpr std::uint8_t MacRead = 'R';
constexpr std::uint8_t MacWrite = 'W';
} // namespace cmd

// Bytes 2 to 4 of the identification reply name the unit's application.
constexpr std::uint8_t kApplicationCode[3] = {0x00, 0x01, 0x05};

struct IdentReply {
    bool IsOurApplication = false;
    std::int32_t SerialNumber = 0; // bytes 6 to 9, little-endian, signed
    std::string Version;           // bytes 10 onward up to a zero byte (at most to byte 64)
};
IdentReply ParseIdentReply(const Report& reply);

// Image bytes 0 to 47 of an 'r' reply (its bytes 2 to 49).
BlockImage TakeBlockImage(const Report& reply);

// Decodes a block image as the unit sends it into the record's fields of
// that block (0: addresses, flags, numbers and channel masks; 1: names).
// No other field changes.
void DecodeBlock0(const BlockImage& image, ConfigRecord& record);
void DecodeBlock1(const BlockImage& image, ConfigRecord& record);

// Request headers: byte 0 report ID 0, byte 1 the letter, byte 2 the block
// number or second letter where the request has one.
void SetRequest(Report& out, std::uint8_t letter);
void SetRequest(Report& out, std::uint8_t letter, std::uint8_t second);

// 'd' of block 0: header, then image bytes 0 to 43 (report bytes 3 to 46).
void EncodeBlock0Data(Report& out, std::uint8_t blockNumber, const ConfigRecord& record);
// 'd' of block 1: header, the names in report bytes 3 to 49, 0xFF in 51 to 64.
void EncodeBlock1Data(Report& out, std::uint8_t blockNumber, const ConfigRecord& record);
// 'D' of block 0: header and 62 bytes of 0xFF.
void EncodeBlock0Done(Report& out, std::uint8_t blockNumber);
// 'D' of block 1: header only; the payload repeats what 'd' left.
void EncodeBlock1Done(Report& out, std::uint8_t blockNumber);

// "00.04.A3.01.02.0F": six octets, upper-case hex, joined by full stops.
std::string MacAddressText(const std::uint8_t* octets);

} // namespace vantrel
