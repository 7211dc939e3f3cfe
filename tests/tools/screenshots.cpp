// Takes pictures of the real window for the docs: both pages as the
// program shows them at start-up. Run under an X server (scripts/screenshots.sh
// starts Xvfb); writes PNG files into the folder given as the argument.

#include "common/FixedPaths.h"
#include "app/MainForm.h"
#include "app/OperatorDialogs.h"
#include "device/HidBackend.h"
#include "demo/DemoUnit.h"
#include "unit/SimulatedUnit.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QScreen>
#include <QTabWidget>
#include <QTest>

#include <cstdio>

namespace {
class NoUnits final : public vantrel::HidBackend {
public:
    std::vector<vantrel::HidInterfaceInfo> Enumerate() override { return {}; }
    std::unique_ptr<vantrel::HidHandle> Open(const std::string&, vantrel::HidOpenMode, std::string&) override
    {
        return nullptr;
    }
};

bool Shoot(QWidget& window, const QString& file)
{
    QApplication::processEvents();
    QTest::qWait(200);
    const QPixmap picture = window.screen()->grabWindow(window.winId());
    if (!picture.save(file)) {
        std::fprintf(stderr, "cannot write %s\n", qPrintable(file));
        return false;
    }
    std::printf("%s\n", qPrintable(file));
    return true;
}
} // namespace

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    const QString folder = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral(".");
    QDir().mkpath(folder);

    QtOperatorDialogs dialogs;
    NoUnits hid;
    FixedPaths paths = FixedPaths::Production();
    if (argc > 2)
        paths.MacAllocationFile = QString::fromLocal8Bit(argv[2]);
    TMainForm form({dialogs, hid, paths});
    form.show();
    if (!QTest::qWaitForWindowExposed(&form))
        return 1;
    auto* pages = form.findChild<QTabWidget*>(QStringLiteral("AdvPageControl1"));
    bool ok = Shoot(form, folder + QStringLiteral("/general.png"));
    pages->setCurrentIndex(1);
    ok = Shoot(form, folder + QStringLiteral("/control.png")) && ok;
    form.hide();

    // vantrel-demo after "Read From QUORVEX": a simulated unit, a MAC
    // allocation file, and the "Read Complete" box answered at once.
    class AnswerOk final : public OperatorDialogs {
    public:
        MsgResult MessageDlg(const QString&, MsgType, MsgButtons) override { return MsgResult::Ok; }
        QString PromptSaveFileName() override { return {}; }
        QString PromptOpenFileName() override { return {}; }
    } answerOk;
    auto unit = vantrel::MakeDemoUnit();
    vantrel::SimulatedHidBackend simulated;
    simulated.Add(unit);
    FixedPaths demoPaths = paths;
    demoPaths.MacAllocationFile = folder + QStringLiteral("/.demo-mac.txt");
    {
        QFile mac(demoPaths.MacAllocationFile);
        if (mac.open(QIODevice::WriteOnly))
            mac.write("10\r\n0B\r\n01\r\nA3\r\n04\r\n00\r\n");
    }
    TMainForm demo({answerOk, simulated, demoPaths});
    QFile::remove(demoPaths.MacAllocationFile);
    demo.setWindowTitle(demo.windowTitle() + QStringLiteral(" [demo: simulated unit]"));
    demo.show();
    if (!QTest::qWaitForWindowExposed(&demo))
        return 1;
    demo.ReadButtonClick();
    ok = QTest::qWaitFor([&] { return demo.State() == Awaiting::Nothing && unit->ReceivedCount() == 6; }, 5000) && ok;
    ok = Shoot(demo, folder + QStringLiteral("/demo-read.png")) && ok;
    return ok ? 0 : 1;
}
