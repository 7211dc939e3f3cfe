#include "protocol/UnitSession.h"

#include "device/UnitSelection.h"

#include <algorithm>

namespace vantrel {

namespace {
// A wait for a reply looks at the interrupt flag this often.
constexpr std::chrono::milliseconds kWaitSlice{100};

// Asked after a failed open: a unit gone meanwhile is not the same as one
// there and closed to us.
bool StillPresent(HidBackend& hid, const HidInterfaceInfo& unit)
{
    const std::vector<HidInterfaceInfo> present = PresentUnits(hid.Enumerate());
    return std::any_of(present.begin(), present.end(), [&](const HidInterfaceInfo& u) { return u.Path == unit.Path; });
}
} // namespace

UnitSession::UnitSession(HidBackend& hid, std::chrono::milliseconds replyTimeout, const std::atomic<bool>* interrupt)
    : hid_(hid), timeout_(replyTimeout), interrupt_(interrupt)
{
}

UnitSession::~UnitSession() = default;

void UnitSession::Disconnect()
{
    write_.reset();
    read_.reset();
}

bool UnitSession::Sent(RequestKind kind) const
{
    return std::find(sent_.begin(), sent_.end(), kind) != sent_.end();
}

void UnitSession::Connect()
{
    Disconnect();
    sent_.clear();
    std::string whyNot; // the first open failure, for NoAccess
    for (std::string_view pattern : kUnitPatterns) {
        // The next pattern is tried after a failed open.
        UnitOpen unit = OpenFirstMatch(hid_, pattern);
        if (!unit.Opened()) {
            // One that left between the search and the open was not there.
            if (whyNot.empty() && unit.Match && StillPresent(hid_, *unit.Match))
                whyNot = unit.Error;
            continue;
        }
        unit_ = *unit.Match;
        write_ = std::move(unit.Write);
        read_ = std::move(unit.Read);
        if (pattern == kProgramModePattern)
            throw SessionError(SessionFailure::ProgramMode, "QUORVEX is in Program Mode");
        return;
    }
    if (!whyNot.empty())
        throw SessionError(SessionFailure::NoAccess, whyNot);
    throw SessionError(SessionFailure::NoUnit, "Cannot find QUORVEX");
}

void UnitSession::ConnectTo(const HidInterfaceInfo& unit)
{
    Disconnect();
    sent_.clear();
    UnitOpen open = OpenUnit(hid_, unit);
    if (!open.Opened()) {
        if (!StillPresent(hid_, unit))
            throw SessionError(SessionFailure::NoUnit, "Cannot find QUORVEX");
        throw SessionError(SessionFailure::NoAccess, open.Error);
    }
    unit_ = unit;
    write_ = std::move(open.Write);
    read_ = std::move(open.Read);
    if (IsProgramMode(unit.HardwareId))
        throw SessionError(SessionFailure::ProgramMode, "QUORVEX is in Program Mode");
}

void UnitSession::CheckInterrupt() const
{
    if (interrupt_ && interrupt_->load())
        throw SessionError(SessionFailure::Interrupted, "Interrupted");
}

void UnitSession::Exchange(const RequestStep& step, const ConfigRecord& record, const MacOctets& mac)
{
    if (!Connected())
        throw SessionError(SessionFailure::NoUnit, "Cannot find QUORVEX");
    CheckInterrupt();
    if (BeforeRequest)
        BeforeRequest(step);
    BuildRequest(step, step.Block, out_, record, mac);
    sent_.push_back(step.Kind);
    if (!write_->WriteReport(out_.data(), out_.size())) {
        Disconnect();
        throw SessionError(SessionFailure::UnitLost, "Cannot write to QUORVEX");
    }
    const auto deadline = std::chrono::steady_clock::now() + timeout_;
    Report buffer{};
    for (;;) {
        CheckInterrupt();
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) {
            // A reply that comes later would be taken for the next
            // request's: the link is dropped, as for a unit that went away.
            Disconnect();
            throw SessionError(SessionFailure::NoAnswer, "QUORVEX did not answer within "
                                                             + std::to_string(timeout_.count()) + " ms");
        }
        const int count = read_->ReadReport(buffer.data(), buffer.size(), int(std::min(left, kWaitSlice).count()));
        if (count < 0) {
            CheckInterrupt(); // a read broken by the operator is not the unit's fault
            Disconnect();
            throw SessionError(SessionFailure::UnitLost, "QUORVEX went away");
        }
        if (count > 0) {
            // Only the bytes that came are replaced, as in the window.
            std::copy_n(buffer.begin(), std::size_t(count), in_.begin());
            return;
        }
    }
}

IdentReply UnitSession::Identify()
{
    Exchange(kReadRequests[0], ConfigRecord{}, MacOctets{});
    IdentReply ident = ParseIdentReply(in_);
    if (!ident.IsOurApplication)
        throw SessionError(SessionFailure::WrongApplication, "Application is not a QUORVEX Vantrel");
    lastIdent_ = ident;
    return ident;
}

UnitSession::ReadResult UnitSession::Read(const ConfigRecord& base)
{
    ReadResult result;
    result.Record = base;
    result.Ident = Identify();
    BlockImage image{};
    for (std::size_t i = 1; i < kReadRequests.size(); ++i) {
        const RequestStep& step = kReadRequests[i];
        Exchange(step, base, MacOctets{});
        switch (step.Kind) {
        case RequestKind::ReadBlock:
            image = TakeBlockImage(in_);
            break;
        case RequestKind::ReadBlockDone:
            // The block is taken once the unit has answered 'R'.
            if (step.Block == 0)
                DecodeBlock0(image, result.Record);
            else
                DecodeBlock1(image, result.Record);
            break;
        case RequestKind::MacRead:
            std::copy_n(in_.begin() + 2, result.Mac.size(), result.Mac.begin());
            break;
        default:
            break;
        }
    }
    return result;
}

IdentReply UnitSession::Write(const ConfigRecord& record)
{
    IdentReply ident = Identify();
    for (std::size_t i = 1; i < kWriteRequests.size(); ++i)
        Exchange(kWriteRequests[i], record, MacOctets{});
    return ident;
}

IdentReply UnitSession::WriteMac(const MacOctets& mac)
{
    IdentReply ident = Identify();
    SendMac(mac);
    return ident;
}

void UnitSession::SendMac(const MacOctets& mac)
{
    Exchange(kMacRequests[1], ConfigRecord{}, mac);
}

} // namespace vantrel
