// The window's side of the MAC allocation file: loaded at start-up, the
// first two lines written back at close, and the six octets of "Send New MAC".

#include "app/MainForm.h"
#include "common/SaveWhole.h"
#include "mac/MacAllocationFile.h"

#include "ui_MainForm.h"

#include <QFileInfo>

void TMainForm::LoadMacAllocationFile()
{
    MacAllocationList.clear();
    const QString& path = Services.Paths.MacAllocationFile;
    const vantrel::MacFileStatus status = vantrel::ReadMacAllocationFile(path, MacFileAsRead);
    if (status == vantrel::MacFileStatus::Unreadable) {
        Log(QStringLiteral("MAC Allocation File Error:"));
        Log(path);
    }
    const bool readable = status == vantrel::MacFileStatus::Read;
    MacFileExisted = readable;
    ui->NewMAC1Edit->setVisible(readable);
    ui->NewMAC2Edit->setVisible(readable);
    ui->SendNewMACButton->setVisible(readable);
    if (!readable)
        return;

    MacAllocationList = MacFileAsRead.Lines;
    if (!MacAllocationList.isEmpty()) {
        ui->NewMAC2Edit->setText(MacAllocationList.value(0));
        ui->NewMAC1Edit->setText(MacAllocationList.value(1));
    }
}

void TMainForm::WriteBackMacAllocationFile()
{
    const QString& path = Services.Paths.MacAllocationFile;
    // Nothing is written for a file that was not there at start-up, nor for
    // one deleted since: the file is never created by the program.
    if (!MacFileExisted || !QFileInfo(path).isFile())
        return;
    while (MacAllocationList.size() < 2)
        MacAllocationList << QString();
    MacAllocationList[0] = ui->NewMAC2Edit->text();
    MacAllocationList[1] = ui->NewMAC1Edit->text();

    // A file that would not read back as exactly these lines is left as it
    // was, and the operator is told.
    const auto bytes = vantrel::WithFirstTwoLines(MacFileAsRead, MacAllocationList[0], MacAllocationList[1]);
    if (!bytes) {
        Services.Dialogs.MessageDlg(
            QStringLiteral("MAC allocation file not written: it would not read back exactly\n") + path,
            MsgType::Error, MsgButtons::Ok);
        return;
    }
    if (!vantrel::SaveWhole(path, *bytes))
        Services.Dialogs.MessageDlg(QStringLiteral("Cannot write the MAC allocation file\n") + path, MsgType::Error,
                                    MsgButtons::Ok);
}

bool TMainForm::NewMacAddress(std::array<std::uint8_t, 6>& octets)
{
    const vantrel::MacAddressResult mac
        = vantrel::MacAddressFrom(MacAllocationList, ui->NewMAC1Edit->text(), ui->NewMAC2Edit->text());
    if (mac.TooFewLines) {
        Services.Dialogs.MessageDlg(QStringLiteral("MAC allocation file has fewer than 6 lines"), MsgType::Error,
                                    MsgButtons::Ok);
        return false;
    }
    if (!mac.Octets) {
        Services.Dialogs.MessageDlg(QStringLiteral("Invalid MAC octet: '%1'").arg(mac.BadText), MsgType::Error,
                                    MsgButtons::Ok);
        return false;
    }
    octets = *mac.Octets;
    return true;
}
