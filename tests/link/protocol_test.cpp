#include "link/protocol.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace cardpush::protocol {
namespace {

TEST(ProtocolFrames, EachCommandIsItsOneByte)
{
    EXPECT_EQ("S", CommandFrame(Command::Presence));
    EXPECT_EQ("N", CommandFrame(Command::SerialNumber));
    EXPECT_EQ("M", CommandFrame(Command::Minimum));
    EXPECT_EQ("B", CommandFrame(Command::Maximum));
    EXPECT_EQ("D", CommandFrame(Command::Accuracy));
    EXPECT_EQ("V", CommandFrame(Command::FirmwareVersion));
    EXPECT_EQ("R", CommandFrame(Command::Mode));
    EXPECT_EQ(">", CommandFrame(Command::Listing));
}

TEST(ProtocolFrames, FieldStartLettersAreExactlyTheEightCapitals)
{
    std::string found;
    for (int b = 0; b < 256; ++b) {
        if (IsFieldStart(static_cast<char>(b))) {
            found.push_back(static_cast<char>(b));
        }
    }
    EXPECT_EQ("BDMNRSTV", found);
}

TEST(ProtocolFrames, DeleteFrameTrimsPaddingAndControlBytesAtBothEnds)
{
    EXPECT_EQ(std::string("\x2F\x4A\x4F\x42\x31\x5C"), DeleteFrame("JOB1    "));
    EXPECT_EQ("/AB\\", DeleteFrame("AB      "));
    EXPECT_EQ("/\\", DeleteFrame("        "));
    EXPECT_EQ("/ABC\\", DeleteFrame(std::string("\0\t ABC\r\n\x1F ", 10)));
    // Inner blanks and bytes above 0x20 (0x7F, 0xA0) are part of the name.
    EXPECT_EQ("/A B\x7F\\", DeleteFrame(" A B\x7F "));
    EXPECT_EQ("/\xA0X\xA0\\", DeleteFrame("\xA0X\xA0"));
}

// A listed name goes back in a delete frame only if it can't break the
// frame: a delimiter would end it early or start another. Control bytes at
// either end are trimmed away anyway; inside they are refused.
TEST(ProtocolFrames, CardNameWithADelimiterOrAControlByteIsNotSafe)
{
    for (const std::string& name :
         std::vector<std::string>{"JOB1    ", "        ", "A B     ", std::string("\0ABC   \0", 9),
                                  "\xC0\xA0X", "_-.,!"}) {
        EXPECT_TRUE(IsSafeCardName(name)) << name;
    }
    for (const std::string& name :
         std::vector<std::string>{"\\/JOB2  ", "A/B     ", "A<B     ", "JOB>    ",
                                  "A\x1B"
                                  "B     ",
                                  "AB\x7F     ", std::string("A\0B     ", 8)}) {
        EXPECT_FALSE(IsSafeCardName(name)) << name;
    }
}

TEST(ProtocolFrames, HeaderFrameCarriesTrimmedNameAndPlainDecimalSize)
{
    EXPECT_EQ(std::string("\x3C\x41\x42\x43\x5C\x31\x32\x33\x34\x5C"), HeaderFrame("ABC", 1234));
    EXPECT_EQ("<\\0\\", HeaderFrame("", 0));
    EXPECT_EQ("<JOB\\12\\", HeaderFrame(" JOB\t", 12));
    EXPECT_EQ("<X\\18446744073709551615\\", HeaderFrame("X", UINT64_MAX));
}

TEST(ProtocolFrames, LineFrameIsTheLineThenCrLf)
{
    EXPECT_EQ("10 a\r\n", LineFrame("10 a"));
    EXPECT_EQ("\r\n", LineFrame(""));
    EXPECT_EQ(std::string("\0x\r\n", 4), LineFrame(std::string("\0x", 2)));
}

}  // namespace
}  // namespace cardpush::protocol
