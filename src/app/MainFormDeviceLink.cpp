// Finding the unit among the present HID interfaces and opening it.

#include "app/MainForm.h"
#include "app/Port1Comms.h"
#include "device/UnitSelection.h"

void TMainForm::FindAndOpenDevice(std::string pattern)
{
    const std::vector<vantrel::HidInterfaceInfo> present = Services.Hid.Enumerate();
    if (const auto match = vantrel::FindFirstMatch(present, pattern)) {
        const vantrel::HidInterfaceInfo& hid = present[*match];
        // The walk ends at the first match, whatever the opens give.
        CloseLink();
        std::string writeError, readError;
        DeviceWriteHandle = Services.Hid.Open(hid.Path, vantrel::HidOpenMode::Write, writeError);
        DeviceReadHandle = Services.Hid.Open(hid.Path, vantrel::HidOpenMode::Read, readError);
        if (DeviceWriteHandle && DeviceReadHandle) {
            DeviceFound = true;
            Port1 = std::make_unique<Port1Comms>(*this);
            // Lowest, not idle: at idle priority (SCHED_IDLE on Linux) a
            // busy machine starves the thread. With both cores busy, a reply
            // took a median 15-23 ms (90th percentile 124-431 ms, worst
            // 1.0-2.8 s) to reach HandleInReport, against 4-8 ms (12-16 ms,
            // 28-32 ms) at lowest priority (bench/bench_receive_thread.cpp,
            // BM_HandOverUnderLoad; the README's Performance section). The
            // thread sleeps in its read between reports, so it takes
            // nothing from the machine.
            Port1->start(QThread::LowestPriority);
        } else {
            // A link needs both ends; a half-open unit is as good as absent.
            // The operator learns why, once per device and press, so that a
            // missing permission is not taken for a missing unit.
            const std::string& reason = DeviceWriteHandle ? readError : writeError;
            const QString line = QStringLiteral("Cannot open %1: %2")
                                     .arg(QString::fromStdString(hid.Path), QString::fromStdString(reason));
            if (!OpenFailuresLogged.contains(line)) {
                OpenFailuresLogged << line;
                Log(line);
            }
            DeviceWriteHandle.reset();
            DeviceReadHandle.reset();
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
