// The configuration's JSON form, both ways, for any input.
//
// As JSON text: the reader either refuses it with at least one message and
// leaves the document as it was, or accepts it; then the document written
// as JSON reads back as the same document, and that text is the writer's
// fixed point (writing what it reads gives the same text).
//
// As a data file (the input's first 196 bytes, zeros after a shorter one,
// with the program name put in and a version the load takes): written as
// JSON and read back, it is the same 196 bytes, and its JSON text again.

#include "FuzzCheck.h"
#include "config/ConfigJson.h"
#include "config/DataFile.h"

#include <algorithm>
#include <cstring>

using namespace vantrel;

namespace {

bool SameDocument(const ConfigDocument& a, const ConfigDocument& b)
{
    return EncodeDataFile(a.Record, a.Header) == EncodeDataFile(b.Record, b.Header);
}

void AsJson(const std::uint8_t* data, std::size_t size)
{
    ConfigDocument untouched;
    std::memset(&untouched.Record, 0xA5, sizeof untouched.Record);
    ConfigDocument document = untouched;
    QStringList errors;
    const bool accepted = ConfigFromJson(QByteArrayView(data, qsizetype(size)), document, errors);
    if (!accepted) {
        FUZZ_CHECK(!errors.isEmpty());
        FUZZ_CHECK(SameDocument(document, untouched));
        return;
    }
    FUZZ_CHECK(errors.isEmpty());
    const QByteArray text = ConfigToJson(document);
    ConfigDocument again;
    FUZZ_CHECK(ConfigFromJson(text, again, errors));
    FUZZ_CHECK(SameDocument(again, document));
    FUZZ_CHECK(ConfigToJson(again) == text);
}

void AsDataFile(const std::uint8_t* data, std::size_t size)
{
    DataFileImage file{};
    std::copy_n(data, std::min(size, file.size()), file.begin());
    std::memcpy(file.data() + 4, kProgramName, sizeof kProgramName);
    std::int32_t version = 0;
    std::memcpy(&version, file.data(), sizeof version);
    if (version > kDataFileVersion) {
        version = kDataFileVersion;
        std::memcpy(file.data(), &version, sizeof version);
    }
    ConfigDocument document;
    FUZZ_CHECK(DecodeDataFile(file, document.Record) == DataFileCheck::Ok);
    document.Header = DataFileHeaderOf(file);
    const QByteArray text = ConfigToJson(document);
    ConfigDocument back;
    QStringList errors;
    FUZZ_CHECK(ConfigFromJson(text, back, errors));
    FUZZ_CHECK(EncodeDataFile(back.Record, back.Header) == file);
    FUZZ_CHECK(ConfigToJson(back) == text);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    AsJson(data, size);
    AsDataFile(data, size);
    return 0;
}
