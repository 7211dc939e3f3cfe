#include "unit/SimulatedUnit.h"

#include <algorithm>
#include <chrono>
#include <thread>
#include <utility>

namespace vantrel {

class SimulatedHandle final : public HidHandle {
public:
    SimulatedHandle(std::shared_ptr<SimulatedUnit> unit, unsigned generation)
        : unit_(std::move(unit)), generation_(generation)
    {
    }
    int ReadReport(std::uint8_t* buffer, std::size_t size, int timeoutMs) override
    {
        return unit_->Read(generation_, buffer, size, timeoutMs, interrupted_);
    }
    bool WriteReport(const std::uint8_t* report, std::size_t size) override
    {
        return unit_->Write(generation_, report, size);
    }
    void InterruptRead() override { unit_->Interrupt(interrupted_); }

private:
    std::shared_ptr<SimulatedUnit> unit_;
    unsigned generation_;
    bool interrupted_ = false; // guarded by the unit's mutex
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
    return receivedCount_;
}

void SimulatedUnit::KeepReceived(std::size_t requests)
{
    std::lock_guard lock(mutex_);
    keepReceived_ = requests;
    if (received_.size() > requests)
        received_.erase(received_.begin(), received_.end() - std::ptrdiff_t(requests));
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

void SimulatedUnit::FailWritesAfter(std::size_t requests)
{
    std::lock_guard lock(mutex_);
    failWritesAfter_ = requests;
}

void SimulatedUnit::LoseRepliesAfter(std::size_t requests)
{
    std::lock_guard lock(mutex_);
    loseRepliesAfter_ = requests;
}

void SimulatedUnit::OnRequestTaken(std::function<void(std::size_t, const std::array<std::uint8_t, 6>&)> hook)
{
    std::lock_guard lock(mutex_);
    onTaken_ = std::move(hook);
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

void SimulatedUnit::SetUsbTiming(bool on)
{
    std::lock_guard lock(mutex_);
    usbTiming_ = on;
}

std::chrono::steady_clock::time_point SimulatedUnit::UsbFrameAfter(std::chrono::steady_clock::time_point t)
{
    using std::chrono::steady_clock;
    const auto frames = std::chrono::floor<std::chrono::milliseconds>(t.time_since_epoch()) + kUsbFrame;
    return steady_clock::time_point(std::chrono::duration_cast<steady_clock::duration>(frames));
}

void SimulatedUnit::InjectReply(const Report& reply)
{
    std::lock_guard lock(mutex_);
    replies_.push_back({reply});
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
    std::chrono::steady_clock::time_point readableAt{};
    {
        std::unique_lock lock(mutex_);
        if (!plugged_ || generation != generation_ || size != kReportSize || failWrites_
            || (failWritesAfter_ && receivedCount_ >= *failWritesAfter_))
            return false;
        if (usbTiming_) {
            // Taken in the next free frame (see SetUsbTiming); the write
            // returns then.
            const auto taken = std::max(UsbFrameAfter(std::chrono::steady_clock::now()), lastTaken_ + kUsbFrame);
            lastTaken_ = taken;
            readableAt = taken + kUsbFrame;
            lock.unlock();
            std::this_thread::sleep_until(taken);
            lock.lock();
            if (!plugged_ || generation != generation_)
                return false;
        }
        std::copy_n(report, kReportSize, request.begin());
        received_.push_back(request);
        ++receivedCount_;
        if (keepReceived_ && received_.size() > *keepReceived_)
            received_.erase(received_.begin());
        if (unplugAfter_ && receivedCount_ > *unplugAfter_) {
            plugged_ = false;
            replies_.clear();
            replyReady_.notify_all();
            return true; // the request left the PC; the unit is gone before answering
        }
        if (answerLimit_ && receivedCount_ > *answerLimit_)
            return true;
        if (loseRepliesAfter_ && receivedCount_ > *loseRepliesAfter_) {
            firmware_.Answer(request); // stored, and the reply never arrives
            if (onTaken_)
                onTaken_(receivedCount_, firmware_.Mac());
            return true;
        }
        if (onTaken_) {
            const Report reply = firmware_.Answer(request);
            onTaken_(receivedCount_, firmware_.Mac());
            replies_.push_back({reply, readableAt});
            replyReady_.notify_all();
            return true;
        }
        delay = answerDelayMs_;
        if (delay == 0) {
            replies_.push_back({firmware_.Answer(request), readableAt});
            replyReady_.notify_all();
            return true;
        }
    }
    // A slow unit: the reply follows after a while, as from real hardware.
    std::thread([self = shared_from_this(), generation, delay, request, readableAt] {
        std::this_thread::sleep_for(std::chrono::milliseconds(delay));
        std::lock_guard lock(self->mutex_);
        if (!self->plugged_ || generation != self->generation_)
            return;
        self->replies_.push_back({self->firmware_.Answer(request), readableAt});
        self->replyReady_.notify_all();
    }).detach();
    return true;
}

void SimulatedUnit::Interrupt(bool& interrupted)
{
    std::lock_guard lock(mutex_);
    interrupted = true;
    replyReady_.notify_all();
}

int SimulatedUnit::Read(unsigned generation, std::uint8_t* buffer, std::size_t size, int timeoutMs, bool& interrupted)
{
    using std::chrono::steady_clock;
    std::unique_lock lock(mutex_);
    const auto deadline = timeoutMs < 0 ? steady_clock::time_point::max()
                                        : steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    // The first reply is taken once it is readable (at once without USB
    // timing); a read that finds none within the time-out, or is
    // interrupted first, returns 0.
    for (;;) {
        if (std::exchange(interrupted, false))
            return 0;
        if (!plugged_ || generation != generation_)
            return -1;
        const auto now = steady_clock::now();
        if (!replies_.empty() && replies_.front().ReadableAt <= now)
            break;
        if (now >= deadline)
            return 0;
        if (replies_.empty() && timeoutMs < 0)
            replyReady_.wait(lock);
        else
            replyReady_.wait_until(lock, replies_.empty() ? deadline : std::min(deadline, replies_.front().ReadableAt));
    }
    const Report reply = replies_.front().Data;
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
