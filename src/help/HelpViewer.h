#pragma once
// The help viewer. On Windows it is the system's HTML Help control, loaded
// at run time through its registration; elsewhere a stand-in hands the help
// to the desktop: the help file to its CHM viewer when one is installed,
// else the help's HTML pages to its browser. Both take the control's four
// commands, so the window drives them the same way.

#include <QString>
#include <QUrl>

#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

namespace vantrel {

namespace hh {
constexpr unsigned DisplayTopic = 0x00;
constexpr unsigned CloseAll = 0x12;
constexpr unsigned Initialize = 0x1C;
constexpr unsigned Uninitialize = 0x1D;
} // namespace hh

constexpr char kHelpFileName[] = "vantrel.chm";
// The help's HTML pages, in this folder beside the help file (the build tree
// and the Linux package put them there), and the page they start on.
constexpr char kHelpPagesFolder[] = "help";
constexpr char kHelpStartPage[] = "getting-started.html";

// What the desktop's stand-in answers to hh::DisplayTopic, where the control
// answers its window's handle.
namespace desktop_help {
constexpr std::uintptr_t NothingToShow = 0; // no CHM viewer, and no HTML pages either
constexpr std::uintptr_t ShownFile = 1; // the help file, handed to the CHM viewer
constexpr std::uintptr_t ShownPages = 2; // the start page, handed to the browser
constexpr std::uintptr_t DesktopRefused = 3; // the desktop opened neither
} // namespace desktop_help

// The desktop as the stand-in sees it; the window's tests give their own.
struct DesktopHelp {
    // Hands a URL to the desktop's handler for it; false when none took it.
    std::function<bool(const QUrl&)> OpenUrl;
    // True when a program that shows CHM files is installed.
    std::function<bool()> HasChmViewer;

    // QDesktopServices, and DesktopHasChmViewer below.
    static DesktopHelp System();
};

// Whether the desktop has a CHM viewer: the desktop's default application
// for application/vnd.ms-htmlhelp (or its older alias application/x-chm) as
// `xdg-mime query default` names it, which is what xdg-open, and through it
// QDesktopServices, would start for the file; where xdg-mime is not
// installed, xchm or kchmviewer on PATH. okular on PATH does not count: it
// shows CHM files only with okular-extra-backends, and then its entry
// registers the MIME type, which xdg-mime sees.
bool DesktopHasChmViewer();

class HelpViewer {
public:
    virtual ~HelpViewer() = default;

    // The control's "HtmlHelpA" call: no caller window, a file name or
    // null, a command and its data.
    virtual std::uintptr_t HtmlHelp(const char* file, unsigned command, std::uintptr_t data) = 0;

    // Every command given, in order (shared, so it can be read after the
    // viewer has been released).
    std::shared_ptr<std::vector<unsigned>> Calls = std::make_shared<std::vector<unsigned>>();
};

// Loads the viewer; null when it is not available. `helpFolder` is where
// the stand-in finds the file given by its bare name and, below it, the
// HTML pages; `desktop` is what it hands them to (not used on Windows).
std::unique_ptr<HelpViewer> LoadHelpViewer(const QString& helpFolder,
                                           const DesktopHelp& desktop = DesktopHelp::System());

} // namespace vantrel
