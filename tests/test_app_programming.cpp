// Programming the unit: the address check, the write exchange, the MAC
// allocation file with its write-back and "Send New MAC".

#include "mac/MacAllocation.h"
#include "support/UnitHarness.h"

#include <QDir>
#include <QFile>
#include <QLockFile>

#include <gtest/gtest.h>

#include <cstring>
#include <thread>

using namespace vantrel;

namespace {

Report Bytes(std::initializer_list<std::pair<int, std::uint8_t>> at, Report base = {})
{
    for (auto [i, v] : at)
        base[std::size_t(i)] = v;
    return base;
}
} // namespace

// ---- Address check ------------------------------------------------------------------

struct CheckCase {
    const char* name;
    std::vector<std::pair<const char*, const char*>> texts;
    bool dhcp, client;
    QStringList log;
};

void PrintTo(const CheckCase& c, std::ostream* os)
{
    *os << c.name;
}

class AddressCheck : public testing::TestWithParam<CheckCase> {};

TEST_P(AddressCheck, LogsOneLinePerFailingGroupAndSendsNothing)
{
    const CheckCase& c = GetParam();
    UnitHarness h;
    auto unit = h.AddUnit();
    h.Create();
    h.Box(S("DHCPEnableJvCheckBox"))->setChecked(c.dhcp);
    h.Box(S("EnableClientJvCheckBox"))->setChecked(c.client);
    for (auto [edit, text] : c.texts)
        h.SetText(S(edit), S(text));
    const auto before = h.Form->Record();
    EXPECT_EQ(h.Form->CheckAddresses(), c.log.isEmpty());
    EXPECT_EQ(h.LogLines(), c.log);
    h.Click(S("ClearButton"));
    h.Click(S("WriteButton"));
    if (!c.log.isEmpty()) {
        EXPECT_EQ(h.Dialogs.BoxTexts(), std::vector<QString>{S("There are errors")});
        EXPECT_EQ(h.LogLines(), c.log);
        EXPECT_EQ(unit->ReceivedCount(), 0u);
        EXPECT_EQ(std::memcmp(&before, &h.Form->Record(), sizeof before), 0);
    } else {
        ASSERT_TRUE(h.WaitForBox(S("Download Complete")));
    }
}

INSTANTIATE_TEST_SUITE_P(
    Groups, AddressCheck,
    testing::Values(
        CheckCase{"AllValid", {}, false, false, {}},
        CheckCase{"EmptyGateway", {{"GateWayAddr3Edit", ""}}, false, false, {S("Invalid Gateway Address")}},
        CheckCase{"TwoBadInOneGroup", {{"SubMaskAddr1Edit", "x"}, {"SubMaskAddr4Edit", "y"}}, false, false,
                  {S("Invalid Submask")}},
        CheckCase{"ThreeGroups",
                  {{"IPAddr2Edit", "a"}, {"GateWayAddr1Edit", "256"}, {"SubMaskAddr4Edit", "-1"}},
                  false,
                  false,
                  {S("Invalid IP Address"), S("Invalid Gateway Address"), S("Invalid Submask")}},
        CheckCase{"DhcpSkipsIp", {{"IPAddr1Edit", "abc"}}, true, false, {}},
        CheckCase{"TargetCheckedWhenClientEnabled", {{"ClientAddr3Edit", "9x"}}, false, true,
                  {S("Invalid Target Address")}},
        CheckCase{"TargetIgnoredWhenClientDisabled", {{"ClientAddr3Edit", "9x"}}, false, false, {}}),
    [](const auto& info) { return std::string(info.param.name); });

// ---- Write exchange ---------------------------------------------------------------------

namespace {
// The seven requests for the default configuration, leftovers included.
std::vector<Report> DefaultWriteRequests()
{
    Report s = Bytes({{1, 'S'}});
    Report e = Bytes({{1, 'E'}});
    Report d0 = Bytes({{1, 'd'}, {2, 0}, {3, 0x55}, {4, 0xC0}, {5, 0xA8}, {6, 0}, {7, 6}, {8, 0xC0}, {9, 0xA8},
                       {10, 0}, {11, 1}, {12, 0xFF}, {13, 0xFF}, {14, 0xFF}, {15, 0}, {37, 10}, {38, 0x0B},
                       {39, 0xC4}, {40, 60}});
    for (int n = 0; n < 8; ++n)
        d0[std::size_t(21 + 2 * n)] = 0x04; // 1024 high byte first
    Report D0 = d0;
    D0[1] = 'D';
    std::fill(D0.begin() + 3, D0.end(), std::uint8_t{0xFF});
    Report d1 = D0;
    d1[1] = 'd';
    d1[2] = 1;
    std::fill(d1.begin() + 3, d1.begin() + 50, std::uint8_t{0});
    std::memcpy(d1.data() + 3, "QUORVEX", 7);
    std::memcpy(d1.data() + 35, "QUORVEX", 7);
    Report D1 = d1;
    D1[1] = 'D';
    Report z = D1;
    z[1] = 'Z';
    return {s, e, d0, D0, d1, D1, z};
}
} // namespace

TEST(WriteExchange, DefaultConfigurationGoesOutByteForByte)
{
    UnitHarness h;
    auto unit = h.AddUnit();
    h.Create();
    QStringList logAtBox;
    h.Dialogs.OnBox = [&](const ShownBox&) { logAtBox = h.LogLines(); };
    h.Click(S("WriteButton"));
    ASSERT_TRUE(h.WaitForBox(S("Download Complete")));
    ASSERT_TRUE(h.WaitForState(Awaiting::Nothing));
    EXPECT_EQ(h.Dialogs.Boxes[0].Type, MsgType::Information);
    EXPECT_EQ(logAtBox, (QStringList{S("Appware Version:1.05"), S("Serial Number: 4711"), S("Data downloaded")}));
    const auto expected = DefaultWriteRequests();
    const auto sent = unit->Received();
    ASSERT_EQ(sent.size(), expected.size());
    for (std::size_t i = 0; i < sent.size(); ++i)
        EXPECT_EQ(Hex(sent[i]), Hex(expected[i])) << "request " << i;
    EXPECT_FALSE(h.Form->ConfigChanged()); // the write takes no snapshot and changes nothing
}

TEST(WriteExchange, ChannelsNamesAndNumbersInTheWritePlacement)
{
    UnitHarness h;
    auto unit = h.AddUnit();
    h.Create();
    h.Box(S("InvertInputsJvCheckBox1"))->setChecked(true);
    h.Box(S("InvertInputsJvCheckBox16"))->setChecked(true);
    h.SetText(S("DeviceNameEdit"), QString(32, QLatin1Char('N')));
    h.SetText(S("EthernetNameEdit"), QString(15, QLatin1Char('E')));
    h.Spin(S("UpdatePeriodCSpinEdit"))->setValue(10);
    h.Spin(S("ServerTimeoutCSpinEdit"))->setValue(60);
    h.Click(S("WriteButton"));
    ASSERT_TRUE(h.WaitForBox(S("Download Complete")));
    const auto sent = unit->Received();
    ASSERT_EQ(sent.size(), 7u);
    EXPECT_EQ(sent[2][41], 0x80);
    EXPECT_EQ(sent[2][42], 0x01);
    EXPECT_EQ(sent[2][37], 10);
    EXPECT_EQ(sent[2][40], 60);
    EXPECT_EQ(std::string(sent[4].begin() + 3, sent[4].begin() + 34), std::string(31, 'N'));
    EXPECT_EQ(sent[4][34], 0);
    EXPECT_EQ(std::string(sent[4].begin() + 35, sent[4].begin() + 50), std::string(15, 'E'));
    for (int i = 50; i < 65; ++i)
        EXPECT_EQ(sent[4][std::size_t(i)], 0xFF) << i;

    // A read afterwards gives back what was written (the name's 32nd
    // character does not reach the unit).
    h.Click(S("ReadButton"));
    ASSERT_TRUE(h.WaitForBox(S("Read Complete")));
    EXPECT_EQ(h.Edit(S("DeviceNameEdit"))->text(), QString(31, QLatin1Char('N')));
    EXPECT_EQ(h.Edit(S("EthernetNameEdit"))->text(), QString(15, QLatin1Char('E')));
    EXPECT_TRUE(h.Box(S("InvertInputsJvCheckBox16"))->isChecked());
    EXPECT_EQ(h.Spin(S("UpdatePeriodCSpinEdit"))->value(), 10);
    EXPECT_EQ(h.Spin(S("ServerTimeoutCSpinEdit"))->value(), 60);
}

TEST(WriteExchange, WriteThenReadGivesBackTheSameConfiguration)
{
    UnitHarness h;
    auto unit = h.AddUnit();
    h.Create();
    h.SetText(S("IPAddr1Edit"), S("10"));
    h.Box(S("EnableClientJvCheckBox"))->setChecked(true);
    h.SetText(S("ClientAddr1Edit"), S("172"));
    h.Spin(S("Hysteresis4CSpinEdit"))->setValue(777);
    h.Spin(S("ClientPortCSpinEdit"))->setValue(65535);
    h.Spin(S("UpdatePeriodCSpinEdit"))->setValue(200);
    h.Spin(S("ServerTimeoutCSpinEdit"))->setValue(3);
    h.Box(S("OutputStartStatusJvCheckBox12"))->setChecked(true);
    h.Click(S("WriteButton"));
    ASSERT_TRUE(h.WaitForBox(S("Download Complete")));
    const ConfigRecord written = h.Form->Record();
    MainFormPeer(*h.Form).ConfigRecord() = ConfigRecord{};
    h.Click(S("ReadButton"));
    ASSERT_TRUE(h.WaitForBox(S("Read Complete")));
    EXPECT_EQ(std::memcmp(&written, &h.Form->Record(), 88), 0);
    EXPECT_EQ(h.Form->Record().ClientPort, 65535);
    EXPECT_EQ(h.Form->Record().UpdatePeriod, 200);
    EXPECT_EQ(h.Form->Record().ServerTimeout, 3);
    EXPECT_EQ(std::memcmp(written.InvertInputs, h.Form->Record().InvertInputs, 64), 0);
}

TEST(WriteExchange, UnitStopsMidWayThenANewPressStartsOverFromS)
{
    UnitHarness h;
    auto unit = h.AddUnit();
    unit->StopAnsweringAfter(4); // 'S', 'E', 'd' 0, 'D' 0 answered
    h.Create();
    h.Click(S("WriteButton"));
    ASSERT_TRUE(h.WaitForState(Awaiting::WriteBlock1Data));
    QTest::qWait(100);
    EXPECT_EQ(h.Form->State(), Awaiting::WriteBlock1Data);
    EXPECT_TRUE(h.Dialogs.Boxes.empty());
    unit->StopAnsweringAfter(1000);
    h.Click(S("WriteButton"));
    ASSERT_TRUE(h.WaitForBox(S("Download Complete")));
    const auto sent = unit->Received();
    ASSERT_EQ(sent.size(), 12u);
    EXPECT_EQ(sent[5][1], 'S');
}

TEST(WriteExchange, RecordIsEncodedWhenTheBlockIsSentNotAtThePress)
{
    UnitHarness h;
    auto unit = h.AddUnit();
    unit->StopAnsweringAfter(1); // waits in WriteErase for the answer to 'E'
    h.Create();
    h.Click(S("WriteButton"));
    ASSERT_TRUE(h.WaitForState(Awaiting::WriteErase));
    unit->StopAnsweringAfter(1); // no answer to 'E' yet
    MainFormPeer(*h.Form).ConfigRecord().IPAddr[0] = 99;
    unit->StopAnsweringAfter(1000);
    unit->InjectReply(Report{});
    ASSERT_TRUE(h.WaitForBox(S("Download Complete")));
    EXPECT_EQ(unit->Received()[2][4], 99);
}

// ---- MAC allocation file ---------------------------------------------------------------

class MacFile : public testing::Test {
protected:
    void Start(const QByteArray& content)
    {
        unit = h.AddUnit();
        if (!content.isNull())
            WriteFile(h.Paths.MacAllocationFile, content);
        h.Create();
    }
    UnitHarness h;
    std::shared_ptr<SimulatedUnit> unit;
};

TEST_F(MacFile, SixLinesFillTheEditsSendTheAddressAndAreWrittenBack)
{
    Start("0F\r\n1E\r\n2D\r\n3C\r\n4B\r\n5A\r\n");
    EXPECT_FALSE(h.Edit(S("NewMAC1Edit"))->isHidden());
    EXPECT_FALSE(h.Get<QPushButton>(S("SendNewMACButton"))->isHidden());
    EXPECT_EQ(h.Edit(S("NewMAC2Edit"))->text(), S("0F"));
    EXPECT_EQ(h.Edit(S("NewMAC1Edit"))->text(), S("1E"));
    h.Click(S("SendNewMACButton"));
    ASSERT_TRUE(h.WaitForBox(S("Download Complete")));
    EXPECT_EQ(h.LogLines(), QStringList{S("MAC Downloaded")});
    const auto sent = unit->Received();
    ASSERT_EQ(sent.size(), 2u);
    EXPECT_EQ(Hex(sent[1]), Hex(Request({0, 'M', 'W', 0x5A, 0x4B, 0x3C, 0x2D, 0x1E, 0x0F})));
    EXPECT_EQ(unit->Mac(), (std::array<std::uint8_t, 6>{0x5A, 0x4B, 0x3C, 0x2D, 0x1E, 0x0F}));

    h.SetText(S("NewMAC1Edit"), S("1F"));
    EXPECT_TRUE(h.RequestClose()); // the edits are not configuration: no question
    EXPECT_EQ(h.Dialogs.Boxes.size(), 1u);
    EXPECT_EQ(ReadFile(h.Paths.MacAllocationFile), QByteArray("0F\r\n1F\r\n2D\r\n3C\r\n4B\r\n5A\r\n"));
}

TEST_F(MacFile, EditsAreReadWhenTheUnitAnswersAndTheWholeFileSurvives)
{
    Start("00 last octet\n04\r1F ignored words\r\nA3\n04\n00\nline seven\nline eight");
    EXPECT_EQ(h.Edit(S("NewMAC2Edit"))->text(), S("00 last octet"));
    h.SetText(S("NewMAC1Edit"), S("2B"));
    h.SetText(S("NewMAC2Edit"), S("7c"));
    h.Click(S("SendNewMACButton"));
    ASSERT_TRUE(h.WaitForBox(S("Download Complete")));
    EXPECT_EQ(Hex(unit->Received()[1]), Hex(Request({0, 'M', 'W', 0x00, 0x04, 0xA3, 0x1F, 0x2B, 0x7C})));
    h.RequestClose();
    EXPECT_EQ(ReadFile(h.Paths.MacAllocationFile),
              QByteArray("7c\r\n2B\r\n1F ignored words\r\nA3\r\n04\r\n00\r\nline seven\r\nline eight\r\n"));
}

TEST_F(MacFile, NoFileHidesTheControlsAndCreatesNothing)
{
    Start(QByteArray());
    for (const char* name : {"NewMAC1Edit", "NewMAC2Edit", "SendNewMACButton"})
        EXPECT_TRUE(h.Get<QWidget>(S(name))->isHidden()) << name;
    EXPECT_TRUE(h.RequestClose());
    EXPECT_FALSE(QFile::exists(h.Paths.MacAllocationFile));

    // A file that appears during the run is not written either.
    UnitHarness h2;
    h2.Create();
    WriteFile(h2.Paths.MacAllocationFile, "AA\r\nBB\r\n");
    EXPECT_TRUE(h2.RequestClose());
    EXPECT_EQ(ReadFile(h2.Paths.MacAllocationFile), QByteArray("AA\r\nBB\r\n"));
}

TEST_F(MacFile, DeletedDuringTheRunOrCancelledCloseWritesNothing)
{
    Start("0F\n1E\n2D\n3C\n4B\n5A\n");
    h.Box(S("InvertOutputsJvCheckBox3"))->setChecked(true);
    h.Dialogs.Answers = {MsgResult::Cancel, MsgResult::No};
    EXPECT_FALSE(h.RequestClose());
    EXPECT_EQ(ReadFile(h.Paths.MacAllocationFile), QByteArray("0F\n1E\n2D\n3C\n4B\n5A\n")); // untouched
    QFile::remove(h.Paths.MacAllocationFile);
    EXPECT_TRUE(h.RequestClose());
    EXPECT_FALSE(QFile::exists(h.Paths.MacAllocationFile));
}

// Another bench advanced the file while the window was open.
struct MovedOn {
    const char* Name;
    const char* Edit;       // what the operator typed into NewMAC1Edit, or null
    MsgResult Answer;       // to the question, when it is asked
    bool Asked, Closes;
    const char* FileAfter;
};
class MacFileMovedOn : public MacFile, public testing::WithParamInterface<MovedOn> {};
INSTANTIATE_TEST_SUITE_P(, MacFileMovedOn,
    testing::Values(MovedOn{"UntouchedEditsLeaveTheFile", nullptr, MsgResult::Ok, false, true, "0F\n20\n2D\n3C\n4B\n5A\n"},
                    MovedOn{"EditedAndYesWritesOverIt", "31", MsgResult::Yes, true, true, "0F\r\n31\r\n2D\r\n3C\r\n4B\r\n5A\r\n"},
                    MovedOn{"EditedAndNoLeavesTheFile", "31", MsgResult::No, true, true, "0F\n20\n2D\n3C\n4B\n5A\n"},
                    MovedOn{"EditedAndCancelKeepsTheWindowOpen", "31", MsgResult::Cancel, true, false, "0F\n20\n2D\n3C\n4B\n5A\n"}),
    [](const auto& info) { return std::string(info.param.Name); });

TEST_P(MacFileMovedOn, AtCloseTheWindowNeverMovesTheFileBackUnasked)
{
    const MovedOn& c = GetParam();
    Start("0F\n1E\n2D\n3C\n4B\n5A\n");
    if (c.Edit != nullptr)
        h.SetText(S("NewMAC1Edit"), S(c.Edit));
    WriteFile(h.Paths.MacAllocationFile, "0F\n20\n2D\n3C\n4B\n5A\n"); // the other bench
    h.Dialogs.Answers = {c.Answer};
    EXPECT_EQ(h.RequestClose(), c.Closes);
    ASSERT_EQ(h.Dialogs.Boxes.size(), c.Asked ? 1u : 0u);
    if (c.Asked) {
        EXPECT_TRUE(h.Dialogs.Boxes[0].Text.startsWith(S("The MAC allocation file was changed by another program\n")));
    }
    EXPECT_EQ(ReadFile(h.Paths.MacAllocationFile), QByteArray(c.FileAfter));
}

TEST_F(MacFile, HeldByAnotherProgramTheFileIsNotWrittenAndTheOperatorIsTold)
{
    Start("0F\n1E\n2D\n3C\n4B\n5A\n");
    h.SetText(S("NewMAC1Edit"), S("31"));
    QLockFile other(h.Paths.MacAllocationFile + S(".lock"));
    ASSERT_TRUE(other.tryLock(0));
    // The window waits for the holder before it gives up; a holder that lets
    // go in time is waited for.
    std::thread release([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        other.unlock();
    });
    EXPECT_TRUE(h.RequestClose());
    release.join();
    EXPECT_TRUE(h.Dialogs.Boxes.empty());
    EXPECT_EQ(ReadFile(h.Paths.MacAllocationFile), QByteArray("0F\r\n31\r\n2D\r\n3C\r\n4B\r\n5A\r\n"));
}

TEST_F(MacFile, OneLineFileGetsItsSecondLine)
{
    Start("0F");
    EXPECT_EQ(h.Edit(S("NewMAC2Edit"))->text(), S("0F"));
    EXPECT_EQ(h.Edit(S("NewMAC1Edit"))->text(), S(""));
    h.SetText(S("NewMAC1Edit"), S("1E"));
    EXPECT_TRUE(h.RequestClose());
    EXPECT_EQ(ReadFile(h.Paths.MacAllocationFile), QByteArray("0F\r\n1E\r\n"));
}

TEST_F(MacFile, ByteOrderMarkSelectsTheEncodingAndIsKept)
{
    QByteArray utf16("\xFF\xFE", 2);
    for (char c : QByteArray("0F\r\n1E\r\n2D\r\n3C\r\n4B\r\n5A\r\n")) {
        utf16.append(c);
        utf16.append('\0');
    }
    Start(utf16);
    EXPECT_EQ(h.Edit(S("NewMAC2Edit"))->text(), S("0F"));
    EXPECT_EQ(h.Edit(S("NewMAC1Edit"))->text(), S("1E"));
    EXPECT_TRUE(h.RequestClose());
    EXPECT_EQ(ReadFile(h.Paths.MacAllocationFile), utf16);
}

namespace {
// UTF-16 little-endian code units, two bytes each.
QByteArray Le16(std::u16string_view units)
{
    QByteArray bytes;
    for (char16_t u : units) {
        bytes.append(char(u & 0xFF));
        bytes.append(char(u >> 8));
    }
    return bytes;
}

struct MacWriteBack {
    const char* name;
    QByteArray file;
    QString edit;        // NewMAC2Edit's text before each close; null: as loaded
    QByteArray expected; // the file after every close; null: refused, left as it was
};
void PrintTo(const MacWriteBack& c, std::ostream* os)
{
    *os << c.name;
}
} // namespace

class MacWriteBacks : public testing::TestWithParam<MacWriteBack> {};

// Three starts and closes in a row: lines 3 onward keep their bytes, or the
// write-back is refused with a box and the file keeps all of them.
TEST_P(MacWriteBacks, LinesThreeOnwardComeBackExactlyAtEveryClose)
{
    if (std::string(GetParam().name) == "EditOutsideTheCodePageIsRefused")
        SKIP_ON_WINDOWS("Latin-1 stands in for the ANSI code page off Windows only");
    const MacWriteBack& c = GetParam();
    UnitHarness h;
    WriteFile(h.Paths.MacAllocationFile, c.file);
    const bool refused = c.expected.isNull();
    for (int run = 1; run <= 3; ++run) {
        SCOPED_TRACE(run);
        h.Dialogs.Boxes.clear();
        h.Create();
        if (!c.edit.isNull())
            h.Edit(S("NewMAC2Edit"))->setText(c.edit);
        EXPECT_TRUE(h.RequestClose());
        EXPECT_EQ(ReadFile(h.Paths.MacAllocationFile).toHex(' ').toStdString(),
                  (refused ? c.file : c.expected).toHex(' ').toStdString());
        const std::vector<QString> boxes{S("MAC allocation file not written: it would not read back exactly\n")
                                         + h.Paths.MacAllocationFile};
        EXPECT_EQ(h.Dialogs.BoxTexts(), refused ? boxes : std::vector<QString>{});
    }
}

using namespace std::string_view_literals;
INSTANTIATE_TEST_SUITE_P(
    Files, MacWriteBacks,
    testing::Values(
        MacWriteBack{"Utf8MarkStartsLineThree", "\xEF\xBB\xBF" "0F\r\n1E\r\n\xEF\xBB\xBF" "2D\n3C\n4B\n5A", {},
                     "\xEF\xBB\xBF" "0F\r\n1E\r\n\xEF\xBB\xBF" "2D\r\n3C\r\n4B\r\n5A\r\n"},
        MacWriteBack{"Utf16SecondMarkAloneWithTwoNuls", Le16(u"\uFEFF\uFEFF\0\0"sv), {},
                     Le16(u"\uFEFF\uFEFF\0\0\r\n\r\n"sv)},
        MacWriteBack{"Utf16SecondMarkStartsLineOne", Le16(u"\uFEFF\uFEFF" "0F\n1E\n2D\n3C\n4B\n5A\n"sv), {},
                     Le16(u"\uFEFF\uFEFF" "0F\r\n1E\r\n2D\r\n3C\r\n4B\r\n5A\r\n"sv)},
        MacWriteBack{"InvalidUtf8KeptAsItsBytes", "\xEF\xBB\xBF" "0F\n1E\n\xFF\xC3(\n\xED\xA0\x80\n", {},
                     "\xEF\xBB\xBF" "0F\r\n1E\r\n\xFF\xC3(\r\n\xED\xA0\x80\r\n"},
        MacWriteBack{"Utf16CharactersHoldingLineEndBytes", Le16(u"\uFEFF0F\n1E\n\u0A0D\u0D0A\n"sv), {},
                     Le16(u"\uFEFF0F\r\n1E\r\n\u0A0D\u0D0A\r\n"sv)},
        MacWriteBack{"Utf16LoneSurrogateKept", Le16(u"\uFEFF0F\r1E\r\xD800\r\xDC00" "4B"sv), {},
                     Le16(u"\uFEFF0F\r\n1E\r\n\xD800\r\n\xDC00" "4B\r\n"sv)},
        MacWriteBack{"Utf16HalfCodeUnitAtTheEndIsRefused", Le16(u"\uFEFF0F\r\n1E\r\n2D"sv) + "\x41", {}, {}},
        MacWriteBack{"EditOutsideTheCodePageIsRefused", "0F\n1E\n2D\n", QString(QChar(0x20AC)), {}},
        MacWriteBack{"EditMakingAUtf32MarkIsRefused", Le16(u"\uFEFF0F\r\n1E\r\n2D\r\n"sv), QString(QChar(0)), {}},
        MacWriteBack{"EditMakingAUtf8MarkIsRefused", "0F\n1E\n\xE9\n", QString::fromLatin1("\xEF\xBB\xBF" "0F"), {}},
        MacWriteBack{"LineBreakInAnEditIsRefused", "0F\n1E\n2D\n", S("0F\r2D"), {}}),
    [](const auto& info) { return std::string(info.param.name); });

struct MacRefusal {
    const char* name;
    QByteArray file;
    const char* mac1;
    const char* box;
};

void PrintTo(const MacRefusal& c, std::ostream* os)
{
    *os << c.name;
}

class MacRefusals : public testing::TestWithParam<MacRefusal> {};

TEST_P(MacRefusals, NothingIsSentWhenTheAddressCannotBeMade)
{
    const MacRefusal& c = GetParam();
    UnitHarness h;
    auto unit = h.AddUnit();
    WriteFile(h.Paths.MacAllocationFile, c.file);
    h.Create();
    if (c.mac1)
        h.SetText(S("NewMAC1Edit"), S(c.mac1));
    h.Click(S("SendNewMACButton"));
    EXPECT_EQ(h.Dialogs.BoxTexts(), std::vector<QString>{S(c.box)});
    EXPECT_EQ(h.Form->State(), Awaiting::Nothing);
    QTest::qWait(20);
    EXPECT_EQ(unit->ReceivedCount(), 0u);
    EXPECT_TRUE(h.LogLines().isEmpty());
}

INSTANTIATE_TEST_SUITE_P(
    Sources, MacRefusals,
    testing::Values(MacRefusal{"FiveLines", "0F\n1E\n2D\n3C\n4B\n", nullptr, "MAC allocation file has fewer than 6 lines"},
                    MacRefusal{"EmptyFile", "", nullptr, "MAC allocation file has fewer than 6 lines"},
                    MacRefusal{"BadLine", "0F\n1E\n2D\nG1\n4B\n5A\n", nullptr, "Invalid MAC octet: 'G1'"},
                    MacRefusal{"BadEdit", "0F\n1E\n2D\n3C\n4B\n5A\n", "x", "Invalid MAC octet: 'x'"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(MacExchange, AnotherApplicationGetsNoAddress)
{
    UnitHarness h;
    auto unit = h.AddUnit();
    SimulatedIdentity id = unit->Identity();
    id.ApplicationCode = {0, 1, 6};
    unit->SetIdentity(id);
    WriteFile(h.Paths.MacAllocationFile, "0F\n1E\n2D\n3C\n4B\n5A\n");
    h.Create();
    h.Click(S("SendNewMACButton"));
    ASSERT_TRUE(h.WaitForBox(S("Application is not a QUORVEX Vantrel")));
    ASSERT_TRUE(h.WaitForState(Awaiting::Nothing));
    QTest::qWait(20);
    EXPECT_EQ(unit->ReceivedCount(), 1u);
    EXPECT_TRUE(h.LogLines().isEmpty());
}
