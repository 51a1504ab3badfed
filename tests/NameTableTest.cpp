#include "CUtil.h"

#include <gtest/gtest.h>

namespace {

using Table = std::map<uint32_t, const char*>;

struct TableCase {
    const char* name;
    const Table& table;
    std::size_t size;
    uint32_t first;
    const char* firstName;
    uint32_t last;
    const char* lastName;
};

TEST(NameTables, SizesAndEnds)
{
    const TableCase cases[] = {
        {"ComParamClassNames", ComParamClassNames, 7, 0x0001, "PDU_PC_TIMING", 0x0007, "PDU_PC_TESTER_PRESENT"},
        {"ComPrimitiveTypeNames", ComPrimitiveTypeNames, 6, 0x8001, "PDU_COPT_STARTCOMM", 0x8006, "PDU_COPT_RESTORE_PARAM"},
        {"ErrorEventNames", ErrorEventNames, 11, 0x0000, "PDU_ERR_EVT_NOERROR", 0x0109, "PDU_ERR_EVT_RSC_LOCKED"},
        {"ErrorNames", ErrorNames, 52, 0x0000, "PDU_STATUS_NOERROR", 0x00C3, "PDU_ERR_TLS_CIPHER_NOT_SUPPORTED"},
        {"EventNames", EventNames, 2, 0x0801, "PDU_EVT_DATA_AVAILABLE", 0x0802, "PDU_EVT_DATA_LOST"},
        {"FilterTypeNames", FilterTypeNames, 4, 0x0001, "PDU_FLT_PASS", 0x0012, "PDU_FLT_BLOCK_UUDT"},
        {"InfoNames", InfoNames, 3, 0x8070, "PDU_INFO_MODULE_LIST_CHG", 0x8072, "PDU_INFO_PHYS_COMPARAM_CHG"},
        {"ItemTypeNames", ItemTypeNames, 19, 0x1000, "PDU_IT_IO_UNUM32", 0x1803, "PDU_IT_IO_ENTITY_STATUS"},
        {"ObjectTypeNames", ObjectTypeNames, 6, 0x8021, "PDU_OBJT_PROTOCOL", 0x8026, "PDU_OBJT_RESOURCE"},
        {"StatusNames", StatusNames, 12, 0x8010, "PDU_COPST_IDLE", 0x8063, "PDU_MODST_AVAIL"},
        {"ParamTypeNames", ParamTypeNames, 9, 0x0101, "PDU_PT_UNUM8", 0x0109, "PDU_PT_LONGFIELD"},
    };
    for (const TableCase& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(c.table.size(), c.size);
        EXPECT_EQ(c.table.begin()->first, c.first);
        EXPECT_STREQ(c.table.begin()->second, c.firstName);
        EXPECT_EQ(c.table.rbegin()->first, c.last);
        EXPECT_STREQ(c.table.rbegin()->second, c.lastName);
        for (const auto& entry : c.table) {
            ASSERT_NE(entry.second, nullptr);
            EXPECT_GT(std::string(entry.second).size(), 4u);
            EXPECT_EQ(std::string(entry.second).rfind("PDU_", 0), 0u) << entry.second;
        }
        // Values with the top bit set sort after every entry, and none is present.
        EXPECT_EQ(c.table.count(0xFFFFFFFF), 0u);
        EXPECT_EQ(c.table.count(0x80000000), 0u);
    }
}

TEST(NameTables, BoundaryLookups)
{
    for (uint32_t v = 0x0002; v <= 0x000F; ++v)
        EXPECT_EQ(ErrorNames.count(v), 0u) << v;
    EXPECT_EQ(ErrorNames.count(0x0033), 0u);
    EXPECT_EQ(ErrorNames.count(0x00A7), 0u);
    EXPECT_STREQ(ErrorNames.at(0x00B2), "PDU_ERR_DOIP_ROUTING_ACTIVATION_AUTHENTICATION_FAILED");
    for (uint32_t v = 0x0100; v <= 0x0109; ++v)
        EXPECT_EQ(ErrorEventNames.count(v), 1u) << v;
    EXPECT_EQ(ErrorEventNames.count(0x010A), 0u);
    EXPECT_STREQ(ItemTypeNames.at(0x1100), "PDU_IT_RSC_STATUS");
    EXPECT_EQ(ItemTypeNames.count(0x1005), 0u);
    EXPECT_STREQ(StatusNames.at(0x8062), "PDU_MODST_NOT_AVAIL");
    EXPECT_EQ(StatusNames.count(0x8015), 0u);
    EXPECT_EQ(StatusNames.count(0x8053), 0u);
    // One number, three tables, three names.
    EXPECT_STREQ(ComParamClassNames.at(1), "PDU_PC_TIMING");
    EXPECT_STREQ(ErrorNames.at(1), "PDU_ERR_FCT_FAILED");
    EXPECT_STREQ(FilterTypeNames.at(1), "PDU_FLT_PASS");
}

TEST(NameTables, IterationIsInAscendingOrder)
{
    const char* expected[] = {"PDU_PT_UNUM8", "PDU_PT_SNUM8", "PDU_PT_UNUM16", "PDU_PT_SNUM16", "PDU_PT_UNUM32",
                              "PDU_PT_SNUM32", "PDU_PT_BYTEFIELD", "PDU_PT_STRUCTFIELD", "PDU_PT_LONGFIELD"};
    std::size_t i = 0;
    for (const auto& entry : ParamTypeNames)
        EXPECT_STREQ(entry.second, expected[i++]);
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
        {0xFFFFFFFF, "PDU_HANDLE_UNDEF"}, {0xFFFFFFFE, "0xfffffffe"}, {0, "0000000000"},
        {1, "0x00000001"}, {0x1A, "0x0000001a"}, {0xABCD, "0x0000abcd"}, {0x80000000, "0x80000000"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(HandleToString(c.first), c.second) << c.first;
}

}  // namespace
