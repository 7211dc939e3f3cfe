// The simulated unit's full-speed USB timing, against which the benchmarks
// time the exchanges: nothing may arrive earlier than the link allows.
// Only lower bounds are checked; how fast the tool is, the benchmarks say.

#include "support/UnitHarness.h"

#include <chrono>

using namespace vantrel;
using Clock = std::chrono::steady_clock;

TEST(UsbTiming, RequestsAreTakenAtFramesAndAnsweredOneFrameLater)
{
    SKIP_ON_WINDOWS("a sleep there may end before the steady clock reaches its time");
    auto unit = std::make_shared<SimulatedUnit>(SimulatedIdentity{});
    unit->SetUsbTiming(true);
    const auto write = unit->Open(HidOpenMode::Write);
    const auto read = unit->Open(HidOpenMode::Read);
    const Report requests[2] = {Request({0, cmd::Identify}), Request({0, cmd::ReadBlock, 1})};

    // Two requests written back to back go in consecutive frames, the
    // first in the next one.
    const Clock::time_point start = Clock::now();
    const Clock::time_point firstFrame = SimulatedUnit::UsbFrameAfter(start);
    for (int i = 0; i < 2; ++i) {
        ASSERT_TRUE(write->WriteReport(requests[i].data(), requests[i].size()));
        EXPECT_GE(Clock::now(), firstFrame + SimulatedUnit::kUsbFrame * i) << "request " << i;
    }
    for (int i = 0; i < 2; ++i) {
        Report reply{};
        ASSERT_EQ(read->ReadReport(reply.data(), reply.size(), 1000), int(kReportSize));
        EXPECT_GE(Clock::now(), firstFrame + SimulatedUnit::kUsbFrame * (i + 1)) << "reply " << i;
        EXPECT_EQ(reply[1], requests[i][1]) << "reply " << i; // each answer echoes its command
    }
    EXPECT_EQ(unit->Received(), std::vector<Report>(std::begin(requests), std::end(requests)));
}

TEST(UsbTiming, FramesBeginAtWholeMilliseconds)
{
    using std::chrono::milliseconds;
    using std::chrono::microseconds;
    const Clock::time_point whole{milliseconds(5000)};
    EXPECT_EQ(SimulatedUnit::UsbFrameAfter(whole), whole + milliseconds(1)); // strictly after
    EXPECT_EQ(SimulatedUnit::UsbFrameAfter(whole + microseconds(1)), whole + milliseconds(1));
    EXPECT_EQ(SimulatedUnit::UsbFrameAfter(whole + microseconds(999)), whole + milliseconds(1));
}
