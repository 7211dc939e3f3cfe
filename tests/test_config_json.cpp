// The JSON form of a configuration: every data file comes back byte for
// byte and every JSON text too, the window's configuration reads plainly,
// and bad values and texts are refused naming the field, the value and the
// range.

#include "config/ConfigJson.h"
#include "config/DataFile.h"
#include "support/CliHarness.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <gtest/gtest.h>

#include <cstring>
#include <random>

using namespace vantrel;

namespace {
DataFileImage RandomDataFile(std::mt19937& random)
{
    DataFileImage file{};
    for (auto& b : file)
        b = std::uint8_t(random());
    std::memcpy(file.data() + 4, kProgramName, sizeof kProgramName);
    std::int32_t version = 1;
    switch (random() % 4) {
    case 0:
        version = std::int32_t(random() | 0x80000000u); // negative
        break;
    case 1:
        version = 0;
        break;
    default:
        break;
    }
    std::memcpy(file.data(), &version, 4);
    if (random() % 2)
        std::fill(file.begin() + kNameTailOffset, file.begin() + kDataFileHeaderSize, 0);
    // Most records look like the window's; the rest are any bytes at all.
    if (random() % 3 == 0)
        return file;
    ConfigRecord r{};
    std::memcpy(&r, file.data() + kDataFileHeaderSize, sizeof r);
    for (std::uint8_t* flags : {r.InvertInputs, r.InvertOutputs, r.OutputStartStatus})
        for (int c = 0; c < 16; ++c)
            flags[c] &= 1;
    r.DHCPEnable &= 1, r.UseBroadcast &= 1, r.EnableClient &= 1;
    for (auto& h : r.Hysteresis)
        h = std::int32_t(random() % 1025);
    StoreName(r.DeviceName, 32, 32, std::string(random() % 33, char('A' + random() % 26)));
    const std::size_t n = random() % 16;
    std::memset(r.EthernetName, 0, 16);
    std::memset(r.EthernetName, 'e', n);
    std::memcpy(file.data() + kDataFileHeaderSize, &r, sizeof r);
    return file;
}

QByteArray JsonOf(const DataFileImage& file)
{
    ConfigDocument document;
    EXPECT_EQ(DecodeDataFile(file, document.Record), DataFileCheck::Ok);
    document.Header = DataFileHeaderOf(file);
    return ConfigToJson(document);
}

DataFileImage DatOf(const QByteArray& json)
{
    ConfigDocument document;
    QStringList errors;
    EXPECT_TRUE(ConfigFromJson(json, document, errors)) << errors.join('\n').toStdString() << "\n" << json.toStdString();
    return EncodeDataFile(document.Record, document.Header);
}

std::string FileHex(const DataFileImage& file)
{
    return QByteArray(reinterpret_cast<const char*>(file.data()), qsizetype(file.size())).toHex(' ').toStdString();
}
} // namespace

TEST(ConfigJson, EveryDataFileComesBackByteForByteAndEveryJsonTextToo)
{
    std::vector<DataFileImage> files;
    // Edge cases: nothing but zeros or 0xFF, names without an end, flag
    // bytes other than 0 and 1, the widest numbers, JSON's own escapes.
    for (std::uint8_t fill : {0x00, 0x01, 0x7F, 0xFF}) {
        DataFileImage file;
        file.fill(fill);
        std::memcpy(file.data() + 4, kProgramName, sizeof kProgramName);
        const std::int32_t version = fill == 0xFF ? INT_MIN : fill == 0x01 ? 1 : 0;
        std::memcpy(file.data(), &version, 4);
        files.push_back(file);
    }
    ConfigRecord r = SiteConfig();
    StoreName(r.DeviceName, 32, 32, "\"quoted\" \\ / \x01\x1F \xE9\xFF end");
    StoreName(r.EthernetName, 16, 16, "sixteen chars 16");
    r.Hysteresis[0] = INT_MIN, r.Hysteresis[1] = INT_MAX, r.ClientPort = -1;
    r.EnableClient = 2, r.InvertOutputs[3] = 0x80;
    files.push_back(EncodeDataFile(r));

    std::mt19937 random(20261207);
    for (int i = 0; i < 3000; ++i)
        files.push_back(RandomDataFile(random));

    for (const DataFileImage& file : files) {
        const QByteArray json = JsonOf(file);
        const DataFileImage back = DatOf(json);
        ASSERT_EQ(FileHex(back), FileHex(file)) << json.toStdString();
        ASSERT_EQ(JsonOf(back), json);
    }
}

TEST(ConfigJson, TheWindowsConfigurationReadsPlainly)
{
    ConfigDocument document;
    document.Record = SampleUnitConfig();
    EXPECT_EQ(ConfigToJson(document), QByteArray("{\n"
                                                 "  \"ipAddress\": \"10.0.0.5\",\n"
                                                 "  \"gatewayAddress\": \"192.168.0.1\",\n"
                                                 "  \"submask\": \"255.255.255.0\",\n"
                                                 "  \"getAddressAutomatically\": false,\n"
                                                 "  \"deviceName\": \"Pump house\",\n"
                                                 "  \"ethernetName\": \"ETH-PUMP-000001\",\n"
                                                 "  \"portNumber\": 502,\n"
                                                 "  \"targetIpAddress\": \"172.0.0.9\",\n"
                                                 "  \"enableClient\": true,\n"
                                                 "  \"useBroadcastAddress\": true,\n"
                                                 "  \"updatePeriod\": 15,\n"
                                                 "  \"timeout\": 30,\n"
                                                 "  \"hysteresis\": [300, 1024, 1024, 1024, 1024, 1024, 1024, 7],\n"
                                                 "  \"invertInputs\": [1, 16],\n"
                                                 "  \"invertOutputs\": [],\n"
                                                 "  \"outputStartStatus\": [9],\n"
                                                 "  \"reserved\": \"00 00 00 00 00 00 00\"\n"
                                                 "}\n"));
    // The extra fields appear only when needed.
    document.Record.UseBroadcast = 3;
    StoreName(document.Record.EthernetName, 16, 15, "ETH"); // the rest of the old name after its end
    document.Record.InvertOutputs[0] = 2;
    document.Header.Version = 0;
    document.Header.NameTail[15] = 0xAB;
    const QJsonObject object = QJsonDocument::fromJson(ConfigToJson(document)).object();
    EXPECT_EQ(object.value(QStringLiteral("useBroadcastAddressByte")).toInt(), 3);
    EXPECT_EQ(object.value(QStringLiteral("ethernetNameBytes")).toString(),
              QStringLiteral("45 54 48 00 50 55 4D 50 2D 30 30 30 30 30 31 00"));
    EXPECT_EQ(object.value(QStringLiteral("ethernetName")).toString(), QStringLiteral("ETH"));
    EXPECT_EQ(object.value(QStringLiteral("invertOutputsBytes")).toString(),
              QStringLiteral("02 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00"));
    EXPECT_EQ(object.value(QStringLiteral("dataFileVersion")).toInt(), 0);
    EXPECT_EQ(object.value(QStringLiteral("dataFileNameTail")).toString(),
              QStringLiteral("00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 AB"));
    EXPECT_EQ(object.size(), 22);
}

struct JsonErrorCase {
    const char* name;
    std::function<void(QJsonObject&)> change;
    const char* error;
};

void PrintTo(const JsonErrorCase& c, std::ostream* os)
{
    *os << c.name;
}

class JsonErrors : public testing::TestWithParam<JsonErrorCase> {};

TEST_P(JsonErrors, NameTheFieldTheValueAndTheRange)
{
    if (std::string(GetParam().name) == "NameCharacter")
        SKIP_ON_WINDOWS("Latin-1 stands in for the ANSI code page off Windows only");
    ConfigDocument document;
    document.Record = SampleUnitConfig();
    QJsonObject object = QJsonDocument::fromJson(ConfigToJson(document)).object();
    GetParam().change(object);
    ConfigDocument read;
    read.Record.ClientPort = 99;
    QStringList errors;
    EXPECT_FALSE(ConfigFromJson(QJsonDocument(object).toJson(), read, errors));
    EXPECT_EQ(errors, QStringList{QString::fromUtf8(GetParam().error)});
    EXPECT_EQ(read.Record.ClientPort, 99); // untouched
}

namespace {
std::function<void(QJsonObject&)> Set(const char* key, QJsonValue value)
{
    return [key, value](QJsonObject& o) { o.insert(QLatin1String(key), value); };
}
} // namespace

INSTANTIATE_TEST_SUITE_P(
    Table, JsonErrors,
    testing::Values(
        JsonErrorCase{"Address", Set("ipAddress", S("10.0.0.300")),
                      "ipAddress: \"10.0.0.300\" is not a dotted address of four numbers from 0 to 255"},
        JsonErrorCase{"AddressNotText", Set("submask", 255),
                      "submask: 255 is not a dotted address of four numbers from 0 to 255"},
        JsonErrorCase{"Hysteresis", Set("hysteresis", QJsonArray{0, 0, 0, 3000000000.0, 0, 0, 0, 0}),
                      "hysteresis[3]: 3000000000 is not a whole number from -2147483648 to 2147483647"},
        JsonErrorCase{"HysteresisCount", Set("hysteresis", QJsonArray{1, 2}),
                      "hysteresis: [1,2] is not a list of 8 whole numbers"},
        JsonErrorCase{"PortAsText", Set("portNumber", S("502")),
                      "portNumber: \"502\" is not a whole number from -2147483648 to 2147483647"},
        JsonErrorCase{"Timeout", Set("timeout", 256), "timeout: 256 is not a whole number from 0 to 255"},
        JsonErrorCase{"PeriodFraction", Set("updatePeriod", 1.5), "updatePeriod: 1.5 is not a whole number from 0 to 255"},
        JsonErrorCase{"Flag", Set("enableClient", S("yes")), "enableClient: \"yes\" is not true or false"},
        JsonErrorCase{"Channel", Set("invertInputs", QJsonArray{1, 17}),
                      "invertInputs[1]: 17 is not a channel number from 1 to 16"},
        JsonErrorCase{"ChannelTwice", Set("outputStartStatus", QJsonArray{3, 3}),
                      "outputStartStatus: channel 3 is listed twice"},
        JsonErrorCase{"NameLength", Set("deviceName", S("123456789012345678901234567890123")),
                      "deviceName: \"123456789012345678901234567890123\" is longer than 32 characters"},
        JsonErrorCase{"NameCharacter", Set("ethernetName", QString::fromUtf8("\xCE\xA9")),
                      "ethernetName: \"\xCE\xA9\" holds a character the unit's one-byte text cannot carry (Latin-1)"},
        JsonErrorCase{"NameZero", Set("ethernetName", QString(QChar(0))),
                      "ethernetName: \"\\u0000\" holds a zero character"},
        JsonErrorCase{"Reserved", Set("reserved", S("00")),
                      "reserved: \"00\" is not 7 bytes in hexadecimal, two digits each (record bytes 51, 85 to 87 "
                      "and 157 to 159)"},
        JsonErrorCase{"Missing", [](QJsonObject& o) { o.remove(S("submask")); }, "submask: missing"},
        JsonErrorCase{"Unknown", Set("subnetMask", S("255.0.0.0")), "subnetMask: unknown field"},
        JsonErrorCase{"FlagByte", Set("getAddressAutomaticallyByte", 2),
                      "getAddressAutomaticallyByte: 2 does not match getAddressAutomatically: false"},
        JsonErrorCase{"NameBytes", Set("deviceNameBytes", S("41 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 "
                                                            "00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00")),
                      "deviceName: \"Pump house\" does not match deviceNameBytes, which hold \"A\""},
        JsonErrorCase{"ChannelBytes", Set("invertInputsBytes", S("02 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00")),
                      "invertInputsBytes: \"02 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00\" does not match "
                      "invertInputs: [1,16]"},
        JsonErrorCase{"LaterVersion", Set("dataFileVersion", 2),
                      "dataFileVersion: 2 is not a whole number from -2147483648 to 1"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(ConfigJson, TextProblemsAndKeysGivenTwice)
{
    ConfigDocument document;
    QStringList errors;
    const QByteArray valid = ConfigToJson(document);
    QByteArray twice = valid;
    twice.replace("{\n", "{\n  \"t\\u0069meout\": 5,\n");
    EXPECT_FALSE(ConfigFromJson(twice, document, errors));
    EXPECT_EQ(errors, QStringList{S("timeout: given more than once")});
    EXPECT_FALSE(ConfigFromJson("", document, errors));
    EXPECT_EQ(errors, QStringList{S("not valid JSON: illegal value at byte 0")});
    EXPECT_TRUE(ConfigFromJson("\xEF\xBB\xBF" + valid, document, errors)); // a UTF-8 mark is fine
}

