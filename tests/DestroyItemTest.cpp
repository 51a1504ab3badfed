// Every item type built with the allocation forms its data model states and released with
// DestroyItem. A wrong release form or a leak shows in the sanitizer build, which CI runs.
#include "CUtil.h"
#include "PduItems.h"
#include "LogTestFixture.h"

#include <cstdlib>
#include <cstring>
#include <algorithm>
#include <new>

namespace {

using DestroyItemTest = LogTest;

PDU_ITEM* AsItem(void* item)
{
    return static_cast<PDU_ITEM*>(item);
}

char* CText(const char* text)
{
    char* copy = static_cast<char*>(std::malloc(std::strlen(text) + 1));
    std::strcpy(copy, text);
    return copy;
}

void FillParam(PDU_PARAM_ITEM& param, T_PDU_PT type)
{
    param.ItemType = PDU_IT_PARAM;
    param.ComParamDataType = type;
    switch (type) {
    case PDU_PT_UNUM8:
    case PDU_PT_SNUM8: param.pComParamData = new UNUM8(1); break;
    case PDU_PT_UNUM16:
    case PDU_PT_SNUM16: param.pComParamData = new UNUM16(2); break;
    case PDU_PT_UNUM32:
    case PDU_PT_SNUM32: param.pComParamData = new UNUM32(3); break;
    case PDU_PT_BYTEFIELD: param.pComParamData = new PDU_PARAM_BYTEFIELD_DATA {4, 4, new UNUM8[4]}; break;
    case PDU_PT_LONGFIELD: param.pComParamData = new PDU_PARAM_LONGFIELD_DATA {2, 2, new UNUM32[2]}; break;
    case PDU_PT_STRUCTFIELD:
        param.pComParamData = new PDU_PARAM_STRUCTFIELD_DATA {1, 3, 3, new UNUM32[3 * 4]};
        break;
    default: param.pComParamData = nullptr; break;
    }
}

const T_PDU_PT kParamTypes[] = {PDU_PT_UNUM8, PDU_PT_SNUM8, PDU_PT_UNUM16, PDU_PT_SNUM16, PDU_PT_UNUM32,
                                PDU_PT_SNUM32, PDU_PT_BYTEFIELD, PDU_PT_LONGFIELD, PDU_PT_STRUCTFIELD};

TEST_F(DestroyItemTest, DataItemsReleaseTheirArray)
{
    for (const T_PDU_IT type : {PDU_IT_IO_UNUM32, PDU_IT_IO_PROG_VOLTAGE, PDU_IT_IO_BYTEARRAY,
                                PDU_IT_IO_ENTITY_ADDRESS, PDU_IT_IO_ENTITY_STATUS}) {
        auto* item = NewItem<PDU_DATA_ITEM>(type);
        item->pData = new UNUM32[3];
        EXPECT_EQ(DestroyItem(AsItem(item)), PDU_STATUS_NOERROR);
    }
}

TEST_F(DestroyItemTest, EventItemsReleaseTheirData)
{
    auto* result = NewItem<PDU_EVENT_ITEM>(PDU_IT_RESULT);
    result->pData = new UNUM8[64];
    auto* status = NewItem<PDU_EVENT_ITEM>(PDU_IT_STATUS);
    status->pData = new UNUM32(0x8012);
    auto* error = NewItem<PDU_EVENT_ITEM>(PDU_IT_ERROR);
    error->pData = new PDU_ERROR_DATA {0x0103, 0};
    auto* info = NewItem<PDU_EVENT_ITEM>(PDU_IT_INFO);
    info->pData = new PDU_INFO_DATA {0x8070, 0};
    for (PDU_EVENT_ITEM* item : {result, status, error, info})
        EXPECT_EQ(DestroyItem(AsItem(item)), PDU_STATUS_NOERROR);
}

TEST_F(DestroyItemTest, ParamItemsOfEveryDataType)
{
    for (const T_PDU_PT type : kParamTypes) {
        auto* item = NewItem<PDU_PARAM_ITEM>(PDU_IT_PARAM);
        FillParam(*item, type);
        EXPECT_EQ(DestroyItem(AsItem(item)), PDU_STATUS_NOERROR) << type;
    }
    // Unknown data type: the value is left alone.
    UNUM32 kept = 7;
    auto* odd = NewItem<PDU_PARAM_ITEM>(PDU_IT_PARAM);
    odd->ComParamDataType = 0x0200;
    odd->pComParamData = &kept;
    EXPECT_EQ(DestroyItem(AsItem(odd)), PDU_STATUS_NOERROR);
    // Field types without a value: nothing to follow.
    for (const T_PDU_PT type : {PDU_PT_BYTEFIELD, PDU_PT_LONGFIELD, PDU_PT_STRUCTFIELD}) {
        auto* empty = NewItem<PDU_PARAM_ITEM>(PDU_IT_PARAM);
        empty->ComParamDataType = type;
        EXPECT_EQ(DestroyItem(AsItem(empty)), PDU_STATUS_NOERROR);
    }
    EXPECT_EQ(DestroyParamData(nullptr), PDU_ERR_INVALID_PARAMETERS);
    PDU_PARAM_ITEM onStack {};
    FillParam(onStack, PDU_PT_BYTEFIELD);
    EXPECT_EQ(DestroyParamData(&onStack), PDU_STATUS_NOERROR);
}

TEST_F(DestroyItemTest, ResourceIdItems)
{
    auto* item = NewItem<PDU_RSC_ID_ITEM>(PDU_IT_RSC_ID);
    item->NumModules = 2;
    item->pResourceIdDataArray = new PDU_RSC_ID_ITEM_DATA[2] {{1, 2, new UNUM32[2]}, {2, 0, nullptr}};
    EXPECT_EQ(DestroyItem(AsItem(item)), PDU_STATUS_NOERROR);

    auto* none = NewItem<PDU_RSC_ID_ITEM>(PDU_IT_RSC_ID);  // zero modules: the array still goes
    none->pResourceIdDataArray = new PDU_RSC_ID_ITEM_DATA[1] {};
    EXPECT_EQ(DestroyItem(AsItem(none)), PDU_STATUS_NOERROR);

    auto* broken = NewItem<PDU_RSC_ID_ITEM>(PDU_IT_RSC_ID);  // a count without an array
    broken->NumModules = 5;
    EXPECT_EQ(DestroyItem(AsItem(broken)), PDU_STATUS_NOERROR);
}

TEST_F(DestroyItemTest, ResourceConflictItems)
{
    auto* item = NewItem<PDU_RSC_CONFLICT_ITEM>(PDU_IT_RSC_CONFLICT);
    item->NumEntries = 2;
    item->pRscConflictData = new PDU_RSC_CONFLICT_DATA[2] {};
    EXPECT_EQ(DestroyItem(AsItem(item)), PDU_STATUS_NOERROR);

    PDU_RSC_CONFLICT_DATA kept[1] = {};
    auto* empty = NewItem<PDU_RSC_CONFLICT_ITEM>(PDU_IT_RSC_CONFLICT);
    empty->pRscConflictData = kept;  // zero entries: left alone
    EXPECT_EQ(DestroyItem(AsItem(empty)), PDU_STATUS_NOERROR);
}

TEST_F(DestroyItemTest, ModuleItemsFreeTheirTexts)
{
    auto* item = NewItem<PDU_MODULE_ITEM>(PDU_IT_MODULE_ID);
    item->NumEntries = 2;
    item->pModuleData = new PDU_MODULE_DATA[2] {
        {1, 1, nullptr, CText("first info"), 0x8060},
        {1, 2, CText("second"), CText("second info"), 0x8061},
    };
    EXPECT_EQ(DestroyItem(AsItem(item)), PDU_STATUS_NOERROR);

    PDU_MODULE_DATA kept[1] = {};
    auto* empty = NewItem<PDU_MODULE_ITEM>(PDU_IT_MODULE_ID);
    empty->pModuleData = kept;  // zero entries: not even the array goes
    EXPECT_EQ(DestroyItem(AsItem(empty)), PDU_STATUS_NOERROR);

    auto* broken = NewItem<PDU_MODULE_ITEM>(PDU_IT_MODULE_ID);
    broken->NumEntries = 3;
    EXPECT_EQ(DestroyItem(AsItem(broken)), PDU_STATUS_NOERROR);
}

TEST_F(DestroyItemTest, UniqueResponseTables)
{
    auto* item = NewItem<PDU_UNIQUE_RESP_ID_TABLE_ITEM>(PDU_IT_UNIQUE_RESP_ID_TABLE);
    item->NumEntries = 3;
    item->pUniqueData = new PDU_ECU_UNIQUE_RESP_DATA[3] {};
    item->pUniqueData[0].NumParamItems = 9;
    item->pUniqueData[0].pParams = new PDU_PARAM_ITEM[9] {};
    for (UNUM32 i = 0; i < 9; ++i)
        FillParam(item->pUniqueData[0].pParams[i], kParamTypes[i]);
    item->pUniqueData[1].pParams = new PDU_PARAM_ITEM[1] {};  // no parameters: array still goes
    item->pUniqueData[2].NumParamItems = 4;                   // a count without an array
    EXPECT_EQ(DestroyItem(AsItem(item)), PDU_STATUS_NOERROR);

    auto* empty = NewItem<PDU_UNIQUE_RESP_ID_TABLE_ITEM>(PDU_IT_UNIQUE_RESP_ID_TABLE);
    EXPECT_EQ(DestroyItem(AsItem(empty)), PDU_STATUS_NOERROR);
}

TEST_F(DestroyItemTest, RecordsAtTheirLevels)
{
    const auto sink = CaptureSink();
    UseLevels(LL_ERROR);
    m_levels[LS_APP] = LL_DEBUG1;

    EXPECT_EQ(DestroyItem(nullptr), PDU_ERR_INVALID_PARAMETERS);

    UNUM8 input[4] = {};
    auto* filter = NewItem<PDU_DATA_ITEM>(PDU_IT_IO_FILTER);
    filter->pData = input;  // input only: left alone
    DestroyItem(AsItem(filter));
    auto* status = NewItem<PDU_RSC_STATUS_ITEM>(PDU_IT_RSC_STATUS);
    status->pResourceStatusData = reinterpret_cast<PDU_RSC_STATUS_DATA*>(input);
    DestroyItem(AsItem(status));
    DestroyItem(AsItem(NewItem<PDU_ITEM>(0x2000)));
    DestroyItem(AsItem(NewItem<PDU_ITEM>(0xFFFFFFFF)));

    const std::string text = test::ReadFile(sink);
    const std::string at = ":src\\External\\CUtil.cpp:";
    EXPECT_NE(text.find(" DEBUG1 "), std::string::npos);
    EXPECT_NE(text.find(at + "276:DestroyItem:pItem="), std::string::npos) << text;
    EXPECT_NE(text.find(at + "299:DestroyItem:Attempt to delete input only. Type=PDU_IT_IO_FILTER\n"),
              std::string::npos) << text;
    EXPECT_NE(text.find(at + "305:DestroyItem:Attempt to delete input only status\n"), std::string::npos);
    EXPECT_NE(text.find(at + "423:DestroyItem:UNKNOWN Type=8192\n"), std::string::npos);
    EXPECT_NE(text.find(at + "423:DestroyItem:UNKNOWN Type=-1\n"), std::string::npos);
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 5 + 4);  // 5 entries, 4 others
}

TEST_F(DestroyItemTest, QuietBelowTheirLevels)
{
    const auto sink = CaptureSink();
    DestroyItem(AsItem(NewItem<PDU_ITEM>(0x2000)));  // no store
    UseLevels(LL_DEBUG3);
    m_levels[LS_APP] = LL_INFO;  // unknown type only
    DestroyItem(AsItem(NewItem<PDU_ITEM>(PDU_IT_IO_VEHICLE_ID_REQUEST)));
    DestroyItem(AsItem(NewItem<PDU_ITEM>(0x2000)));
    m_levels[LS_APP] = LL_NOTICE;
    DestroyItem(AsItem(NewItem<PDU_ITEM>(0x2000)));
    const std::string text = test::ReadFile(sink);
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 1) << text;
    EXPECT_NE(text.find("UNKNOWN Type=8192"), std::string::npos);
}

}  // namespace
