// The unmodified window and its hidapi backend against quorvex-virtual-unit
// through a real Linux kernel: the USB gadget (dummy_hcd, usbhid, hidraw) and
// uhid. Runs as root inside the virtual machine that scripts/vm/run-in-vm.sh
// boots; each scenario also runs against the in-process simulated unit, and
// the requests both units receive must be byte-identical.

#include "vm/VmBenches.h"

#include <QFile>

#include <signal.h>
#include <unistd.h>

using namespace vantrel;
using namespace vantrel::vm;

TEST(Kernel, UnitFoundByItsHardwareIdAmongTheDevicesPresent)
{
    VirtualUnitProcess unit(UnitArgs());
    ASSERT_TRUE(unit.Ready()) << unit.Output().toStdString();
    HidapiBackend hid;
    const std::vector<HidInterfaceInfo> present = hid.Enumerate();
    ASSERT_GE(present.size(), 2u) << "the machine's USB tablet should be there too";
    int units = 0;
    for (const HidInterfaceInfo& d : present) {
        if (d.HardwareId == "HID\\VID_04D8&PID_FD37&REV_0006") {
            ++units;
            EXPECT_EQ(d.Path.rfind("/dev/hidraw", 0), 0u) << d.Path;
        }
    }
    EXPECT_EQ(units, 1);
}

TEST(Kernel, ReadGivesTheUnitsConfigurationAndMacWithTheSameRequests)
{
    const auto script = [](Bench& b) { Read(b); };
    VirtualUnitProcess unit(UnitArgs());
    ASSERT_TRUE(unit.Ready()) << unit.Output().toStdString();
    Bench b(true);
    b.form.Create();
    Read(b);
    EXPECT_EQ(b.form.Edit(S("MACAddressEdit"))->text(), S("00.04.A3.FF.10.0A"));
    EXPECT_EQ(b.form.LogLines(), (QStringList{S("Appware Version:1.05"), S("Serial Number: 4711"), S("Data read")}));
    UnitFirmware reference;
    reference.StoreConfig(SampleUnitConfig());
    EXPECT_FALSE(RecordsDiffer(b.form.Form->Record(), reference.StoredConfig()));
    EXPECT_EQ(b.form.Edit(S("IPAddr1Edit"))->text(), S("10"));
    ExpectSameRequests(unit.Requests(), SimulatedRequests(script));
    unit.Stop();
    EXPECT_FALSE(unit.Output().contains(S("64 expected"))) << unit.Output().toStdString();
}

TEST(Kernel, WriteLeavesExactlyTheWrittenConfigurationInTheUnit)
{
    const auto script = [](Bench& b) {
        b.form.SetText(S("IPAddr4Edit"), S("77"));
        b.form.SetText(S("DeviceNameEdit"), S("Bench 7"));
        b.form.Box(S("InvertOutputsJvCheckBox3"))->setChecked(true);
        PressAndComplete(b, "WriteButton", "Download Complete");
    };
    const QString saved = TempPath("saved.dat");
    QFile::remove(saved);
    VirtualUnitProcess unit(UnitArgs({QStringLiteral("--save"), saved}));
    ASSERT_TRUE(unit.Ready()) << unit.Output().toStdString();
    Bench b(true);
    b.form.Create();
    script(b);
    EXPECT_EQ(b.form.LogLines(), (QStringList{S("Appware Version:1.05"), S("Serial Number: 4711"), S("Data downloaded")}));

    // What the unit keeps is what the in-process firmware keeps for the
    // same record.
    UnitFirmware reference;
    reference.StoreConfig(b.form.Form->Record());
    const QByteArray file = ReadFile(saved);
    ConfigRecord stored{};
    ASSERT_EQ(DecodeDataFile(std::span(reinterpret_cast<const std::uint8_t*>(file.constData()), std::size_t(file.size())),
                             stored),
              DataFileCheck::Ok);
    EXPECT_FALSE(RecordsDiffer(stored, reference.StoredConfig()));
    EXPECT_EQ(LoadName(stored.DeviceName, sizeof stored.DeviceName), "Bench 7");
    EXPECT_EQ(stored.IPAddr[3], 77);
    ExpectSameRequests(unit.Requests(), SimulatedRequests(script));
}

TEST(Kernel, SendNewMacThenReadShowsIt)
{
    const auto script = [](Bench& b) {
        PressAndComplete(b, "SendNewMACButton", "Download Complete");
        Read(b);
    };
    VirtualUnitProcess unit(UnitArgs());
    ASSERT_TRUE(unit.Ready()) << unit.Output().toStdString();
    const auto withMacFile = [&](Bench& b) {
        WriteFile(b.form.Paths.MacAllocationFile, "7C\r\n2B\r\n1F\r\nA3\r\n04\r\n00\r\n");
        b.form.Create();
    };
    Bench b(true);
    withMacFile(b);
    script(b);
    EXPECT_EQ(b.form.Edit(S("MACAddressEdit"))->text(), S("00.04.A3.1F.2B.7C"));

    Bench sim(false);
    withMacFile(sim);
    script(sim);
    ExpectSameRequests(unit.Requests(), sim.simUnit->Received());
}

TEST(Kernel, ProgramModeIsToldByRevision0001)
{
    VirtualUnitProcess unit(UnitArgs({QStringLiteral("--program-mode")}));
    ASSERT_TRUE(unit.Ready()) << unit.Output().toStdString();
    Bench b(true);
    b.form.Create();
    b.form.Click(S("ReadButton"));
    EXPECT_EQ(b.form.Dialogs.BoxTexts(), std::vector<QString>{S("QUORVEX is in Program Mode")});
    EXPECT_TRUE(unit.Requests().empty());
    // The unit stays linked: the second press reads it without a search.
    Read(b);
    EXPECT_EQ(unit.Requests().size(), 6u);
}

TEST(Kernel, UhidUnitIsFoundThroughTheThirdPattern)
{
    const auto script = [](Bench& b) { Read(b); };
    VirtualUnitProcess unit(UnitArgs({QStringLiteral("--uhid")}));
    ASSERT_TRUE(unit.Ready()) << unit.Output().toStdString();
    HidapiBackend hid;
    bool seen = false;
    for (const HidInterfaceInfo& d : hid.Enumerate())
        seen = seen || d.HardwareId == "HID\\VID_04D8&PID_FD37&REV_0000";
    EXPECT_TRUE(seen);
    Bench b(true);
    b.form.Create();
    Read(b);
    EXPECT_EQ(b.form.Dialogs.BoxTexts(), std::vector<QString>{S("Read Complete")}); // no program-mode box
    ExpectSameRequests(unit.Requests(), SimulatedRequests(script));
}

TEST(Kernel, UnitVanishingMidExchangeThenTheNextPressRecovers)
{
    // The gadget leaves the bus on receiving the fourth request ('r' of block 1).
    VirtualUnitProcess unit(UnitArgs({QStringLiteral("--unplug-after"), QStringLiteral("3")}));
    ASSERT_TRUE(unit.Ready()) << unit.Output().toStdString();
    Bench b(true);
    b.form.Create();
    b.form.Click(S("ReadButton"));
    ASSERT_TRUE(unit.WaitForOutput("unplugged on request 4"));
    ASSERT_TRUE(WaitUntil([&] { return !b.form.Form->Linked(); }, 20000));
    EXPECT_EQ(b.form.Form->State(), Awaiting::ReadBlock1); // waits where the unit left it
    EXPECT_TRUE(b.form.Dialogs.Boxes.empty());

    b.form.Click(S("ReadButton"));
    EXPECT_EQ(b.form.Dialogs.BoxTexts(), std::vector<QString>{S("Cannot find QUORVEX")});

    unit.Signal(SIGUSR2);
    ASSERT_TRUE(unit.WaitForOutput("plugged in"));
    ASSERT_TRUE(WaitUntil([&] {
        for (const HidInterfaceInfo& d : b.hidapi.Enumerate())
            if (d.HardwareId.find("PID_FD37") != std::string::npos)
                return true;
        return false;
    }, 20000));
    Read(b);
    EXPECT_EQ(b.form.Edit(S("MACAddressEdit"))->text(), S("00.04.A3.FF.10.0A"));
}

TEST(Kernel, ManyExchangesInARowWhileTheWriteHandlesQueueOverflows)
{
    // Every open hidraw handle gets each input report; the window never
    // reads its write handle, whose queue (64 reports) overflows here.
    VirtualUnitProcess unit(UnitArgs());
    ASSERT_TRUE(unit.Ready()) << unit.Output().toStdString();
    Bench b(true);
    b.form.Create();
    for (int i = 0; i < 12; ++i)
        Read(b);
    EXPECT_EQ(b.form.Dialogs.Boxes.size(), 12u);
    EXPECT_EQ(unit.Requests().size(), 72u);
}

// Runs as a user without access to the unit's node (the suite starts it so).
TEST(NoAccess, PresentButNotAccessibleIsToldApartFromMissing)
{
    if (::geteuid() == 0)
        GTEST_SKIP() << "needs a user without access to /dev/hidraw*";
    Bench b(true);
    b.form.Create();
    b.form.Click(S("ReadButton"));
    EXPECT_EQ(b.form.Dialogs.BoxTexts(), std::vector<QString>{S("Cannot find QUORVEX")});
    const QStringList log = b.form.LogLines();
    ASSERT_EQ(log.size(), 1);
    EXPECT_TRUE(log[0].startsWith(S("Cannot open /dev/hidraw"))) << log[0].toStdString();
    EXPECT_TRUE(log[0].endsWith(S(": Permission denied"))) << log[0].toStdString();
}
