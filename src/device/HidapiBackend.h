#pragma once
// The HID layer on hidapi. Enumeration and opens run on the main thread;
// each handle is then used by one thread only.

#include "device/HidBackend.h"

namespace vantrel {

class HidapiBackend final : public HidBackend {
public:
    HidapiBackend();
    ~HidapiBackend() override;
    HidapiBackend(const HidapiBackend&) = delete;
    HidapiBackend& operator=(const HidapiBackend&) = delete;

    std::vector<HidInterfaceInfo> Enumerate() override;
    std::unique_ptr<HidHandle> Open(const std::string& path, HidOpenMode mode, std::string& whyNot) override;
};

// The hardware ID a Windows system gives a HID device, made from its USB
// identity: HID\VID_vvvv&PID_pppp&REV_rrrr, four upper-case hex digits each.
std::string MakeHardwareId(unsigned short vendorId, unsigned short productId, unsigned short release);

} // namespace vantrel
