// The name tables of the standard's enumerations, and the formatting of values and handles.
#include "CUtil.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <tuple>

namespace {

using Table = std::map<uint32_t, const char*>;

// Each table, listed as "0xVALUE NAME" lines in iteration order, has the FNV-1a digest of the
// standard's list, computed from that list: any wrong value, letter or entry shows.
TEST(NameTables, EveryEntryAsTheStandardLists)
{
    const std::tuple<const char*, const Table&, uint64_t> cases[] = {
        {"ComParamClassNames", ComParamClassNames, 0x97f6edb9814f3295},
        {"ComPrimitiveTypeNames", ComPrimitiveTypeNames, 0xde44a8b75ae04e4f},
        {"ErrorEventNames", ErrorEventNames, 0x66edd6f62c751131},
        {"ErrorNames", ErrorNames, 0xfa67863db44b86cb},
        {"EventNames", EventNames, 0xd591b0f8c96adfd1},
        {"FilterTypeNames", FilterTypeNames, 0x3b90f54cbe2704a1},
        {"InfoNames", InfoNames, 0xd7c49fb59b73807d},
        {"ItemTypeNames", ItemTypeNames, 0xd4b4ce226b27a87f},
        {"ObjectTypeNames", ObjectTypeNames, 0xbda60407415d19e5},
        {"StatusNames", StatusNames, 0x551efcf19b060561},
        {"ParamTypeNames", ParamTypeNames, 0x20a08edb9b67d8d5},
    };
    for (const auto& [name, table, digest] : cases) {
        std::string listing;
        char value[16];
        for (const auto& entry : table) {
            std::snprintf(value, sizeof value, "0x%04X ", static_cast<unsigned>(entry.first));
            listing += value + std::string(entry.second != nullptr ? entry.second : "(null)") + '\n';
        }
        uint64_t hash = 14695981039346656037u;
        for (const unsigned char c : listing)
            hash = (hash ^ c) * 1099511628211u;
        EXPECT_EQ(hash, digest) << name << " differs from the standard's list; it holds:\n" << listing;
    }
}

TEST(Formatting, EnumToStringNamesOrCountsInUnsignedDecimal)
{
    EXPECT_EQ(EnumToString(ErrorEventNames, 0x0102), "PDU_ERR_EVT_TESTER_PRESENT_ERROR");
    EXPECT_EQ(EnumToString(ErrorEventNames, 300), "300");
    EXPECT_EQ(EnumToString(ErrorEventNames, 0), "PDU_ERR_EVT_NOERROR");
    EXPECT_EQ(EnumToString(ErrorNames, 0), "PDU_STATUS_NOERROR");
    EXPECT_EQ(EnumToString(ItemTypeNames, 0), "0");
    EXPECT_EQ(EnumToString(ItemTypeNames, 0xFFFFFFFF), "4294967295");
    EXPECT_EQ(EnumToString(ItemTypeNames, static_cast<uint32_t>(-2)), "4294967294");
    const Table empty;
    EXPECT_EQ(EnumToString(empty, 0x1000), "4096");
}

TEST(Formatting, HandleToStringIsFixedWidthLowercaseHex)
{
    const std::pair<uint32_t, const char*> cases[] = {
        {0xFFFFFFFF, "PDU_HANDLE_UNDEF"},
        {0xFFFFFFFE, "0xfffffffe"},
        {0, "0000000000"},
        {1, "0x00000001"},
        {0x1A, "0x0000001a"},
        {0xABCD, "0x0000abcd"},
        {0x80000000, "0x80000000"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(HandleToString(c.first), c.second) << c.first;
}

}  // namespace
