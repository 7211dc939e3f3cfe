#pragma once
// The exchanges driven synchronously, for programs without a window
// (vantrel-cli): each request is sent and its reply waited for, with a
// time-out, so a silent unit ends in a clear error instead of a wait. The
// unit is found and opened as the window finds it, and every request is
// built by BuildRequest in one output buffer that is never cleared, so the
// unit receives exactly the bytes the window would send it.

#include "config/ConfigRecord.h"
#include "device/HidBackend.h"
#include "protocol/Exchanges.h"
#include "protocol/Reports.h"

#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace vantrel {

enum class SessionFailure {
    NoUnit,           // "Cannot find QUORVEX"
    ProgramMode,      // "QUORVEX is in Program Mode"
    NoAccess,         // a unit is there but cannot be opened
    NoAnswer,         // no reply within the time-out (the link is dropped)
    UnitLost,         // the unit went away (a read or write failed)
    WrongApplication, // "Application is not a QUORVEX Vantrel"
    Interrupted,      // the operator stopped the program
};

class SessionError : public std::runtime_error {
public:
    SessionError(SessionFailure kind, const std::string& message) : std::runtime_error(message), kind_(kind) {}
    SessionFailure Kind() const { return kind_; }

private:
    SessionFailure kind_;
};

class UnitSession {
public:
    // `interrupt`, when given, is polled while waiting; once true the wait
    // ends with SessionFailure::Interrupted.
    UnitSession(HidBackend& hid, std::chrono::milliseconds replyTimeout,
                const std::atomic<bool>* interrupt = nullptr);
    ~UnitSession();
    UnitSession(const UnitSession&) = delete;
    UnitSession& operator=(const UnitSession&) = delete;

    // Finds and opens the unit: the three hardware-ID patterns in order,
    // the first matching interface of each, both handles or none. Throws
    // ProgramMode when the unit found is in program mode, NoAccess (its
    // message "Cannot open <path>: <reason>") when a matching unit could
    // not be opened and none other was found, NoUnit when there is none
    // (also when the one found left before it could be opened).
    void Connect();
    // Opens this unit (one that PresentUnits listed) and no other. Throws
    // ProgramMode when it is in program mode, NoUnit when it is no longer
    // present, NoAccess ("Cannot open <path>: <reason>") when it is there
    // but cannot be opened.
    void ConnectTo(const HidInterfaceInfo& unit);
    bool Connected() const { return write_ && read_; }
    const HidInterfaceInfo& Unit() const { return unit_; }
    void Disconnect();

    struct ReadResult {
        IdentReply Ident;
        ConfigRecord Record{}; // `base` with the fields a read carries replaced
        MacOctets Mac{};
    };
    // "Read From QUORVEX". Fields a read does not carry keep `base`'s values.
    ReadResult Read(const ConfigRecord& base);
    // "Write To QUORVEX" of `record`; the identification it began with.
    IdentReply Write(const ConfigRecord& record);
    // "Send New MAC" of `mac`; the identification it began with.
    IdentReply WriteMac(const MacOctets& mac);
    // The identification request alone, with which every exchange begins:
    // who the unit is. Throws WrongApplication for another application.
    IdentReply Identify();
    // The MAC address request alone: WriteMac is Identify() then SendMac(),
    // so a caller may do something between the two (take its turn for the
    // address).
    void SendMac(const MacOctets& mac);

    // The one output buffer, as the window keeps it: zero before the first
    // request, never cleared between requests.
    const Report& OutReport() const { return out_; }
    // The last input report; bytes a short report did not bring keep their
    // earlier values, as in the window.
    const Report& InReport() const { return in_; }

    // Called before each request goes out (tests, progress). What it
    // throws ends the exchange, and that request is not sent.
    std::function<void(const RequestStep&)> BeforeRequest;

    // The requests handed to the unit's write since it was opened, in
    // order. A request counts from the moment the write is called: a write
    // that fails may still have put the report on the wire, so whatever
    // depends on a request never having left the tool (an address going
    // back) asks Sent().
    const std::vector<RequestKind>& SentRequests() const { return sent_; }
    bool Sent(RequestKind kind) const;

    // The last identification reply of our application: who the unit is,
    // known from the first reply of any exchange on, also when a later
    // request fails.
    const std::optional<IdentReply>& LastIdent() const { return lastIdent_; }

private:
    // Builds and sends one request and waits for its one reply.
    void Exchange(const RequestStep& step, const ConfigRecord& record, const MacOctets& mac);
    void CheckInterrupt() const;

    HidBackend& hid_;
    std::chrono::milliseconds timeout_;
    const std::atomic<bool>* interrupt_;
    HidInterfaceInfo unit_;
    std::unique_ptr<HidHandle> write_;
    std::unique_ptr<HidHandle> read_;
    Report out_{};
    Report in_{};
    std::optional<IdentReply> lastIdent_;
    std::vector<RequestKind> sent_;
};

} // namespace vantrel
