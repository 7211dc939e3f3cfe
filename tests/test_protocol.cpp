// Report layouts: identification reply, block decoders, MAC text.

#include "protocol/Reports.h"

#include <gtest/gtest.h>

#include <cstring>

using namespace vantrel;

namespace {
// A reply to 'r' with the given reply bytes set (reply byte = image byte + 2).
BlockImage ImageFromReplyBytes(std::initializer_list<std::pair<int, std::uint8_t>> bytes)
{
    Report reply{};
    for (auto [at, value] : bytes)
        reply[std::size_t(at)] = value;
    return TakeBlockImage(reply);
}
} // namespace

TEST(IdentReply, ApplicationCodeSerialAndVersion)
{
    struct Case {
        std::array<std::uint8_t, 3> code;
        std::array<std::uint8_t, 4> serial;
        const char* version;
        bool ours;
        std::int32_t expectedSerial;
    };
    for (const Case& c : {Case{{0, 1, 5}, {1, 0, 0, 0}, "1.05", true, 1},
                          Case{{0, 1, 5}, {0xFF, 0xFF, 0xFF, 0xFF}, "", true, -1},
                          Case{{0, 1, 5}, {0x78, 0x56, 0x34, 0x12}, "2.0b", true, 0x12345678},
                          Case{{0, 1, 6}, {1, 0, 0, 0}, "1.05", false, 1},
                          Case{{1, 1, 5}, {1, 0, 0, 0}, "1.05", false, 1}}) {
        Report reply{};
        std::copy(c.code.begin(), c.code.end(), reply.begin() + 2);
        std::copy(c.serial.begin(), c.serial.end(), reply.begin() + 6);
        std::memcpy(reply.data() + 10, c.version, std::strlen(c.version));
        const IdentReply ident = ParseIdentReply(reply);
        EXPECT_EQ(ident.IsOurApplication, c.ours);
        EXPECT_EQ(ident.SerialNumber, c.expectedSerial);
        EXPECT_EQ(ident.Version, c.version);
    }
}

TEST(IdentReply, VersionWithoutZeroEndsAtTheLastByte)
{
    Report reply{};
    std::fill(reply.begin() + 10, reply.end(), std::uint8_t{'v'});
    EXPECT_EQ(ParseIdentReply(reply).Version, std::string(55, 'v'));
}

TEST(BlockDecode, Block0Fields)
{
    const BlockImage image = ImageFromReplyBytes({{3, 0x0A}, {4, 0x00}, {5, 0x00}, {6, 0x05},
                                                  {7, 192}, {10, 254}, {11, 255}, {14, 0}, {15, 8}, {18, 9},
                                                  {19, 0x05},
                                                  {20, 0x01}, {21, 0x2C}, {34, 0xFF}, {35, 0xFF},
                                                  {36, 30}, {37, 0x0B}, {38, 0xC4}, {39, 10},
                                                  {40, 0x80}, {41, 0x01}, {42, 0x00}, {43, 0xFF}, {44, 0x01}, {45, 0x00}});
    ConfigRecord r{};
    SetDefaults(r);
    DecodeBlock0(image, r);
    EXPECT_EQ((std::array<int, 4>{r.IPAddr[0], r.IPAddr[1], r.IPAddr[2], r.IPAddr[3]}), (std::array<int, 4>{10, 0, 0, 5}));
    EXPECT_EQ(r.GateWayAddr[0], 192);
    EXPECT_EQ(r.GateWayAddr[3], 254);
    EXPECT_EQ(r.SubMaskAddr[0], 255);
    EXPECT_EQ(r.SubMaskAddr[3], 0);
    EXPECT_EQ(r.ClientAddr[0], 8);
    EXPECT_EQ(r.ClientAddr[3], 9);
    EXPECT_EQ(r.DHCPEnable, 1);
    EXPECT_EQ(r.UseBroadcast, 0);
    EXPECT_EQ(r.EnableClient, 1);
    EXPECT_EQ(r.Hysteresis[0], 300);
    EXPECT_EQ(r.Hysteresis[7], 65535); // stored as received, beyond the window's range
    EXPECT_EQ(r.Hysteresis[1], 0);
    EXPECT_EQ(r.ServerTimeout, 30);
    EXPECT_EQ(r.ClientPort, 3012);
    EXPECT_EQ(r.UpdatePeriod, 10);
    for (int ch = 0; ch < 16; ++ch) {
        EXPECT_EQ(r.InvertInputs[ch], (ch == 0 || ch == 15) ? 1 : 0) << ch;
        EXPECT_EQ(r.InvertOutputs[ch], ch < 8 ? 1 : 0) << ch;
        EXPECT_EQ(r.OutputStartStatus[ch], ch == 8 ? 1 : 0) << ch;
    }
    // Block 0 leaves the names alone.
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(r.DeviceName)), "QUORVEX");
}

TEST(BlockDecode, Block1NamesFullWidth)
{
    Report reply{};
    std::memset(reply.data() + 2, 'D', 32);
    std::memset(reply.data() + 34, 'E', 15);
    reply[49] = 'X';
    ConfigRecord r{};
    SetDefaults(r);
    std::memset(r.EthernetName, 0x77, 16);
    const std::uint8_t flagsBefore = r.DHCPEnable;
    DecodeBlock1(TakeBlockImage(reply), r);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(r.DeviceName), 32), std::string(32, 'D'));
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(r.EthernetName), 16), std::string(15, 'E') + '\0');
    EXPECT_EQ(r.DHCPEnable, flagsBefore);
    EXPECT_EQ(r.IPAddr[0], 192);
}

TEST(MacText, UpperCaseHexJoinedByFullStops)
{
    const std::uint8_t a[6] = {0x00, 0x04, 0xA3, 0x01, 0x02, 0x0F};
    const std::uint8_t b[6] = {0x00, 0x04, 0xA3, 0xFF, 0x10, 0x0A};
    EXPECT_EQ(MacAddressText(a), "00.04.A3.01.02.0F");
    EXPECT_EQ(MacAddressText(b), "00.04.A3.FF.10.0A");
}
