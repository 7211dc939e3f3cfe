// The window's side of the MAC allocation file: loaded at start-up, the
// first two lines written back at close, and the six octets of "Send New MAC".

#include "app/MainForm.h"
#include "common/FileLock.h"
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

bool TMainForm::WriteBackMacAllocationFile()
{
    const QString& path = Services.Paths.MacAllocationFile;
    // Nothing is written for a file that was not there at start-up, nor for
    // one deleted since: the file is never created by the program.
    if (!MacFileExisted || !QFileInfo(path).isFile())
        return true;
    const bool edited = ui->NewMAC2Edit->text() != MacFileAsRead.Lines.value(0)
                        || ui->NewMAC1Edit->text() != MacFileAsRead.Lines.value(1);
    while (MacAllocationList.size() < 2)
        MacAllocationList << QString();
    MacAllocationList[0] = ui->NewMAC2Edit->text();
    MacAllocationList[1] = ui->NewMAC1Edit->text();

    const auto cannotWrite = [&](const QString& why) {
        Services.Dialogs.MessageDlg(QStringLiteral("Cannot write the MAC allocation file\n") + path
                                        + (why.isEmpty() ? QString() : QStringLiteral("\n") + why),
                                    MsgType::Error, MsgButtons::Ok);
        return true;
    };
    // Other benches may take addresses from the same file meanwhile: the
    // file is held from reading it again to writing it back.
    vantrel::FileLock lock(path);
    QString why;
    if (!lock.Take(vantrel::kFileLockWait, why))
        return cannotWrite(why);
    vantrel::MacAllocationFile now;
    switch (vantrel::ReadMacAllocationFile(path, now, &why)) {
    case vantrel::MacFileStatus::Missing:
        return true;
    case vantrel::MacFileStatus::Unreadable:
        return cannotWrite(why);
    case vantrel::MacFileStatus::Read:
        break;
    }
    if (now.Bytes != MacFileAsRead.Bytes) {
        // Another program moved the file on. Untouched edits would move it
        // back to an address already given out: the file stays as it is.
        // Edits the operator made are written only when the operator says so.
        if (!edited)
            return true;
        const MsgResult answer = Services.Dialogs.MessageDlg(
            QStringLiteral("The MAC allocation file was changed by another program\n%1\nIts lines 1 and 2 now "
                           "hold %2 and %3. Write %4 and %5 from this window over them?")
                .arg(path, now.Lines.value(0).left(2), now.Lines.value(1).left(2), MacAllocationList[0].left(2),
                     MacAllocationList[1].left(2)),
            MsgType::Confirmation, MsgButtons::YesNoCancel);
        if (answer == MsgResult::Cancel)
            return false;
        if (answer != MsgResult::Yes)
            return true;
    }

    // A file that would not read back as exactly these lines is left as it
    // was, and the operator is told.
    const auto bytes = vantrel::WithFirstTwoLines(now, MacAllocationList[0], MacAllocationList[1]);
    if (!bytes) {
        Services.Dialogs.MessageDlg(
            QStringLiteral("MAC allocation file not written: it would not read back exactly\n") + path,
            MsgType::Error, MsgButtons::Ok);
        return true;
    }
    if (!vantrel::SaveWhole(path, *bytes, &why))
        return cannotWrite(QString());
    return true;
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
