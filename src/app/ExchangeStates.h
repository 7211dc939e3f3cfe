#pragma once
// The window's exchange state machine (TMainForm::ExchangeState): which
// reply the window waits for. A button sends an exchange's first request and
// enters its first state; every input report then takes one step, which
// sends the exchange's next request and enters the state named after it.
// The values are those the window has always used: 0 idle, 7 to 13 the
// write, 14 then 13 the MAC address, 15 to 20 the read; 1 to 6 are never
// set. Any other value is no exchange either, and a report in it is ignored.

#include "protocol/Exchanges.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <span>

// Each state named after the request it waits for the reply to.
enum class Awaiting : std::int32_t {
    Nothing = 0,

    // "Write To QUORVEX"
    WriteIdentify = 7,    // 'S'
    WriteErase = 8,       // 'E'
    WriteBlock0Data = 9,  // 'd' block 0
    WriteBlock0Done = 10, // 'D' block 0
    WriteBlock1Data = 11, // 'd' block 1
    WriteBlock1Done = 12, // 'D' block 1
    DownloadEnd = 13,     // 'Z', or 'M' 'W' of "Send New MAC": "Download Complete"

    // "Send New MAC": MacIdentify, then DownloadEnd
    MacIdentify = 14, // 'S'

    // "Read From QUORVEX"
    ReadIdentify = 15,   // 'S'
    ReadBlock0 = 16,     // 'r' block 0
    ReadBlock0Done = 17, // 'R' block 0
    ReadBlock1 = 18,     // 'r' block 1
    ReadBlock1Done = 19, // 'R' block 1
    ReadMac = 20,        // 'M' 'R'
};

// One exchange as the window runs it: its requests (protocol/Exchanges.h)
// and, beside each, the state the window waits in once it has gone out.
struct WindowExchange {
    std::span<const vantrel::RequestStep> Requests;
    std::span<const Awaiting> States;

    // The request whose reply `state` waits for; the first one (always 'S')
    // for a state the exchange does not pass through, which no caller asks
    // for.
    constexpr const vantrel::RequestStep& RequestBefore(Awaiting state) const
    {
        const auto at = std::find(States.begin(), States.end(), state);
        return Requests[at == States.end() ? 0 : std::size_t(at - States.begin())];
    }
};

inline constexpr std::array<Awaiting, vantrel::kReadRequests.size()> kReadStates{
    Awaiting::ReadIdentify, Awaiting::ReadBlock0, Awaiting::ReadBlock0Done,
    Awaiting::ReadBlock1,   Awaiting::ReadBlock1Done, Awaiting::ReadMac};
inline constexpr std::array<Awaiting, vantrel::kWriteRequests.size()> kWriteStates{
    Awaiting::WriteIdentify,   Awaiting::WriteErase,      Awaiting::WriteBlock0Data, Awaiting::WriteBlock0Done,
    Awaiting::WriteBlock1Data, Awaiting::WriteBlock1Done, Awaiting::DownloadEnd};
inline constexpr std::array<Awaiting, vantrel::kMacRequests.size()> kMacStates{Awaiting::MacIdentify,
                                                                                Awaiting::DownloadEnd};

inline constexpr WindowExchange kReadExchange{vantrel::kReadRequests, kReadStates};
inline constexpr WindowExchange kWriteExchange{vantrel::kWriteRequests, kWriteStates};
inline constexpr WindowExchange kMacExchange{vantrel::kMacRequests, kMacStates};

// A row with a state left out (a shorter list above) would leave Nothing in
// its place and send a request into no state.
static_assert(std::ranges::find(kReadStates, Awaiting::Nothing) == kReadStates.end());
static_assert(std::ranges::find(kWriteStates, Awaiting::Nothing) == kWriteStates.end());
static_assert(std::ranges::find(kMacStates, Awaiting::Nothing) == kMacStates.end());
