// The help: the "Help" button shown only with the help file and a viewer,
// the file opened by its full path and the viewer shut down at close; off
// Windows, what the desktop is handed when it has a CHM viewer, only the
// HTML pages, or neither.

#include "support/UnitHarness.h"

#include <QDir>
#include <QFile>
#include <QUrl>

#include <gtest/gtest.h>

using namespace vantrel;

TEST(Help, HiddenWithoutTheFileAndNoViewerCallAtClose)
{
    for (const bool folderOfThatName : {false, true}) {
        UnitHarness h;
        if (folderOfThatName) {
            ASSERT_TRUE(QDir().mkpath(h.Paths.ProgramDir + S("/vantrel.chm")));
        }
        h.Create();
        EXPECT_TRUE(h.Get<QPushButton>(S("HelpButton"))->isHidden()) << folderOfThatName;
        EXPECT_EQ(MainFormPeer(*h.Form).HelpLibrary(), nullptr) << folderOfThatName;
        EXPECT_TRUE(h.RequestClose());
    }
}

// Beside the program, or where the Linux package puts it.
class HelpPlace : public ::testing::TestWithParam<const char*> {};
INSTANTIATE_TEST_SUITE_P(, HelpPlace, ::testing::Values("/vantrel.chm", "/../share/vantrel/vantrel.chm"),
                         [](const auto& info) { return info.index == 0 ? "BesideTheProgram" : "InstalledDataFolder"; });

TEST_P(HelpPlace, ShownWithTheFileOpensItByFullPathAndShutsTheViewerDownAtClose)
{
    SKIP_ON_WINDOWS("the desktop's viewer stands in off Windows; tests/test_windows.cpp has the HTML Help control");
    UnitHarness h;
    const QString helpFile = QDir::cleanPath(h.Paths.ProgramDir + S(GetParam()));
    ASSERT_TRUE(QDir().mkpath(QFileInfo(helpFile).absolutePath()));
    WriteFile(helpFile, "help");
    h.Create();
    ASSERT_FALSE(h.Get<QPushButton>(S("HelpButton"))->isHidden());
    ASSERT_NE(MainFormPeer(*h.Form).HelpLibrary(), nullptr);
    const auto calls = MainFormPeer(*h.Form).HelpLibrary()->Calls;
    EXPECT_EQ(*calls, std::vector<unsigned>{hh::Initialize});

    h.Click(S("HelpButton"));
    ASSERT_EQ(h.OpenedUrls.size(), 1);
    EXPECT_EQ(QFileInfo(h.OpenedUrls[0].toLocalFile()).canonicalFilePath(), QFileInfo(helpFile).canonicalFilePath());
    EXPECT_TRUE(h.LogLines().isEmpty());

    EXPECT_TRUE(h.RequestClose());
    EXPECT_EQ(*calls, (std::vector<unsigned>{hh::Initialize, hh::DisplayTopic, hh::CloseAll, hh::Uninitialize}));
    EXPECT_EQ(MainFormPeer(*h.Form).HelpLibrary(), nullptr);
}

// Off Windows the help goes to the desktop: the help file to its CHM viewer,
// without one the HTML start page beside it to the browser, and with neither
// the log names what to install.
struct DesktopHelpCase {
    const char* name;
    bool viewer;
    bool pages;
    bool desktopOpens;
    const char* opened; // what the desktop was asked to open, in order, below the program's folder
    const char* logged; // the start of the log line; "" for none
};

class DesktopHelpShown : public ::testing::TestWithParam<DesktopHelpCase> {};
INSTANTIATE_TEST_SUITE_P(
    , DesktopHelpShown,
    ::testing::Values(
        DesktopHelpCase{"ViewerGetsTheHelpFile", true, true, true, "vantrel.chm", ""},
        DesktopHelpCase{"NoViewerBrowserGetsTheStartPage", false, true, true, "help/getting-started.html", ""},
        DesktopHelpCase{"NeitherLogsWhatToInstall", false, false, true, "",
                        "Help: no viewer for %1/vantrel.chm is installed and its HTML pages are not in %1/help; "
                        "install a CHM viewer (Debian package xchm, kchmviewer, or okular with okular-extra-backends)"},
        DesktopHelpCase{"DesktopRefusingBothIsLogged", true, true, false, "vantrel.chm help/getting-started.html",
                        "Help: the desktop could open neither %1/vantrel.chm nor the HTML pages in %1/help"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_P(DesktopHelpShown, ByWhatTheDesktopHas)
{
    SKIP_ON_WINDOWS("the HTML Help control shows the help on Windows");
    const DesktopHelpCase& c = GetParam();
    UnitHarness h;
    const QString program = QDir(h.Paths.ProgramDir).absolutePath();
    WriteFile(program + S("/vantrel.chm"), "help");
    if (c.pages) {
        WriteFile(program + S("/help/getting-started.html"), "<html></html>");
        WriteFile(program + S("/help/help.css"), "");
    }
    h.ChmViewerInstalled = c.viewer;
    h.DesktopOpens = c.desktopOpens;
    h.Create();
    h.Click(S("HelpButton"));
    QStringList opened;
    for (const QUrl& url : h.OpenedUrls)
        opened << QDir(program).relativeFilePath(url.toLocalFile());
    EXPECT_EQ(opened, S(c.opened).split(QLatin1Char(' '), Qt::SkipEmptyParts));
    EXPECT_EQ(h.LogLines(), *c.logged == '\0' ? QStringList{} : QStringList{S(c.logged).arg(program)});
    EXPECT_TRUE(h.RequestClose());
}

// How a CHM viewer is found: the desktop's default for the CHM types as
// xdg-mime names it, or without xdg-mime a known viewer on PATH. Fake
// programs on a PATH of their own stand in for the desktop's.
TEST(Help, ChmViewerIsTheDesktopsDefaultForTheTypeOrAKnownViewerOnPath)
{
    SKIP_ON_WINDOWS("the HTML Help control shows the help on Windows");
    struct Case {
        const char* what;
        const char* program; // the one program on PATH
        const char* script;
        bool found;
    };
    const Case cases[] = {
        {"default for the type", "xdg-mime",
         "[ \"$1 $2 $3\" = 'query default application/vnd.ms-htmlhelp' ] && echo xchm.desktop; exit 0", true},
        {"default for the older alias", "xdg-mime",
         "[ \"$1 $2 $3\" = 'query default application/x-chm' ] && echo kchmviewer.desktop; exit 0", true},
        {"no default", "xdg-mime", "exit 0", false},
        {"xdg-mime failing", "xdg-mime", "echo xchm.desktop; exit 4", false},
        {"no xdg-mime, xchm", "xchm", "exit 0", true},
        {"no xdg-mime, kchmviewer", "kchmviewer", "exit 0", true},
        {"no xdg-mime, okular alone", "okular", "exit 0", false},
    };
    const QByteArray path = qgetenv("PATH");
    for (const Case& c : cases) {
        QTemporaryDir bin;
        const QString program = bin.filePath(S(c.program));
        WriteFile(program, QByteArray("#!/bin/sh\n") + c.script + "\n");
        QFile::setPermissions(program, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        qputenv("PATH", QFile::encodeName(bin.path())); // the fake's /bin/sh needs no PATH
        EXPECT_EQ(vantrel::DesktopHasChmViewer(), c.found) << c.what;
    }
    qputenv("PATH", path);
}
