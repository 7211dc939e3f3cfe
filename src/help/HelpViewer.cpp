#include "help/HelpViewer.h"

#include <QDesktopServices>
#include <QDir>
#include <QUrl>

#ifdef Q_OS_WIN
#include <windows.h>
#endif

namespace vantrel {

#ifdef Q_OS_WIN

namespace {
// The HTML Help control, as registered with the system.
class HtmlHelpControl final : public HelpViewer {
public:
    using Proc = HWND(WINAPI*)(HWND, LPCSTR, UINT, DWORD_PTR);
    HtmlHelpControl(HMODULE library, Proc proc) : library_(library), proc_(proc) {}
    ~HtmlHelpControl() override { FreeLibrary(library_); }
    HtmlHelpControl(const HtmlHelpControl&) = delete;
    HtmlHelpControl& operator=(const HtmlHelpControl&) = delete;

    std::uintptr_t HtmlHelp(const char* file, unsigned command, std::uintptr_t data) override
    {
        Calls->push_back(command);
        return reinterpret_cast<std::uintptr_t>(proc_(nullptr, file, command, data));
    }

private:
    HMODULE library_;
    Proc proc_;
};
} // namespace

std::unique_ptr<HelpViewer> LoadHelpViewer(const QString&)
{
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_CLASSES_ROOT, "CLSID\\{adb880a6-d8ff-11cf-9377-00aa003b7a11}\\InprocServer32", 0,
                      KEY_QUERY_VALUE, &key)
        != ERROR_SUCCESS)
        return nullptr;
    char path[256] = {};
    DWORD size = 255;
    std::unique_ptr<HelpViewer> viewer;
    if (RegQueryValueExA(key, nullptr, nullptr, nullptr, reinterpret_cast<LPBYTE>(path), &size) == ERROR_SUCCESS) {
        HMODULE library = LoadLibraryA(path);
        if (library == nullptr)
            library = LoadLibraryA("hhctrl.ocx");
        if (library != nullptr) {
            // GetProcAddress gives a FARPROC; going through void (*)() is the
            // cast compilers accept between unrelated function types without
            // a -Wcast-function-type warning.
            auto proc = reinterpret_cast<HtmlHelpControl::Proc>(
                reinterpret_cast<void (*)()>(GetProcAddress(library, "HtmlHelpA")));
            if (proc != nullptr)
                viewer = std::make_unique<HtmlHelpControl>(library, proc);
            else
                FreeLibrary(library);
        }
    }
    RegCloseKey(key);
    return viewer;
}

#else

namespace {
// Without the HTML Help control: the desktop opens the help file with
// whatever it has registered for it.
class DesktopHelpViewer final : public HelpViewer {
public:
    explicit DesktopHelpViewer(QString folder) : folder_(std::move(folder)) {}

    std::uintptr_t HtmlHelp(const char* file, unsigned command, std::uintptr_t data) override
    {
        Calls->push_back(command);
        if (command == hh::Initialize && data != 0)
            *reinterpret_cast<std::uintptr_t*>(data) = 1;
        if (command == hh::DisplayTopic && file != nullptr)
            QDesktopServices::openUrl(QUrl::fromLocalFile(QDir(folder_).filePath(QString::fromLocal8Bit(file))));
        return 0;
    }

private:
    QString folder_;
};
} // namespace

std::unique_ptr<HelpViewer> LoadHelpViewer(const QString& helpFolder)
{
    return std::make_unique<DesktopHelpViewer>(helpFolder);
}

#endif

} // namespace vantrel
