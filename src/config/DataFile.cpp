#include "config/DataFile.h"

#include <cstring>

namespace vantrel {

namespace {
constexpr std::size_t kNameOffset = 4;
constexpr std::size_t kNameFieldSize = 32;
} // namespace

DataFileImage EncodeDataFile(const ConfigRecord& record)
{
    return EncodeDataFile(record, DataFileHeader{});
}

DataFileImage EncodeDataFile(const ConfigRecord& record, const DataFileHeader& header)
{
    static_assert(kNameTailOffset == kNameOffset + sizeof kProgramName);
    DataFileImage file{};
    std::memcpy(file.data(), &header.Version, sizeof header.Version);
    std::memcpy(file.data() + kNameOffset, kProgramName, sizeof kProgramName);
    std::memcpy(file.data() + kNameTailOffset, header.NameTail.data(), header.NameTail.size());
    std::memcpy(file.data() + kDataFileHeaderSize, &record, sizeof record);
    return file;
}

DataFileHeader DataFileHeaderOf(std::span<const std::uint8_t> file)
{
    DataFileHeader header;
    if (file.size() < kDataFileHeaderSize)
        return header;
    std::memcpy(&header.Version, file.data(), sizeof header.Version);
    std::memcpy(header.NameTail.data(), file.data() + kNameTailOffset, header.NameTail.size());
    return header;
}

DataFileCheck DecodeDataFile(std::span<const std::uint8_t> file, ConfigRecord& record)
{
    if (file.size() < kDataFileHeaderSize)
        return DataFileCheck::Truncated;

    // The name must read "QUORVEX Vantrel" up to its zero byte, exactly.
    static_assert(sizeof kProgramName <= kNameFieldSize);
    if (std::memcmp(file.data() + kNameOffset, kProgramName, sizeof kProgramName) != 0)
        return DataFileCheck::Incompatible;

    std::int32_t version = 0;
    std::memcpy(&version, file.data(), sizeof version);
    if (version > kDataFileVersion)
        return DataFileCheck::LaterVersion;

    if (file.size() < kDataFileSize)
        return DataFileCheck::Truncated;

    std::memcpy(&record, file.data() + kDataFileHeaderSize, sizeof record);
    return DataFileCheck::Ok;
}

} // namespace vantrel
