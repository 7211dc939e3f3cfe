// What only Windows has. scripts/windows/test.sh runs these under Wine:
// the fixed place of the MAC allocation file on drive C:, a unit's text in
// the ANSI code page (with Wine set to code page 1251, where Latin-1 and the
// ANSI page differ), the help file shown by the system's HTML Help control,
// and how often the receive thread wakes on an idle link.

#include "app/Port1Comms.h"
#include "common/AnsiText.h"
#include "common/FixedPaths.h"
#include "support/CountingBackend.h"
#include "support/UnitHarness.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QPushButton>

#include <gtest/gtest.h>

#include <windows.h>

#include <atomic>

using namespace vantrel;

namespace {
const char kMacFolder[] = "C:\\DravonSetMACAddress";
} // namespace

TEST(Windows, TheMacAllocationFileIsReadAndWrittenBackOnDriveC)
{
    const FixedPaths production = FixedPaths::Production();
    EXPECT_EQ(production.MacAllocationFile, S("C:\\DravonSetMACAddress\\SetFullMACAddress.txt"));
    if (QFile::exists(production.MacAllocationFile))
        GTEST_SKIP() << "this machine has a MAC allocation file; it is not touched";
    ASSERT_TRUE(QDir().mkpath(S(kMacFolder)));
    WriteFile(production.MacAllocationFile, "0F\r\n1E\r\n2D\r\n3C\r\n4B\r\n5A\r\n");
    {
        UnitHarness h;
        h.Paths.MacAllocationFile = production.MacAllocationFile;
        h.Create();
        EXPECT_EQ(h.Edit(S("NewMAC2Edit"))->text(), S("0F"));
        h.SetText(S("NewMAC1Edit"), S("1F"));
        EXPECT_TRUE(h.RequestClose());
    }
    EXPECT_EQ(ReadFile(production.MacAllocationFile), QByteArray("0F\r\n1F\r\n2D\r\n3C\r\n4B\r\n5A\r\n"));
    QFile::remove(production.MacAllocationFile);
    QDir().rmdir(S(kMacFolder));
}

TEST(Windows, AUnitsNamesAreInTheAnsiCodePage)
{
    if (GetACP() != 1251)
        GTEST_SKIP() << "needs the ANSI code page 1251 (scripts/windows/test.sh sets it); this one is " << GetACP();
    const std::string bytes = "\xCD\xE0\xF1\xEE\xF1 7"; // "Насос 7" in code page 1251
    const QString name = QString::fromUtf8("\xD0\x9D\xD0\xB0\xD1\x81\xD0\xBE\xD1\x81 7");
    EXPECT_EQ(ToAnsi(name), bytes);
    EXPECT_EQ(FromAnsi(bytes), name);

    // Read from a unit into the window, and written back to it unchanged.
    UnitHarness h;
    const auto unit = h.AddUnit();
    ConfigRecord record = SampleUnitConfig();
    StoreName(record.DeviceName, sizeof record.DeviceName, kDeviceNameChars, bytes);
    unit->StoreConfig(record);
    h.Create();
    h.Click(S("ReadButton"));
    ASSERT_TRUE(h.WaitForBox(S("Read Complete")));
    EXPECT_EQ(h.Edit(S("DeviceNameEdit"))->text(), name);
    h.Click(S("WriteButton"));
    ASSERT_TRUE(h.WaitForBox(S("Download Complete")));
    const ConfigRecord written = unit->StoredConfig();
    EXPECT_EQ(LoadName(written.DeviceName, sizeof written.DeviceName), bytes);
}

// The suite's own run is on the offscreen platform, which has no fonts here:
// the caption check runs again in a child with the windows platform plugin,
// Wine's fonts and the native style (scripts/windows/test.sh gives it Xvfb).
TEST(Windows, CaptionsAreWholeInTheNativeStyle)
{
    QProcess child;
    child.setProcessChannelMode(QProcess::MergedChannels);
    child.start(QCoreApplication::applicationFilePath(),
                {S("-platform"), S("windows"), S("--gtest_filter=MainWindow.NoCaptionIsClippedInTheFontAndStyleInUse")});
    ASSERT_TRUE(child.waitForFinished(60000)) << child.errorString().toStdString();
    const std::string output = child.readAll().toStdString();
    EXPECT_EQ(child.exitCode(), 0) << output;
    EXPECT_NE(output.find("[  PASSED  ] 1 test"), std::string::npos) << output;
}

namespace {
// The window titled `title` of this process, if one is shown.
HWND ShownWindow(const char* title)
{
    HWND found = FindWindowA(nullptr, title);
    return found != nullptr && IsWindowVisible(found) ? found : nullptr;
}
} // namespace

// Needs a desktop for the help window: scripts/windows/test.sh runs it with
// the windows platform plugin under Xvfb.
TEST(WindowsDesktop, HelpOpensTheFileThroughTheHtmlHelpControlAndClosesWithTheWindow)
{
    const QString chm = qEnvironmentVariable("VANTREL_HELP_CHM");
    if (chm.isEmpty())
        GTEST_SKIP() << "VANTREL_HELP_CHM names the built vantrel.chm";
    UnitHarness h;
    ASSERT_TRUE(QDir().mkpath(h.Paths.ProgramDir));
    ASSERT_TRUE(QFile::copy(chm, h.Paths.ProgramDir + S("/vantrel.chm")));
    h.Create();
    ASSERT_FALSE(h.Get<QPushButton>(S("HelpButton"))->isHidden()) << "the HTML Help control is not registered";
    h.Click(S("HelpButton"));
    EXPECT_TRUE(WaitUntil([] { return ShownWindow("Vantrel Help") != nullptr; }, 20000));
    EXPECT_TRUE(h.RequestClose());
    h.Form.reset();
    EXPECT_TRUE(WaitUntil([] { return ShownWindow("Vantrel Help") == nullptr; }, 10000));
}

// hidapi's read cannot be interrupted on Windows, so the receive thread
// waits with a time-out and wakes on an idle link. Measured, not judged:
// the figure goes to the test's output (docs/windows.md).
TEST(Windows, IdleReceiveThreadWakesOnItsReadTimeOut)
{
    ASSERT_EQ(Port1Comms::kReadTimeoutMs, 400);
    vantrel::SimulatedHidBackend units;
    auto unit = std::make_shared<SimulatedUnit>(SimulatedIdentity{});
    units.Add(unit);
    CountingBackend counting(units);
    FormHarness h(&counting);
    h.Create();
    h.Click(S("ReadButton")); // links, reads, and then the link stands idle
    ASSERT_TRUE(WaitUntil([&] { return h.Form->State() == Awaiting::Nothing && h.Form->Linked(); }));
    QTest::qWait(500);
    const int before = counting.Reads;
    QElapsedTimer idle;
    idle.start();
    QTest::qWait(5000);
    const double perSecond = (counting.Reads - before) * 1000.0 / double(idle.elapsed());
    RecordProperty("idle_wakeups_per_second", QString::number(perSecond, 'f', 2).toStdString());
    std::printf("idle receive thread: %.2f reads per second\n", perSecond);
    EXPECT_GT(counting.Reads - before, 0); // it does wake: the read is not interruptible here
}
