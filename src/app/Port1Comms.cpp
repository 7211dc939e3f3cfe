#include "app/Port1Comms.h"

#include "app/MainForm.h"

#include <QCoreApplication>
#include <QEvent>

Port1Comms::Port1Comms(TMainForm& form) : form_(form) {}

Port1Comms::~Port1Comms()
{
    StopAndJoin();
}

void Port1Comms::RequestStop()
{
    {
        std::lock_guard lock(handOver_->Mutex);
        handOver_->Stop = true;
        handOver_->Changed.notify_all();
    }
    if (form_.DeviceReadHandle)
        form_.DeviceReadHandle->InterruptRead();
}

void Port1Comms::StopAndJoin()
{
    RequestStop();
    while (!wait(kInterruptAgainMs)) {
        if (form_.DeviceReadHandle)
            form_.DeviceReadHandle->InterruptRead();
    }
    // Everything the thread did happened before this point; taking the
    // lock says so to a race detector that cannot see into QThread::wait.
    std::lock_guard lock(handOver_->Mutex);
}

bool Port1Comms::StopRequested()
{
    std::lock_guard lock(handOver_->Mutex);
    return handOver_->Stop;
}

void Port1Comms::Execute()
{
    // DeviceFound is set before the thread starts and cleared when the link
    // ends: without it there is nothing to read from, so the loop ends.
    while (!StopRequested() && form_.DeviceFound) {
        // A time-out or an interruption reads no bytes: look again.
        const int count = form_.DeviceReadHandle->ReadReport(ReceiveBuffer.data(), ReceiveBuffer.size(), kReadTimeoutMs);
        if (count < 0) {
            form_.DeviceFound = false;
            break;
        }
        if (count > 0 && !Synchronize(count))
            break;
    }
    std::lock_guard lock(handOver_->Mutex); // see StopAndJoin
}

bool Port1Comms::Synchronize(int count)
{
    // The report is published under the hand-over's lock and taken under it
    // by Deliver. The event is posted under it too: Qt's queue is built on
    // locks a race detector cannot see, and this keeps everything the
    // hand-over hands over, the event included, ordered by one it can.
    std::unique_lock lock(handOver_->Mutex);
    if (handOver_->Stop)
        return false;
    // Only the bytes that came are replaced; the rest of InReport keeps
    // what the previous report left.
    for (int k = 0; k < count; ++k) {
        form_.InReport[std::size_t(k)] = ReceiveBuffer[std::size_t(k)];
        ReceiveBuffer[std::size_t(k)] = 0;
    }
    handOver_->Waiting = true;
    // An event posted to this object is dropped when the object is
    // destroyed before it is handled.
    QCoreApplication::postEvent(this, new QEvent(QEvent::User));
    handOver_->Changed.wait(lock, [this] { return !handOver_->Waiting || handOver_->Stop; });
    return !handOver_->Stop;
}

void Port1Comms::customEvent(QEvent*)
{
    Deliver();
}

void Port1Comms::Deliver()
{
    // The handler may close the link, which destroys this object: what is
    // needed after it is held here.
    const std::shared_ptr<HandOver> handOver = handOver_;
    TMainForm& form = form_;
    {
        std::lock_guard lock(handOver->Mutex);
        // A thread asked to stop has given the report up.
        if (handOver->Stop || !handOver->Waiting)
            return;
    }
    form.HandleInReportGuarded();
    std::lock_guard lock(handOver->Mutex);
    handOver->Waiting = false;
    handOver->Changed.notify_all();
}
