#include "device/HidapiBackend.h"

#include "device/HidapiHandle.h"

#include <cstdio>

namespace vantrel {

std::string MakeHardwareId(unsigned short vendorId, unsigned short productId, unsigned short release)
{
    char id[64];
    std::snprintf(id, sizeof id, "HID\\VID_%04X&PID_%04X&REV_%04X", vendorId, productId, release);
    return id;
}

HidapiBackend::HidapiBackend()
{
    hid_init();
    hidapi::PreparePlatform();
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
        whyNot = hidapi::OpenFailureReason(path);
        return nullptr;
    }
    return hidapi::MakeHandle(device);
}

} // namespace vantrel
