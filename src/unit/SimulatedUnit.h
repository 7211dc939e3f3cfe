#pragma once
// A simulated QUORVEX unit that behaves like the unit's firmware: it answers
// every output report with exactly one input report, in order, keeps a
// configuration and a MAC address, and can be made to misbehave the ways a
// real unit or USB link does. Used by the tests, the benchmarks and
// vantrel-demo. Thread-safe: the window writes from the main thread while
// the receive thread reads.

#include "device/HidBackend.h"
#include "unit/UnitFirmware.h"
#include "protocol/Reports.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <vector>

namespace vantrel {

struct SimulatedIdentity : UnitIdentity {
    std::string HardwareId = "HID\\VID_04D8&PID_FD37&REV_0006";
};

class SimulatedUnit : public std::enable_shared_from_this<SimulatedUnit> {
public:
    explicit SimulatedUnit(SimulatedIdentity identity = {});

    const SimulatedIdentity& Identity() const { return identity_; }
    void SetIdentity(const SimulatedIdentity& identity);

    // The stored configuration, as the unit would report it, and its MAC.
    void StoreConfig(const ConfigRecord& record);
    ConfigRecord StoredConfig() const;
    void SetMac(const std::array<std::uint8_t, 6>& mac);
    std::array<std::uint8_t, 6> Mac() const;
    // Raw stored block images (write placement, 62 bytes each).
    std::array<std::uint8_t, 62> StoredBlock(int block) const;

    // Every output report the unit has received, byte for byte, in order
    // (only the last `KeepReceived` of them once that is set, so that a
    // long run does not grow the list), and how many it has received in all.
    std::vector<Report> Received() const;
    std::size_t ReceivedCount() const;
    void KeepReceived(std::size_t requests);

    // Faults.
    void StopAnsweringAfter(std::size_t requests);    // later requests get no reply
    void UnplugAfter(std::size_t requests);           // unplugs on receiving request N+1
    void LoseRepliesAfter(std::size_t requests);      // later requests are acted on, their replies lost
    // Called once the unit has acted on a request (its reply not sent yet),
    // with the request's number (from 1) and the MAC address it now holds:
    // tests stop the program there as a power cut would.
    void OnRequestTaken(std::function<void(std::size_t, const std::array<std::uint8_t, 6>&)> hook);
    void Unplug();                                    // reads and writes fail from now on
    void PlugIn();                                    // present again; old handles stay dead
    bool IsPlugged() const;
    void SetReplyLength(std::size_t bytes);           // short input reports (1 to 65)
    void FailOpens(std::optional<HidOpenMode> mode,   // an open that fails (held exclusively)
                   std::string reason = "Device or resource busy");
    void SetAnswerDelayMs(int ms);                    // time between request and reply
    void FailWrites(bool fail);                       // output reports cannot be written
    void FailWritesAfter(std::size_t requests);       // from request N+1 on, they cannot

    // Full-speed USB timing, off by default (then a request is taken and its
    // reply is readable at once). The link runs in 1 ms frames that begin
    // at every whole millisecond of the steady clock, and it carries at
    // most one report each way per frame:
    // - a request written at time t is taken by the unit at the first frame
    //   boundary strictly after t, or one frame after the request before
    //   it was taken, whichever is later; the write returns then, as a
    //   write to an interrupt OUT endpoint returns once the transfer is done;
    // - the reply becomes readable one frame (1 ms) after its request was
    //   taken.
    // So a tool that answers each reply within the frame it arrived in
    // needs exactly 2 ms per further round trip, and the first request of
    // a press waits for the next frame: an exchange of n round trips
    // started at time t cannot end before UsbFrameAfter(t) + (2n - 1) ms.
    void SetUsbTiming(bool on);
    static constexpr std::chrono::milliseconds kUsbFrame{1};
    static std::chrono::steady_clock::time_point UsbFrameAfter(std::chrono::steady_clock::time_point t);

    // Queues an input report the unit sends unasked (tests of stray reports).
    void InjectReply(const Report& reply);

    // HID side, used by the simulated backend's handles.
    std::unique_ptr<HidHandle> Open(HidOpenMode mode, std::string& whyNot);
    std::unique_ptr<HidHandle> Open(HidOpenMode mode)
    {
        std::string ignored;
        return Open(mode, ignored);
    }

private:
    friend class SimulatedHandle;
    bool Write(unsigned generation, const std::uint8_t* report, std::size_t size);
    // `interrupted` is the reading handle's flag, guarded by mutex_.
    int Read(unsigned generation, std::uint8_t* buffer, std::size_t size, int timeoutMs, bool& interrupted);
    void Interrupt(bool& interrupted);

    mutable std::mutex mutex_;
    std::condition_variable replyReady_;
    SimulatedIdentity identity_;
    UnitFirmware firmware_; // called with the lock held
    std::vector<Report> received_;
    std::size_t receivedCount_ = 0; // all requests, also those no longer kept
    std::optional<std::size_t> keepReceived_;
    struct PendingReply {
        Report Data;
        std::chrono::steady_clock::time_point ReadableAt{}; // USB timing: not before
    };
    std::deque<PendingReply> replies_;
    std::optional<std::size_t> answerLimit_;
    std::optional<std::size_t> unplugAfter_;
    std::optional<std::size_t> loseRepliesAfter_;
    std::optional<std::size_t> failWritesAfter_;
    std::function<void(std::size_t, const std::array<std::uint8_t, 6>&)> onTaken_;
    std::optional<HidOpenMode> failOpen_;
    std::string failOpenReason_;
    std::size_t replyLength_ = kReportSize;
    int answerDelayMs_ = 0;
    bool plugged_ = true;
    bool failWrites_ = false;
    bool usbTiming_ = false;
    std::chrono::steady_clock::time_point lastTaken_{}; // USB timing: the last request's frame
    unsigned generation_ = 1; // a new one at every plug-in
};

// Presents simulated units to the window as present HID interfaces, in the
// order given, next to any number of other HID devices. Each unit's path is
// "sim:" and its place in that order. Add() comes before any use; then
// Enumerate and Open may be called from several threads.
class SimulatedHidBackend final : public HidBackend {
public:
    void Add(std::shared_ptr<SimulatedUnit> unit);
    void AddOtherDevice(const std::string& hardwareId); // a HID device that is not a unit
    std::vector<HidInterfaceInfo> Enumerate() override;
    std::unique_ptr<HidHandle> Open(const std::string& path, HidOpenMode mode, std::string& whyNot) override;
    int EnumerationCount() const { return enumerations_; }

private:
    struct Entry {
        std::string HardwareId;
        std::shared_ptr<SimulatedUnit> Unit; // null for other devices
    };
    std::vector<Entry> entries_;
    std::atomic<int> enumerations_{0};
};

} // namespace vantrel
