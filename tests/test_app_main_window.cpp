// The window without a unit: start-up, controls, binding, close request and
// data files, driven through the real controls.

#include "common/AnsiText.h"
#include "config/DataFile.h"
#include "config/StrToInt.h"
#include "support/FormHarness.h"

#include <QComboBox>
#include <QFile>
#include <QFileDialog>
#include <QFileSystemModel>
#include <QGroupBox>
#include <QGuiApplication>
#include <QLabel>
#include <QScrollBar>
#include <QStyleOptionButton>
#include <QStyleOptionSlider>
#include <QTabWidget>

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

namespace {

std::vector<std::uint8_t> RecordBytes(const vantrel::ConfigRecord& r)
{
    const auto* p = reinterpret_cast<const std::uint8_t*>(&r);
    return {p, p + sizeof r};
}

QByteArray ReadAll(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

void WriteAll(const QString& path, const QByteArray& bytes)
{
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(bytes);
}
} // namespace

class MainWindow : public testing::Test {
protected:
    void SetUp() override { h.Create(); }
    TMainForm& form() { return *h.Form; }
    FormHarness h;
};

TEST_F(MainWindow, StartUpShowsTitleGeneralPageEmptyLogAndTheRecordDefaults)
{
    EXPECT_EQ(form().windowTitle(), S("QUORVEX Vantrel Vesion: 1.00"));
    EXPECT_EQ(h.Get<QTabWidget>(S("AdvPageControl1"))->currentWidget()->objectName(), S("GeneralAdvTabSheet"));
    EXPECT_TRUE(h.LogLines().isEmpty());
    EXPECT_FALSE(form().ConfigChanged());

    const char* texts[][2] = {{"IPAddr1Edit", "192"},    {"IPAddr2Edit", "168"},  {"IPAddr3Edit", "0"},
                              {"IPAddr4Edit", "6"},      {"ClientAddr1Edit", "0"}, {"ClientAddr4Edit", "0"},
                              {"GateWayAddr4Edit", "1"}, {"SubMaskAddr3Edit", "255"},
                              {"DeviceNameEdit", "QUORVEX"}, {"EthernetNameEdit", "QUORVEX"}};
    for (const auto& t : texts)
        EXPECT_EQ(h.Edit(S(t[0]))->text(), S(t[1])) << t[0];
    for (int i = 1; i <= 8; ++i)
        EXPECT_EQ(h.Spin(QStringLiteral("Hysteresis%1CSpinEdit").arg(i))->value(), 1024);
    EXPECT_EQ(h.Spin(S("ServerTimeoutCSpinEdit"))->value(), 60);
    EXPECT_EQ(h.Spin(S("ClientPortCSpinEdit"))->value(), 3012);
    EXPECT_EQ(h.Spin(S("UpdatePeriodCSpinEdit"))->value(), 10);
}

TEST_F(MainWindow, ControlsCarryTheirLimits)
{
    struct SpinLimit {
        const char* name;
        int min, max;
    };
    for (const SpinLimit& s : {SpinLimit{"ClientPortCSpinEdit", 1, 65535}, SpinLimit{"UpdatePeriodCSpinEdit", 1, 255},
                               SpinLimit{"ServerTimeoutCSpinEdit", 1, 255}, SpinLimit{"Hysteresis1CSpinEdit", 0, 1024},
                               SpinLimit{"Hysteresis8CSpinEdit", 0, 1024}}) {
        QSpinBox* spin = h.Spin(S(s.name));
        EXPECT_EQ(spin->minimum(), s.min) << s.name;
        EXPECT_EQ(spin->maximum(), s.max) << s.name;
    }
    struct EditLimit {
        const char* name;
        int maxLength;
    };
    for (const EditLimit& e : {EditLimit{"EthernetNameEdit", 15}, EditLimit{"DeviceNameEdit", 32},
                               EditLimit{"ClientAddr1Edit", 3}, EditLimit{"ClientAddr4Edit", 3},
                               EditLimit{"IPAddr1Edit", 32767}, EditLimit{"NewMAC1Edit", 32767}})
        EXPECT_EQ(h.Edit(S(e.name))->maxLength(), e.maxLength) << e.name;

    h.SetText(S("ClientAddr2Edit"), S("1234"));
    EXPECT_EQ(h.Edit(S("ClientAddr2Edit"))->text(), S("123"));
    h.SetText(S("IPAddr1Edit"), S("12345x"));
    EXPECT_EQ(h.Edit(S("IPAddr1Edit"))->text(), S("12345x"));
    EXPECT_TRUE(h.Edit(S("MACAddressEdit"))->isReadOnly());
    EXPECT_TRUE(h.Get<QPlainTextEdit>(S("LogMemo"))->isReadOnly());
    EXPECT_EQ(h.Get<QPlainTextEdit>(S("LogMemo"))->horizontalScrollBarPolicy(), Qt::ScrollBarAlwaysOff);
}

TEST_F(MainWindow, GatewayRowTabsFromRightToLeft)
{
    const char* chain[] = {"IPAddr4Edit",      "GateWayAddr4Edit", "GateWayAddr3Edit",
                           "GateWayAddr2Edit", "GateWayAddr1Edit", "SubMaskAddr1Edit"};
    for (std::size_t i = 0; i + 1 < std::size(chain); ++i)
        EXPECT_EQ(NextTabStop(h.Edit(S(chain[i])))->objectName(), S(chain[i + 1])) << chain[i];
}

TEST_F(MainWindow, HysteresisEditsTabInResourceOrder)
{
    const int order[] = {1, 2, 4, 3, 5, 8, 7, 6};
    for (std::size_t i = 0; i + 1 < std::size(order); ++i)
        EXPECT_EQ(NextTabStop(h.Spin(QStringLiteral("Hysteresis%1CSpinEdit").arg(order[i])))->objectName(),
                  QStringLiteral("Hysteresis%1CSpinEdit").arg(order[i + 1]));
}

TEST_F(MainWindow, EveryControlIsEnabledAndOnlyTheOptionalOnesMayBeHidden)
{
    const QStringList optional = {S("NewMAC1Edit"), S("NewMAC2Edit"), S("SendNewMACButton"), S("HelpButton")};
    for (QWidget* w : form().findChildren<QWidget*>()) {
        if (w->objectName().isEmpty() || w->objectName().startsWith(S("qt_")))
            continue;
        EXPECT_TRUE(w->isEnabled()) << w->objectName().toStdString();
        if (!optional.contains(w->objectName()) && w->parentWidget() != nullptr
            && w->window() == &form() && qobject_cast<QTabWidget*>(w->parentWidget()->parentWidget()) == nullptr) {
            EXPECT_FALSE(w->isHidden()) << w->objectName().toStdString();
        }
    }
}

TEST_F(MainWindow, OnlyThePageControlFollowsResizing)
{
    form().resize(853, 599);
    form().show();
    QApplication::processEvents();
    auto* pages = h.Get<QTabWidget>(S("AdvPageControl1"));
    EXPECT_EQ(pages->geometry(), QRect(0, 0, 853, 599));
    const QRect read = h.Get<QPushButton>(S("ReadButton"))->geometry();
    EXPECT_EQ(read, QRect(168, 528, 113, 25));
    form().resize(1000, 700);
    QApplication::processEvents();
    EXPECT_EQ(pages->geometry(), QRect(0, 0, 1000, 700));
    EXPECT_EQ(h.Get<QPushButton>(S("ReadButton"))->geometry(), read);
}

TEST_F(MainWindow, EveryCaptionFitsItsBoxInTheWindowsFont)
{
    SKIP_ON_WINDOWS("the window's font comes from fontconfig: measured on Linux");
    // 11 pixels, or the largest size below it at which every caption fits.
    QFont font = form().font();
    EXPECT_LE(CaptionOverflow(&form(), font), 0);
    ASSERT_LE(font.pixelSize(), 11);
    if (font.pixelSize() < 11) {
        font.setPixelSize(font.pixelSize() + 1);
        EXPECT_GT(CaptionOverflow(&form(), font), 0) << "fits at " << font.pixelSize() << " px too";
    }
}

// Every caption whole in its fixed box, measured as each widget itself asks
// for room in the font and style it ended up with: on Linux fontconfig's
// sans, under Wine its Tahoma and the native style. A label's and a group
// box's own size hints; a button's or a check box's text against the rect
// its style draws the text in (their size hints hold a minimum button width
// and focus margins that clip nothing), and no taller than the widget.
TEST_F(MainWindow, NoCaptionIsClippedInTheFontAndStyleInUse)
{
#ifdef Q_OS_WIN
    if (QGuiApplication::platformName() == S("offscreen"))
        GTEST_SKIP() << "no fonts on the offscreen platform here; Windows.CaptionsAreWholeInTheNativeStyle runs this "
                        "with the windows platform plugin";
#endif
    int captions = 0;
    for (QWidget* w : form().findChildren<QWidget*>()) {
        QSize needed;
        QSize room = w->size();
        QString caption;
        if (auto* label = qobject_cast<QLabel*>(w)) {
            needed = label->sizeHint();
            caption = label->text();
        } else if (auto* group = qobject_cast<QGroupBox*>(w)) {
            needed = QSize(group->minimumSizeHint().width(), 0);
            caption = group->title();
        } else if (auto* button = qobject_cast<QAbstractButton*>(w)) {
            QStyleOptionButton opt;
            opt.initFrom(button);
            opt.text = button->text();
            const bool check = qobject_cast<QCheckBox*>(button) != nullptr;
            room.setWidth(button->style()
                              ->subElementRect(check ? QStyle::SE_CheckBoxContents : QStyle::SE_PushButtonContents,
                                               &opt, button)
                              .width());
            needed = button->fontMetrics().size(Qt::TextShowMnemonic, button->text());
            caption = button->text();
        } else {
            continue;
        }
        ++captions;
        const std::string what = w->objectName().toStdString() + " \"" + caption.toStdString() + "\" at "
                                 + w->font().family().toStdString() + " " + std::to_string(w->font().pixelSize())
                                 + " px";
        EXPECT_LE(needed.width(), room.width()) << what;
        EXPECT_LE(needed.height(), room.height()) << what;
    }
    EXPECT_GT(captions, 90);
}

TEST_F(MainWindow, ClearEmptiesTheLogAndLaterLinesStartAtTheTop)
{
    form().Log(S("one"));
    form().Log(S("two"));
    h.Click(S("ClearButton"));
    EXPECT_TRUE(h.LogLines().isEmpty());
    form().Log(S("three"));
    EXPECT_EQ(h.LogLines(), QStringList{S("three")});
}

TEST_F(MainWindow, EveryMessageStaysOneLineOfTheLog)
{
    // A unit's version text or a file name may hold characters that the
    // memo would take as line ends; each shows as U+FFFD instead.
    const QString breaks = QStringLiteral("\n\r\u2028\u2029") + QChar(0xFDD0) + QChar(0xFDD1);
    form().Log(S("Appware Version:1.0") + breaks + S("Data read"));
    EXPECT_EQ(form().findChild<QPlainTextEdit*>(S("LogMemo"))->document()->blockCount(), 1);
    EXPECT_EQ(h.LogLines(), QStringList{S("Appware Version:1.0") + QString(6, QChar::ReplacementCharacter) + S("Data read")});
}

TEST_F(MainWindow, ClickInTheLogsScrollTrackPagesAsAPlainTextEditDoes)
{
    // The same lines in the log and in a stock text edit of its size and
    // font, both scrolled to the top; clicks in each one's track below the
    // slider page it down, and one above the slider pages it back up.
    auto* log = h.Get<QPlainTextEdit>(S("LogMemo"));
    QPlainTextEdit stock;
    stock.setFont(log->font());
    stock.setVerticalScrollBarPolicy(log->verticalScrollBarPolicy());
    stock.setHorizontalScrollBarPolicy(log->horizontalScrollBarPolicy());
    stock.resize(log->size());
    for (int i = 1; i <= 300; ++i) {
        form().Log(S("line %1").arg(i));
        stock.appendPlainText(S("line %1").arg(i));
    }
    form().show();
    stock.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&form()));
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&stock));
    const auto clickTrack = [](QScrollBar* bar, QStyle::SubControl page) {
        QStyleOptionSlider opt;
        opt.initFrom(bar);
        opt.subControls = QStyle::SC_All;
        opt.orientation = Qt::Vertical;
        opt.minimum = bar->minimum();
        opt.maximum = bar->maximum();
        opt.sliderPosition = opt.sliderValue = bar->value();
        opt.pageStep = bar->pageStep();
        const QRect r = bar->style()->subControlRect(QStyle::CC_ScrollBar, &opt, page, bar);
        QTest::mouseClick(bar, Qt::LeftButton, {}, r.center());
        return bar->value();
    };
    std::vector<int> tops[2];
    QPlainTextEdit* edits[2] = {log, &stock};
    for (int i = 0; i < 2; ++i) {
        QScrollBar* bar = edits[i]->verticalScrollBar();
        bar->setValue(0);
        for (QStyle::SubControl page : {QStyle::SC_ScrollBarAddPage, QStyle::SC_ScrollBarAddPage,
                                        QStyle::SC_ScrollBarAddPage, QStyle::SC_ScrollBarSubPage})
            tops[i].push_back(clickTrack(bar, page));
    }
    EXPECT_GT(tops[1][0], 1);
    EXPECT_EQ(tops[0], tops[1]);
}

TEST_F(MainWindow, GroupButtonsSetTheirOwnSixteenBoxesOnly)
{
    struct GroupCase {
        const char* button;
        const char* group;
        bool state;
    };
    const char* groups[] = {"InvertInputsJvCheckBox", "InvertOutputsJvCheckBox", "OutputStartStatusJvCheckBox"};
    for (const GroupCase& c : {GroupCase{"InvertInputsCheckAllButton", "InvertInputsJvCheckBox", true},
                               GroupCase{"InvertOutputsCheckAllButton", "InvertOutputsJvCheckBox", true},
                               GroupCase{"OutputStartStatusCheckAllButton", "OutputStartStatusJvCheckBox", true},
                               GroupCase{"InvertInputsCheckNoneButton", "InvertInputsJvCheckBox", false},
                               GroupCase{"InvertOutputsCheckNoneButton", "InvertOutputsJvCheckBox", false},
                               GroupCase{"OutputStartStatusCheckNoneButton", "OutputStartStatusJvCheckBox", false}}) {
        // Start from a pattern, press the button, and see that only its group moved.
        for (const char* g : groups)
            for (int i = 1; i <= 16; ++i)
                h.Box(QStringLiteral("%1%2").arg(S(g)).arg(i))->setChecked(i % 3 == 0);
        h.Click(S(c.button));
        h.Click(S(c.button)); // a second press changes nothing more
        for (const char* g : groups)
            for (int i = 1; i <= 16; ++i) {
                const bool expected = std::strcmp(g, c.group) == 0 ? c.state : (i % 3 == 0);
                EXPECT_EQ(h.Box(QStringLiteral("%1%2").arg(S(g)).arg(i))->isChecked(), expected)
                    << c.button << " " << g << i;
            }
    }
    // The record takes the boxes only at the next FormToConfig.
    h.Click(S("OutputStartStatusCheckNoneButton"));
    MainFormPeer(form()).ConfigRecord().OutputStartStatus[3] = 1;
    EXPECT_EQ(form().Record().OutputStartStatus[3], 1);
    form().FormToConfig();
    for (int i = 0; i < 16; ++i)
        EXPECT_EQ(form().Record().OutputStartStatus[i], 0);
}

// ---- Form binding ------------------------------------------------------------

TEST_F(MainWindow, FormToConfigStopsAtTheFirstBadTextKeepingWhatWasReadBefore)
{
    h.Box(S("EnableClientJvCheckBox"))->setChecked(true);
    h.SetText(S("IPAddr1Edit"), S("10"));
    h.SetText(S("ClientAddr1Edit"), S("7"));
    h.SetText(S("GateWayAddr1Edit"), S("11"));
    h.SetText(S("GateWayAddr2Edit"), S("x"));
    h.SetText(S("SubMaskAddr1Edit"), S("1"));
    h.SetText(S("DeviceNameEdit"), S("NEW"));
    h.Spin(S("ClientPortCSpinEdit"))->setValue(99);
    const auto before = form().Record();

    EXPECT_THROW(form().FormToConfig(), vantrel::ConversionError);
    const auto& r = form().Record();
    EXPECT_EQ(r.IPAddr[0], 10);      // step 1 done
    EXPECT_EQ(r.ClientAddr[0], 7);   // step 2 done
    EXPECT_EQ(r.GateWayAddr[0], 11); // step 3 up to the bad octet
    EXPECT_EQ(r.GateWayAddr[1], before.GateWayAddr[1]);
    EXPECT_EQ(r.SubMaskAddr[0], before.SubMaskAddr[0]); // later steps untouched
    EXPECT_EQ(RecordBytes(r).at(16), 'Q');
    EXPECT_EQ(r.ClientPort, 3012);
    EXPECT_EQ(r.EnableClient, 0);
}

TEST_F(MainWindow, DhcpAndDisabledClientSkipTheirAddressEdits)
{
    h.Box(S("DHCPEnableJvCheckBox"))->setChecked(true);
    h.SetText(S("IPAddr2Edit"), S("abc"));
    h.SetText(S("ClientAddr1Edit"), S("zz"));
    form().FormToConfig();
    const auto& r = form().Record();
    EXPECT_EQ(r.IPAddr[1], 168);
    EXPECT_EQ(r.ClientAddr[0], 0);
    EXPECT_EQ(r.DHCPEnable, 1);

    // ConfigToForm writes every edit, skipped ones included.
    form().ConfigToForm();
    EXPECT_EQ(h.Edit(S("IPAddr2Edit"))->text(), S("168"));
    EXPECT_EQ(h.Edit(S("ClientAddr1Edit"))->text(), S("0"));
}

TEST_F(MainWindow, OctetOutsideAByteIsRefusedLikeAnyBadText)
{
    h.SetText(S("SubMaskAddr4Edit"), S("256"));
    h.Dialogs.FileNames.push_back(h.Dir.filePath(S("never.dat")));
    h.Click(S("SaveButton"));
    ASSERT_EQ(h.Dialogs.Boxes.size(), 1u);
    EXPECT_EQ(h.Dialogs.Boxes[0].Type, MsgType::Error);
    EXPECT_TRUE(h.Dialogs.Boxes[0].Text.contains(S("'256'"))) << h.Dialogs.Boxes[0].Text.toStdString();
    EXPECT_EQ(h.Dialogs.SavePrompts, 0);
    EXPECT_FALSE(QFile::exists(h.Dir.filePath(S("never.dat"))));
}

TEST_F(MainWindow, NamesAndNumbersRoundTripThroughTheRecord)
{
    SKIP_ON_WINDOWS("Latin-1 stands in for the ANSI code page off Windows only");
    const QString name32 = QString(32, QLatin1Char('D'));
    h.SetText(S("DeviceNameEdit"), name32);
    h.Edit(S("EthernetNameEdit"))->setText(QStringLiteral("Caf\u00e9-\u20ac")); // keyClicks types ASCII only
    h.Spin(S("Hysteresis3CSpinEdit"))->setValue(300);
    h.Spin(S("UpdatePeriodCSpinEdit"))->setValue(255);
    h.Box(S("InvertOutputsJvCheckBox16"))->setChecked(true);
    form().FormToConfig();
    const auto& r = form().Record();
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(r.DeviceName), 32), std::string(32, 'D'));
    EXPECT_EQ(r.DHCPEnable, 0); // the byte after a full name is the flag
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(r.EthernetName), 8), std::string("Caf\xe9-?\0\0", 8));
    EXPECT_EQ(r.Hysteresis[2], 300);
    EXPECT_EQ(r.UpdatePeriod, 255);
    EXPECT_EQ(r.InvertOutputs[15], 1);

    h.SetText(S("DeviceNameEdit"), S(""));
    form().ConfigToForm();
    EXPECT_EQ(h.Edit(S("DeviceNameEdit"))->text(), name32);
    EXPECT_EQ(h.Edit(S("EthernetNameEdit"))->text(), QStringLiteral("Caf\u00e9-?"));
}

TEST(AnsiText, LatinOneStandsInForTheCodePageAwayFromWindows)
{
    SKIP_ON_WINDOWS("Latin-1 stands in for the ANSI code page off Windows only");
    EXPECT_EQ(vantrel::ToAnsi(QStringLiteral("\u00e9\u20ac\u201cx\u201d")), std::string("\xE9" "??x?"));
    EXPECT_EQ(vantrel::FromAnsi("\xE9\x80\xFF"), QStringLiteral("\u00e9\u0080\u00ff"));
    EXPECT_EQ(vantrel::FromAnsi(vantrel::ToAnsi(QStringLiteral("Caf\u00e9"))), QStringLiteral("Caf\u00e9"));
}

TEST_F(MainWindow, ShorterDeviceNameKeepsTheOldBytesAfterItsZero)
{
    h.SetText(S("DeviceNameEdit"), S("AB"));
    form().FormToConfig();
    const auto bytes = RecordBytes(form().Record());
    EXPECT_EQ(std::string(bytes.begin() + 16, bytes.begin() + 24), std::string("AB\0RVEX\0", 8));
    EXPECT_TRUE(form().ConfigChanged());
}

// ---- Close request -------------------------------------------------------------

struct CloseCase {
    const char* name;
    std::function<void(FormHarness&)> edit;
    std::vector<MsgResult> answers;
    bool asks;
    bool closes;
    int savePrompts;
    const char* saveTo = nullptr; // the save dialog's answer below the folder; nullptr: cancelled
};

void PrintTo(const CloseCase& c, std::ostream* os)
{
    *os << c.name;
}

class CloseRequest : public testing::TestWithParam<CloseCase> {};

TEST_P(CloseRequest, AsksOnlyWhenTheRecordDiffersFromTheSnapshot)
{
    const CloseCase& c = GetParam();
    FormHarness h;
    const QByteArray macFile("0F\n1E\n2D\n3C\n4B\n5A\n"); // written back with CR LF at a close
    WriteFile(h.Paths.MacAllocationFile, macFile);
    h.Create();
    c.edit(h);
    h.Dialogs.Answers.assign(c.answers.begin(), c.answers.end());
    h.Dialogs.FileNames.push_back(c.saveTo ? h.Dir.filePath(S(c.saveTo)) : QString());
    const bool closed = h.RequestClose();
    EXPECT_EQ(closed, c.closes);
    const bool asked = !h.Dialogs.Boxes.empty() && h.Dialogs.Boxes[0].Text == S("Data has changed\nSave now?");
    EXPECT_EQ(asked, c.asks);
    if (asked) {
        EXPECT_EQ(h.Dialogs.Boxes[0].Type, MsgType::Confirmation);
        EXPECT_EQ(h.Dialogs.Boxes[0].Buttons, MsgButtons::YesNoCancel);
    }
    EXPECT_EQ(h.Dialogs.SavePrompts, c.savePrompts);
    EXPECT_EQ(h.Dialogs.UnexpectedQuestions, 0);
    // The MAC allocation file is written back exactly when the window closes.
    EXPECT_EQ(ReadFile(h.Paths.MacAllocationFile) != macFile, closed);
    // A save that failed says so once and keeps the changes: they still count.
    const std::vector<QString> boxes = h.Dialogs.BoxTexts();
    const bool saveFailed = c.saveTo && !closed;
    EXPECT_EQ(!boxes.empty() && boxes.back() == S("Error Saving File."), saveFailed);
    if (saveFailed) {
        EXPECT_EQ(boxes.size(), 2u);
        EXPECT_TRUE(h.Form->ConfigChanged());
    }
}

INSTANTIATE_TEST_SUITE_P(
    Matrix, CloseRequest,
    testing::Values(
        CloseCase{"Untouched", [](FormHarness&) {}, {}, false, true, 0},
        CloseCase{"BoxChangedCancel", [](FormHarness& h) { h.Box(S("InvertInputsJvCheckBox5"))->setChecked(true); },
                  {MsgResult::Cancel}, true, false, 0},
        CloseCase{"BoxChangedNo", [](FormHarness& h) { h.Box(S("InvertInputsJvCheckBox5"))->setChecked(true); },
                  {MsgResult::No}, true, true, 0},
        CloseCase{"BoxChangedYesSaveCancelled",
                  [](FormHarness& h) { h.Box(S("InvertInputsJvCheckBox5"))->setChecked(true); }, {MsgResult::Yes},
                  true, true, 1},
        CloseCase{"BoxChangedYesSaved",
                  [](FormHarness& h) { h.Box(S("InvertInputsJvCheckBox5"))->setChecked(true); }, {MsgResult::Yes},
                  true, true, 1, "saved.dat"},
        CloseCase{"BoxChangedYesSaveFails",
                  [](FormHarness& h) { h.Box(S("InvertInputsJvCheckBox5"))->setChecked(true); }, {MsgResult::Yes},
                  true, false, 1, "no/such/folder/unit.dat"},
        CloseCase{"BoxChangedBack",
                  [](FormHarness& h) {
                      h.Box(S("UseBroadcastJvCheckBox"))->setChecked(true);
                      h.Box(S("UseBroadcastJvCheckBox"))->setChecked(false);
                  },
                  {}, false, true, 0},
        CloseCase{"LeadingZeroIsNoChange", [](FormHarness& h) { h.SetText(S("IPAddr4Edit"), S("006")); }, {}, false,
                  true, 0},
        CloseCase{"RecordChangedAsByARead",
                  [](FormHarness& h) {
                      MainFormPeer(*h.Form).ConfigRecord().Hysteresis[0] = 5;
                      h.Form->ConfigToForm();
                  },
                  {MsgResult::No}, true, true, 0}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(CloseRequestFailure, BadIpTextShowsTheConversionErrorAndKeepsTheWindowOpen)
{
    FormHarness h;
    h.Create();
    h.SetText(S("IPAddr1Edit"), S(""));
    EXPECT_FALSE(h.RequestClose());
    ASSERT_EQ(h.Dialogs.Boxes.size(), 1u);
    EXPECT_EQ(h.Dialogs.Boxes[0].Text, S("'' is not a valid integer value"));
    EXPECT_EQ(h.Dialogs.Boxes[0].Type, MsgType::Error);
    EXPECT_TRUE(h.Form->isVisible());

    // The window still works afterwards, and the exit button takes the same road.
    h.SetText(S("IPAddr1Edit"), S("192"));
    h.Click(S("ExitButton"));
    EXPECT_FALSE(h.Form->isVisible());
}

TEST(CloseRequestFailure, CancelKeepsTheChangedBoxAndTheRecordAsRead)
{
    FormHarness h;
    h.Create();
    h.Box(S("OutputStartStatusJvCheckBox2"))->setChecked(true);
    h.Dialogs.Answers = {MsgResult::Cancel};
    EXPECT_FALSE(h.RequestClose());
    EXPECT_TRUE(h.Box(S("OutputStartStatusJvCheckBox2"))->isChecked());
    EXPECT_EQ(h.Form->Record().OutputStartStatus[1], 1);
}

// ---- Data files through the window -----------------------------------------------

TEST_F(MainWindow, SaveThenLoadGivesBackTheSameRecordAndNoChange)
{
    const QString file = h.Dir.filePath(S("unit.dat"));
    h.SetText(S("DeviceNameEdit"), S("Plant-7"));
    h.Box(S("InvertInputsJvCheckBox1"))->setChecked(true);
    h.Dialogs.FileNames.push_back(file);
    h.Click(S("SaveButton"));
    EXPECT_FALSE(form().ConfigChanged());
    EXPECT_EQ(h.LogLines(), (QStringList{S("File Saved:"), file}));
    const QByteArray saved = ReadAll(file);
    ASSERT_EQ(saved.size(), 196);
    const auto savedRecord = RecordBytes(form().Record());
    EXPECT_EQ(0, std::memcmp(saved.constData() + 36, savedRecord.data(), 160));

    // Unsaved edits are replaced by the load without a question.
    h.SetText(S("DeviceNameEdit"), S("Other"));
    h.Box(S("InvertInputsJvCheckBox1"))->setChecked(false);
    form().FormToConfig();
    h.Dialogs.FileNames.push_back(file);
    h.Click(S("LoadButton"));
    EXPECT_EQ(RecordBytes(form().Record()), savedRecord);
    EXPECT_EQ(h.Edit(S("DeviceNameEdit"))->text(), S("Plant-7"));
    EXPECT_TRUE(h.Box(S("InvertInputsJvCheckBox1"))->isChecked());
    EXPECT_FALSE(form().ConfigChanged());
    EXPECT_EQ(h.LogLines().mid(2), (QStringList{S("File Loaded:"), file}));
    EXPECT_TRUE(h.Dialogs.Boxes.empty());
    EXPECT_TRUE(h.RequestClose()); // nothing to ask
}

TEST_F(MainWindow, DefaultSaveWritesTheDefaultFile)
{
    const QString file = h.Dir.filePath(S("default"));
    h.Dialogs.FileNames.push_back(file);
    h.Click(S("SaveButton"));
    vantrel::ConfigRecord defaults{};
    vantrel::SetDefaults(defaults);
    const auto expected = vantrel::EncodeDataFile(defaults);
    EXPECT_EQ(ReadAll(file), QByteArray(reinterpret_cast<const char*>(expected.data()), 196));
}

struct LoadCase {
    const char* name;
    std::function<void(QByteArray&)> edit;
    const char* box; // nullptr: loads
    bool logsFileError;
};

void PrintTo(const LoadCase& c, std::ostream* os)
{
    *os << c.name;
}

class LoadRefusal : public testing::TestWithParam<LoadCase> {};

TEST_P(LoadRefusal, RefusedFilesChangeNothing)
{
    const LoadCase& c = GetParam();
    FormHarness h;
    h.Create();
    vantrel::ConfigRecord other{};
    vantrel::SetDefaults(other);
    other.IPAddr[0] = 10;
    const auto image = vantrel::EncodeDataFile(other);
    QByteArray bytes(reinterpret_cast<const char*>(image.data()), 196);
    c.edit(bytes);
    const QString file = h.Dir.filePath(S("in.dat"));
    WriteAll(file, bytes);

    h.SetText(S("IPAddr1Edit"), S("1"));
    h.Form->FormToConfig(); // an unsaved edit
    const auto recordBefore = RecordBytes(h.Form->Record());
    const auto snapshotBefore = RecordBytes(h.Form->Snapshot());
    h.Dialogs.FileNames.push_back(file);
    h.Click(S("LoadButton"));

    if (c.box == nullptr) {
        EXPECT_TRUE(h.Dialogs.Boxes.empty());
        EXPECT_EQ(h.Form->Record().IPAddr[0], 10);
        EXPECT_EQ(h.Edit(S("IPAddr1Edit"))->text(), S("10"));
        return;
    }
    ASSERT_EQ(h.Dialogs.Boxes.size(), 1u);
    EXPECT_EQ(h.Dialogs.Boxes[0].Text, S(c.box));
    EXPECT_EQ(h.Dialogs.Boxes[0].Type, MsgType::Error);
    EXPECT_EQ(RecordBytes(h.Form->Record()), recordBefore);
    EXPECT_EQ(RecordBytes(h.Form->Snapshot()), snapshotBefore);
    EXPECT_EQ(h.Edit(S("IPAddr1Edit"))->text(), S("1"));
    EXPECT_EQ(h.LogLines(), c.logsFileError ? (QStringList{S("File Error:"), file}) : QStringList{});
}

INSTANTIATE_TEST_SUITE_P(
    Files, LoadRefusal,
    testing::Values(LoadCase{"Good", [](QByteArray&) {}, nullptr, false},
                    LoadCase{"Version0Loads", [](QByteArray& b) { b[0] = 0; }, nullptr, false},
                    LoadCase{"Version2", [](QByteArray& b) { b[0] = 2; },
                             "The file uses a later data format.\r\nCannot load", false},
                    LoadCase{"ForeignName", [](QByteArray& b) { b[4] = 'X'; }, "Incompatible data file.", false},
                    LoadCase{"LowerCaseName", [](QByteArray& b) { b[10] = 'x'; }, "Incompatible data file.", false},
                    LoadCase{"ShortFile", [](QByteArray& b) { b.truncate(150); }, "Error Opening File.", true},
                    LoadCase{"EmptyFile", [](QByteArray& b) { b.clear(); }, "Error Opening File.", true}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(MainWindow, LoadOfAMissingFileReportsItAndCancelChangesNothing)
{
    const QString missing = h.Dir.filePath(S("missing.dat"));
    h.Dialogs.FileNames = {missing, QString()};
    h.Click(S("LoadButton"));
    EXPECT_EQ(h.Dialogs.BoxTexts(), std::vector<QString>{S("Error Opening File.")});
    EXPECT_EQ(h.LogLines(), (QStringList{S("File Error:"), missing}));
    h.Click(S("LoadButton")); // cancelled
    EXPECT_EQ(h.Dialogs.Boxes.size(), 1u);
    EXPECT_EQ(h.LogLines().size(), 2);
}

TEST_F(MainWindow, FailedSaveReportsItKeepsExistingDataAndStillCountsAsChanged)
{
    // A name that is an existing folder holding a file, and a folder that
    // does not exist: neither can be written (also not as root).
    const QString folder = h.Dir.filePath(S("existing"));
    ASSERT_TRUE(QDir().mkpath(folder));
    WriteAll(folder + S("/keep.dat"), QByteArray("precious"));
    int box = 0;
    for (const QString& target : {folder, h.Dir.filePath(S("no/such/folder/x.dat"))}) {
        h.Dialogs.Boxes.clear();
        h.Click(S("ClearButton"));
        h.Box(QStringLiteral("InvertInputsJvCheckBox%1").arg(++box))->setChecked(true);
        h.Dialogs.FileNames.push_back(target);
        h.Click(S("SaveButton"));
        EXPECT_EQ(h.Dialogs.BoxTexts(), std::vector<QString>{S("Error Saving File.")});
        EXPECT_EQ(h.LogLines(), (QStringList{S("File Error:"), target}));
        EXPECT_TRUE(form().ConfigChanged());
    }
    EXPECT_EQ(ReadAll(folder + S("/keep.dat")), QByteArray("precious"));
}

TEST_F(MainWindow, SaveOverAnExistingFileReplacesIt)
{
    const QString file = h.Dir.filePath(S("old.dat"));
    WriteAll(file, QByteArray(500, 'x'));
    h.Dialogs.FileNames.push_back(file);
    h.Click(S("SaveButton"));
    EXPECT_EQ(ReadAll(file).size(), 196);
}

TEST(DataFileDialog, AllFilesShowsNamesWithoutADotUnderTheSameCaptions)
{
    SKIP_ON_WINDOWS("\"All Files\" is the system's own *.* on Windows");
    // Windows' own "*.*" matches every file: its name filters are the captions.
    EXPECT_EQ(DataFileNameFilters(true), (QStringList{S("Data Files (*.dat)"), S("All Files (*.*)")}));

    QTemporaryDir dir;
    for (const char* name : {"unit1", "unit1.dat", "notes.txt"})
        WriteFile(dir.filePath(S(name)), "x");
    QFileDialog dialog;
    dialog.setOption(QFileDialog::DontUseNativeDialog, true);
    ApplyDataFileFilters(dialog);
    dialog.setDirectory(dir.path());
    const auto* combo = dialog.findChild<QComboBox*>(S("fileTypeCombo"));
    ASSERT_NE(combo, nullptr);
    QStringList captions;
    for (int i = 0; i < combo->count(); ++i)
        captions << combo->itemText(i);
    EXPECT_EQ(captions, (QStringList{S("Data Files (*.dat)"), S("All Files (*.*)")}));

    const auto* model = dialog.findChild<QFileSystemModel*>();
    ASSERT_NE(model, nullptr);
    const auto shown = [&] {
        QStringList names;
        const QModelIndex folder = model->index(dir.path());
        for (int row = 0; row < model->rowCount(folder); ++row)
            names << model->index(row, 0, folder).data().toString();
        names.sort();
        return names;
    };
    EXPECT_TRUE(QTest::qWaitFor([&] { return shown() == QStringList{S("unit1.dat")}; }, 5000)) << shown().join(S(" ")).toStdString();
    dialog.selectNameFilter(DataFileNameFilters().at(1)); // as the operator picks "All Files (*.*)"
    EXPECT_TRUE(QTest::qWaitFor([&] { return shown() == (QStringList{S("notes.txt"), S("unit1"), S("unit1.dat")}); }, 5000))
        << shown().join(S(" ")).toStdString();
}
