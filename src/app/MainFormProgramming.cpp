// The two exchanges that program the unit: the configuration write
// ('S', 'E', 'd' 0, 'D' 0, 'd' 1, 'D' 1, 'Z') and the MAC address write
// ('S', 'M' 'W'). Both end in Awaiting::DownloadEnd with "Download Complete".

#include "app/MainForm.h"

#include "ui_MainForm.h"

void TMainForm::WriteButtonClick()
{
    if (!CheckAddresses()) {
        Services.Dialogs.MessageDlg(QStringLiteral("There are errors"), MsgType::Error, MsgButtons::Ok);
        return;
    }
    FormToConfig();
    StartExchange(kWriteExchange);
}

void TMainForm::SendNewMACButtonClick()
{
    // Refused before anything is sent when the address cannot be made.
    std::array<std::uint8_t, 6> octets{};
    if (!NewMacAddress(octets))
        return;
    StartExchange(kMacExchange);
}

bool TMainForm::SendStep(const WindowExchange& exchange, Awaiting nextState, const vantrel::MacOctets& mac)
{
    // The block requests carry BlockNumber as the exchange has kept it.
    vantrel::BuildRequest(exchange.RequestBefore(nextState), BlockNumber, OutReport, ConfigRecord, mac);
    return SendAndGo(nextState);
}

bool TMainForm::SendAndGo(Awaiting nextState)
{
    if (!SendOutReport())
        return false;
    ExchangeState = nextState;
    return true;
}

void TMainForm::HandleProgrammingReport()
{
    using namespace vantrel;
    switch (ExchangeState) {
    case Awaiting::WriteIdentify:
        if (!CheckIdentReply(true))
            return;
        BlockNumber = 0;
        SendStep(kWriteExchange, Awaiting::WriteErase);
        return;
    case Awaiting::WriteErase:
        // The record is encoded now, not at the press.
        SendStep(kWriteExchange, Awaiting::WriteBlock0Data);
        return;
    case Awaiting::WriteBlock0Data:
        if (SendStep(kWriteExchange, Awaiting::WriteBlock0Done))
            BlockNumber = 1;
        return;
    case Awaiting::WriteBlock0Done:
        SendStep(kWriteExchange, Awaiting::WriteBlock1Data);
        return;
    case Awaiting::WriteBlock1Data:
        if (SendStep(kWriteExchange, Awaiting::WriteBlock1Done))
            ++BlockNumber;
        return;
    case Awaiting::WriteBlock1Done:
        if (SendStep(kWriteExchange, Awaiting::DownloadEnd))
            Log(QStringLiteral("Data downloaded"));
        return;
    case Awaiting::DownloadEnd:
        Services.Dialogs.MessageDlg(QStringLiteral("Download Complete"), MsgType::Information, MsgButtons::Ok);
        ExchangeState = Awaiting::Nothing;
        return;
    case Awaiting::MacIdentify: {
        if (!CheckIdentReply(false))
            return;
        BlockNumber = 0;
        std::array<std::uint8_t, 6> octets{};
        if (!NewMacAddress(octets)) {
            ExchangeState = Awaiting::Nothing;
            return;
        }
        if (SendStep(kMacExchange, Awaiting::DownloadEnd, octets))
            Log(QStringLiteral("MAC Downloaded"));
        return;
    }
    default:
        return; // no exchange under way: the report is ignored
    }
}
