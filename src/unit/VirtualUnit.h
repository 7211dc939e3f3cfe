#pragma once
// The transport-independent half of quorvex-virtual-unit: its options, and
// what it does with each request that reaches it (answer through the unit
// firmware, trace, keep the stored configuration in a data file, go silent
// or unplug when told to). Free of Qt and of Linux; the USB gadget and the
// uhid transports carry the reports.

#include "unit/UnitFirmware.h"

#include <cstdint>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

namespace vantrel {

enum class VirtualTransport { UsbGadget, Uhid };

struct VirtualUnitOptions {
    VirtualTransport Transport = VirtualTransport::UsbGadget;
    UnitIdentity Identity;
    std::array<std::uint8_t, 6> Mac{0x00, 0x04, 0xA3, 0x01, 0x02, 0x0F};
    bool ProgramMode = false;               // device revision 0001 instead of 0006
    std::string ConfigFile;                 // starting configuration (.dat)
    std::string SaveFile;                   // stored configuration kept here (.dat)
    std::string TraceFile;                  // every request and reply; "-" for standard output
    std::string Udc;                        // USB device controller; empty: the first present
    int AnswerDelayMs = 0;
    std::optional<std::size_t> SilentAfter; // later requests get no reply
    std::optional<std::size_t> UnplugAfter; // unplugs once, on receiving request N+1
    bool Help = false;
    bool Version = false; // --version alone: the program's own version
};

// The device revision the unit reports: 0x0006, or 0x0001 in program mode.
std::uint16_t DeviceRevision(const VirtualUnitOptions& options);

// Parses the command line (without the program name). Throws
// std::invalid_argument with a message naming the option and the value.
VirtualUnitOptions ParseVirtualUnitArgs(const std::vector<std::string>& args);

// The text --help prints.
std::string VirtualUnitUsage();

// "00.04.A3.01.02.0F" or "00:04:a3:01:02:0f".
std::optional<std::array<std::uint8_t, 6>> ParseMacAddress(const std::string& text);

// 65 bytes as two-digit hex pairs separated by blanks.
std::string HexBytes(const Report& report);

class VirtualUnit {
public:
    // Loads the starting configuration when one is given (throws
    // std::runtime_error with the reason when the file is not a usable data
    // file). `trace` may be null.
    VirtualUnit(const VirtualUnitOptions& options, std::ostream* trace);

    enum class Action {
        Reply,  // send `Reply`
        Silent, // the unit keeps quiet
        Unplug, // the unit leaves the bus before answering
    };
    struct Outcome {
        Action What = Action::Reply;
        Report Reply{};
    };

    // One output report as the host sent it, report ID 0 first.
    Outcome OnRequest(const Report& request);

    std::size_t RequestCount() const { return count_; }
    const UnitFirmware& Firmware() const { return firmware_; }

private:
    void SaveStoredConfig();

    VirtualUnitOptions options_;
    UnitFirmware firmware_;
    std::ostream* trace_;
    std::size_t count_ = 0;
};

} // namespace vantrel
