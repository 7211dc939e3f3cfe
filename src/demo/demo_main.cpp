// vantrel-demo: the real window, with the real dialogs, wired to one
// simulated unit instead of the USB link, so the tool can be tried without
// hardware. The unit answers like the firmware, a little slower than at
// once so the exchanges can be watched in the log. "--fault FAULT" (any
// number of times) gives the unit a fault by name ("program-mode",
// "lose-replies-after:1", ...), so the window's failure paths can be seen.

#include "common/Version.h"
#include "app/RunWindow.h"
#include "demo/DemoUnit.h"
#include "unit/SimulatedFaults.h"
#include "unit/SimulatedUnit.h"

#include <QApplication>
#include <QStringList>

#include <algorithm>
#include <cstdio>
#include <cstring>

int main(int argc, char* argv[])
{
    // Before the application object, which would need a display.
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--version") == 0) {
            std::printf("vantrel-demo %s\n", qPrintable(vantrel::ToolVersion()));
            return std::fflush(stdout) == 0 && !std::ferror(stdout) ? 0 : 1;
        }
    }
    QApplication app(argc, argv);

    auto unit = vantrel::MakeDemoUnit();
    unit->SetAnswerDelayMs(20);
    QStringList faults;
    const QStringList args = QCoreApplication::arguments();
    for (qsizetype i = 1; i < args.size(); ++i) {
        if (args[i] != QStringLiteral("--fault") || i + 1 == args.size()) {
            std::fprintf(stderr, "vantrel-demo: unknown argument '%s'; usage: vantrel-demo [--fault FAULT]...\n",
                         qPrintable(args[i]));
            return 2;
        }
        std::string whyNot;
        if (!vantrel::ApplySimulatedFault(*unit, args[++i].toStdString(), whyNot)) {
            std::fprintf(stderr, "vantrel-demo: --fault %s\n", whyNot.c_str());
            return 2;
        }
        faults << args[i];
    }

    vantrel::SimulatedHidBackend hid;
    hid.AddOtherDevice("HID\\VID_046D&PID_C52B&REV_1211"); // a keyboard receiver
    hid.Add(unit);

    RunWindow(hid, faults.isEmpty() ? QStringLiteral(" [demo: simulated unit]")
                                    : QStringLiteral(" [demo: simulated unit, fault %1]")
                                          .arg(faults.join(QStringLiteral(", "))));
    return 0;
}
