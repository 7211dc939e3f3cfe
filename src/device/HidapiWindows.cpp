// The hidapi backend on Windows (SetupAPI and hid.dll, hidapi's own Windows
// backend): hidapi gives no way to end a waiting read here, so the receive
// thread waits with a time-out instead (Port1Comms::kReadTimeoutMs).

#include "device/HidapiHandle.h"

#include <QString>

namespace vantrel::hidapi {

namespace {

class TimedHandle final : public Handle {
public:
    using Handle::Handle;

    int ReadReport(std::uint8_t* buffer, std::size_t size, int timeoutMs) override
    {
        if (size == 0)
            return 0;
        std::uint8_t payload[kReportSize - 1];
        return Frame(ReadPayload(payload, timeoutMs), payload, buffer, size);
    }

    void InterruptRead() override {}
};

} // namespace

void PreparePlatform() {}

std::unique_ptr<HidHandle> MakeHandle(hid_device* device)
{
    return std::make_unique<TimedHandle>(device);
}

std::string OpenFailureReason(const std::string&)
{
    if (const wchar_t* text = hid_error(nullptr); text != nullptr && *text != L'\0')
        return QString::fromWCharArray(text).toStdString();
    return "the device cannot be opened";
}

} // namespace vantrel::hidapi
