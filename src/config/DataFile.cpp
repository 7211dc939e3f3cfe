#include "config/DataFile.h"

#include <cstring>

namespace vantrel {

namespace {
constexpr std::size_t kNameOffset = 4;
constexpr std::size_t kNameFieldSize = 32;
} // namespace

DataFileImage EncodeDataFile(const ConfigRecord& record)
{
    DataFileImage file{};
    const std::int32_t version = kDataFileVersion;
    std::memcpy(file.data(), &version, sizeof version);
    std::memcpy(file.data() + kNameOffset, kProgramName, sizeof kProgramName);
    std::memcpy(file.data() + kDataFileHeaderSize, &record, sizeof record);
    return file;
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
