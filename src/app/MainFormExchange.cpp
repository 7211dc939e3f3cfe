// The exchanges with the unit: each button sends 'S' and sets the state;
// from then on every input report takes exactly one step of the state
// machine (app/ExchangeStates.h), which reads the reply, sends the next
// request and sets the next state. OutReport is one buffer that is never
// cleared between requests.

#include "app/MainForm.h"
#include "common/AnsiText.h"

#include "ui_MainForm.h"

bool TMainForm::SendOutReport()
{
    if (DeviceWriteHandle && DeviceWriteHandle->WriteReport(OutReport.data(), OutReport.size()))
        return true;
    // A request that cannot be written ends the exchange and the link; the
    // next press searches for the unit again.
    ExchangeState = Awaiting::Nothing;
    CloseLink();
    Services.Dialogs.MessageDlg(QStringLiteral("Cannot write to QUORVEX"), MsgType::Error, MsgButtons::Ok);
    return false;
}

bool TMainForm::StartExchange(const WindowExchange& exchange)
{
    if (!ConnectToUnit())
        return false;
    return SendStep(exchange, exchange.States.front()); // 'S' opens every exchange
}

void TMainForm::ReadButtonClick()
{
    StartExchange(kReadExchange);
}

bool TMainForm::CheckIdentReply(bool logIdentity)
{
    const vantrel::IdentReply ident = vantrel::ParseIdentReply(InReport);
    if (!ident.IsOurApplication) {
        Services.Dialogs.MessageDlg(QStringLiteral("Application is not a ") + QStringLiteral("QUORVEX Vantrel"),
                                    MsgType::Error, MsgButtons::Ok);
        ExchangeState = Awaiting::Nothing;
        return false;
    }
    if (logIdentity) {
        Log(QStringLiteral("Appware Version:") + vantrel::FromAnsi(ident.Version));
        Log(QStringLiteral("Serial Number: ") + QString::number(ident.SerialNumber));
    }
    return true;
}

void TMainForm::HandleInReportGuarded()
{
    RunGuarded([this] { HandleInReport(); });
}

void TMainForm::HandleInReport()
{
    using namespace vantrel;
    switch (ExchangeState) {
    // ---- read: 'S', 'r' 0, 'R' 0, 'r' 1, 'R' 1, 'M' 'R'
    case Awaiting::ReadIdentify:
        if (!CheckIdentReply(true))
            return;
        BlockNumber = 0;
        SendStep(kReadExchange, Awaiting::ReadBlock0);
        return;
    case Awaiting::ReadBlock0:
        BlockImage = TakeBlockImage(InReport);
        if (SendStep(kReadExchange, Awaiting::ReadBlock0Done))
            ++BlockNumber;
        return;
    case Awaiting::ReadBlock0Done:
        DecodeBlock0(BlockImage, ConfigRecord);
        SendStep(kReadExchange, Awaiting::ReadBlock1);
        return;
    case Awaiting::ReadBlock1:
        BlockImage = TakeBlockImage(InReport);
        SendStep(kReadExchange, Awaiting::ReadBlock1Done);
        return;
    case Awaiting::ReadBlock1Done:
        DecodeBlock1(BlockImage, ConfigRecord);
        ConfigToForm();
        SendStep(kReadExchange, Awaiting::ReadMac);
        return;
    case Awaiting::ReadMac: {
        // Set only when it shows another address, as ConfigToForm does.
        const QString mac = QString::fromLatin1(MacAddressText(InReport.data() + 2));
        if (ui->MACAddressEdit->text() != mac)
            ui->MACAddressEdit->setText(mac);
        Log(QStringLiteral("Data read"));
        Services.Dialogs.MessageDlg(QStringLiteral("Read Complete"), MsgType::Information, MsgButtons::Ok);
        ExchangeState = Awaiting::Nothing;
        ConfigToForm();
        return;
    }
    default:
        HandleProgrammingReport();
        return;
    }
}
