// The hex dump: rows of sixteen bytes as offset, hexadecimal and characters, to the byte.
#include "CHex.h"
#include "Fixtures.h"

#include <algorithm>
#include <iomanip>
#include <sstream>

namespace {

using Hex = LogTest;

std::string Dump(const CHex& hex)
{
    std::ostringstream out;
    out << hex;
    return out.str();
}

TEST(HexDump, TwoRowExampleByteForByte)
{
    const std::string text("Hello, world!\r\n\0\x7F\x80\xFF", 19);
    const CHex hex(reinterpret_cast<const uint8_t*>(text.data()), static_cast<uint32_t>(text.size()));
    EXPECT_EQ(Dump(hex), "\n| 0000 | 48 65 6C 6C 6F 2C 20 77 6F 72 6C 64 21 0D 0A 00  | Hello, world!... |"
                         "\n| 0010 | 7F 80 FF                                         | ...              |");
    EXPECT_EQ(Dump(hex), Dump(hex)) << "writing leaves the dump as it was";
    std::ostringstream member;
    hex.Output(member);
    EXPECT_EQ(member.str(), Dump(hex));
}

TEST(HexDump, RowsOfSixteenAndAPaddedRest)
{
    std::vector<uint8_t> data(17);
    for (std::size_t i = 0; i < data.size(); ++i)
        data[i] = static_cast<uint8_t>(0x20 + i);
    EXPECT_EQ(Dump(CHex(data.data(), 16)),
              "\n| 0000 | 20 21 22 23 24 25 26 27 28 29 2A 2B 2C 2D 2E 2F  |  !\"#$%&'()*+,-./ |");
    const std::string two = Dump(CHex(data.data(), 17));
    ASSERT_EQ(two.size(), 2u * 79);
    EXPECT_EQ(two.substr(79), "\n| 0010 | 30" + std::string(46, ' ') + " | 0" + std::string(15, ' ') + " |");
}

TEST(HexDump, PrintableBoundaries)
{
    const uint8_t data[] = {0x1F, 0x20, 0x7E, 0x7F, 0x80, 0xFF, 0x0A, 0x41};
    const std::string row = Dump(CHex(data, sizeof data));
    EXPECT_EQ(row.substr(10, 24), "1F 20 7E 7F 80 FF 0A 41 ");
    EXPECT_EQ(row.substr(61, 16), ". ~....A        ");
}

TEST(HexDump, NothingAtAllForNoBytes)
{
    const uint8_t byte = 1;
    EXPECT_EQ(Dump(CHex(&byte, 0)), "");
    EXPECT_EQ(Dump(CHex(std::vector<CHex::Chunk> {})), "");
    EXPECT_EQ(Dump(CHex(std::vector<CHex::Chunk> {{0, nullptr}, {0, &byte}})), "");
}

TEST(HexDump, EachChunkIsNumberedFromZero)
{
    std::vector<uint8_t> a(20, 0xAA), b(20, 0xBB);
    const std::string text = Dump(CHex(std::vector<CHex::Chunk> {{20, a.data()}, {20, b.data()}}));
    ASSERT_EQ(text.size(), 4u * 79);
    const char* offsets[] = {"0000", "0010", "0000", "0010"};
    for (int row = 0; row < 4; ++row)
        EXPECT_EQ(text.substr(row * 79 + 3, 4), offsets[row]) << row;
    EXPECT_EQ(text.substr(79 + 10, 15), "AA AA AA AA    ");
    EXPECT_EQ(text.substr(3 * 79 + 10, 15), "BB BB BB BB    ");
}

TEST(HexDump, OffsetsBeyond64KiBWidenTheRow)
{
    std::vector<uint8_t> data(0x10000 + 17, 0x41);
    const std::string text = Dump(CHex(data.data(), static_cast<uint32_t>(data.size())));
    const std::size_t fourDigitRows = 0x10000 / 16;
    ASSERT_EQ(text.size(), fourDigitRows * 79 + 2 * 80);
    EXPECT_EQ(text.substr((fourDigitRows - 1) * 79, 10), "\n| FFF0 | ");
    const std::string wide = text.substr(fourDigitRows * 79, 80);
    EXPECT_EQ(wide.substr(0, 11), "\n| 10000 | ");
    EXPECT_EQ(wide.substr(58 + 1, 3), " | ");
    EXPECT_EQ(wide.substr(78), " |");
    EXPECT_EQ(text.substr(text.size() - 80, 11), "\n| 10010 | ");
}

TEST(HexDump, FieldWidthAppliesToTheWholeText)
{
    const uint8_t byte = 0x41;
    std::ostringstream out;
    out << std::setw(100) << std::setfill('*') << CHex(&byte, 1);
    EXPECT_EQ(out.str(), std::string(21, '*') + Dump(CHex(&byte, 1)));
}

TEST_F(Hex, NullPointerIsReportedAtWarnAndDumpsNothing)
{
    const auto sink = CaptureSink();
    EXPECT_EQ(Dump(CHex(nullptr, 5)), "");  // no store: no record
    UseLevels(LL_ERROR);
    EXPECT_EQ(Dump(CHex(nullptr, 5)), "");
    EXPECT_EQ(test::ReadFile(sink), "");

    UseLevels(LL_WARN);
    EXPECT_EQ(Dump(CHex(nullptr, 5)), "");
    EXPECT_EQ(Dump(CHex(nullptr, 0)), "");
    EXPECT_EQ(Dump(CHex(std::vector<CHex::Chunk> {{0, nullptr}, {3, nullptr}})), "");  // an empty chunk is no fault
    const std::string text = test::ReadFile(sink);
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 3) << text;
    const std::string tail = ":class CHex:602:CHex::CHex:Pointer NULL, Len: ";
    EXPECT_NE(text.find(" WARN   "), std::string::npos);
    EXPECT_NE(text.find(tail + "5\n"), std::string::npos) << text;
    EXPECT_NE(text.find(tail + "0\n"), std::string::npos) << text;
    EXPECT_NE(text.find(tail + "3\n"), std::string::npos) << text;
}

}  // namespace
