#pragma once
// The receive thread of one link to the unit: it waits for input reports
// on the read handle, copies each into the window's InReport and has the
// window's HandleInReport run on the main thread, waiting until it returns.
// A failed read means the unit has gone: the thread clears DeviceFound and
// ends. So does finding DeviceFound clear. The window stops and joins the
// thread before it goes away.

#include "device/HidBackend.h"

#include <QThread>

#include <array>
#include <condition_variable>
#include <memory>
#include <mutex>

class TMainForm;

class Port1Comms final : public QThread {
public:
    // How long one read waits. On Linux both the hidraw read and the
    // simulated unit's can be interrupted (HidHandle::InterruptRead), so
    // the thread waits without end and sleeps while no report comes.
    // Elsewhere hidapi's read cannot be interrupted: it waits at most this
    // long before the thread looks at its stop request, so that closing
    // the window stays within half a second.
#ifdef __linux__
    static constexpr int kReadTimeoutMs = -1;
#else
    static constexpr int kReadTimeoutMs = 400;
#endif
    // How often StopAndJoin interrupts the read again while the thread
    // has not ended (an interruption can land just before the read waits).
    static constexpr int kInterruptAgainMs = 10;

    explicit Port1Comms(TMainForm& form);
    ~Port1Comms() override; // stops and joins

    // Asks the thread to end: a waiting read or hand-over gives up at once.
    // Safe from the main thread, also while the thread waits for the main
    // thread.
    void RequestStop();
    void StopAndJoin();

    std::array<std::uint8_t, vantrel::kReportSize> ReceiveBuffer{};

protected:
    void run() override { Execute(); }
    // The hand-over's event, on the main thread.
    void customEvent(QEvent* event) override;

private:
    // Shared with the queued hand-over call, which may outlive this object
    // (the report handler may close the link).
    struct HandOver {
        std::mutex Mutex;
        std::condition_variable Changed;
        bool Stop = false;
        bool Waiting = false; // a report is in InReport for the handler
    };

    void Execute();
    // Publishes the `count` bytes read into InReport, runs HandleInReport
    // on the main thread and waits until it has returned. False when the
    // thread was asked to stop meanwhile.
    bool Synchronize(int count);
    // The main thread's side of the hand-over.
    void Deliver();
    bool StopRequested();

    TMainForm& form_;
    std::shared_ptr<HandOver> handOver_ = std::make_shared<HandOver>();
};
