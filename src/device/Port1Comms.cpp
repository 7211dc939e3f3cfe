#include "device/Port1Comms.h"

#include "app/MainForm.h"

#include <thread>

Port1Comms::Port1Comms(TMainForm& form) : form_(form) {}

Port1Comms::~Port1Comms()
{
    StopAndJoin();
}

void Port1Comms::RequestStop()
{
    std::lock_guard lock(handOver_->Mutex);
    handOver_->Stop = true;
    handOver_->Changed.notify_all();
}

void Port1Comms::StopAndJoin()
{
    RequestStop();
    wait();
}

bool Port1Comms::StopRequested()
{
    std::lock_guard lock(handOver_->Mutex);
    return handOver_->Stop;
}

void Port1Comms::Execute()
{
    while (!StopRequested()) {
        if (!form_.DeviceFound) {
            std::this_thread::yield();
            continue;
        }
        // A time-out is taken like a read of no bytes: read again.
        const int count = form_.DeviceReadHandle->ReadReport(ReceiveBuffer.data(), ReceiveBuffer.size(), kReadTimeoutMs);
        if (count < 0) {
            form_.DeviceFound = false;
            break;
        }
        if (count == 0)
            continue;
        // Only the bytes that came are replaced; the rest of InReport keeps
        // what the previous report left.
        for (int k = 0; k < count; ++k) {
            form_.InReport[std::size_t(k)] = ReceiveBuffer[std::size_t(k)];
            ReceiveBuffer[std::size_t(k)] = 0;
        }
        if (!Synchronize())
            break;
    }
}

bool Port1Comms::Synchronize()
{
    {
        std::lock_guard lock(handOver_->Mutex);
        handOver_->Done = false;
    }
    // The call is dropped if the window is destroyed before it runs; the
    // hand-over state outlives this thread object.
    QMetaObject::invokeMethod(
        &form_,
        [form = &form_, handOver = handOver_] {
            form->HandleInReportGuarded();
            std::lock_guard lock(handOver->Mutex);
            handOver->Done = true;
            handOver->Changed.notify_all();
        },
        Qt::QueuedConnection);
    std::unique_lock lock(handOver_->Mutex);
    handOver_->Changed.wait(lock, [this] { return handOver_->Done || handOver_->Stop; });
    return !handOver_->Stop;
}
