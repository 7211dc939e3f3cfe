// vantrel-cli's refusals name what is wrong and where: the option or the
// file's field, and the value, after the window's own lines; and `new`
// gives a configuration that write takes as it is.

#include "cli/Cli.h"
#include "cli/CliSupport.h"
#include "config/ConfigJson.h"
#include "protocol/Reports.h"
#include "support/CliHarness.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <gtest/gtest.h>

#include <functional>

using namespace vantrel;
using vantrel::cli::FactoryRecord;
using vantrel::cli::LoadConfig;

namespace {

QString S(const char* text)
{
    return QString::fromUtf8(text);
}

// The unit's own configuration in the JSON form, one field changed.
QByteArray PumpJson(const char* key = nullptr, const QJsonValue& value = {})
{
    QJsonObject object = QJsonDocument::fromJson(ConfigToJson(ConfigDocument{SampleUnitConfig(), {}})).object();
    if (key)
        object.insert(S(key), value);
    return QJsonDocument(object).toJson();
}

std::function<void(CliHarness&)> Pump(const char* key = nullptr, const QJsonValue& value = {})
{
    return [=](CliHarness& h) { WriteFile(h.Path("pump.json"), PumpJson(key, value)); };
}

std::function<void(CliHarness&)> MacFile(const char* text)
{
    return [=](CliHarness& h) { WriteFile(h.MacFile, text); };
}

struct MessageCase {
    const char* name;
    std::function<void(CliHarness&)> setUp;
    std::vector<const char*> args; // "$dir/" starts a path in the test's folder
    CliExit code;
    const char* err; // the whole error stream
};

void PrintTo(const MessageCase& c, std::ostream* os)
{
    *os << c.name;
}

class CliMessages : public testing::TestWithParam<MessageCase> {};

TEST_P(CliMessages, NameTheOptionOrFieldAndTheValue)
{
    const MessageCase& c = GetParam();
    CliHarness h;
    const auto unit = h.AddUnit();
    c.setUp(h);
    const auto inDir = [&](const char* text) {
        return S(text).replace(S("$dir/"), h.Dir.path() + QLatin1Char('/'));
    };
    QStringList args;
    for (const char* a : c.args)
        args << inDir(a);
    const CliRun run = h.Run(args);
    EXPECT_EQ(run.Code, int(c.code)) << testing::PrintToString(run);
    EXPECT_EQ(run.Err, inDir(c.err));
    EXPECT_EQ(unit->ReceivedCount(), 0u);
}

#define ADDRESS_FORM " (four whole numbers from 0 to 255 separated by dots)\n"
#define WINDOW_LIMIT " (what the window allows)\n"

const MessageCase kWriteAndCommission[] = {
    {"WriteIp", Pump(), {"write", "$dir/pump.json", "--ip", "10.0.0.300"}, CliExit::Usage,
     "Invalid IP Address\nThere are errors\n--ip: '10.0.0.300' is not an IP address" ADDRESS_FORM},
    {"WriteGatewayAndMask", Pump(), {"write", "$dir/pump.json", "--gateway", "10.0.0.x", "--mask", "255.255.255"},
     CliExit::Usage,
     "Invalid Gateway Address\nInvalid Submask\nThere are errors\n"
     "--gateway: '10.0.0.x' is not an IP address" ADDRESS_FORM "--mask: '255.255.255' is not a submask" ADDRESS_FORM},
    {"WriteTarget", Pump(), {"write", "$dir/pump.json", "--target", "-1.2.3.4"}, CliExit::Usage,
     "Invalid Target Address\nThere are errors\n--target: '-1.2.3.4' is not an IP address" ADDRESS_FORM},
    {"WritePortOption", Pump(), {"write", "$dir/pump.json", "--port", "70000"}, CliExit::Usage,
     "--port: '70000' is not a whole number from 1 to 65535\n"},
    {"WritePortInTheFile", Pump("portNumber", 70000), {"write", "$dir/pump.json"}, CliExit::BadFile,
     "$dir/pump.json: portNumber (Port Number): 70000 is not a whole number from 1 to 65535" WINDOW_LIMIT},
    {"WritePeriodInTheFile", Pump("updatePeriod", 0), {"write", "$dir/pump.json"}, CliExit::BadFile,
     "$dir/pump.json: updatePeriod (Update Period): 0 is not a whole number from 1 to 255" WINDOW_LIMIT},
    {"WriteHysteresisInTheFile", Pump("hysteresis", QJsonArray{0, 0, 0, 0, 0, 0, 0, -1}),
     {"write", "$dir/pump.json"}, CliExit::BadFile,
     "$dir/pump.json: hysteresis[7] (Analogue Update Hysteresis Input 8): -1 is not a whole number from 0 to 1024"
         WINDOW_LIMIT},
    {"CommissionIpFrom", Pump(),
     {"commission", "--config", "$dir/pump.json", "--ip-from", "10.0.0.300", "--record", "$dir/r.csv"},
     CliExit::Usage, "Invalid IP Address\nThere are errors\n--ip-from: '10.0.0.300' is not an IP address" ADDRESS_FORM},
    {"CommissionPortInTheFile", Pump("portNumber", 0),
     {"commission", "--config", "$dir/pump.json", "--ip-from", "10.0.0.30", "--record", "$dir/r.csv"},
     CliExit::BadFile,
     "$dir/pump.json: portNumber (Port Number): 0 is not a whole number from 1 to 65535" WINDOW_LIMIT},
};
INSTANTIATE_TEST_SUITE_P(WriteAndCommission, CliMessages, testing::ValuesIn(kWriteAndCommission),
                         [](const auto& info) { return std::string(info.param.name); });

const MessageCase kMac[] = {
    {"LineOfTheFile", MacFile("0F\n1E\n2D\nG1\n4B\n5A\n"), {"mac", "01", "02"}, CliExit::BadFile,
     "Invalid MAC octet: 'G1'\n$dir/SetFullMACAddress.txt, line 4\n"},
    {"FirstOctetsLine", MacFile("0F\n1E\n2D\n3C\n4B\nZ5\n"), {"mac", "01", "02"}, CliExit::BadFile,
     "Invalid MAC octet: 'Z5'\n$dir/SetFullMACAddress.txt, line 6\n"},
    {"NextLine", MacFile("0F\nx1\n2D\n3C\n4B\n5A\n"), {"mac", "--next"}, CliExit::BadFile,
     "Invalid MAC octet: 'x1'\n$dir/SetFullMACAddress.txt, line 2\n"},
    {"OctetFiveGiven", MacFile("0F\n1E\n2D\n3C\n4B\n5A\n"), {"mac", "G1", "02"}, CliExit::Usage,
     "Invalid MAC octet: 'G1'\noctet 5 (XX)\n"},
    {"OctetSixGiven", MacFile("0F\n1E\n2D\n3C\n4B\n5A\n"), {"mac", "01", "0F5"}, CliExit::Usage,
     "Invalid MAC octet: '0F5'\noctet 6 (YY)\n"},
};
INSTANTIATE_TEST_SUITE_P(Mac, CliMessages, testing::ValuesIn(kMac),
                         [](const auto& info) { return std::string(info.param.name); });

// A data file converts to JSON whatever its bytes; a hand-written JSON file
// is converted too (a .dat of any bytes comes back from its JSON), and told
// what write refuses.
const MessageCase kConvert[] = {
    {"JsonPortOutsideTheWindowsRange", Pump("portNumber", 70000), {"convert", "$dir/pump.json", "$dir/pump.dat"},
     CliExit::Success,
     "$dir/pump.json: portNumber (Port Number): 70000 is not a whole number from 1 to 65535" WINDOW_LIMIT
     "Converted as it is; vantrel-cli write refuses these values.\n"},
    {"JsonEthernetNameTooLong", Pump("ethernetName", S("0123456789ABCDEF")),
     {"convert", "$dir/pump.json", "$dir/pump.dat"}, CliExit::Success,
     "$dir/pump.json: ethernetName (Ethernet Name): \"0123456789ABCDEF\" is longer than 15 characters" WINDOW_LIMIT
     "Converted as it is; vantrel-cli write refuses these values.\n"},
};
INSTANTIATE_TEST_SUITE_P(Convert, CliMessages, testing::ValuesIn(kConvert),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(CliConvert, ADataFileOutsideTheWindowsRangesStillConvertsToJson)
{
    CliHarness h;
    ConfigRecord wide = SampleUnitConfig();
    wide.ClientPort = 70000;
    const DataFileImage image = EncodeDataFile(wide, {});
    WriteFile(h.Path("wide.dat"), QByteArray(reinterpret_cast<const char*>(image.data()), qsizetype(image.size())));
    const CliRun run = h.Run({S("convert"), h.Path("wide.dat"), h.Path("wide.json")});
    EXPECT_EQ(run.Code, 0) << testing::PrintToString(run);
    EXPECT_EQ(ReadFile(h.Path("wide.json")), ConfigToJson(ConfigDocument{wide, {}}));
}

// ---- new ---------------------------------------------------------------------------------

TEST(CliNew, WritesTheWindowsStartValuesThatWriteTakesAsTheyAre)
{
    CliHarness h;
    const auto unit = h.AddUnit();
    const CliRun made = h.Run({S("new"), h.Path("start.json")});
    ASSERT_EQ(made.Code, 0) << testing::PrintToString(made);
    EXPECT_EQ(made.Out, S("Written: ") + h.Path("start.json") + '\n');
    EXPECT_EQ(ReadFile(h.Path("start.json")), ConfigToJson(ConfigDocument{FactoryRecord(), {}}));

    const CliRun written = h.Run({S("write"), h.Path("start.json")});
    ASSERT_EQ(written.Code, 0) << testing::PrintToString(written);
    EXPECT_FALSE(RecordsDiffer(unit->StoredConfig(), ReadBackOf(FactoryRecord(), ConfigRecord{})));

    ASSERT_EQ(h.Run({S("new"), h.Path("start.DAT")}).Code, 0);
    EXPECT_FALSE(RecordsDiffer(LoadConfig(h.Path("start.DAT")).Record, FactoryRecord()));
}

TEST(CliNew, LeavesAnExistingFileAsItIsUnlessForced)
{
    CliHarness h;
    WriteFile(h.Path("site.json"), "mine");
    const CliRun refused = h.Run({S("new"), h.Path("site.json")});
    EXPECT_EQ(refused.Code, int(CliExit::Usage));
    EXPECT_EQ(refused.Err, h.Path("site.json") + S(" already exists; nothing was written. Give --force to replace it.\n"));
    EXPECT_EQ(ReadFile(h.Path("site.json")), QByteArray("mine"));

    EXPECT_EQ(h.Run({S("new"), h.Path("site.json"), S("--force")}).Code, 0);
    EXPECT_EQ(ReadFile(h.Path("site.json")), ConfigToJson(ConfigDocument{FactoryRecord(), {}}));

    const CliRun noFolder = h.Run({S("new"), h.Path("no/site.json")});
    EXPECT_EQ(noFolder.Code, int(CliExit::Failure));
    EXPECT_TRUE(noFolder.Err.startsWith(S("Cannot write ") + h.Path("no/site.json"))) << testing::PrintToString(noFolder);
    const CliRun badName = h.Run({S("new"), h.Path("site.txt")});
    EXPECT_EQ(badName.Code, int(CliExit::Usage));
    EXPECT_FALSE(QFileInfo::exists(h.Path("site.txt")));
}

} // namespace
