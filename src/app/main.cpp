// The process entry: creates the main window on the real dialogs, the real
// HID layer and the fixed places, and runs the event loop until it closes.

#include "common/Version.h"
#include "app/RunWindow.h"
#include "device/HidapiBackend.h"

#include <QApplication>
#include <QMessageBox>

#include <cstdio>
#include <cstring>
#include <exception>

int main(int argc, char* argv[])
{
    // Before the application object, which would need a display.
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--version") == 0) {
            std::printf("vantrel %s\n", qPrintable(vantrel::ToolVersion()));
            return std::fflush(stdout) == 0 && !std::ferror(stdout) ? 0 : 1;
        }
    }
    QApplication app(argc, argv);
    try {
        vantrel::HidapiBackend hid;
        RunWindow(hid);
    } catch (const std::exception& e) {
        QMessageBox::critical(nullptr, QStringLiteral("Error"), QString::fromStdString(e.what()));
    } catch (...) {
        QMessageBox::critical(nullptr, QStringLiteral("Error"), QString());
    }
    return 0;
}
