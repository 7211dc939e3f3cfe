// Takes pictures of the real window for the README: both pages as the
// program shows them at start-up. Run under an X server (scripts/screenshots.sh
// starts Xvfb); writes PNG files into the folder given as the argument.

#include "app/FixedPaths.h"
#include "app/MainForm.h"
#include "app/OperatorDialogs.h"
#include "device/HidBackend.h"

#include <QApplication>
#include <QDir>
#include <QScreen>
#include <QTabWidget>
#include <QTest>

#include <cstdio>

namespace {
class NoUnits final : public vantrel::HidBackend {
public:
    std::vector<vantrel::HidInterfaceInfo> Enumerate() override { return {}; }
    std::unique_ptr<vantrel::HidHandle> Open(const std::string&, vantrel::HidOpenMode) override { return nullptr; }
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
    return ok ? 0 : 1;
}
