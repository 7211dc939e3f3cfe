#pragma once
// The HID layer on hidapi. Enumeration and opens may come from several
// threads: they take turns, as hidapi keeps one error text for the whole
// process. Each handle is then used by one thread only.

#include "device/HidBackend.h"

#include <mutex>

namespace vantrel {

class HidapiBackend final : public HidBackend {
public:
    HidapiBackend();
    ~HidapiBackend() override;
    HidapiBackend(const HidapiBackend&) = delete;
    HidapiBackend& operator=(const HidapiBackend&) = delete;

    std::vector<HidInterfaceInfo> Enumerate() override;
    std::unique_ptr<HidHandle> Open(const std::string& path, HidOpenMode mode, std::string& whyNot) override;

private:
    std::mutex mutex_; // enumeration and opens, one at a time
};

// The hardware ID a Windows system gives a HID device, made from its USB
// identity: HID\VID_vvvv&PID_pppp&REV_rrrr, four upper-case hex digits each.
std::string MakeHardwareId(unsigned short vendorId, unsigned short productId, unsigned short release);

} // namespace vantrel
