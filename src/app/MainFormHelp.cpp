// The "Help" button: shown only when the help file is in its place and a
// viewer could be loaded. Its place is beside the program; an installed
// program on Linux finds it in the package's data folder instead
// (<prefix>/share/vantrel beside <prefix>/bin). Off Windows the help's HTML
// pages lie in help/ beside the file: the browser shows them when the
// desktop has no CHM viewer, and with neither the log says what to install.

#include "app/MainForm.h"
#include "common/AnsiText.h"

#include "ui_MainForm.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

void TMainForm::SetUpHelp()
{
    const QString name = QString::fromLatin1(vantrel::kHelpFileName);
    const QDir programDir(Services.Paths.ProgramDir);
    HelpFilePath = QFileInfo(programDir.filePath(name)).absoluteFilePath();
#ifndef Q_OS_WIN
    const QString installed
        = QDir::cleanPath(QFileInfo(programDir.filePath(QStringLiteral("../share/vantrel/") + name)).absoluteFilePath());
    if (!QFileInfo(HelpFilePath).isFile() && QFileInfo(installed).isFile())
        HelpFilePath = installed;
#endif
    // Only a file is the help file: a folder of that name is not.
    if (!QFileInfo(HelpFilePath).isFile()) {
        ui->HelpButton->hide();
        return;
    }
    HelpLibrary = vantrel::LoadHelpViewer(QFileInfo(HelpFilePath).absolutePath(), Services.Desktop);
    if (!HelpLibrary) {
        ui->HelpButton->hide();
        return;
    }
    HelpLibrary->HtmlHelp(nullptr, vantrel::hh::Initialize, reinterpret_cast<std::uintptr_t>(&HelpCookie));
}

void TMainForm::HelpButtonClick()
{
    if (HelpLibrary) {
        // The viewer is given the full path: by its bare name it would be
        // looked for in the current folder, which need not be the program's.
#ifdef Q_OS_WIN
        const std::string file = vantrel::ToAnsi(QDir::toNativeSeparators(HelpFilePath)); // the control's narrow text
        HelpLibrary->HtmlHelp(file.c_str(), vantrel::hh::DisplayTopic, 0);
#else
        const std::string file = QFile::encodeName(HelpFilePath).toStdString();
        const std::uintptr_t shown = HelpLibrary->HtmlHelp(file.c_str(), vantrel::hh::DisplayTopic, 0);
        const QString pages = QDir(QFileInfo(HelpFilePath).absolutePath())
                                  .filePath(QString::fromLatin1(vantrel::kHelpPagesFolder));
        if (shown == vantrel::desktop_help::NothingToShow) {
            Log(QStringLiteral("Help: no viewer for %1 is installed and its HTML pages are not in %2; install a "
                               "CHM viewer (Debian package xchm, kchmviewer, or okular with okular-extra-backends)")
                    .arg(HelpFilePath, pages));
        } else if (shown == vantrel::desktop_help::DesktopRefused) {
            Log(QStringLiteral("Help: the desktop could open neither %1 nor the HTML pages in %2")
                    .arg(HelpFilePath, pages));
        }
#endif
    }
}

void TMainForm::CloseHelp()
{
    // The button's visibility is the flag that help is available.
    if (ui->HelpButton->isHidden() || !HelpLibrary)
        return;
    HelpLibrary->HtmlHelp(nullptr, vantrel::hh::CloseAll, 0);
    HelpLibrary->HtmlHelp(nullptr, vantrel::hh::Uninitialize, HelpCookie);
    HelpLibrary.reset();
}
