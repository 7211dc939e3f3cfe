#pragma once
// Inside the hidapi backend: what a handle is on every platform, and what
// each platform adds (HidapiLinux.cpp, HidapiWindows.cpp; one file each, as
// hidapi itself is laid out).

#include "device/HidBackend.h"

#include <hidapi/hidapi.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <string>

namespace vantrel::hidapi {

// An open device. hidapi delivers a report without its ID when the device
// uses no numbered reports; the handle puts report ID 0 back in front so
// the caller keeps the 65-byte frame.
class Handle : public HidHandle {
public:
    explicit Handle(hid_device* device) : device_(device) {}
    ~Handle() override { hid_close(device_); }
    Handle(const Handle&) = delete;
    Handle& operator=(const Handle&) = delete;

    bool WriteReport(const std::uint8_t* report, std::size_t size) override
    {
        // The byte counts differ between platforms; only a negative result
        // is a failure.
        return hid_write(device_, report, size) >= 0;
    }

protected:
    // One read of up to `timeoutMs` into `payload`: hid_read_timeout's result.
    int ReadPayload(std::uint8_t (&payload)[kReportSize - 1], int timeoutMs)
    {
        return hid_read_timeout(device_, payload, sizeof payload, timeoutMs);
    }

    // The frame for a read that gave `n`: -1 failed, 0 nothing, else the
    // bytes copied into `buffer`, report ID first.
    static int Frame(int n, const std::uint8_t* payload, std::uint8_t* buffer, std::size_t size)
    {
        if (n < 0)
            return -1;
        if (n == 0)
            return 0;
        const std::size_t copied = std::min<std::size_t>(std::size_t(n), size - 1);
        buffer[0] = 0;
        std::memcpy(buffer + 1, payload, copied);
        return int(copied + 1);
    }

private:
    hid_device* device_;
};

// What each platform file defines.
void PreparePlatform();                                // once, as the backend starts
std::unique_ptr<HidHandle> MakeHandle(hid_device* device);
std::string OpenFailureReason(const std::string& path); // the system's words for a failed open

} // namespace vantrel::hidapi
