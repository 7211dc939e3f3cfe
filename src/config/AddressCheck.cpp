// The address check before a write: every group of four octet edits that
// the write will use must hold numbers from 0 to 255.

#include "app/MainForm.h"
#include "config/StrToInt.h"

#include "ui_MainForm.h"

bool TMainForm::CheckAddresses()
{
    bool ok = true;
    const auto checkGroup = [&](const std::array<QLineEdit*, 4>& edits, const char* failure) {
        // The first bad octet fails its group; the next group runs regardless.
        for (const QLineEdit* edit : edits) {
            if (!vantrel::IsValidOctet(edit->text().toStdString())) {
                Log(QString::fromLatin1(failure));
                ok = false;
                return;
            }
        }
    };
    if (!ui->DHCPEnableJvCheckBox->isChecked())
        checkGroup(IPAddrEdits, "Invalid IP Address");
    checkGroup(GateWayAddrEdits, "Invalid Gateway Address");
    checkGroup(SubMaskAddrEdits, "Invalid Submask");
    if (ui->EnableClientJvCheckBox->isChecked())
        checkGroup(ClientAddrEdits, "Invalid Target Address");
    return ok;
}
