#include "device/HidapiBackend.h"

#include <hidapi/hidapi.h>

#include <QString>

#ifdef __linux__
#include <fcntl.h>
#include <pthread.h>
#include <signal.h>
#include <unistd.h>
#endif

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <utility>

namespace vantrel {

namespace {

#ifdef __linux__
// The signal that breaks a waiting read. Its handler does nothing and is
// installed without SA_RESTART, so the poll() or read() that hidapi waits
// in on the hidraw node returns with EINTR (and hid_read_timeout with -1).
// A real-time signal: nothing else in the process uses it.
int InterruptSignal()
{
    return SIGRTMIN + 3;
}

void InstallInterruptHandler()
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
#endif

class HidapiHandle final : public HidHandle {
public:
    explicit HidapiHandle(hid_device* device) : device_(device) {}
    ~HidapiHandle() override { hid_close(device_); }
    HidapiHandle(const HidapiHandle&) = delete;
    HidapiHandle& operator=(const HidapiHandle&) = delete;

    int ReadReport(std::uint8_t* buffer, std::size_t size, int timeoutMs) override
    {
        if (size == 0)
            return 0;
        // hidapi delivers the report without its ID when the device uses no
        // numbered reports; put report ID 0 back in front so the caller
        // keeps the 65-byte frame.
        std::uint8_t payload[kReportSize - 1];
#ifdef __linux__
        {
            std::lock_guard lock(readerMutex_);
            if (std::exchange(interrupted_, false))
                return 0;
            reader_ = pthread_self();
            reading_ = true;
        }
        AcceptInterruptSignal();
        const int n = hid_read_timeout(device_, payload, sizeof payload, timeoutMs);
        {
            std::lock_guard lock(readerMutex_);
            reading_ = false;
            // An interrupted wait fails with EINTR: not the device's fault.
            // A report that came all the same is delivered; the flag then
            // stays for the next read.
            if (n <= 0 && std::exchange(interrupted_, false))
                return 0;
        }
#else
        const int n = hid_read_timeout(device_, payload, sizeof payload, timeoutMs);
#endif
        if (n < 0)
            return -1;
        if (n == 0)
            return 0;
        const std::size_t copied = std::min<std::size_t>(std::size_t(n), size - 1);
        buffer[0] = 0;
        std::memcpy(buffer + 1, payload, copied);
        return int(copied + 1);
    }

    bool WriteReport(const std::uint8_t* report, std::size_t size) override
    {
        // The byte counts differ between platforms; only a negative result
        // is a failure.
        return hid_write(device_, report, size) >= 0;
    }

    void InterruptRead() override
    {
#ifdef __linux__
        // Under the lock the reader cannot leave ReadReport, so the thread
        // signalled is alive. A signal that lands just before the reader
        // blocks is lost: the caller repeats the call until it is seen.
        std::lock_guard lock(readerMutex_);
        interrupted_ = true;
        if (reading_)
            pthread_kill(reader_, InterruptSignal());
#else
        // hidapi gives no way to end a waiting read here: the reader waits
        // with a time-out instead.
#endif
    }

private:
    hid_device* device_;
#ifdef __linux__
    std::mutex readerMutex_;
    pthread_t reader_{};
    bool reading_ = false;
    bool interrupted_ = false;
#endif
};

// The system's words for why `path` cannot be opened.
std::string OpenFailureReason(const std::string& path)
{
#ifdef __linux__
    // hidapi keeps only a formatted text; the node's own error is plainer.
    const int fd = ::open(path.c_str(), O_RDWR | O_CLOEXEC);
    if (fd < 0)
        return std::strerror(errno);
    ::close(fd);
#endif
    if (const wchar_t* text = hid_error(nullptr); text != nullptr && *text != L'\0')
        return QString::fromWCharArray(text).toStdString();
    (void)path;
    return "the device cannot be opened";
}

} // namespace

std::string MakeHardwareId(unsigned short vendorId, unsigned short productId, unsigned short release)
{
    char id[64];
    std::snprintf(id, sizeof id, "HID\\VID_%04X&PID_%04X&REV_%04X", vendorId, productId, release);
    return id;
}

HidapiBackend::HidapiBackend()
{
    hid_init();
#ifdef __linux__
    InstallInterruptHandler();
#endif
}

HidapiBackend::~HidapiBackend()
{
    hid_exit();
}

std::vector<HidInterfaceInfo> HidapiBackend::Enumerate()
{
    std::vector<HidInterfaceInfo> found;
    std::lock_guard lock(mutex_);
    hid_device_info* list = hid_enumerate(0, 0);
    for (hid_device_info* d = list; d != nullptr; d = d->next) {
        if (d->path == nullptr)
            continue;
        found.push_back({MakeHardwareId(d->vendor_id, d->product_id, d->release_number), d->path});
    }
    hid_free_enumeration(list);
    return found;
}

std::unique_ptr<HidHandle> HidapiBackend::Open(const std::string& path, HidOpenMode, std::string& whyNot)
{
    // hidapi opens a device for reading and writing at once and shares it
    // with other openers; the mode only tells which end the caller uses.
    std::lock_guard lock(mutex_);
    hid_device* device = hid_open_path(path.c_str());
    if (device == nullptr) {
        whyNot = OpenFailureReason(path);
        return nullptr;
    }
    return std::make_unique<HidapiHandle>(device);
}

} // namespace vantrel
