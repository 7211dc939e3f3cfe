#pragma once
// The three exchanges with the unit, as the requests each sends in order.
// The window drives them one input report at a time (its state machine);
// vantrel-cli drives them synchronously, waiting for each reply. Both build
// every request with BuildRequest from these tables, in the one output
// buffer that is never cleared between requests, so the two can never send
// different bytes.

#include "config/ConfigRecord.h"
#include "config/MacAddress.h"
#include "protocol/Reports.h"

#include <array>
#include <cstdint>
#include <span>

namespace vantrel {

enum class RequestKind {
    Identify,      // 'S'
    Erase,         // 'E'
    BlockData,     // 'd' with the block image (write placement)
    BlockDone,     // 'D': block 0 with 0xFF filling, block 1 repeating what 'd' left
    Finish,        // 'Z'
    ReadBlock,     // 'r'
    ReadBlockDone, // 'R'
    MacRead,       // 'M' 'R'
    MacWrite,      // 'M' 'W' with the six octets
};

struct RequestStep {
    RequestKind Kind;
    std::uint8_t Block = 0; // which block a block request is about
};

// "Read From QUORVEX": identification, block 0, block 1, the MAC address.
inline constexpr std::array<RequestStep, 6> kReadRequests{{{RequestKind::Identify},
                                                           {RequestKind::ReadBlock, 0},
                                                           {RequestKind::ReadBlockDone, 0},
                                                           {RequestKind::ReadBlock, 1},
                                                           {RequestKind::ReadBlockDone, 1},
                                                           {RequestKind::MacRead}}};

// "Write To QUORVEX": identification, erase, both blocks, finish.
inline constexpr std::array<RequestStep, 7> kWriteRequests{{{RequestKind::Identify},
                                                            {RequestKind::Erase},
                                                            {RequestKind::BlockData, 0},
                                                            {RequestKind::BlockDone, 0},
                                                            {RequestKind::BlockData, 1},
                                                            {RequestKind::BlockDone, 1},
                                                            {RequestKind::Finish}}};

// "Send New MAC": identification and the new address.
inline constexpr std::array<RequestStep, 2> kMacRequests{{{RequestKind::Identify}, {RequestKind::MacWrite}}};

// Writes the request of `step` into `out`: exactly the bytes that request
// defines, every other byte left as earlier requests left it. The step's
// block chooses the block's layout; `blockNumber` is what byte 2 of a block
// request carries (the step's block, in an exchange that runs its course).
// The record is read by 'd' only, the octets by 'M' 'W' only.
void BuildRequest(const RequestStep& step, std::uint8_t blockNumber, Report& out, const ConfigRecord& record,
                  const MacOctets& mac);

} // namespace vantrel
