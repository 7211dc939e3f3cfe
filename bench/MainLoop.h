#pragma once
// The main thread's event loop as the exchange benchmarks run it.

#include <QAbstractEventDispatcher>
#include <QCoreApplication>
#include <QObject>

#include <chrono>
#include <functional>

// Runs the main thread's event loop until `done` holds, sleeping while
// there is nothing to do, as the running program does between reports.
// Some event dispatchers handle what is pending and then wait for more
// within one call; they are told not to wait once `done` holds.
class MainLoop {
public:
    MainLoop()
    {
        QAbstractEventDispatcher* dispatcher = QAbstractEventDispatcher::instance();
        connection_ = QObject::connect(dispatcher, &QAbstractEventDispatcher::aboutToBlock, [this, dispatcher] {
            if (done_ && (*done_)())
                dispatcher->interrupt();
        });
    }
    ~MainLoop() { QObject::disconnect(connection_); }
    MainLoop(const MainLoop&) = delete;
    MainLoop& operator=(const MainLoop&) = delete;

    void RunUntil(const std::function<bool()>& done)
    {
        done_ = &done;
        while (!done())
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
        done_ = nullptr;
    }

    // False when `done` did not come within `limit`.
    bool RunUntil(const std::function<bool()>& done, std::chrono::milliseconds limit)
    {
        done_ = &done;
        const auto end = std::chrono::steady_clock::now() + limit;
        while (!done() && std::chrono::steady_clock::now() < end)
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 100);
        done_ = nullptr;
        return done();
    }

private:
    const std::function<bool()>* done_ = nullptr;
    QMetaObject::Connection connection_;
};
