#pragma once
// The receive thread of one link to the unit: it waits for input reports
// on the read handle, copies each into the inbox it was given (the window's
// InReport) and has the hand-over (the window's HandleInReport) run on the
// main thread, waiting until it returns. A failed read means the unit has
// gone: the thread clears the link's found flag (the window's DeviceFound)
// and ends. So does finding the flag clear. Whoever owns the handle, the
// flag and the inbox stops and joins the thread before they go away.

#include "device/HidBackend.h"

#include <QThread>

#include <array>
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <span>

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

    // Runs on the main thread once a report is in the inbox, while the
    // thread waits; it may destroy the thread object (by closing the link).
    using HandOverFn = std::function<void()>;
    using Inbox = std::span<std::uint8_t, vantrel::kReportSize>;

    // `readHandle`, `found` and `inbox` outlive the thread; the thread writes
    // the inbox only while no hand-over runs.
    Port1Comms(vantrel::HidHandle& readHandle, std::atomic<bool>& found, Inbox inbox, HandOverFn handOver);
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
        explicit HandOver(HandOverFn handler) : Handler(std::move(handler)) {}
        const HandOverFn Handler;
        std::mutex Mutex;
        std::condition_variable Changed;
        bool Stop = false;
        bool Waiting = false; // a report is in the inbox for the hand-over
    };

    void Execute();
    // Publishes the `count` bytes read into the inbox, has the hand-over
    // run on the main thread and waits until it has returned. False when the thread was
    // asked to stop meanwhile.
    bool Synchronize(int count);
    // The main thread's side of the hand-over.
    void Deliver();
    bool StopRequested();

    vantrel::HidHandle& readHandle_;
    std::atomic<bool>& found_;
    Inbox inbox_;
    std::shared_ptr<HandOver> handOver_;
};
