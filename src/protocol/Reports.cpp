#include "protocol/Reports.h"

#include <QByteArray>

#include <algorithm>
#include <cstring>

namespace vantrel {

namespace {

// Block 0 image offsets. The unit sends the timeout at 34 and the period at
// 37, but takes them the other way round; each direction keeps its own.
constexpr std::size_t kIp = 1, kGateway = 5, kMask = 9, kClient = 13, kFlags = 17, kHysteresis = 18;
constexpr std::size_t kReadTimeout = 34, kReadPeriod = 37;
constexpr std::size_t kWritePeriod = 34, kWriteTimeout = 37;
constexpr std::size_t kPortHigh = 35, kPortLow = 36;
constexpr std::size_t kInvertInputs = 38, kInvertOutputs = 40, kOutputStart = 42;
// Block 1 image offsets.
constexpr std::size_t kDeviceName = 0, kEthernetName = 32;

constexpr std::size_t kImageInRequest = 3; // image byte k is 'd' report byte k + 3
constexpr std::size_t kImageInReply = 2;   // image byte k is 'r' reply byte k + 2

void UnpackMask(std::uint8_t high, std::uint8_t low, std::uint8_t (&channels)[16])
{
    for (int j = 0; j < 8; ++j) {
        channels[j] = (low >> j) & 1;
        channels[8 + j] = (high >> j) & 1;
    }
}

void PackMask(const std::uint8_t (&channels)[16], std::uint8_t* highThenLow)
{
    std::uint8_t high = 0, low = 0;
    for (int j = 0; j < 8; ++j) {
        if (channels[j] != 0)
            low |= std::uint8_t(1u << j);
        if (channels[8 + j] != 0)
            high |= std::uint8_t(1u << j);
    }
    highThenLow[0] = high;
    highThenLow[1] = low;
}

} // namespace

IdentReply ParseIdentReply(const Report& reply)
{
    IdentReply ident;
    ident.IsOurApplication = std::equal(std::begin(kApplicationCode), std::end(kApplicationCode), reply.begin() + 2);
    const std::uint32_t serial = std::uint32_t(reply[6]) | std::uint32_t(reply[7]) << 8
                                 | std::uint32_t(reply[8]) << 16 | std::uint32_t(reply[9]) << 24;
    ident.SerialNumber = static_cast<std::int32_t>(serial);
    const auto begin = reply.begin() + 10;
    ident.Version.assign(begin, std::find(begin, reply.end(), std::uint8_t{0}));
    return ident;
}

BlockImage TakeBlockImage(const Report& reply)
{
    BlockImage image;
    std::copy_n(reply.begin() + kImageInReply, image.size(), image.begin());
    return image;
}

void DecodeBlock0(const BlockImage& im, ConfigRecord& r)
{
    std::memcpy(r.IPAddr, &im[kIp], 4);
    std::memcpy(r.GateWayAddr, &im[kGateway], 4);
    std::memcpy(r.SubMaskAddr, &im[kMask], 4);
    std::memcpy(r.ClientAddr, &im[kClient], 4);
    r.DHCPEnable = im[kFlags] & 1;
    r.UseBroadcast = (im[kFlags] >> 1) & 1;
    r.EnableClient = (im[kFlags] >> 2) & 1;
    for (std::size_t n = 0; n < 8; ++n)
        r.Hysteresis[n] = im[kHysteresis + 2 * n] * 256 + im[kHysteresis + 2 * n + 1];
    r.ServerTimeout = im[kReadTimeout];
    r.ClientPort = im[kPortHigh] * 256 + im[kPortLow];
    r.UpdatePeriod = im[kReadPeriod];
    UnpackMask(im[kInvertInputs], im[kInvertInputs + 1], r.InvertInputs);
    UnpackMask(im[kInvertOutputs], im[kInvertOutputs + 1], r.InvertOutputs);
    UnpackMask(im[kOutputStart], im[kOutputStart + 1], r.OutputStartStatus);
}

void DecodeBlock1(const BlockImage& im, ConfigRecord& r)
{
    std::memcpy(r.DeviceName, &im[kDeviceName], 32);
    std::memcpy(r.EthernetName, &im[kEthernetName], 15);
    r.EthernetName[15] = 0;
}

void SetRequest(Report& out, std::uint8_t letter)
{
    out[0] = 0;
    out[1] = letter;
}

void SetRequest(Report& out, std::uint8_t letter, std::uint8_t second)
{
    SetRequest(out, letter);
    out[2] = second;
}

void EncodeBlock0Data(Report& out, std::uint8_t blockNumber, const ConfigRecord& r)
{
    SetRequest(out, cmd::BlockData, blockNumber);
    std::uint8_t* im = out.data() + kImageInRequest;
    im[0] = 0x55;
    std::memcpy(&im[kIp], r.IPAddr, 4);
    std::memcpy(&im[kGateway], r.GateWayAddr, 4);
    std::memcpy(&im[kMask], r.SubMaskAddr, 4);
    std::memcpy(&im[kClient], r.ClientAddr, 4);
    im[kFlags] = std::uint8_t((r.DHCPEnable != 0 ? 1 : 0) | (r.UseBroadcast != 0 ? 2 : 0) | (r.EnableClient != 0 ? 4 : 0));
    for (std::size_t n = 0; n < 8; ++n) {
        // Wider numbers travel as their low 16 bits.
        im[kHysteresis + 2 * n] = std::uint8_t(std::uint32_t(r.Hysteresis[n]) >> 8);
        im[kHysteresis + 2 * n + 1] = std::uint8_t(r.Hysteresis[n]);
    }
    im[kWritePeriod] = r.UpdatePeriod;
    im[kPortHigh] = std::uint8_t(std::uint32_t(r.ClientPort) >> 8);
    im[kPortLow] = std::uint8_t(r.ClientPort);
    im[kWriteTimeout] = r.ServerTimeout;
    PackMask(r.InvertInputs, &im[kInvertInputs]);
    PackMask(r.InvertOutputs, &im[kInvertOutputs]);
    PackMask(r.OutputStartStatus, &im[kOutputStart]);
}

void EncodeBlock1Data(Report& out, std::uint8_t blockNumber, const ConfigRecord& r)
{
    SetRequest(out, cmd::BlockData, blockNumber);
    std::uint8_t* im = out.data() + kImageInRequest;
    // At most 31 characters of the device name reach the unit, always with
    // a zero after them; the Ethernet name's terminator is not sent.
    std::memcpy(&im[kDeviceName], r.DeviceName, 31);
    im[31] = 0;
    std::memcpy(&im[kEthernetName], r.EthernetName, 15);
    std::fill(out.begin() + 51, out.end(), std::uint8_t{0xFF});
}

void EncodeBlock0Done(Report& out, std::uint8_t blockNumber)
{
    SetRequest(out, cmd::BlockDone, blockNumber);
    std::fill(out.begin() + 3, out.end(), std::uint8_t{0xFF});
}

void EncodeBlock1Done(Report& out, std::uint8_t blockNumber)
{
    SetRequest(out, cmd::BlockDone, blockNumber);
}

BlockImage ReadPlacement(int block, const std::uint8_t* written)
{
    BlockImage image;
    std::copy_n(written, image.size(), image.begin());
    if (block == 0)
        std::swap(image[kReadTimeout], image[kReadPeriod]);
    return image;
}

ConfigRecord DecodeWrittenBlocks(const std::uint8_t* block0, const std::uint8_t* block1, ConfigRecord base)
{
    DecodeBlock0(ReadPlacement(0, block0), base);
    DecodeBlock1(ReadPlacement(1, block1), base);
    return base;
}

ConfigRecord ReadBackOf(const ConfigRecord& written, const ConfigRecord& base)
{
    // The decoders never look at the bytes an encoder leaves alone, so the
    // two reports may start from zero.
    Report block0{}, block1{};
    EncodeBlock0Data(block0, 0, written);
    EncodeBlock1Data(block1, 1, written);
    return DecodeWrittenBlocks(block0.data() + kImageInRequest, block1.data() + kImageInRequest, base);
}

std::string MacAddressText(const std::uint8_t* octets)
{
    return QByteArray(reinterpret_cast<const char*>(octets), 6).toHex('.').toUpper().toStdString();
}

} // namespace vantrel
