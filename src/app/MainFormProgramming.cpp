// The two exchanges that program the unit: the configuration write
// ('S', 'E', 'd' 0, 'D' 0, 'd' 1, 'D' 1, 'Z') and the MAC address write
// ('S', 'M' 'W'). Both end in state 13 with "Download Complete".

#include "app/MainForm.h"

#include "ui_MainForm.h"

void TMainForm::WriteButtonClick()
{
    if (!CheckAddresses()) {
        Services.Dialogs.MessageDlg(QStringLiteral("There are errors"), MsgType::Error, MsgButtons::Ok);
        return;
    }
    FormToConfig();
    StartExchange(7);
}

void TMainForm::SendNewMACButtonClick()
{
    // Refused before anything is sent when the address cannot be made.
    std::array<std::uint8_t, 6> octets{};
    if (!NewMacAddress(octets))
        return;
    StartExchange(14);
}

bool TMainForm::SendStep(const vantrel::RequestStep& step, int nextState, const vantrel::MacOctets& mac)
{
    // The block requests carry BlockNumber as the exchange has kept it.
    vantrel::BuildRequest(step, BlockNumber, OutReport, ConfigRecord, mac);
    return SendAndGo(nextState);
}

bool TMainForm::SendAndGo(int nextState)
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
    case 7:
        if (!CheckIdentReply(true))
            return;
        BlockNumber = 0;
        SendStep(kWriteRequests[1], 8);
        return;
    case 8:
        // The record is encoded now, not at the press.
        SendStep(kWriteRequests[2], 9);
        return;
    case 9:
        if (SendStep(kWriteRequests[3], 10))
            BlockNumber = 1;
        return;
    case 10:
        SendStep(kWriteRequests[4], 11);
        return;
    case 11:
        if (SendStep(kWriteRequests[5], 12))
            ++BlockNumber;
        return;
    case 12:
        if (SendStep(kWriteRequests[6], 13))
            Log(QStringLiteral("Data downloaded"));
        return;
    case 13:
        Services.Dialogs.MessageDlg(QStringLiteral("Download Complete"), MsgType::Information, MsgButtons::Ok);
        ExchangeState = 0;
        return;
    case 14: {
        if (!CheckIdentReply(false))
            return;
        BlockNumber = 0;
        std::array<std::uint8_t, 6> octets{};
        if (!NewMacAddress(octets)) {
            ExchangeState = 0;
            return;
        }
        if (SendStep(kMacRequests[1], 13, octets))
            Log(QStringLiteral("MAC Downloaded"));
        return;
    }
    default:
        return; // no exchange under way: the report is ignored
    }
}
