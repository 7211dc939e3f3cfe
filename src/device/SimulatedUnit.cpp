#include "device/SimulatedUnit.h"

#include <algorithm>
#include <chrono>
#include <thread>

namespace vantrel {

class SimulatedHandle final : public HidHandle {
public:
    SimulatedHandle(std::shared_ptr<SimulatedUnit> unit, unsigned generation)
        : unit_(std::move(unit)), generation_(generation)
    {
    }
    int ReadReport(std::uint8_t* buffer, std::size_t size, int timeoutMs) override
    {
        return unit_->Read(generation_, buffer, size, timeoutMs);
    }
    bool WriteReport(const std::uint8_t* report, std::size_t size) override
    {
        return unit_->Write(generation_, report, size);
    }

private:
    std::shared_ptr<SimulatedUnit> unit_;
    unsigned generation_;
};

SimulatedUnit::SimulatedUnit(SimulatedIdentity identity) : identity_(identity), firmware_(identity) {}

void SimulatedUnit::SetIdentity(const SimulatedIdentity& identity)
{
    std::lock_guard lock(mutex_);
    identity_ = identity;
    firmware_.SetIdentity(identity);
}

void SimulatedUnit::StoreConfig(const ConfigRecord& record)
{
    std::lock_guard lock(mutex_);
    firmware_.StoreConfig(record);
}

ConfigRecord SimulatedUnit::StoredConfig() const
{
    std::lock_guard lock(mutex_);
    return firmware_.StoredConfig();
}

void SimulatedUnit::SetMac(const std::array<std::uint8_t, 6>& mac)
{
    std::lock_guard lock(mutex_);
    firmware_.SetMac(mac);
}

std::array<std::uint8_t, 6> SimulatedUnit::Mac() const
{
    std::lock_guard lock(mutex_);
    return firmware_.Mac();
}

std::array<std::uint8_t, 62> SimulatedUnit::StoredBlock(int block) const
{
    std::lock_guard lock(mutex_);
    return firmware_.StoredBlock(block);
}

std::vector<Report> SimulatedUnit::Received() const
{
    std::lock_guard lock(mutex_);
    return received_;
}

std::size_t SimulatedUnit::ReceivedCount() const
{
    std::lock_guard lock(mutex_);
    return received_.size();
}

void SimulatedUnit::StopAnsweringAfter(std::size_t requests)
{
    std::lock_guard lock(mutex_);
    answerLimit_ = requests;
}

void SimulatedUnit::UnplugAfter(std::size_t requests)
{
    std::lock_guard lock(mutex_);
    unplugAfter_ = requests;
}

void SimulatedUnit::Unplug()
{
    std::lock_guard lock(mutex_);
    plugged_ = false;
    replies_.clear();
    replyReady_.notify_all();
}

void SimulatedUnit::PlugIn()
{
    std::lock_guard lock(mutex_);
    if (!plugged_) {
        plugged_ = true;
        ++generation_;
    }
    unplugAfter_.reset();
}

bool SimulatedUnit::IsPlugged() const
{
    std::lock_guard lock(mutex_);
    return plugged_;
}

void SimulatedUnit::SetReplyLength(std::size_t bytes)
{
    std::lock_guard lock(mutex_);
    replyLength_ = std::clamp<std::size_t>(bytes, 1, kReportSize);
}

void SimulatedUnit::FailOpens(std::optional<HidOpenMode> mode, std::string reason)
{
    std::lock_guard lock(mutex_);
    failOpen_ = mode;
    failOpenReason_ = std::move(reason);
}

void SimulatedUnit::SetAnswerDelayMs(int ms)
{
    std::lock_guard lock(mutex_);
    answerDelayMs_ = ms;
}

void SimulatedUnit::FailWrites(bool fail)
{
    std::lock_guard lock(mutex_);
    failWrites_ = fail;
}

void SimulatedUnit::InjectReply(const Report& reply)
{
    std::lock_guard lock(mutex_);
    replies_.push_back(reply);
    replyReady_.notify_all();
}

std::unique_ptr<HidHandle> SimulatedUnit::Open(HidOpenMode mode, std::string& whyNot)
{
    std::lock_guard lock(mutex_);
    if (!plugged_) {
        whyNot = "No such device";
        return nullptr;
    }
    if (failOpen_ && *failOpen_ == mode) {
        whyNot = failOpenReason_;
        return nullptr;
    }
    return std::make_unique<SimulatedHandle>(shared_from_this(), generation_);
}

bool SimulatedUnit::Write(unsigned generation, const std::uint8_t* report, std::size_t size)
{
    int delay = 0;
    Report request;
    {
        std::lock_guard lock(mutex_);
        if (!plugged_ || generation != generation_ || size != kReportSize || failWrites_)
            return false;
        std::copy_n(report, kReportSize, request.begin());
        received_.push_back(request);
        if (unplugAfter_ && received_.size() > *unplugAfter_) {
            plugged_ = false;
            replies_.clear();
            replyReady_.notify_all();
            return true; // the request left the PC; the unit is gone before answering
        }
        if (answerLimit_ && received_.size() > *answerLimit_)
            return true;
        delay = answerDelayMs_;
        if (delay == 0) {
            replies_.push_back(firmware_.Answer(request));
            replyReady_.notify_all();
            return true;
        }
    }
    // A slow unit: the reply follows after a while, as from real hardware.
    std::thread([self = shared_from_this(), generation, delay, request] {
        std::this_thread::sleep_for(std::chrono::milliseconds(delay));
        std::lock_guard lock(self->mutex_);
        if (!self->plugged_ || generation != self->generation_)
            return;
        self->replies_.push_back(self->firmware_.Answer(request));
        self->replyReady_.notify_all();
    }).detach();
    return true;
}

int SimulatedUnit::Read(unsigned generation, std::uint8_t* buffer, std::size_t size, int timeoutMs)
{
    std::unique_lock lock(mutex_);
    const auto usable = [&] { return !plugged_ || generation != generation_ || !replies_.empty(); };
    if (!replyReady_.wait_for(lock, std::chrono::milliseconds(timeoutMs), usable))
        return 0;
    if (!plugged_ || generation != generation_)
        return -1;
    const Report reply = replies_.front();
    replies_.pop_front();
    const std::size_t n = std::min(size, replyLength_);
    std::copy_n(reply.begin(), n, buffer);
    return int(n);
}

void SimulatedHidBackend::Add(std::shared_ptr<SimulatedUnit> unit)
{
    entries_.push_back({{}, std::move(unit)});
}

void SimulatedHidBackend::AddOtherDevice(const std::string& hardwareId)
{
    entries_.push_back({hardwareId, nullptr});
}

std::vector<HidInterfaceInfo> SimulatedHidBackend::Enumerate()
{
    ++enumerations_;
    std::vector<HidInterfaceInfo> found;
    for (std::size_t i = 0; i < entries_.size(); ++i) {
        const Entry& e = entries_[i];
        if (e.Unit && !e.Unit->IsPlugged())
            continue;
        found.push_back({e.Unit ? e.Unit->Identity().HardwareId : e.HardwareId, "sim:" + std::to_string(i)});
    }
    return found;
}

std::unique_ptr<HidHandle> SimulatedHidBackend::Open(const std::string& path, HidOpenMode mode, std::string& whyNot)
{
    whyNot = "No such device";
    if (path.rfind("sim:", 0) != 0)
        return nullptr;
    const std::size_t index = std::stoul(path.substr(4));
    if (index >= entries_.size() || !entries_[index].Unit)
        return nullptr;
    return entries_[index].Unit->Open(mode, whyNot);
}

} // namespace vantrel
