#include "help/HelpViewer.h"

#include <QDesktopServices>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QUrl>

#ifdef Q_OS_WIN
#include <windows.h>
#endif

namespace vantrel {

DesktopHelp DesktopHelp::System()
{
    return {[](const QUrl& url) { return QDesktopServices::openUrl(url); }, [] { return DesktopHasChmViewer(); }};
}

bool DesktopHasChmViewer()
{
    const QString xdgMime = QStandardPaths::findExecutable(QStringLiteral("xdg-mime"));
    if (xdgMime.isEmpty()) {
        return !QStandardPaths::findExecutable(QStringLiteral("xchm")).isEmpty()
               || !QStandardPaths::findExecutable(QStringLiteral("kchmviewer")).isEmpty();
    }
    for (const char* type : {"application/vnd.ms-htmlhelp", "application/x-chm"}) {
        QProcess query;
        query.setStandardErrorFile(QProcess::nullDevice());
        query.start(xdgMime, {QStringLiteral("query"), QStringLiteral("default"), QString::fromLatin1(type)});
        // A desktop's helper that hangs must not hold the window for long.
        if (!query.waitForFinished(3000)) {
            query.kill();
            query.waitForFinished();
            continue;
        }
        if (query.exitStatus() == QProcess::NormalExit && query.exitCode() == 0
            && !query.readAllStandardOutput().trimmed().isEmpty())
            return true;
    }
    return false;
}

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

std::unique_ptr<HelpViewer> LoadHelpViewer(const QString&, const DesktopHelp&)
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
// Without the HTML Help control: the desktop opens the help file with its
// CHM viewer; without one, the browser opens the help's HTML pages, which
// lie in a folder beside the file.
class DesktopHelpViewer final : public HelpViewer {
public:
    DesktopHelpViewer(QString folder, DesktopHelp desktop) : folder_(std::move(folder)), desktop_(std::move(desktop)) {}

    std::uintptr_t HtmlHelp(const char* file, unsigned command, std::uintptr_t data) override
    {
        Calls->push_back(command);
        if (command == hh::Initialize && data != 0)
            *reinterpret_cast<std::uintptr_t*>(data) = 1;
        if (command != hh::DisplayTopic || file == nullptr)
            return 0;
        const QString helpFile = QDir(folder_).filePath(QFile::decodeName(file));
        bool refused = false;
        if (desktop_.HasChmViewer()) {
            if (desktop_.OpenUrl(QUrl::fromLocalFile(helpFile)))
                return desktop_help::ShownFile;
            refused = true;
        }
        const QString startPage = QDir(QFileInfo(helpFile).absolutePath())
                                      .filePath(QStringLiteral("%1/%2").arg(QLatin1String(kHelpPagesFolder),
                                                                            QLatin1String(kHelpStartPage)));
        if (!QFileInfo(startPage).isFile())
            return refused ? desktop_help::DesktopRefused : desktop_help::NothingToShow;
        return desktop_.OpenUrl(QUrl::fromLocalFile(startPage)) ? desktop_help::ShownPages
                                                                : desktop_help::DesktopRefused;
    }

private:
    QString folder_;
    DesktopHelp desktop_;
};
} // namespace

std::unique_ptr<HelpViewer> LoadHelpViewer(const QString& helpFolder, const DesktopHelp& desktop)
{
    return std::make_unique<DesktopHelpViewer>(helpFolder, desktop);
}

#endif

} // namespace vantrel
