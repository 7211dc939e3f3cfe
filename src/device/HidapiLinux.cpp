// The hidapi backend on Linux (hidraw): a waiting read can be interrupted.
// A signal of the process's own breaks hidapi's poll() or read() on the
// hidraw node, so the receive thread waits without a time-out and still
// stops at once.

#include "device/HidapiHandle.h"

#include <QString>

#include <fcntl.h>
#include <pthread.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <mutex>
#include <utility>

namespace vantrel::hidapi {

namespace {

// The signal that breaks a waiting read. Its handler does nothing and is
// installed without SA_RESTART, so the poll() or read() that hidapi waits
// in on the hidraw node returns with EINTR (and hid_read_timeout with -1).
// A real-time signal: nothing else in the process uses it.
int InterruptSignal()
{
    return SIGRTMIN + 3;
}

// A thread may have inherited a mask that blocks the signal.
void AcceptInterruptSignal()
{
    thread_local bool accepted = false;
    if (accepted)
        return;
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, InterruptSignal());
    pthread_sigmask(SIG_UNBLOCK, &set, nullptr);
    accepted = true;
}

class InterruptibleHandle final : public Handle {
public:
    using Handle::Handle;

    int ReadReport(std::uint8_t* buffer, std::size_t size, int timeoutMs) override
    {
        if (size == 0)
            return 0;
        std::uint8_t payload[kReportSize - 1];
        {
            std::lock_guard lock(readerMutex_);
            if (std::exchange(interrupted_, false))
                return 0;
            reader_ = pthread_self();
            reading_ = true;
        }
        AcceptInterruptSignal();
        const int n = ReadPayload(payload, timeoutMs);
        {
            std::lock_guard lock(readerMutex_);
            reading_ = false;
            // An interrupted wait fails with EINTR: not the device's fault.
            // A report that came all the same is delivered; the flag then
            // stays for the next read.
            if (n <= 0 && std::exchange(interrupted_, false))
                return 0;
        }
        return Frame(n, payload, buffer, size);
    }

    void InterruptRead() override
    {
        // Under the lock the reader cannot leave ReadReport, so the thread
        // signalled is alive. A signal that lands just before the reader
        // blocks is lost: the caller repeats the call until it is seen.
        std::lock_guard lock(readerMutex_);
        interrupted_ = true;
        if (reading_)
            pthread_kill(reader_, InterruptSignal());
    }

private:
    std::mutex readerMutex_;
    pthread_t reader_{};
    bool reading_ = false;
    bool interrupted_ = false;
};

} // namespace

void PreparePlatform()
{
    static std::once_flag once;
    std::call_once(once, [] {
        struct sigaction action {};
        action.sa_handler = [](int) {};
        sigemptyset(&action.sa_mask);
        action.sa_flags = 0;
        sigaction(InterruptSignal(), &action, nullptr);
    });
}

std::unique_ptr<HidHandle> MakeHandle(hid_device* device)
{
    return std::make_unique<InterruptibleHandle>(device);
}

std::string OpenFailureReason(const std::string& path)
{
    // hidapi keeps only a formatted text; the node's own error is plainer.
    const int fd = ::open(path.c_str(), O_RDWR | O_CLOEXEC);
    if (fd < 0)
        return std::strerror(errno);
    ::close(fd);
    if (const wchar_t* text = hid_error(nullptr); text != nullptr && *text != L'\0')
        return QString::fromWCharArray(text).toStdString();
    return "the device cannot be opened";
}

} // namespace vantrel::hidapi
