// Finding the unit among the present HID interfaces and opening it.

#include "app/MainForm.h"
#include "app/Port1Comms.h"
#include "device/UnitSelection.h"

void TMainForm::FindAndOpenDevice(std::string pattern)
{
    vantrel::UnitOpen unit = vantrel::OpenFirstMatch(Services.Hid, pattern, [this] { CloseLink(); });
    if (unit.Opened()) {
        DeviceWriteHandle = std::move(unit.Write);
        DeviceReadHandle = std::move(unit.Read);
        DeviceFound = true;
        Port1 = MakeReceiveThread();
        // Lowest, not idle: at idle priority (SCHED_IDLE on Linux) a busy
        // machine starves the thread, and a reply waits far longer to reach
        // HandleInReport than at lowest priority (BM_HandOverUnderLoad in
        // bench/bench_receive_thread.cpp; figures: docs/performance.md). The
        // thread sleeps in its read between reports, so it takes nothing
        // from the machine.
        Port1->start(QThread::LowestPriority);
    } else if (unit.Match) {
        // The operator learns why, once per device and press, so that a
        // missing permission is not taken for a missing unit.
        const QString line = QString::fromStdString(unit.Error);
        if (!OpenFailuresLogged.contains(line)) {
            OpenFailuresLogged << line;
            Log(line);
        }
    }
}

bool TMainForm::ConnectToUnit()
{
    OpenFailuresLogged.clear();
    if (!DeviceFound)
        FindAndOpenDevice(std::string(vantrel::kNormalPattern));
    if (!DeviceFound) {
        FindAndOpenDevice(std::string(vantrel::kProgramModePattern));
        if (DeviceFound) {
            Services.Dialogs.MessageDlg(QStringLiteral("QUORVEX is in Program Mode"), MsgType::Error, MsgButtons::Ok);
            return false;
        }
    }
    if (!DeviceFound)
        FindAndOpenDevice(std::string(vantrel::kAnyRevisionPattern));
    if (!DeviceFound) {
        Services.Dialogs.MessageDlg(QStringLiteral("Cannot find QUORVEX"), MsgType::Error, MsgButtons::Ok);
        return false;
    }
    return true;
}

std::unique_ptr<Port1Comms> TMainForm::MakeReceiveThread()
{
    return std::make_unique<Port1Comms>(*DeviceReadHandle, DeviceFound, InReport, [this] { HandleInReportGuarded(); });
}

void TMainForm::CloseLink()
{
    // The receive thread goes first: no handle is closed while it reads.
    if (Port1) {
        Port1->StopAndJoin();
        Port1.reset();
    }
    DeviceFound = false;
    DeviceWriteHandle.reset();
    DeviceReadHandle.reset();
}
