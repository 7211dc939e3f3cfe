#include "config/ConfigRecord.h"
#include "config/DataFile.h"
#include "config/StrToInt.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <vector>

using namespace vantrel;

namespace {
std::vector<std::uint8_t> Bytes(const ConfigRecord& r)
{
    const auto* p = reinterpret_cast<const std::uint8_t*>(&r);
    return {p, p + sizeof r};
}

// The default record as the unit and the data files know it.
std::vector<std::uint8_t> DefaultRecordImage()
{
    std::vector<std::uint8_t> image(160, 0);
    const std::uint8_t addresses[] = {0xC0, 0xA8, 0x00, 0x06, 0xC0, 0xA8, 0x00, 0x01, 0xFF, 0xFF, 0xFF, 0x00};
    std::memcpy(image.data(), addresses, sizeof addresses);
    std::memcpy(image.data() + 16, "QUORVEX", 7);
    for (int i = 0; i < 8; ++i)
        image[52 + 4 * i + 1] = 0x04;
    const std::uint8_t numbers[] = {0x3C, 0, 0, 0, 0xC4, 0x0B, 0, 0, 0x0A};
    std::memcpy(image.data() + 84, numbers, sizeof numbers);
    std::memcpy(image.data() + 141, "QUORVEX", 7);
    return image;
}
} // namespace

TEST(ConfigRecord, DefaultsOnAFreshRecordMatchTheUnitsImage)
{
    ConfigRecord r{};
    SetDefaults(r);
    EXPECT_EQ(Bytes(r), DefaultRecordImage());
}

TEST(ConfigRecord, DefaultsLeaveTargetAddressReservedBytesAndNameTailsAlone)
{
    ConfigRecord r;
    std::memset(&r, 0xEE, sizeof r);
    SetDefaults(r);
    const auto b = Bytes(r);
    for (int off : {12, 13, 14, 15, 51, 85, 86, 87, 157, 158, 159})
        EXPECT_EQ(b[off], 0xEE) << "offset " << off;
    EXPECT_EQ(b[16 + 8], 0xEE);  // after "QUORVEX\0" of the device name
    EXPECT_EQ(b[141 + 8], 0xEE); // after "QUORVEX\0" of the Ethernet name
    EXPECT_EQ(b[16 + 7], 0);
    EXPECT_EQ(b[141 + 7], 0);
}

TEST(ConfigRecord, ChangeTestSeesEveryByteIncludingReservedOnes)
{
    ConfigRecord a{};
    SetDefaults(a);
    for (std::size_t off = 0; off < sizeof a; ++off) {
        ConfigRecord b = a;
        reinterpret_cast<std::uint8_t*>(&b)[off] ^= 0x01;
        EXPECT_TRUE(RecordsDiffer(a, b)) << "offset " << off;
    }
    EXPECT_FALSE(RecordsDiffer(a, ConfigRecord(a)));
}

struct NameCase {
    const char* name;
    std::size_t width, maxChars;
    std::string before, text;
    std::string expectedField; // the whole field afterwards
};

void PrintTo(const NameCase& c, std::ostream* os)
{
    *os << c.name;
}

class StoreNameTest : public testing::TestWithParam<NameCase> {};

TEST_P(StoreNameTest, WritesTheCharactersAndATerminatorWhenThereIsRoom)
{
    const NameCase& c = GetParam();
    std::vector<std::uint8_t> field(c.before.begin(), c.before.end());
    field.resize(c.width, 0);
    StoreName(field.data(), c.width, c.maxChars, c.text);
    EXPECT_EQ(std::string(field.begin(), field.end()), c.expectedField);
}

INSTANTIATE_TEST_SUITE_P(
    Names, StoreNameTest,
    testing::Values(
        // A 32-character device name fills the field with no terminator.
        NameCase{"Device32", 32, 32, std::string(32, 'x'), std::string(32, 'A'), std::string(32, 'A')},
        // A shorter name over a longer one keeps the old bytes after its zero.
        NameCase{"ShorterOverLonger", 32, 32, "QUORVEX", "AB", std::string("AB\0RVEX", 7) + std::string(25, '\0')},
        // The Ethernet name takes at most 15 characters and always a zero.
        NameCase{"Ethernet16Typed", 16, 15, std::string(16, 'z'), std::string(16, 'E'),
                 std::string(15, 'E') + std::string(1, '\0')},
        NameCase{"EmptyName", 16, 15, "QUORVEX", "", std::string("\0UORVEX", 7) + std::string(9, '\0')}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(ConfigRecord, LoadNameStopsAtTheZeroOrTheFieldWidth)
{
    std::uint8_t full[32];
    std::memset(full, 'N', sizeof full);
    EXPECT_EQ(LoadName(full, 32), std::string(32, 'N'));
    const std::uint8_t shortName[16] = {'A', 'B', 0, 'C'};
    EXPECT_EQ(LoadName(shortName, 16), "AB");
}

struct IntCase {
    const char* text;
    bool converts;
    std::int32_t value;
};

void PrintTo(const IntCase& c, std::ostream* os)
{
    *os << '"' << c.text << '"';
}

// The text spelled as a test name: "$FF" is DollarFF, "-1" Minus1, "" Empty.
std::string IntCaseName(const testing::TestParamInfo<IntCase>& info)
{
    static const std::pair<char, const char*> words[] = {
        {'$', "Dollar"}, {'-', "Minus"}, {'+', "Plus"}, {' ', "Space"}, {'.', "Dot"}};
    std::string name;
    for (const char* p = info.param.text; *p != 0; ++p) {
        const auto word = std::find_if(std::begin(words), std::end(words), [&](const auto& w) { return w.first == *p; });
        name += word != std::end(words) ? std::string(word->second) : std::string(1, *p);
    }
    return name.empty() ? "Empty" : name;
}

class StrToIntTest : public testing::TestWithParam<IntCase> {};

TEST_P(StrToIntTest, ConvertsWholeNumbersOnly)
{
    const IntCase& c = GetParam();
    std::int32_t value = -12345;
    EXPECT_EQ(TryStrToInt(c.text, value), c.converts) << c.text;
    if (c.converts) {
        EXPECT_EQ(value, c.value) << c.text;
    }
}

INSTANTIATE_TEST_SUITE_P(Texts, StrToIntTest,
                         testing::Values(IntCase{"0", true, 0}, IntCase{"255", true, 255}, IntCase{"007", true, 7},
                                         IntCase{"-1", true, -1}, IntCase{"+12", true, 12},
                                         IntCase{"  42", true, 42}, IntCase{"$FF", true, 255},
                                         IntCase{"0x10", true, 16}, IntCase{"$FFFFFFFF", true, -1},
                                         IntCase{"2147483647", true, 2147483647},
                                         IntCase{"-2147483648", true, INT32_MIN}, IntCase{"2147483648", false, 0},
                                         IntCase{"", false, 0}, IntCase{" ", false, 0}, IntCase{"-", false, 0},
                                         IntCase{"12a", false, 0}, IntCase{"1 ", false, 0},
                                         IntCase{"1.5", false, 0}, IntCase{"$", false, 0},
                                         IntCase{"$1FFFFFFFF", false, 0}),
                         IntCaseName);

TEST(StrToInt, FailureNamesTheText)
{
    try {
        StrToInt("12a");
        FAIL() << "no error";
    } catch (const ConversionError& e) {
        EXPECT_STREQ(e.what(), "'12a' is not a valid integer value");
    }
    // A zero byte in the text would end the message there: it shows as U+FFFD.
    try {
        StrToInt(std::string("1\0" "23", 4));
        FAIL() << "no error";
    } catch (const ConversionError& e) {
        EXPECT_STREQ(e.what(), "'1\xEF\xBF\xBD" "23' is not a valid integer value");
    }
}

TEST(StrToInt, OctetsOutsideTheByteAreRefusedNamingTheText)
{
    EXPECT_EQ(StrToOctet("255"), 255);
    EXPECT_EQ(StrToOctet("0"), 0);
    for (const char* text : {"256", "-1", "1000"}) {
        try {
            StrToOctet(text);
            ADD_FAILURE() << text << " accepted";
        } catch (const ConversionError& e) {
            EXPECT_NE(std::string(e.what()).find(std::string("'") + text + "'"), std::string::npos) << e.what();
        }
        EXPECT_FALSE(IsValidOctet(text));
    }
    EXPECT_THROW(StrToOctet("x"), ConversionError);
}

// ---- Data file -------------------------------------------------------------

namespace {
std::vector<std::uint8_t> DefaultFile()
{
    ConfigRecord r{};
    SetDefaults(r);
    const DataFileImage image = EncodeDataFile(r);
    return {image.begin(), image.end()};
}
} // namespace

TEST(DataFile, DefaultFileIsVersionNameAndRecord)
{
    const auto file = DefaultFile();
    ASSERT_EQ(file.size(), 196u);
    EXPECT_EQ(std::vector<std::uint8_t>(file.begin(), file.begin() + 4), (std::vector<std::uint8_t>{1, 0, 0, 0}));
    EXPECT_EQ(std::string(file.begin() + 4, file.begin() + 20), std::string("QUORVEX Vantrel\0", 16));
    EXPECT_EQ(std::vector<std::uint8_t>(file.begin() + 20, file.begin() + 36), std::vector<std::uint8_t>(16, 0));
    EXPECT_EQ(std::vector<std::uint8_t>(file.begin() + 36, file.end()), DefaultRecordImage());
}

struct FileCase {
    const char* name;
    std::function<void(std::vector<std::uint8_t>&)> edit;
    DataFileCheck expected;
};

void PrintTo(const FileCase& c, std::ostream* os)
{
    *os << c.name;
}

class DataFileDecodeTest : public testing::TestWithParam<FileCase> {};

TEST_P(DataFileDecodeTest, ChecksNameThenVersionThenLength)
{
    auto file = DefaultFile();
    file[36] = 10; // a first IP octet the record does not hold yet
    GetParam().edit(file);
    ConfigRecord record{};
    std::memset(&record, 0x5A, sizeof record);
    const ConfigRecord before = record;
    const DataFileCheck result = DecodeDataFile(file, record);
    EXPECT_EQ(result, GetParam().expected);
    if (result == DataFileCheck::Ok)
        EXPECT_EQ(0, std::memcmp(&record, file.data() + 36, 160));
    else
        EXPECT_FALSE(RecordsDiffer(record, before)) << "a refused file changed the record";
}

namespace {
void SetVersion(std::vector<std::uint8_t>& f, std::int32_t v)
{
    std::memcpy(f.data(), &v, 4);
}
} // namespace

INSTANTIATE_TEST_SUITE_P(
    Files, DataFileDecodeTest,
    testing::Values(
        FileCase{"Version1", [](auto&) {}, DataFileCheck::Ok},
        FileCase{"Version0", [](auto& f) { SetVersion(f, 0); }, DataFileCheck::Ok},
        FileCase{"VersionNegative", [](auto& f) { SetVersion(f, -7); }, DataFileCheck::Ok},
        FileCase{"Version2", [](auto& f) { SetVersion(f, 2); }, DataFileCheck::LaterVersion},
        FileCase{"OtherCase", [](auto& f) { f[5] = 'u'; }, DataFileCheck::Incompatible},
        FileCase{"ExtraCharacterBeforeZero", [](auto& f) { f[19] = 'X'; }, DataFileCheck::Incompatible},
        FileCase{"ForeignNameAndLaterVersion",
                 [](auto& f) {
                     f[4] = 'Z';
                     SetVersion(f, 9);
                 },
                 DataFileCheck::Incompatible},
        FileCase{"GarbageAfterNameZeroIsIgnored", [](auto& f) { f[25] = 0x77; }, DataFileCheck::Ok},
        FileCase{"TrailingBytesIgnored", [](auto& f) { f.push_back(1); }, DataFileCheck::Ok},
        FileCase{"ShortRecord", [](auto& f) { f.resize(195); }, DataFileCheck::Truncated},
        FileCase{"HeaderOnly", [](auto& f) { f.resize(36); }, DataFileCheck::Truncated},
        FileCase{"ShortHeader", [](auto& f) { f.resize(20); }, DataFileCheck::Truncated},
        FileCase{"Empty", [](auto& f) { f.clear(); }, DataFileCheck::Truncated},
        FileCase{"ShortAndForeign",
                 [](auto& f) {
                     f[6] = '?';
                     f.resize(100);
                 },
                 DataFileCheck::Incompatible}),
    [](const auto& info) { return std::string(info.param.name); });
