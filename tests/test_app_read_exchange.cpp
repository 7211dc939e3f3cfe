// The read exchange end to end: the real window, the real receive thread,
// a simulated unit behind the HID layer.

#include "device/HidapiBackend.h"
#include "device/UnitSelection.h"
#include "support/UnitHarness.h"

#include <QTabWidget>

#include <gtest/gtest.h>

#include <chrono>
#include <cstring>

using namespace vantrel;

TEST(ReadExchange, FullReadShowsTheUnitWithExactRequestsAndLogLines)
{
    UnitHarness h;
    auto unit = h.AddUnit();
    unit->StoreConfig(SampleUnitConfig());
    unit->SetMac({0x00, 0x04, 0xA3, 0xFF, 0x10, 0x0A});
    h.Create();

    // At the moment "Read Complete" shows, the MAC is filled and "Data read" logged.
    QString macWhenBoxShown;
    QStringList logWhenBoxShown;
    h.Dialogs.OnBox = [&](const ShownBox&) {
        macWhenBoxShown = h.Edit(S("MACAddressEdit"))->text();
        logWhenBoxShown = h.LogLines();
    };
    h.Click(S("ReadButton"));
    ASSERT_TRUE(h.WaitForBox(S("Read Complete")));
    ASSERT_TRUE(h.WaitForState(Awaiting::Nothing));

    EXPECT_EQ(h.Dialogs.Boxes.size(), 1u);
    EXPECT_EQ(h.Dialogs.Boxes[0].Type, MsgType::Information);
    EXPECT_EQ(macWhenBoxShown, S("00.04.A3.FF.10.0A"));
    EXPECT_EQ(logWhenBoxShown, (QStringList{S("Appware Version:1.05"), S("Serial Number: 4711"), S("Data read")}));

    const std::vector<Report> expected = {Request({0, 'S'}),      Request({0, 'r', 0}), Request({0, 'R', 0}),
                                          Request({0, 'r', 1}),      Request({0, 'R', 1}), Request({0, 'M', 'R'})};
    const auto sent = unit->Received();
    ASSERT_EQ(sent.size(), expected.size());
    for (std::size_t i = 0; i < sent.size(); ++i)
        EXPECT_EQ(Hex(sent[i]), Hex(expected[i])) << "request " << i;

    // The window shows the unit's configuration.
    EXPECT_EQ(h.Edit(S("IPAddr1Edit"))->text(), S("10"));
    EXPECT_EQ(h.Edit(S("IPAddr4Edit"))->text(), S("5"));
    EXPECT_EQ(h.Edit(S("ClientAddr1Edit"))->text(), S("172"));
    EXPECT_EQ(h.Edit(S("ClientAddr4Edit"))->text(), S("9"));
    EXPECT_TRUE(h.Box(S("EnableClientJvCheckBox"))->isChecked());
    EXPECT_TRUE(h.Box(S("UseBroadcastJvCheckBox"))->isChecked());
    EXPECT_FALSE(h.Box(S("DHCPEnableJvCheckBox"))->isChecked());
    EXPECT_EQ(h.Spin(S("Hysteresis1CSpinEdit"))->value(), 300);
    EXPECT_EQ(h.Spin(S("Hysteresis8CSpinEdit"))->value(), 7);
    EXPECT_EQ(h.Spin(S("ServerTimeoutCSpinEdit"))->value(), 30);
    EXPECT_EQ(h.Spin(S("UpdatePeriodCSpinEdit"))->value(), 15);
    EXPECT_EQ(h.Spin(S("ClientPortCSpinEdit"))->value(), 502);
    EXPECT_TRUE(h.Box(S("InvertInputsJvCheckBox1"))->isChecked());
    EXPECT_TRUE(h.Box(S("InvertInputsJvCheckBox16"))->isChecked());
    EXPECT_FALSE(h.Box(S("InvertInputsJvCheckBox2"))->isChecked());
    EXPECT_TRUE(h.Box(S("OutputStartStatusJvCheckBox9"))->isChecked());
    EXPECT_EQ(h.Edit(S("DeviceNameEdit"))->text(), S("Pump house"));
    EXPECT_EQ(h.Edit(S("EthernetNameEdit"))->text(), S("ETH-PUMP-000001"));

    // A read does not refresh the snapshot: closing asks.
    h.Dialogs.Answers = {MsgResult::No};
    EXPECT_TRUE(h.RequestClose());
    EXPECT_EQ(h.Dialogs.Boxes.back().Text, S("Data has changed\nSave now?"));
}

TEST(ReadExchange, SecondReadCarriesWhatTheLastRequestLeft)
{
    UnitHarness h;
    auto unit = h.AddUnit();
    h.Create();
    h.Click(S("ReadButton"));
    ASSERT_TRUE(h.WaitForBox(S("Read Complete")));
    ASSERT_TRUE(h.WaitForState(Awaiting::Nothing));
    h.Click(S("ReadButton"));
    ASSERT_TRUE(WaitUntil([&] { return h.Dialogs.Boxes.size() == 2; }));
    const auto sent = unit->Received();
    ASSERT_EQ(sent.size(), 12u);
    EXPECT_EQ(Hex(sent[6]), Hex(Request({0, 'S', 'R'}))); // byte 2 left by 'M' 'R'
    EXPECT_EQ(h.Backend.EnumerationCount(), 1);           // the link stands: no new search
}

TEST(ReadExchange, IdentificationOfAnotherApplicationEndsTheExchange)
{
    for (const std::array<std::uint8_t, 3>& code : {std::array<std::uint8_t, 3>{0, 1, 6}, {0, 2, 5}, {9, 1, 5}}) {
        UnitHarness h;
        auto unit = h.AddUnit();
        SimulatedIdentity id = unit->Identity();
        id.ApplicationCode = code;
        unit->SetIdentity(id);
        unit->StoreConfig(SampleUnitConfig());
        h.Create();
        const auto before = h.Form->Record();
        h.Click(S("ReadButton"));
        ASSERT_TRUE(h.WaitForBox(S("Application is not a QUORVEX Vantrel")));
        ASSERT_TRUE(h.WaitForState(Awaiting::Nothing));
        EXPECT_EQ(h.Dialogs.Boxes[0].Type, MsgType::Error);
        EXPECT_TRUE(h.LogLines().isEmpty());
        QTest::qWait(50);
        EXPECT_EQ(unit->ReceivedCount(), 1u); // only 'S'
        EXPECT_EQ(std::memcmp(&before, &h.Form->Record(), sizeof before), 0);
    }
}

TEST(ReadExchange, SerialNumberAndVersionAsTheUnitSendsThem)
{
    struct Case {
        std::int32_t serial;
        const char* version;
        const char* serialLine;
    };
    for (const Case& c : {Case{1, "1.05", "Serial Number: 1"}, Case{-1, "", "Serial Number: -1"},
                          Case{2147483647, "9.99 beta", "Serial Number: 2147483647"},
                          Case{7, "1.0\xe9", "Serial Number: 7"}}) { // one byte per character
        UnitHarness h;
        auto unit = h.AddUnit();
        SimulatedIdentity id = unit->Identity();
        id.SerialNumber = c.serial;
        id.Version = c.version;
        unit->SetIdentity(id);
        h.Create();
        h.Click(S("ReadButton"));
        ASSERT_TRUE(h.WaitForBox(S("Read Complete")));
        EXPECT_EQ(h.LogLines().mid(0, 2), (QStringList{S("Appware Version:") + S(c.version), S(c.serialLine)}));
    }
}

// ---- Finding the unit --------------------------------------------------------------

struct FindCase {
    const char* name;
    std::vector<std::string> devices; // "unit:<hardware id>" or another device's id
    int linked;                        // index among the units, -1 none
    const char* box;                   // nullptr: no box, the read starts
};

void PrintTo(const FindCase& c, std::ostream* os)
{
    *os << c.name;
}

class FindUnit : public testing::TestWithParam<FindCase> {};

TEST_P(FindUnit, PatternsInOrderFirstMatchWins)
{
    const FindCase& c = GetParam();
    UnitHarness h;
    std::vector<std::shared_ptr<SimulatedUnit>> units;
    for (const std::string& d : c.devices) {
        if (d.rfind("unit:", 0) == 0)
            units.push_back(h.AddUnit(d.substr(5)));
        else
            h.Backend.AddOtherDevice(d);
    }
    h.Create();
    h.Dialogs.OnBox = [&](const ShownBox&) {}; // boxes answered at once
    h.Click(S("ReadButton"));
    if (c.box) {
        ASSERT_EQ(h.Dialogs.BoxTexts(), std::vector<QString>{S(c.box)});
    } else {
        ASSERT_TRUE(h.WaitForBox(S("Read Complete")));
        EXPECT_EQ(h.Dialogs.Boxes.size(), 1u);
    }
    QTest::qWait(20);
    for (std::size_t i = 0; i < units.size(); ++i) {
        const bool expectTraffic = int(i) == c.linked && c.box == nullptr;
        EXPECT_EQ(units[i]->ReceivedCount() > 0, expectTraffic) << "unit " << i;
    }
    EXPECT_EQ(h.Form->Linked(), c.linked >= 0);
}

INSTANTIATE_TEST_SUITE_P(
    Devices, FindUnit,
    testing::Values(
        FindCase{"NoDevices", {}, -1, "Cannot find QUORVEX"},
        FindCase{"OnlyOtherDevices", {"HID\\VID_046D&PID_C52B&REV_1211", "HID\\VID_04D8&PID_FD38&REV_0006"}, -1,
                 "Cannot find QUORVEX"},
        FindCase{"TwoUnitsFirstEnumeratedWins",
                 {"unit:HID\\VID_04D8&PID_FD37&REV_0006", "unit:HID\\VID_04D8&PID_FD37&REV_0006"}, 0, nullptr},
        FindCase{"ProgrammingModeUnitListedFirstIsPassedOver",
                 {"unit:HID\\VID_04D8&PID_FD37&REV_0001", "unit:HID\\VID_04D8&PID_FD37&REV_0006"}, 1, nullptr},
        FindCase{"OnlyProgramMode", {"unit:HID\\VID_04D8&PID_FD37&REV_0001"}, 0, "QUORVEX is in Program Mode"},
        FindCase{"OtherRevisionByThirdPattern", {"unit:HID\\VID_04D8&PID_FD37&REV_0007"}, 0, nullptr},
        FindCase{"LowerCaseIdAndLongerId", {"HID\\VID_1234&PID_0001", "unit:hid\\vid_04d8&pid_fd37&rev_0006&MI_00"}, 0,
                 nullptr}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(FindUnitProgramMode, SecondPressSendsToTheLinkedUnitWithoutAMessage)
{
    UnitHarness h;
    auto unit = h.AddUnit("HID\\VID_04D8&PID_FD37&REV_0001");
    h.Create();
    h.Click(S("ReadButton"));
    EXPECT_EQ(h.Dialogs.BoxTexts(), std::vector<QString>{S("QUORVEX is in Program Mode")});
    EXPECT_EQ(unit->ReceivedCount(), 0u);
    h.Click(S("ReadButton"));
    ASSERT_TRUE(h.WaitForBox(S("Read Complete")));
    EXPECT_EQ(h.Dialogs.Boxes.size(), 2u);
    EXPECT_EQ(h.Backend.EnumerationCount(), 2); // patterns 1 and 2 on the first press only
}

// The interfaces as hidapi's Windows backend lists them: paths of the HID
// interface class, which hold the vendor and product in lower case, and
// the revision taken from the attributes' version number (0006 or 0001
// through USB; 0000 through uhid under Wine). Only the hardware ID chooses.
TEST(FindUnitWindowsPaths, TheLinkIsChosenByHardwareIdAndRevisionNotByPath)
{
    const std::string hidClass = "#{4d1e55b2-f16f-11cf-88cb-001111000030}";
    const std::vector<HidInterfaceInfo> present{
        {MakeHardwareId(0x0627, 0x0001, 0x0000), "\\\\?\\hid#vid_04d8&pid_fd37_tablet#1&2d595ca7&0&0000" + hidClass},
        {MakeHardwareId(0x04D8, 0xFD37, 0x0000), "\\\\?\\hid#vid_04d8&pid_fd37#0&4712&0&0" + hidClass},
        {MakeHardwareId(0x04D8, 0xFD37, 0x0001), "\\\\?\\hid#vid_04d8&pid_fd37&mi_00#6&4713&0&0" + hidClass},
        {MakeHardwareId(0x04D8, 0xFD37, 0x0006), "\\\\?\\hid#vid_04d8&pid_fd37&mi_00#6&4711&0&0" + hidClass},
    };
    EXPECT_EQ(present[3].HardwareId, "HID\\VID_04D8&PID_FD37&REV_0006");
    EXPECT_EQ(FindFirstMatch(present, kNormalPattern), std::optional<std::size_t>(3));
    EXPECT_EQ(FindFirstMatch(present, kProgramModePattern), std::optional<std::size_t>(2));
    EXPECT_EQ(FindFirstMatch(present, kAnyRevisionPattern), std::optional<std::size_t>(1));
    EXPECT_TRUE(IsProgramMode(present[2].HardwareId));
    EXPECT_FALSE(IsProgramMode(present[1].HardwareId));
    std::vector<std::string> units;
    for (const HidInterfaceInfo& u : PresentUnits(present))
        units.push_back(u.Path.substr(u.Path.find('#') + 1, u.Path.rfind('#') - u.Path.find('#') - 1));
    EXPECT_EQ(units, (std::vector<std::string>{"vid_04d8&pid_fd37#0&4712&0&0", "vid_04d8&pid_fd37&mi_00#6&4713&0&0",
                                               "vid_04d8&pid_fd37&mi_00#6&4711&0&0"}));
}

TEST(FindUnitOpenFailure, FailedOpensGoOnWithTheNextPattern)
{
    for (HidOpenMode failing : {HidOpenMode::Read, HidOpenMode::Write}) {
        UnitHarness h;
        auto held = h.AddUnit();
        held->FailOpens(failing);
        h.Create();
        h.Click(S("ReadButton"));
        EXPECT_EQ(h.Dialogs.BoxTexts(), std::vector<QString>{S("Cannot find QUORVEX")});
        EXPECT_FALSE(h.Form->Linked());
        EXPECT_EQ(h.Backend.EnumerationCount(), 3);
        // Patterns 1 and 3 both match the unit: its reason is logged once.
        EXPECT_EQ(h.LogLines(), QStringList{S("Cannot open sim:0: Device or resource busy")});

        // Pattern 2 still runs after a failed open under pattern 1.
        UnitHarness h2;
        auto held2 = h2.AddUnit();
        held2->FailOpens(failing);
        auto programMode = h2.AddUnit("HID\\VID_04D8&PID_FD37&REV_0001");
        h2.Create();
        h2.Click(S("ReadButton"));
        EXPECT_EQ(h2.Dialogs.BoxTexts(), std::vector<QString>{S("QUORVEX is in Program Mode")});
    }
}

// ---- Link lost and found again ----------------------------------------------------

TEST(LinkLoss, UnplugWhileIdleThenPlugBackAndReadOnANewThread)
{
    UnitHarness h;
    auto unit = h.AddUnit();
    h.Create();
    h.Click(S("ReadButton"));
    ASSERT_TRUE(h.WaitForBox(S("Read Complete")));
    unit->Unplug();
    ASSERT_TRUE(WaitUntil([&] { return !h.Form->Linked(); }));
    EXPECT_EQ(h.Dialogs.Boxes.size(), 1u); // nothing shown when the unit goes

    h.Click(S("ReadButton"));
    EXPECT_EQ(h.Dialogs.Boxes.back().Text, S("Cannot find QUORVEX"));

    unit->PlugIn();
    h.Click(S("ReadButton"));
    ASSERT_TRUE(WaitUntil([&] { return h.Dialogs.Boxes.size() == 3; }));
    EXPECT_EQ(h.Dialogs.Boxes.back().Text, S("Read Complete"));
    EXPECT_EQ(unit->ReceivedCount(), 12u);
}

TEST(LinkLoss, UnplugMidReadLeavesTheStateUntilTheNextPress)
{
    UnitHarness h;
    auto unit = h.AddUnit();
    unit->StoreConfig(SampleUnitConfig());
    unit->UnplugAfter(3); // gone on receiving the fourth request ('r' of block 1)
    h.Create();
    h.Click(S("ReadButton"));
    ASSERT_TRUE(WaitUntil([&] { return !h.Form->Linked(); }));
    EXPECT_EQ(h.Form->State(), Awaiting::ReadBlock1);
    EXPECT_EQ(h.Form->Record().IPAddr[0], 10);       // block 0 decoded
    EXPECT_EQ(h.Edit(S("IPAddr1Edit"))->text(), S("192")); // not yet shown
    EXPECT_TRUE(h.Dialogs.Boxes.empty());

    unit->PlugIn();
    h.Click(S("ReadButton"));
    ASSERT_TRUE(h.WaitForBox(S("Read Complete")));
    EXPECT_EQ(h.Edit(S("IPAddr1Edit"))->text(), S("10"));
}

TEST(LinkLoss, RequestThatCannotBeWrittenEndsExchangeAndLink)
{
    UnitHarness h;
    auto unit = h.AddUnit();
    unit->FailWrites(true);
    h.Create();
    h.Click(S("ReadButton"));
    EXPECT_EQ(h.Dialogs.BoxTexts(), std::vector<QString>{S("Cannot write to QUORVEX")});
    EXPECT_EQ(h.Form->State(), Awaiting::Nothing);
    EXPECT_FALSE(h.Form->Linked());

    unit->FailWrites(false);
    h.Click(S("ReadButton"));
    ASSERT_TRUE(h.WaitForBox(S("Read Complete")));
    EXPECT_EQ(h.Backend.EnumerationCount(), 2); // searched again

    // Mid-exchange: the unit takes 'S' and the first 'r', then writes fail.
    unit->FailWrites(false);
    unit->UnplugAfter(1000);
    h.Dialogs.Boxes.clear();
    unit->StopAnsweringAfter(unit->ReceivedCount() + 2);
    h.Click(S("ReadButton"));
    ASSERT_TRUE(h.WaitForState(Awaiting::ReadBlock0Done));
    unit->FailWrites(true);
    unit->InjectReply(Report{}); // the late answer to 'R'
    ASSERT_TRUE(h.WaitForBox(S("Cannot write to QUORVEX")));
    EXPECT_EQ(h.Form->State(), Awaiting::Nothing);
    EXPECT_FALSE(h.Form->Linked());
}

TEST(ExchangeState, PressDuringAnExchangeStartsOverAndIdleReportsAreIgnored)
{
    UnitHarness h;
    auto unit = h.AddUnit();
    unit->StopAnsweringAfter(2); // answers 'S' and 'r' 0, then nothing
    h.Create();
    h.Click(S("ReadButton"));
    ASSERT_TRUE(h.WaitForState(Awaiting::ReadBlock0Done));
    QTest::qWait(100);
    EXPECT_EQ(h.Form->State(), Awaiting::ReadBlock0Done); // waits without end

    unit->StopAnsweringAfter(1000);
    h.Click(S("ReadButton"));
    EXPECT_EQ(h.Form->State(), Awaiting::ReadIdentify);
    ASSERT_TRUE(h.WaitForBox(S("Read Complete")));
    const auto sent = unit->Received();
    ASSERT_EQ(sent.size(), 9u);
    EXPECT_EQ(sent[3][1], 'S');

    // A report in state 0 sends nothing and changes nothing.
    ASSERT_TRUE(h.WaitForState(Awaiting::Nothing));
    const QStringList log = h.LogLines();
    Report stray{};
    stray[2] = 0x00;
    stray[3] = 0x01;
    stray[4] = 0x05;
    unit->InjectReply(stray);
    QTest::qWait(150);
    EXPECT_EQ(unit->ReceivedCount(), 9u);
    EXPECT_EQ(h.LogLines(), log);
    EXPECT_EQ(h.Form->State(), Awaiting::Nothing);
    EXPECT_EQ(MainFormPeer(*h.Form).InReport()[3], 0x01); // it was delivered all the same
}

TEST(ExchangeState, ShortReportsKeepTheRestOfTheEarlierInput)
{
    UnitHarness h;
    auto unit = h.AddUnit();
    unit->SetReplyLength(5); // report ID, letter and the application code only
    h.Create();
    h.Click(S("ReadButton"));
    ASSERT_TRUE(h.WaitForBox(S("Read Complete")));
    EXPECT_EQ(h.LogLines().mid(0, 2), (QStringList{S("Appware Version:"), S("Serial Number: 0")}));
    // Bytes 2 to 4 of the MAC reply came; bytes 5 to 7 are what was there.
    EXPECT_EQ(h.Edit(S("MACAddressEdit"))->text(), S("00.04.A3.00.00.00"));
}

TEST(Shutdown, WindowDestroyedMidExchangeOrMidHandOverStopsTheThreadQuickly)
{
    for (int variant = 0; variant < 2; ++variant) {
        UnitHarness h;
        auto unit = h.AddUnit();
        unit->StopAnsweringAfter(3);
        h.Create();
        h.Click(S("ReadButton"));
        ASSERT_TRUE(h.WaitForState(Awaiting::ReadBlock1));
        if (variant == 1) {
            // The receive thread has a report and waits for the main thread.
            unit->InjectReply(Report{});
            QTest::qSleep(100);
        }
        const auto start = std::chrono::steady_clock::now();
        h.Form.reset();
        const auto took = std::chrono::steady_clock::now() - start;
        EXPECT_LT(took, std::chrono::milliseconds(500)) << "variant " << variant;
        QApplication::processEvents(); // a dropped hand-over must not run
    }
}
