// The Linux side of quorvex-virtual-unit: the USB gadget through configfs
// and /dev/hidgN, and the uhid device through /dev/uhid.

#include "unit/VirtualUnitTransport.h"

#include <linux/uhid.h>

#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/utsname.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fstream>
#include <iostream>
#include <sstream>
#include <stdexcept>

extern char** environ;

namespace vantrel {

namespace {

constexpr std::uint16_t kVendorId = 0x04D8;
constexpr std::uint16_t kProductId = 0xFD37;
constexpr std::size_t kPayload = kReportSize - 1; // 64 bytes without the report ID

std::string Errno(int error = errno)
{
    return std::strerror(error);
}

bool Exists(const std::string& path)
{
    struct stat st{};
    return ::stat(path.c_str(), &st) == 0;
}

std::vector<std::string> ListDir(const std::string& path)
{
    std::vector<std::string> names;
    if (DIR* dir = ::opendir(path.c_str())) {
        while (const dirent* e = ::readdir(dir))
            if (e->d_name[0] != '.')
                names.emplace_back(e->d_name);
        ::closedir(dir);
    }
    std::sort(names.begin(), names.end());
    return names;
}

std::string ReadText(const std::string& path)
{
    std::ifstream in(path);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

void WriteAttr(const std::string& path, const std::string& value)
{
    const int fd = ::open(path.c_str(), O_WRONLY | O_CLOEXEC);
    if (fd < 0)
        throw std::runtime_error("cannot open " + path + ": " + Errno());
    const ssize_t n = ::write(fd, value.data(), value.size());
    const int error = errno;
    ::close(fd);
    if (n != ssize_t(value.size()))
        throw std::runtime_error("cannot write " + path + ": " + Errno(error));
}

void MakeDir(const std::string& path)
{
    if (::mkdir(path.c_str(), 0755) != 0 && errno != EEXIST)
        throw std::runtime_error("cannot create " + path + ": " + Errno());
}

std::string Hex4(std::uint16_t value)
{
    char text[8];
    std::snprintf(text, sizeof text, "0x%04x", value);
    return text;
}

bool ModulePresent(const std::string& name)
{
    std::string sysName = name;
    std::replace(sysName.begin(), sysName.end(), '-', '_');
    if (Exists("/sys/module/" + sysName))
        return true;
    utsname u{};
    if (::uname(&u) != 0)
        return false;
    const std::string builtin = ReadText(std::string("/lib/modules/") + u.release + "/modules.builtin");
    return builtin.find("/" + name + ".ko\n") != std::string::npos
           || builtin.find("/" + sysName + ".ko\n") != std::string::npos;
}

// Waits up to `ms` for a descriptor to become ready for `events`.
bool WaitFor(int fd, short events, int ms)
{
    pollfd p{fd, events, 0};
    return ::poll(&p, 1, ms) > 0 && (p.revents & events) != 0;
}

// ---- USB gadget -----------------------------------------------------------------------

class UsbGadgetTransport final : public UnitTransport {
public:
    explicit UsbGadgetTransport(const VirtualUnitOptions& options) : revision_(DeviceRevision(options))
    {
        if (::geteuid() != 0)
            throw std::runtime_error("the USB gadget needs root: it is set up through /sys/kernel/config "
                                     "(run with sudo, or use --uhid with access to /dev/uhid)");
        RequireKernelModule("libcomposite");
        RequireKernelModule("usb_f_hid");
        MountConfigfs();
        udc_ = options.Udc;
        if (udc_.empty()) {
            if (ListDir("/sys/class/udc").empty())
                RequireKernelModule("dummy_hcd"); // a controller that loops back to this machine
            const std::vector<std::string> udcs = ListDir("/sys/class/udc");
            if (udcs.empty())
                throw std::runtime_error("no USB device controller in /sys/class/udc (module dummy_hcd gives one)");
            udc_ = udcs.front();
        } else if (!Exists("/sys/class/udc/" + udc_)) {
            throw std::runtime_error("no USB device controller named " + udc_ + " in /sys/class/udc");
        }
        if (udc_.rfind("dummy_udc", 0) == 0) {
            // The host half of the loop is this machine: it needs the HID drivers.
            RequireKernelModule("usbhid");
            RequireKernelModule("hid-generic");
        }
        dir_ = "/sys/kernel/config/usb_gadget/quorvex" + std::to_string(::getpid());
        try {
            Build(options);
            PlugIn();
        } catch (...) {
            TearDown();
            throw;
        }
    }

    ~UsbGadgetTransport() override { TearDown(); }

    int PollFd() const override { return fd_; }

    std::optional<Report> TakeRequest() override
    {
        std::uint8_t payload[kPayload];
        const ssize_t n = ::read(fd_, payload, sizeof payload);
        if (n <= 0)
            return std::nullopt;
        // The host's HID driver drops report ID 0 on the way; the unit gets
        // the 64 bytes of the output report. Anything else is a fault of the
        // host side worth seeing.
        if (n != ssize_t(kPayload))
            std::cerr << "quorvex-virtual-unit: an output report of " << n << " bytes (64 expected)" << std::endl;
        Report request{};
        std::copy_n(payload, std::size_t(n), request.begin() + 1);
        return request;
    }

    bool SendReply(const Report& reply) override
    {
        // The previous reply must have left before the next is queued; a
        // host that stopped reading gets a second to take it.
        for (int attempt = 0; attempt < 2; ++attempt) {
            const ssize_t n = ::write(fd_, reply.data() + 1, kPayload);
            if (n == ssize_t(kPayload))
                return true;
            if (n < 0 && errno != EAGAIN)
                return false;
            WaitFor(fd_, POLLOUT, 1000);
        }
        return false;
    }

    // The function's device exists only while the gadget is bound to a
    // controller: it is opened at every plug-in and closed at unplugging.
    void Unplug() override
    {
        if (!plugged_)
            return;
        CloseHidg();
        WriteAttr(dir_ + "/UDC", "\n");
        plugged_ = false;
    }

    void PlugIn() override
    {
        if (plugged_)
            return;
        WriteAttr(dir_ + "/UDC", udc_ + "\n");
        plugged_ = true;
        OpenHidg();
    }

    bool Plugged() const override { return plugged_; }

    std::string Describe() const override
    {
        char revision[8];
        std::snprintf(revision, sizeof revision, "%04X", revision_);
        return "USB gadget " + dir_ + " on " + udc_ + ", vendor 04D8 product FD37 revision " + revision
               + ", device side " + node_;
    }

private:
    static void MountConfigfs()
    {
        const std::string root = "/sys/kernel/config";
        if (!Exists(root + "/usb_gadget")) {
            if (::mount("none", root.c_str(), "configfs", 0, nullptr) != 0 && errno != EBUSY)
                throw std::runtime_error("configfs is not mounted at " + root + " and cannot be: " + Errno());
        }
        if (!Exists(root + "/usb_gadget"))
            throw std::runtime_error("configfs has no usb_gadget folder at " + root
                                     + " (the kernel module libcomposite provides it)");
    }

    void Build(const VirtualUnitOptions& options)
    {
        MakeDir(dir_);
        made_.push_back(dir_);
        WriteAttr(dir_ + "/idVendor", Hex4(kVendorId));
        WriteAttr(dir_ + "/idProduct", Hex4(kProductId));
        WriteAttr(dir_ + "/bcdDevice", Hex4(revision_));
        WriteAttr(dir_ + "/bcdUSB", "0x0200");
        MakeDir(dir_ + "/strings/0x409");
        made_.push_back(dir_ + "/strings/0x409");
        WriteAttr(dir_ + "/strings/0x409/manufacturer", "QUORVEX");
        WriteAttr(dir_ + "/strings/0x409/product", "QUORVEX virtual unit");
        WriteAttr(dir_ + "/strings/0x409/serialnumber", std::to_string(options.Identity.SerialNumber));

        const std::string function = dir_ + "/functions/hid.usb0";
        MakeDir(function);
        made_.push_back(function);
        WriteAttr(function + "/protocol", "0");
        WriteAttr(function + "/subclass", "0");
        WriteAttr(function + "/report_length", "64");
        const std::vector<std::uint8_t>& descriptor = VirtualUnitReportDescriptor();
        WriteAttr(function + "/report_desc", std::string(descriptor.begin(), descriptor.end()));

        const std::string config = dir_ + "/configs/c.1";
        MakeDir(config);
        made_.push_back(config);
        MakeDir(config + "/strings/0x409");
        made_.push_back(config + "/strings/0x409");
        WriteAttr(config + "/strings/0x409/configuration", "QUORVEX");
        WriteAttr(config + "/MaxPower", "100");
        link_ = config + "/hid.usb0";
        if (::symlink(function.c_str(), link_.c_str()) != 0)
            throw std::runtime_error("cannot link the HID function into the configuration: " + Errno());
    }

    void OpenHidg()
    {
        // The function's character device, "major:minor"; devtmpfs names it
        // hidg<minor>. Without devtmpfs the node is made here.
        unsigned major = 0, minor = 0;
        const std::string dev = ReadText(dir_ + "/functions/hid.usb0/dev");
        if (std::sscanf(dev.c_str(), "%u:%u", &major, &minor) != 2)
            throw std::runtime_error("the HID function has no device number (" + dir_ + "/functions/hid.usb0/dev)");
        node_ = "/dev/hidg" + std::to_string(minor);
        for (int i = 0; i < 20 && !Exists(node_); ++i)
            ::usleep(10'000);
        if (!Exists(node_)) {
            ownNode_ = "/tmp/quorvex-hidg" + std::to_string(::getpid());
            if (::mknod(ownNode_.c_str(), S_IFCHR | 0600, makedev(major, minor)) != 0)
                throw std::runtime_error("no " + node_ + " and cannot make " + ownNode_ + ": " + Errno());
            node_ = ownNode_;
        }
        fd_ = ::open(node_.c_str(), O_RDWR | O_NONBLOCK | O_CLOEXEC);
        if (fd_ < 0)
            throw std::runtime_error("cannot open " + node_ + ": " + Errno());
    }

    void CloseHidg()
    {
        if (fd_ >= 0)
            ::close(fd_);
        fd_ = -1;
        if (!ownNode_.empty())
            ::unlink(ownNode_.c_str());
        ownNode_.clear();
    }

    void TearDown()
    {
        CloseHidg();
        if (plugged_) {
            try {
                Unplug();
            } catch (const std::exception&) {
            }
        }
        if (!link_.empty())
            ::unlink(link_.c_str());
        link_.clear();
        for (auto it = made_.rbegin(); it != made_.rend(); ++it)
            ::rmdir(it->c_str());
        made_.clear();
    }

    std::uint16_t revision_;
    std::string udc_;
    std::string dir_;
    std::string link_;
    std::string node_;
    std::string ownNode_;
    std::vector<std::string> made_;
    int fd_ = -1;
    bool plugged_ = false;
};

// ---- uhid ------------------------------------------------------------------------------

class UhidTransport final : public UnitTransport {
public:
    explicit UhidTransport(const VirtualUnitOptions& options)
        : revision_(DeviceRevision(options)), serial_(std::to_string(options.Identity.SerialNumber))
    {
        fd_ = ::open("/dev/uhid", O_RDWR | O_CLOEXEC);
        if (fd_ < 0 && errno == ENOENT) {
            RequireKernelModule("uhid");
            fd_ = ::open("/dev/uhid", O_RDWR | O_CLOEXEC);
        }
        if (fd_ < 0) {
            const int error = errno;
            throw std::runtime_error("cannot open /dev/uhid: " + Errno(error)
                                     + (error == EACCES ? " (run as root)" : error == ENOENT ? " (module uhid)" : ""));
        }
        PlugIn();
    }

    ~UhidTransport() override
    {
        Unplug();
        ::close(fd_);
    }

    int PollFd() const override { return fd_; }

    std::optional<Report> TakeRequest() override
    {
        uhid_event ev{};
        if (::read(fd_, &ev, sizeof ev) <= 0)
            return std::nullopt;
        if (ev.type != UHID_OUTPUT)
            return std::nullopt; // start, stop, open, close: nothing to answer
        // The kernel hands on the report as the host wrote it, report ID 0
        // first; a 64-byte one came without it.
        Report request{};
        const std::size_t size = std::min<std::size_t>(ev.u.output.size, kReportSize);
        if (size == kReportSize)
            std::copy_n(ev.u.output.data, size, request.begin());
        else
            std::copy_n(ev.u.output.data, std::min(size, kPayload), request.begin() + 1);
        return request;
    }

    bool SendReply(const Report& reply) override
    {
        if (!plugged_)
            return false;
        uhid_event ev{};
        ev.type = UHID_INPUT2;
        ev.u.input2.size = kPayload;
        std::copy_n(reply.begin() + 1, kPayload, ev.u.input2.data);
        return ::write(fd_, &ev, sizeof ev) == ssize_t(sizeof ev);
    }

    void Unplug() override
    {
        if (!plugged_)
            return;
        uhid_event ev{};
        ev.type = UHID_DESTROY;
        if (::write(fd_, &ev, sizeof ev) == ssize_t(sizeof ev))
            plugged_ = false;
    }

    void PlugIn() override
    {
        if (plugged_)
            return;
        uhid_event ev{};
        ev.type = UHID_CREATE2;
        std::snprintf(reinterpret_cast<char*>(ev.u.create2.name), sizeof ev.u.create2.name, "QUORVEX virtual unit");
        std::snprintf(reinterpret_cast<char*>(ev.u.create2.uniq), sizeof ev.u.create2.uniq, "%s", serial_.c_str());
        const std::vector<std::uint8_t>& descriptor = VirtualUnitReportDescriptor();
        ev.u.create2.rd_size = std::uint16_t(descriptor.size());
        std::copy(descriptor.begin(), descriptor.end(), ev.u.create2.rd_data);
        ev.u.create2.bus = 0x03; // BUS_USB
        ev.u.create2.vendor = kVendorId;
        ev.u.create2.product = kProductId;
        ev.u.create2.version = revision_;
        if (::write(fd_, &ev, sizeof ev) != ssize_t(sizeof ev))
            throw std::runtime_error("cannot create the uhid device: " + Errno());
        plugged_ = true;
    }

    bool Plugged() const override { return plugged_; }

    std::string Describe() const override
    {
        return "uhid device on /dev/uhid, bus USB, vendor 04D8 product FD37 (hidapi shows revision 0000: "
               "there is no USB device behind it)";
    }

private:
    std::uint16_t revision_;
    std::string serial_;
    int fd_ = -1;
    bool plugged_ = false;
};

} // namespace

const std::vector<std::uint8_t>& VirtualUnitReportDescriptor()
{
    static const std::vector<std::uint8_t> descriptor = {
        0x06, 0x00, 0xFF, // Usage Page (vendor-defined 0xFF00)
        0x09, 0x01,       // Usage (1)
        0xA1, 0x01,       // Collection (Application)
        0x15, 0x00,       //   Logical Minimum (0)
        0x26, 0xFF, 0x00, //   Logical Maximum (255)
        0x75, 0x08,       //   Report Size (8 bits)
        0x95, 0x40,       //   Report Count (64)
        0x09, 0x01,       //   Usage (1)
        0x81, 0x02,       //   Input (Data, Variable, Absolute)
        0x95, 0x40,       //   Report Count (64)
        0x09, 0x01,       //   Usage (1)
        0x91, 0x02,       //   Output (Data, Variable, Absolute)
        0xC0,             // End Collection
    };
    return descriptor;
}

void RequireKernelModule(const std::string& name)
{
    if (ModulePresent(name))
        return;
    pid_t pid = 0;
    const char* argv[] = {"modprobe", name.c_str(), nullptr};
    int status = -1;
    if (::posix_spawnp(&pid, "modprobe", nullptr, nullptr, const_cast<char* const*>(argv), environ) == 0)
        ::waitpid(pid, &status, 0);
    if (status != 0 || !ModulePresent(name))
        throw std::runtime_error("kernel module " + name + " is not available ('modprobe " + name
                                 + "' failed; Debian's own kernel has it, some cloud and WSL kernels do not)");
}

std::string FindHostHidraw()
{
    char id[40];
    std::snprintf(id, sizeof id, "HID_ID=0003:%08X:%08X", kVendorId, kProductId);
    for (const std::string& name : ListDir("/sys/class/hidraw"))
        if (ReadText("/sys/class/hidraw/" + name + "/device/uevent").find(id) != std::string::npos)
            return "/dev/" + name;
    return {};
}

std::unique_ptr<UnitTransport> MakeUsbGadgetTransport(const VirtualUnitOptions& options)
{
    return std::make_unique<UsbGadgetTransport>(options);
}

std::unique_ptr<UnitTransport> MakeUhidTransport(const VirtualUnitOptions& options)
{
    return std::make_unique<UhidTransport>(options);
}

} // namespace vantrel
