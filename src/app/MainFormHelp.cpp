// The "Help" button: shown only when the help file lies beside the program
// and a viewer could be loaded.

#include "app/MainForm.h"

#include "ui_MainForm.h"

#include <QDir>
#include <QFileInfo>

void TMainForm::SetUpHelp()
{
    HelpFilePath = QFileInfo(QDir(Services.Paths.ProgramDir).filePath(QString::fromLatin1(vantrel::kHelpFileName)))
                       .absoluteFilePath();
    // Only a file is the help file: a folder of that name is not.
    if (!QFileInfo(HelpFilePath).isFile()) {
        ui->HelpButton->hide();
        return;
    }
    HelpLibrary = vantrel::LoadHelpViewer(QFileInfo(HelpFilePath).absolutePath());
    if (!HelpLibrary) {
        ui->HelpButton->hide();
        return;
    }
    HelpLibrary->HtmlHelp(nullptr, vantrel::hh::Initialize, reinterpret_cast<std::uintptr_t>(&HelpCookie));
}

void TMainForm::HelpButtonClick()
{
    if (HelpLibrary)
        HelpLibrary->HtmlHelp(vantrel::kHelpFileName, vantrel::hh::DisplayTopic, 0);
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
