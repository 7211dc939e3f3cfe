#pragma once
// How quorvex-virtual-unit reaches the Linux kernel: as a USB device through
// the gadget framework (configfs and /dev/hidgN) or as a HID device through
// /dev/uhid. Both present vendor 04D8, product FD37, one 64-byte input and
// one 64-byte output report without report IDs. Linux only.

#include "unit/VirtualUnit.h"

#include <memory>
#include <optional>
#include <string>

namespace vantrel {

// The HID report descriptor both ways present: a vendor-defined collection
// with one 64-byte input report and one 64-byte output report, no IDs.
const std::vector<std::uint8_t>& VirtualUnitReportDescriptor();

class UnitTransport {
public:
    virtual ~UnitTransport() = default;

    // A descriptor that becomes readable when the host may have sent a
    // request.
    virtual int PollFd() const = 0;

    // Takes what the kernel has for the unit. A request comes back with
    // report ID 0 first; nothing when the event was not a request.
    virtual std::optional<Report> TakeRequest() = 0;

    // Sends the reply's 64 bytes of payload (byte 0, the report ID, is not
    // sent). False when the host is not there to take it.
    virtual bool SendReply(const Report& reply) = 0;

    // Leaves the bus and comes back, as unplugging and plugging in do.
    virtual void Unplug() = 0;
    virtual void PlugIn() = 0;
    virtual bool Plugged() const = 0;

    // One line for the operator: how and where the unit appears.
    virtual std::string Describe() const = 0;
};

// Each throws std::runtime_error saying what is missing (not root, no
// configfs, a kernel module not available, no device controller).
std::unique_ptr<UnitTransport> MakeUsbGadgetTransport(const VirtualUnitOptions& options);
std::unique_ptr<UnitTransport> MakeUhidTransport(const VirtualUnitOptions& options);

// Loads a kernel module unless it is there already (built in or loaded).
// Throws saying which module is missing.
void RequireKernelModule(const std::string& name);

// The host's hidraw node of the unit ("/dev/hidraw0"), once the kernel has
// made one; empty while there is none.
std::string FindHostHidraw();

} // namespace vantrel
