#pragma once
// The help viewer. On Windows it is the system's HTML Help control, loaded
// at run time through its registration; elsewhere a stand-in opens the help
// file with the desktop's handler for it. Both take the control's four
// commands, so the window drives them the same way.

#include <QString>

#include <cstdint>
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
// the stand-in finds the file given by its bare name.
std::unique_ptr<HelpViewer> LoadHelpViewer(const QString& helpFolder);

} // namespace vantrel
