// The MAC allocation file's lines: split and joined as the file keeps them
// (single bytes or UTF-16), and the two hex digits of an octet.

#include "mac/MacAllocation.h"
#include "mac/MacLineCodec.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace vantrel;

TEST(MacFileLines, SplitJoinAndOctets)
{
    using Lines = std::vector<std::string>;
    EXPECT_EQ(SplitMacFile("a\r\nb\nc\rd").Lines, (Lines{"a", "b", "c", "d"}));
    EXPECT_EQ(SplitMacFile("a\r\n\r\n").Lines, (Lines{"a", ""}));
    EXPECT_TRUE(SplitMacFile("").Lines.empty());
    EXPECT_EQ(JoinMacFile({MacFileEncoding::SingleByte, "", {"0F", "1E"}}), "0F\r\n1E\r\n");
    // UTF-16: only whole code units end a line; the mark stays apart.
    const std::string utf16("\xFF\xFE" "A\0\r\n\r\0\n\0", 10);
    const MacFileBytes split = SplitMacFile(utf16);
    EXPECT_EQ(split.Encoding, MacFileEncoding::Utf16LE);
    EXPECT_EQ(split.Mark, "\xFF\xFE");
    EXPECT_EQ(split.Lines, (Lines{std::string("A\0\r\n", 4)}));
    EXPECT_EQ(JoinMacFile(split), utf16);
    EXPECT_EQ(HexPairToOctet("0f"), 0x0F);
    EXPECT_EQ(HexPairToOctet("0F"), 0x0F);
    EXPECT_EQ(HexPairToOctet("a3"), 0xA3);
    EXPECT_EQ(HexPairToOctet("3C and more"), 0x3C);
    EXPECT_EQ(HexPairToOctet("G1"), std::nullopt);
    EXPECT_EQ(HexPairToOctet(" 3C"), std::nullopt);
    EXPECT_EQ(HexPairToOctet("3"), std::nullopt);
}
