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

// What the unit sends back, in an 'r' reply, of a block it stored from the
// image bytes of a 'd' request (`written`, image bytes 0 to 47): the same
// bytes, but in block 0 the timeout and the period trade places.
BlockImage ReadPlacement(int block, const std::uint8_t* written);

// What a read gives back from two blocks stored from 'd' requests (their
// image bytes, write placement): `base` with the fields a read carries
// replaced, as the read exchange decodes them.
ConfigRecord DecodeWrittenBlocks(const std::uint8_t* block0, const std::uint8_t* block1, ConfigRecord base);

// What a read gives back once `written` has been written: its two blocks
// encoded as the write sends them, then decoded as DecodeWrittenBlocks does.
// Flags come back as 0 or 1, hysteresis and port as their low 16 bits,
// timeout and period as they are, the device name as at most 31 bytes and
// a zero, the Ethernet name as at most 15 bytes and a zero.
ConfigRecord ReadBackOf(const ConfigRecord& written, const ConfigRecord& base);

// "00.04.A3.01.02.0F": six octets, upper-case hex, joined by full stops.
std::string MacAddressText(const std::uint8_t* octets);

} // namespace vantrel
