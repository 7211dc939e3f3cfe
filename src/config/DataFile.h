#pragma once
// The 196-byte configuration data file: a 36-byte header (format version and
// program name) followed by the raw 160-byte configuration record.

#include "config/ConfigRecord.h"

#include <array>
#include <cstdint>
#include <span>

namespace vantrel {

constexpr std::size_t kDataFileHeaderSize = 36;
constexpr std::size_t kDataFileSize = kDataFileHeaderSize + kConfigRecordSize; // 196
constexpr std::int32_t kDataFileVersion = 1;
constexpr char kProgramName[] = "QUORVEX Vantrel";

using DataFileImage = std::array<std::uint8_t, kDataFileSize>;

// The file as the writer stores it: version 1, the program name with its
// zero byte (the rest of the name field zero), then the record byte for byte.
DataFileImage EncodeDataFile(const ConfigRecord& record);

// What a header the load accepts may hold besides the program name: any
// version up to 1, and any bytes in the name field after the name's zero
// (offsets 20 to 35).
constexpr std::size_t kNameTailOffset = 4 + sizeof kProgramName;
constexpr std::size_t kNameTailSize = kDataFileHeaderSize - kNameTailOffset;
struct DataFileHeader {
    std::int32_t Version = kDataFileVersion;
    std::array<std::uint8_t, kNameTailSize> NameTail{};
};

// The file with this header: EncodeDataFile(record) for the default header.
DataFileImage EncodeDataFile(const ConfigRecord& record, const DataFileHeader& header);

// The header of a file that DecodeDataFile accepts.
DataFileHeader DataFileHeaderOf(std::span<const std::uint8_t> file);

enum class DataFileCheck {
    Ok,           // the record has been taken from the file
    Incompatible, // the name field is not the program name
    LaterVersion, // the version is newer than this program reads
    Truncated,    // the file is too short to hold a header and a record
};

// Checks a whole file's bytes and, only when they are acceptable, copies the
// record out of them. The name is checked before the version, so a foreign
// file is always called incompatible. Bytes after offset 195 are ignored.
DataFileCheck DecodeDataFile(std::span<const std::uint8_t> file, ConfigRecord& record);

} // namespace vantrel
