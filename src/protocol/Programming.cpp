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
        SetRequest(OutReport, cmd::Erase);
        SendAndGo(8);
        return;
    case 8:
        // The record is encoded now, not at the press.
        EncodeBlock0Data(OutReport, BlockNumber, ConfigRecord);
        SendAndGo(9);
        return;
    case 9:
        EncodeBlock0Done(OutReport, BlockNumber);
        if (SendAndGo(10))
            BlockNumber = 1;
        return;
    case 10:
        EncodeBlock1Data(OutReport, BlockNumber, ConfigRecord);
        SendAndGo(11);
        return;
    case 11:
        EncodeBlock1Done(OutReport, BlockNumber);
        if (SendAndGo(12))
            ++BlockNumber;
        return;
    case 12:
        SetRequest(OutReport, cmd::Finish);
        if (SendAndGo(13))
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
        SetRequest(OutReport, cmd::Mac, cmd::MacWrite);
        std::copy(octets.begin(), octets.end(), OutReport.begin() + 3);
        if (SendAndGo(13))
            Log(QStringLiteral("MAC Downloaded"));
        return;
    }
    default:
        return; // no exchange under way: the report is ignored
    }
}
