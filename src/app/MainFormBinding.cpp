// The window's side of the configuration record: defaults, snapshot, change
// test, and the copies between the controls and the record.

#include "app/MainForm.h"
#include "common/AnsiText.h"
#include "config/StrToInt.h"

#include "ui_MainForm.h"

#include <algorithm>

namespace {

void ReadOctets(const std::array<QLineEdit*, 4>& edits, std::uint8_t (&octets)[4])
{
    // Octet by octet: a text that does not convert stops the copy there, and
    // the octets already read keep their new values.
    for (std::size_t i = 0; i < 4; ++i)
        octets[i] = vantrel::StrToOctet(edits[i]->text().toStdString());
}

// ConfigToForm sets a control only when it shows something else. Setting a
// control to what it already shows changes nothing on the screen but costs
// a repaint (a read shows the record twice, and most reads bring what the
// window shows already) and, in an edit, moves the cursor to the end.
void ShowText(QLineEdit* edit, const QString& text)
{
    if (edit->text() != text)
        edit->setText(text);
}

void ShowChecked(QCheckBox* box, bool checked)
{
    if (box->isChecked() != checked)
        box->setChecked(checked);
}

// What a spin box shows for `value`: its prefix, the number as the box
// writes it and its suffix.
class SpinBoxText : public QSpinBox {
public:
    static QString Of(const QSpinBox* box, int value)
    {
        return box->prefix() + (box->*&SpinBoxText::textFromValue)(value) + box->suffix();
    }
};

// A value outside the range shows as the nearest limit. A text the operator
// left half-typed is replaced, as setValue does.
void ShowValue(QSpinBox* box, int value)
{
    const int shown = std::clamp(value, box->minimum(), box->maximum());
    if (box->value() != shown || !box->specialValueText().isEmpty() || box->text() != SpinBoxText::Of(box, shown))
        box->setValue(value);
}

void ShowOctets(const std::array<QLineEdit*, 4>& edits, const std::uint8_t (&octets)[4])
{
    for (std::size_t i = 0; i < 4; ++i)
        ShowText(edits[i], QString::number(octets[i]));
}

// Names travel as one byte per character, in the system's ANSI code page.
std::string NameBytes(const QLineEdit* edit)
{
    return vantrel::ToAnsi(edit->text());
}

QString NameText(const std::uint8_t* field, std::size_t width)
{
    return vantrel::FromAnsi(vantrel::LoadName(field, width));
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

    ShowText(ui->DeviceNameEdit, NameText(r.DeviceName, sizeof r.DeviceName));
    ShowText(ui->EthernetNameEdit, NameText(r.EthernetName, sizeof r.EthernetName));

    ShowChecked(ui->DHCPEnableJvCheckBox, r.DHCPEnable != 0);
    ShowChecked(ui->UseBroadcastJvCheckBox, r.UseBroadcast != 0);
    ShowChecked(ui->EnableClientJvCheckBox, r.EnableClient != 0);

    for (std::size_t i = 0; i < HysteresisSpinEdits.size(); ++i)
        ShowValue(HysteresisSpinEdits[i], r.Hysteresis[i]);

    ShowValue(ui->ServerTimeoutCSpinEdit, r.ServerTimeout);
    ShowValue(ui->ClientPortCSpinEdit, r.ClientPort);
    ShowValue(ui->UpdatePeriodCSpinEdit, r.UpdatePeriod);

    for (std::size_t i = 0; i < 16; ++i)
        ShowChecked(InvertInputsCheckBoxes[i], r.InvertInputs[i] != 0);
    for (std::size_t i = 0; i < 16; ++i)
        ShowChecked(InvertOutputsCheckBoxes[i], r.InvertOutputs[i] != 0);
    for (std::size_t i = 0; i < 16; ++i)
        ShowChecked(OutputStartStatusCheckBoxes[i], r.OutputStartStatus[i] != 0);
}
