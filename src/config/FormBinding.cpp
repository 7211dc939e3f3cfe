// The window's side of the configuration record: defaults, snapshot, change
// test, and the copies between the controls and the record.

#include "app/MainForm.h"
#include "config/StrToInt.h"

#include "ui_MainForm.h"

namespace {

void ReadOctets(const std::array<QLineEdit*, 4>& edits, std::uint8_t (&octets)[4])
{
    // Octet by octet: a text that does not convert stops the copy there, and
    // the octets already read keep their new values.
    for (std::size_t i = 0; i < 4; ++i)
        octets[i] = vantrel::StrToOctet(edits[i]->text().toStdString());
}

void ShowOctets(const std::array<QLineEdit*, 4>& edits, const std::uint8_t (&octets)[4])
{
    for (std::size_t i = 0; i < 4; ++i)
        edits[i]->setText(QString::number(octets[i]));
}

// Names travel as one byte per character; a character outside Latin-1
// becomes '?'.
std::string NameBytes(const QLineEdit* edit)
{
    return edit->text().toLatin1().toStdString();
}

QString NameText(const std::uint8_t* field, std::size_t width)
{
    return QString::fromLatin1(vantrel::LoadName(field, width));
}

std::uint8_t Flag(const QCheckBox* box)
{
    return box->isChecked() ? 1 : 0;
}

} // namespace

void TMainForm::SetDefaultConfig()
{
    vantrel::SetDefaults(ConfigRecord);
}

void TMainForm::TakeConfigSnapshot()
{
    ConfigSnapshot = ConfigRecord;
}

bool TMainForm::ConfigChanged() const
{
    return vantrel::RecordsDiffer(ConfigRecord, ConfigSnapshot);
}

void TMainForm::FormToConfig()
{
    auto& r = ConfigRecord;
    if (!ui->DHCPEnableJvCheckBox->isChecked())
        ReadOctets(IPAddrEdits, r.IPAddr);
    if (ui->EnableClientJvCheckBox->isChecked())
        ReadOctets(ClientAddrEdits, r.ClientAddr);
    ReadOctets(GateWayAddrEdits, r.GateWayAddr);
    ReadOctets(SubMaskAddrEdits, r.SubMaskAddr);

    vantrel::StoreName(r.DeviceName, sizeof r.DeviceName, vantrel::kDeviceNameChars, NameBytes(ui->DeviceNameEdit));
    vantrel::StoreName(r.EthernetName, sizeof r.EthernetName, vantrel::kEthernetNameChars,
                       NameBytes(ui->EthernetNameEdit));

    r.DHCPEnable = Flag(ui->DHCPEnableJvCheckBox);
    r.UseBroadcast = Flag(ui->UseBroadcastJvCheckBox);
    r.EnableClient = Flag(ui->EnableClientJvCheckBox);

    for (std::size_t i = 0; i < HysteresisSpinEdits.size(); ++i)
        r.Hysteresis[i] = HysteresisSpinEdits[i]->value();

    r.ServerTimeout = static_cast<std::uint8_t>(ui->ServerTimeoutCSpinEdit->value());
    r.ClientPort = ui->ClientPortCSpinEdit->value();
    r.UpdatePeriod = static_cast<std::uint8_t>(ui->UpdatePeriodCSpinEdit->value());

    for (std::size_t i = 0; i < 16; ++i)
        r.InvertInputs[i] = Flag(InvertInputsCheckBoxes[i]);
    for (std::size_t i = 0; i < 16; ++i)
        r.InvertOutputs[i] = Flag(InvertOutputsCheckBoxes[i]);
    for (std::size_t i = 0; i < 16; ++i)
        r.OutputStartStatus[i] = Flag(OutputStartStatusCheckBoxes[i]);
}

void TMainForm::ConfigToForm()
{
    const auto& r = ConfigRecord;
    ShowOctets(IPAddrEdits, r.IPAddr);
    ShowOctets(ClientAddrEdits, r.ClientAddr);
    ShowOctets(GateWayAddrEdits, r.GateWayAddr);
    ShowOctets(SubMaskAddrEdits, r.SubMaskAddr);

    ui->DeviceNameEdit->setText(NameText(r.DeviceName, sizeof r.DeviceName));
    ui->EthernetNameEdit->setText(NameText(r.EthernetName, sizeof r.EthernetName));

    ui->DHCPEnableJvCheckBox->setChecked(r.DHCPEnable != 0);
    ui->UseBroadcastJvCheckBox->setChecked(r.UseBroadcast != 0);
    ui->EnableClientJvCheckBox->setChecked(r.EnableClient != 0);

    // A value outside a spin edit's range shows as the nearest limit.
    for (std::size_t i = 0; i < HysteresisSpinEdits.size(); ++i)
        HysteresisSpinEdits[i]->setValue(r.Hysteresis[i]);

    ui->ServerTimeoutCSpinEdit->setValue(r.ServerTimeout);
    ui->ClientPortCSpinEdit->setValue(r.ClientPort);
    ui->UpdatePeriodCSpinEdit->setValue(r.UpdatePeriod);

    for (std::size_t i = 0; i < 16; ++i)
        InvertInputsCheckBoxes[i]->setChecked(r.InvertInputs[i] != 0);
    for (std::size_t i = 0; i < 16; ++i)
        InvertOutputsCheckBoxes[i]->setChecked(r.InvertOutputs[i] != 0);
    for (std::size_t i = 0; i < 16; ++i)
        OutputStartStatusCheckBoxes[i]->setChecked(r.OutputStartStatus[i] != 0);
}
