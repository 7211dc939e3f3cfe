#include "unit/VirtualUnit.h"

#include "config/DataFile.h"

#include <QByteArray>

#include <charconv>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <iterator>
#include <sstream>
#include <stdexcept>

namespace vantrel {

namespace {

template <typename T>
T ParseNumber(const std::string& option, const std::string& text, long long low, long long high)
{
    long long value = 0;
    const char* end = text.data() + text.size();
    const auto [ptr, ec] = std::from_chars(text.data(), end, value);
    if (text.empty() || ec != std::errc() || ptr != end || value < low || value > high)
        throw std::invalid_argument(option + ": '" + text + "' is not a whole number from " + std::to_string(low)
                                    + " to " + std::to_string(high));
    return T(value);
}

std::optional<std::uint8_t> HexOctet(const std::string& text)
{
    if (text.size() != 2)
        return std::nullopt;
    unsigned value = 0;
    const auto [ptr, ec] = std::from_chars(text.data(), text.data() + 2, value, 16);
    if (ec != std::errc() || ptr != text.data() + 2)
        return std::nullopt;
    return std::uint8_t(value);
}

std::vector<std::string> Split(const std::string& text, const std::string& separators)
{
    std::vector<std::string> parts(1);
    for (char c : text) {
        if (separators.find(c) != std::string::npos)
            parts.emplace_back();
        else
            parts.back() += c;
    }
    return parts;
}

} // namespace

std::uint16_t DeviceRevision(const VirtualUnitOptions& options)
{
    return options.ProgramMode ? 0x0001 : 0x0006;
}

std::optional<std::array<std::uint8_t, 6>> ParseMacAddress(const std::string& text)
{
    const std::vector<std::string> parts = Split(text, ".:-");
    if (parts.size() != 6)
        return std::nullopt;
    std::array<std::uint8_t, 6> mac{};
    for (std::size_t i = 0; i < 6; ++i) {
        const auto octet = HexOctet(parts[i]);
        if (!octet)
            return std::nullopt;
        mac[i] = *octet;
    }
    return mac;
}

std::string HexBytes(const Report& report)
{
    return QByteArray(reinterpret_cast<const char*>(report.data()), qsizetype(report.size())).toHex(' ').toStdString();
}

std::string VirtualUnitUsage()
{
    return "Usage: quorvex-virtual-unit [options]\n"
           "Presents a QUORVEX unit to this Linux system as a USB HID device (vendor 04D8,\n"
           "product FD37), so that Vantrel can read, write and give it a MAC address\n"
           "without hardware. Runs until Ctrl-C; sets up what it needs and removes it again.\n"
           "\n"
           "How the unit appears:\n"
           "  --gadget             a USB device through the kernel's gadget framework\n"
           "                       (dummy_hcd, libcomposite, usb_f_hid; needs root) [default]\n"
           "  --uhid               a HID device through /dev/uhid (module uhid); the tool\n"
           "                       then sees revision 0000 and finds it by vendor and product\n"
           "  --udc NAME           the USB device controller to bind to (default: the first\n"
           "                       in /sys/class/udc)\n"
           "  --program-mode       device revision 0001: the unit is in program mode\n"
           "\n"
           "What the unit holds:\n"
           "  --serial N           serial number (default 4711)\n"
           "  --firmware-version TEXT\n"
           "                       firmware version text (default 1.05)\n"
           "  --application X,Y,Z  application code, three hex bytes (default 00,01,05)\n"
           "  --mac A.B.C.D.E.F    MAC address (default 00.04.A3.01.02.0F)\n"
           "  --config FILE.dat    starting configuration, from a Vantrel data file\n"
           "  --save FILE.dat      write the stored configuration to this data file each\n"
           "                       time the unit stores a block (give the same file as\n"
           "                       --config to keep it between runs)\n"
           "\n"
           "How it behaves:\n"
           "  --delay MS           wait MS milliseconds before each answer (default 0)\n"
           "  --silent-after N     answer the first N requests, then no more\n"
           "  --unplug-after N     leave the bus on receiving request N+1, before answering\n"
           "  --trace FILE         write every request and reply as hex lines; - for the\n"
           "                       standard output\n"
           "  --help               this text\n"
           "  --version            the program's name and version\n"
           "\n"
           "Signals: SIGUSR1 unplugs the unit, SIGUSR2 plugs it in again, SIGINT and\n"
           "SIGTERM remove it and end the program.\n";
}

VirtualUnitOptions ParseVirtualUnitArgs(const std::vector<std::string>& args)
{
    VirtualUnitOptions o;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        const auto value = [&]() -> const std::string& {
            if (i + 1 >= args.size())
                throw std::invalid_argument(arg + " needs a value");
            return args[++i];
        };
        if (arg == "--help" || arg == "-h") {
            o.Help = true;
        } else if (arg == "--gadget") {
            o.Transport = VirtualTransport::UsbGadget;
        } else if (arg == "--uhid") {
            o.Transport = VirtualTransport::Uhid;
        } else if (arg == "--udc") {
            o.Udc = value();
        } else if (arg == "--program-mode") {
            o.ProgramMode = true;
        } else if (arg == "--serial") {
            o.Identity.SerialNumber = ParseNumber<std::int32_t>(arg, value(), INT32_MIN, INT32_MAX);
        } else if (arg == "--version" && (i + 1 >= args.size() || args[i + 1].starts_with('-'))) {
            o.Version = true;
        } else if (arg == "--firmware-version" || arg == "--version") {
            // "--version TEXT", its name before --firmware-version, still works.
            const std::string& text = value();
            if (text.size() > kReportSize - 10)
                throw std::invalid_argument(arg + ": at most 55 characters fit the identification reply");
            o.Identity.Version = text;
        } else if (arg == "--application") {
            const std::string& text = value();
            const std::vector<std::string> parts = Split(text, ",.:");
            bool ok = parts.size() == 3;
            for (std::size_t k = 0; ok && k < 3; ++k) {
                const auto octet = HexOctet(parts[k]);
                ok = octet.has_value();
                if (ok)
                    o.Identity.ApplicationCode[k] = *octet;
            }
            if (!ok)
                throw std::invalid_argument(arg + ": '" + text + "' is not three hex bytes such as 00,01,05");
        } else if (arg == "--mac") {
            const std::string& text = value();
            const auto mac = ParseMacAddress(text);
            if (!mac)
                throw std::invalid_argument(arg + ": '" + text + "' is not six hex octets such as 00.04.A3.01.02.0F");
            o.Mac = *mac;
        } else if (arg == "--config") {
            o.ConfigFile = value();
        } else if (arg == "--save") {
            o.SaveFile = value();
        } else if (arg == "--trace") {
            o.TraceFile = value();
        } else if (arg == "--delay") {
            o.AnswerDelayMs = ParseNumber<int>(arg, value(), 0, 60000);
        } else if (arg == "--silent-after") {
            o.SilentAfter = ParseNumber<std::size_t>(arg, value(), 0, 1'000'000'000);
        } else if (arg == "--unplug-after") {
            o.UnplugAfter = ParseNumber<std::size_t>(arg, value(), 0, 1'000'000'000);
        } else {
            throw std::invalid_argument("unknown option '" + arg + "' (--help lists them)");
        }
    }
    return o;
}

VirtualUnit::VirtualUnit(const VirtualUnitOptions& options, std::ostream* trace)
    : options_(options), firmware_(options.Identity), trace_(trace)
{
    firmware_.SetMac(options.Mac);
    if (!options.ConfigFile.empty()) {
        std::ifstream in(options.ConfigFile, std::ios::binary);
        if (!in)
            throw std::runtime_error("cannot open the configuration file " + options.ConfigFile);
        const std::vector<std::uint8_t> bytes{std::istreambuf_iterator<char>(in), {}};
        ConfigRecord record{};
        switch (DecodeDataFile(bytes, record)) {
        case DataFileCheck::Ok:
            firmware_.StoreConfig(record);
            break;
        case DataFileCheck::Incompatible:
            throw std::runtime_error(options.ConfigFile + " is not a Vantrel data file");
        case DataFileCheck::LaterVersion:
            throw std::runtime_error(options.ConfigFile + " was written by a later Vantrel");
        case DataFileCheck::Truncated:
            throw std::runtime_error(options.ConfigFile + " is too short to hold a configuration");
        }
    }
}

VirtualUnit::Outcome VirtualUnit::OnRequest(const Report& request)
{
    ++count_;
    if (trace_)
        *trace_ << "request " << count_ << ": " << HexBytes(request) << std::endl;
    if (options_.UnplugAfter && count_ > *options_.UnplugAfter) {
        options_.UnplugAfter.reset(); // once: plugged in again, the unit answers
        return {Action::Unplug, {}};
    }
    if (options_.SilentAfter && count_ > *options_.SilentAfter)
        return {Action::Silent, {}};
    Outcome outcome{Action::Reply, firmware_.Answer(request)};
    if (trace_)
        *trace_ << "reply " << count_ << ": " << HexBytes(outcome.Reply) << std::endl;
    if (request[1] == cmd::BlockDone && !options_.SaveFile.empty())
        SaveStoredConfig();
    return outcome;
}

void VirtualUnit::SaveStoredConfig()
{
    // Written beside the target and renamed over it, so a reader never sees
    // half a file.
    const DataFileImage image = EncodeDataFile(firmware_.StoredConfig());
    const std::string temp = options_.SaveFile + ".tmp";
    {
        std::ofstream out(temp, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(image.data()), std::streamsize(image.size()));
        if (!out.flush()) {
            std::cerr << "quorvex-virtual-unit: cannot write " << temp << std::endl;
            return;
        }
    }
    if (std::rename(temp.c_str(), options_.SaveFile.c_str()) != 0)
        std::cerr << "quorvex-virtual-unit: cannot replace " << options_.SaveFile << std::endl;
}

} // namespace vantrel
