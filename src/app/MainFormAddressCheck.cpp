// The address check before a write: every group of four octet edits that
// the write will use must hold numbers from 0 to 255. The rule itself is
// CheckAddressTexts, shared with vantrel-cli.

#include "app/MainForm.h"
#include "config/AddressRules.h"

#include "ui_MainForm.h"

bool TMainForm::CheckAddresses()
{
    const auto texts = [](const std::array<QLineEdit*, 4>& edits) {
        vantrel::OctetTexts octets;
        for (std::size_t i = 0; i < 4; ++i)
            octets[i] = edits[i]->text().toStdString();
        return octets;
    };
    vantrel::AddressTexts addresses;
    addresses.DhcpEnabled = ui->DHCPEnableJvCheckBox->isChecked();
    addresses.ClientEnabled = ui->EnableClientJvCheckBox->isChecked();
    addresses.Ip = texts(IPAddrEdits);
    addresses.Gateway = texts(GateWayAddrEdits);
    addresses.Mask = texts(SubMaskAddrEdits);
    addresses.Target = texts(ClientAddrEdits);
    const std::vector<std::string> failures = vantrel::CheckAddressTexts(addresses);
    for (const std::string& failure : failures)
        Log(QString::fromLatin1(failure));
    return failures.empty();
}
