#include "app/Port1Comms.h"

#include <QCoreApplication>
#include <QEvent>

#include <algorithm>

Port1Comms::Port1Comms(vantrel::HidHandle& readHandle, std::atomic<bool>& found, Inbox inbox, HandOverFn handOver)
    : readHandle_(readHandle), found_(found), inbox_(inbox), handOver_(std::make_shared<HandOver>(std::move(handOver)))
{
}

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
    readHandle_.InterruptRead();
}

void Port1Comms::StopAndJoin()
{
    RequestStop();
    while (!wait(kInterruptAgainMs))
        readHandle_.InterruptRead();
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
    // The found flag is set before the thread starts and cleared when the
    // link ends: without it there is nothing to read from, so the loop ends.
    while (!StopRequested() && found_) {
        // A time-out or an interruption reads no bytes: look again.
        const int count = readHandle_.ReadReport(ReceiveBuffer.data(), ReceiveBuffer.size(), kReadTimeoutMs);
        if (count < 0) {
            found_ = false;
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
    // Only the bytes that came are replaced; the rest of the inbox keeps
    // what the previous report left. A backend that claims more than the
    // buffer holds gets no more than the buffer.
    const std::size_t came = std::min(std::size_t(count), ReceiveBuffer.size());
    for (std::size_t k = 0; k < came; ++k) {
        inbox_[k] = ReceiveBuffer[k];
        ReceiveBuffer[k] = 0;
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
    {
        std::lock_guard lock(handOver->Mutex);
        // A thread asked to stop has given the report up.
        if (handOver->Stop || !handOver->Waiting)
            return;
    }
    handOver->Handler();
    std::lock_guard lock(handOver->Mutex);
    handOver->Waiting = false;
    handOver->Changed.notify_all();
}
