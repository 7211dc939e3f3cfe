#pragma once
// The receive thread of one link to the unit: it waits for input reports
// on the read handle, copies each into the window's InReport and has the
// window's HandleInReport run on the main thread, waiting until it returns.
// A failed read means the unit has gone: the thread clears DeviceFound and
// ends. The window stops and joins the thread before it goes away.

#include "device/HidBackend.h"

#include <QThread>

#include <array>
#include <condition_variable>
#include <memory>
#include <mutex>

class TMainForm;

class Port1Comms final : public QThread {
public:
    // How long one read waits before the thread looks at its stop request.
    static constexpr int kReadTimeoutMs = 50;

    explicit Port1Comms(TMainForm& form);
    ~Port1Comms() override; // stops and joins

    // Asks the thread to end: a waiting read or hand-over gives up at once
    // (a read within kReadTimeoutMs). Safe from the main thread, also while
    // the thread waits for the main thread.
    void RequestStop();
    void StopAndJoin();

    std::array<std::uint8_t, vantrel::kReportSize> ReceiveBuffer{};

protected:
    void run() override { Execute(); }

private:
    struct HandOver {
        std::mutex Mutex;
        std::condition_variable Changed;
        bool Stop = false;
        bool Done = false;
    };

    void Execute();
    // Runs HandleInReport on the main thread and waits until it has
    // returned. False when the thread was asked to stop meanwhile.
    bool Synchronize();
    bool StopRequested();

    TMainForm& form_;
    std::shared_ptr<HandOver> handOver_ = std::make_shared<HandOver>();
};
