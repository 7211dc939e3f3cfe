#pragma once
// What the tool needs of the platform's HID layer: the present HID
// interfaces in the platform's order, each with its first hardware-ID string
// and a path, and opening a path for reading or for writing. The program
// uses hidapi; tests and the demo use simulated units.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace vantrel {

constexpr std::size_t kReportSize = 65; // report ID 0 and 64 bytes of payload

struct HidInterfaceInfo {
    std::string HardwareId; // e.g. HID\VID_04D8&PID_FD37&REV_0006
    std::string Path;
};

// One open handle on a HID interface. A handle is used by one thread only,
// but for InterruptRead.
class HidHandle {
public:
    virtual ~HidHandle() = default;

    // Waits up to `timeoutMs` (without limit when negative) for one input
    // report and copies it, report ID first, into `buffer`. Returns the
    // number of bytes copied, 0 when no report came in time or the wait was
    // interrupted, or -1 when the device can no longer be read.
    virtual int ReadReport(std::uint8_t* buffer, std::size_t size, int timeoutMs) = 0;

    // Callable from any thread: a ReadReport waiting on another thread
    // returns 0 at once; when none waits, the next one does. Where the
    // platform offers no way to do this it does nothing, and the reader
    // must wait with a time-out (the receive thread does so on such
    // platforms). A reader that may miss it calls it again until it has
    // seen why it was called.
    virtual void InterruptRead() = 0;

    // Writes one output report, report ID first. False when it failed.
    virtual bool WriteReport(const std::uint8_t* report, std::size_t size) = 0;
};

enum class HidOpenMode { Read, Write };

// Enumerate and Open may be called from several threads at once (the
// bench loop opens units in parallel while it looks for new ones).
class HidBackend {
public:
    virtual ~HidBackend() = default;

    // Every present HID interface, in the platform's order.
    virtual std::vector<HidInterfaceInfo> Enumerate() = 0;

    // Opens a path shared, so that it can be opened once for reading and
    // once for writing. Null when the open failed; `whyNot` then holds the
    // system's reason ("Permission denied").
    virtual std::unique_ptr<HidHandle> Open(const std::string& path, HidOpenMode mode, std::string& whyNot) = 0;
};

} // namespace vantrel
