#include "app/RunWindow.h"

#include "app/MainForm.h"
#include "app/OperatorDialogs.h"
#include "common/FixedPaths.h"

#include <QApplication>
#include <QScreen>

void RunWindow(vantrel::HidBackend& hid, const QString& titleSuffix)
{
    QtOperatorDialogs dialogs;
    TMainForm form({dialogs, hid, FixedPaths::Production()});
    dialogs.SetParent(&form);
    if (!titleSuffix.isEmpty())
        form.setWindowTitle(form.windowTitle() + titleSuffix);
    if (const QScreen* screen = QGuiApplication::primaryScreen())
        form.move(screen->availableGeometry().center() - form.rect().center());
    form.show();
    QApplication::exec();
}
