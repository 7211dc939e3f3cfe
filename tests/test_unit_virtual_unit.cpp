// quorvex-virtual-unit's own rules, away from the kernel: its options and
// what it does with each request (the kernel side runs in the virtual
// machine tests).

#include "config/DataFile.h"
#include "unit/VirtualUnit.h"
#include "support/UnitHarness.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

using namespace vantrel;

struct ArgsCase {
    const char* name;
    std::vector<std::string> args;
    const char* error; // nullptr: accepted
};

void PrintTo(const ArgsCase& c, std::ostream* os)
{
    *os << c.name;
}

class VirtualUnitArgs : public testing::TestWithParam<ArgsCase> {};

TEST_P(VirtualUnitArgs, AcceptedOrRefusedWithTheOptionNamed)
{
    const ArgsCase& c = GetParam();
    if (c.error == nullptr) {
        EXPECT_NO_THROW(ParseVirtualUnitArgs(c.args));
        return;
    }
    try {
        ParseVirtualUnitArgs(c.args);
        ADD_FAILURE() << "accepted";
    } catch (const std::invalid_argument& e) {
        EXPECT_EQ(std::string(e.what()), c.error);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Options, VirtualUnitArgs,
    testing::Values(
        ArgsCase{"Everything", {"--uhid", "--program-mode", "--serial", "-1", "--firmware-version", "2.0", "--application",
                                "00,01,06", "--mac", "00:04:a3:01:02:0f", "--delay", "5", "--silent-after", "3"}, nullptr},
        ArgsCase{"SerialNotANumber", {"--serial", "12x"},
                 "--serial: '12x' is not a whole number from -2147483648 to 2147483647"},
        ArgsCase{"DelayTooLong", {"--delay", "60001"}, "--delay: '60001' is not a whole number from 0 to 60000"},
        ArgsCase{"MacFiveOctets", {"--mac", "00.04.A3.01.02"},
                 "--mac: '00.04.A3.01.02' is not six hex octets such as 00.04.A3.01.02.0F"},
        ArgsCase{"ApplicationNotHex", {"--application", "00,01,G5"},
                 "--application: '00,01,G5' is not three hex bytes such as 00,01,05"},
        ArgsCase{"VersionTooLong", {"--version", std::string(56, 'v')},
                 "--version: at most 55 characters fit the identification reply"},
        ArgsCase{"MissingValue", {"--config"}, "--config needs a value"},
        ArgsCase{"Unknown", {"--fast"}, "unknown option '--fast' (--help lists them)"}),
    [](const auto& info) { return std::string(info.param.name); });

// "--version TEXT" was the firmware version's option before it became
// --firmware-version; alone it asks for the program's version.
TEST(VirtualUnitArgsVersion, AloneIsTheProgramsWithATextTheFirmwares)
{
    const struct {
        std::vector<std::string> args;
        bool programVersion;
        std::string firmware;
    } cases[] = {
        {{"--version"}, true, "1.05"},
        {{"--version", "--uhid"}, true, "1.05"},
        {{"--version", "2.0"}, false, "2.0"},
        {{"--firmware-version", "-2"}, false, "-2"},
    };
    for (const auto& c : cases) {
        const VirtualUnitOptions o = ParseVirtualUnitArgs(c.args);
        EXPECT_EQ(o.Version, c.programVersion) << c.args[0] << " " << c.args.size();
        EXPECT_EQ(o.Identity.Version, c.firmware) << c.args[0] << " " << c.args.size();
    }
}

TEST(VirtualUnitCore, AnswersTracesKeepsTheStoredConfigurationAndMisbehavesOnce)
{
    QTemporaryDir dir;
    VirtualUnitOptions options = ParseVirtualUnitArgs(
        {"--serial", "7", "--save", dir.filePath(QStringLiteral("kept.dat")).toStdString(), "--unplug-after", "3"});
    EXPECT_EQ(DeviceRevision(options), 0x0006);
    std::ostringstream trace;
    VirtualUnit unit(options, &trace);

    // A write of block 0 followed by its commit: the data file then holds it.
    ConfigRecord record = SampleUnitConfig();
    Report data{}, done{};
    EncodeBlock0Data(data, 0, record);
    EncodeBlock0Done(done, 0);
    const VirtualUnit::Outcome ident = unit.OnRequest(Request({0, 'S'}));
    ASSERT_EQ(ident.What, VirtualUnit::Action::Reply);
    EXPECT_EQ(ParseIdentReply(ident.Reply).SerialNumber, 7);
    unit.OnRequest(data);
    unit.OnRequest(done);
    std::ifstream in(dir.filePath(QStringLiteral("kept.dat")).toStdString(), std::ios::binary);
    const std::vector<std::uint8_t> file{std::istreambuf_iterator<char>(in), {}};
    ConfigRecord kept{};
    ASSERT_EQ(DecodeDataFile(file, kept), DataFileCheck::Ok);
    EXPECT_FALSE(RecordsDiffer(kept, unit.Firmware().StoredConfig()));
    EXPECT_EQ(std::vector<std::uint8_t>(kept.IPAddr, kept.IPAddr + 4), (std::vector<std::uint8_t>{10, 0, 0, 5}));

    // The fourth request unplugs the unit, once; the fifth is answered.
    EXPECT_EQ(unit.OnRequest(Request({0, 'S'})).What, VirtualUnit::Action::Unplug);
    EXPECT_EQ(unit.OnRequest(Request({0, 'S'})).What, VirtualUnit::Action::Reply);

    std::istringstream lines(trace.str());
    std::string first;
    std::getline(lines, first);
    std::string expected = "request 1: 00 53";
    for (int i = 0; i < 63; ++i)
        expected += " 00";
    EXPECT_EQ(first, expected);
}

TEST(VirtualUnitCore, SilentAfterAndARefusedStartingConfiguration)
{
    VirtualUnit quiet(ParseVirtualUnitArgs({"--silent-after", "1"}), nullptr);
    EXPECT_EQ(quiet.OnRequest(Request({0, 'S'})).What, VirtualUnit::Action::Reply);
    EXPECT_EQ(quiet.OnRequest(Request({0, 'S'})).What, VirtualUnit::Action::Silent);

    QTemporaryDir dir;
    const std::string foreign = dir.filePath(QStringLiteral("foreign.dat")).toStdString();
    std::ofstream(foreign, std::ios::binary) << std::string(196, 'x');
    try {
        VirtualUnit unit(ParseVirtualUnitArgs({"--config", foreign}), nullptr);
        ADD_FAILURE() << "a foreign file was taken";
    } catch (const std::runtime_error& e) {
        EXPECT_EQ(std::string(e.what()), foreign + " is not a Vantrel data file");
    }
}
