#pragma once
// The USB link as the exchange benchmarks stand it in: a thread that hands
// the unit's reply in at a chosen moment.

#include "unit/SimulatedUnit.h"

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

// Stands for the USB link: hands the unit's reply in from a thread of its
// own once the receive thread waits in its read and the main thread sleeps
// in its event loop, and notes when.
class ReplyLine {
public:
    ReplyLine(vantrel::SimulatedUnit& unit, const vantrel::Report& reply) : unit_(unit), reply_(reply), thread_([this] { Run(); }) {}
    ~ReplyLine()
    {
        {
            std::lock_guard lock(mutex_);
            stop_ = true;
        }
        changed_.notify_all();
        thread_.join();
    }
    ReplyLine(const ReplyLine&) = delete;
    ReplyLine& operator=(const ReplyLine&) = delete;

    // The reply arrives `idle` from now; returns at once.
    void SendAfter(std::chrono::microseconds idle)
    {
        {
            std::lock_guard lock(mutex_);
            idle_ = idle;
            armed_ = true;
        }
        changed_.notify_all();
    }

    // When the last reply was handed in.
    std::chrono::steady_clock::time_point SentAt() const
    {
        std::lock_guard lock(mutex_);
        return sentAt_;
    }

private:
    void Run()
    {
        std::unique_lock lock(mutex_);
        for (;;) {
            changed_.wait(lock, [this] { return armed_ || stop_; });
            if (stop_)
                return;
            armed_ = false;
            const auto idle = idle_;
            lock.unlock();
            std::this_thread::sleep_for(idle);
            const auto now = std::chrono::steady_clock::now();
            lock.lock();
            sentAt_ = now;
            lock.unlock();
            unit_.InjectReply(reply_);
            lock.lock();
        }
    }

    vantrel::SimulatedUnit& unit_;
    const vantrel::Report reply_;
    mutable std::mutex mutex_;
    std::condition_variable changed_;
    std::chrono::microseconds idle_{0};
    std::chrono::steady_clock::time_point sentAt_{};
    bool armed_ = false;
    bool stop_ = false;
    std::thread thread_; // last: starts once the rest is set up
};
