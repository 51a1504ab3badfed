// Every item type built with the allocation forms its data model states and released with
// DestroyItem. The program counts what it holds in each form, so a release that is missing
// or made in the wrong form fails natively too, not only in the sanitizer build.
#include "CUtil.h"
#include "PduItems.h"
#include "Fixtures.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <cstdlib>
#include <cstring>
#include <new>

namespace {
enum Form { kSingle, kArray, kText };
std::atomic<long> g_held[3];  // allocations less releases, per form, over all threads
}  // namespace

// The sanitizers catch a wrong or missing release with their own allocator. Elsewhere the
// program's allocation functions count; glibc lets a program replace free alone, so there
// the texts from the C allocator count too.
#if !defined(__SANITIZE_ADDRESS__) && !defined(__SANITIZE_THREAD__)
#ifdef __GLIBC__
#define PDULOG_COUNT_TEXTS
#define PDULOG_RELEASE __libc_free
extern "C" void __libc_free(void*);
extern "C" void free(void* storage) noexcept
{
    g_held[kText] -= storage != nullptr;
    __libc_free(storage);
}
#else
#define PDULOG_RELEASE std::free
#endif
static void* Hold(std::size_t size, Form form)
{
    ++g_held[form];
    if (void* storage = std::malloc(size == 0 ? 1 : size))
        return storage;
    throw std::bad_alloc();
}
static void Drop(void* storage, Form form)
{
    g_held[form] -= storage != nullptr;
    PDULOG_RELEASE(storage);
}
void* operator new(std::size_t size) { return Hold(size, kSingle); }
void* operator new[](std::size_t size) { return Hold(size, kArray); }
void operator delete(void* storage) noexcept { Drop(storage, kSingle); }
void operator delete[](void* storage) noexcept { Drop(storage, kArray); }
void operator delete(void* storage, std::size_t) noexcept { Drop(storage, kSingle); }
void operator delete[](void* storage, std::size_t) noexcept { Drop(storage, kArray); }
#endif

namespace {

using DestroyItemTest = LogTest;
using Held = std::array<long, 3>;

Held HeldNow() { return {g_held[kSingle].load(), g_held[kArray].load(), g_held[kText].load()}; }

// Releases the item and returns what the program holds afterwards.
Held HeldAfter(void* item)
{
    EXPECT_EQ(DestroyItem(static_cast<PDU_ITEM*>(item)), PDU_STATUS_NOERROR);
    return HeldNow();
}

char* CText(const char* text)
{
    char* copy = static_cast<char*>(std::malloc(std::strlen(text) + 1));
#ifdef PDULOG_COUNT_TEXTS
    ++g_held[kText];
#endif
    return std::strcpy(copy, text);
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
    case PDU_PT_STRUCTFIELD: param.pComParamData = new PDU_PARAM_STRUCTFIELD_DATA {1, 3, 3, new UNUM32[12]}; break;
    default: param.pComParamData = nullptr; break;
    }
}

const T_PDU_PT kParamTypes[] = {PDU_PT_UNUM8,  PDU_PT_SNUM8,     PDU_PT_UNUM16,    PDU_PT_SNUM16,     PDU_PT_UNUM32,
                                PDU_PT_SNUM32, PDU_PT_BYTEFIELD, PDU_PT_LONGFIELD, PDU_PT_STRUCTFIELD};

TEST_F(DestroyItemTest, DataAndEventItemsReleaseTheirData)
{
    for (const T_PDU_IT type : {PDU_IT_IO_UNUM32, PDU_IT_IO_PROG_VOLTAGE, PDU_IT_IO_BYTEARRAY, PDU_IT_IO_ENTITY_ADDRESS,
                                PDU_IT_IO_ENTITY_STATUS}) {
        const Held before = HeldNow();
        auto* item = NewItem<PDU_DATA_ITEM>(type);
        item->pData = new UNUM32[3];
        EXPECT_EQ(HeldAfter(item), before) << type;
    }
    const std::pair<T_PDU_IT, void* (*)()> events[] = {
        {PDU_IT_RESULT, []() -> void* { return new UNUM8[64]; }},
        {PDU_IT_STATUS, []() -> void* { return new UNUM32(0x8012); }},
        {PDU_IT_ERROR,
         []() -> void* {
             return new PDU_ERROR_DATA {0x0103, 0};
         }},
        {PDU_IT_INFO,
         []() -> void* {
             return new PDU_INFO_DATA {0x8070, 0};
         }},
    };
    for (const auto& [type, data] : events) {
        const Held before = HeldNow();
        auto* item = NewItem<PDU_EVENT_ITEM>(type);
        item->pData = data();
        EXPECT_EQ(HeldAfter(item), before) << type;
    }
}

TEST_F(DestroyItemTest, ParamItemsOfEveryDataType)
{
    for (const T_PDU_PT type : kParamTypes) {
        const Held before = HeldNow();
        auto* item = NewItem<PDU_PARAM_ITEM>(PDU_IT_PARAM);
        FillParam(*item, type);
        EXPECT_EQ(HeldAfter(item), before) << type;
    }
    auto* kept = new UNUM32(7);
    const Held start = HeldNow();
    // Field types without a value: nothing to follow. Unknown data type: the value is left alone.
    for (const T_PDU_PT type :
         {T_PDU_PT(PDU_PT_BYTEFIELD), T_PDU_PT(PDU_PT_LONGFIELD), T_PDU_PT(PDU_PT_STRUCTFIELD), T_PDU_PT(0x0200)}) {
        auto* odd = NewItem<PDU_PARAM_ITEM>(PDU_IT_PARAM);
        odd->ComParamDataType = type;
        odd->pComParamData = type == 0x0200 ? kept : nullptr;
        ASSERT_EQ(HeldAfter(odd), start) << type;
    }
    delete kept;
    EXPECT_EQ(DestroyParamData(nullptr), PDU_ERR_INVALID_PARAMETERS);
    const Held before = HeldNow();
    PDU_PARAM_ITEM onStack {};  // the value goes, the record is the caller's
    FillParam(onStack, PDU_PT_BYTEFIELD);
    EXPECT_EQ(DestroyParamData(&onStack), PDU_STATUS_NOERROR);
    EXPECT_EQ(HeldNow(), before);
}

TEST_F(DestroyItemTest, ResourceIdAndConflictItems)
{
    auto* kept = new PDU_RSC_CONFLICT_DATA[1] {};
    const Held before = HeldNow();
    auto* item = NewItem<PDU_RSC_ID_ITEM>(PDU_IT_RSC_ID);
    item->NumModules = 2;
    item->pResourceIdDataArray = new PDU_RSC_ID_ITEM_DATA[2] {{1, 2, new UNUM32[2]}, {2, 0, nullptr}};
    EXPECT_EQ(HeldAfter(item), before);
    auto* none = NewItem<PDU_RSC_ID_ITEM>(PDU_IT_RSC_ID);  // zero modules: the array still goes
    none->pResourceIdDataArray = new PDU_RSC_ID_ITEM_DATA[1] {};
    EXPECT_EQ(HeldAfter(none), before);
    auto* broken = NewItem<PDU_RSC_ID_ITEM>(PDU_IT_RSC_ID);  // a count without an array
    broken->NumModules = 5;
    EXPECT_EQ(HeldAfter(broken), before);

    auto* conflict = NewItem<PDU_RSC_CONFLICT_ITEM>(PDU_IT_RSC_CONFLICT);
    conflict->NumEntries = 2;
    conflict->pRscConflictData = new PDU_RSC_CONFLICT_DATA[2] {};
    EXPECT_EQ(HeldAfter(conflict), before);
    auto* empty = NewItem<PDU_RSC_CONFLICT_ITEM>(PDU_IT_RSC_CONFLICT);
    empty->pRscConflictData = kept;  // zero entries: left alone
    ASSERT_EQ(HeldAfter(empty), before);
    delete[] kept;
}

TEST_F(DestroyItemTest, ModuleItemsFreeTheirTexts)
{
    auto* kept = new PDU_MODULE_DATA[1] {{1, 1, CText("kept"), nullptr, 0x8060}};
    const Held before = HeldNow();
    auto* item = NewItem<PDU_MODULE_ITEM>(PDU_IT_MODULE_ID);
    item->NumEntries = 2;
    item->pModuleData = new PDU_MODULE_DATA[2] {
        {1, 1, nullptr, CText("first info"), 0x8060},
        {1, 2, CText("second"), CText("second info"), 0x8061},
    };
    EXPECT_EQ(HeldAfter(item), before);
    auto* broken = NewItem<PDU_MODULE_ITEM>(PDU_IT_MODULE_ID);
    broken->NumEntries = 3;
    EXPECT_EQ(HeldAfter(broken), before);
    auto* empty = NewItem<PDU_MODULE_ITEM>(PDU_IT_MODULE_ID);
    empty->pModuleData = kept;  // zero entries: not even the array goes
    ASSERT_EQ(HeldAfter(empty), before);
    std::free(kept->pVendorModuleName);
    delete[] kept;
}

TEST_F(DestroyItemTest, UniqueResponseTables)
{
    const Held before = HeldNow();
    auto* item = NewItem<PDU_UNIQUE_RESP_ID_TABLE_ITEM>(PDU_IT_UNIQUE_RESP_ID_TABLE);
    item->NumEntries = 3;
    item->pUniqueData = new PDU_ECU_UNIQUE_RESP_DATA[3] {};
    item->pUniqueData[0].NumParamItems = 9;
    item->pUniqueData[0].pParams = new PDU_PARAM_ITEM[9] {};
    for (UNUM32 i = 0; i < 9; ++i)
        FillParam(item->pUniqueData[0].pParams[i], kParamTypes[i]);
    item->pUniqueData[1].pParams = new PDU_PARAM_ITEM[1] {};  // no parameters: array still goes
    item->pUniqueData[2].NumParamItems = 4;                   // a count without an array
    EXPECT_EQ(HeldAfter(item), before);
    auto* empty = NewItem<PDU_UNIQUE_RESP_ID_TABLE_ITEM>(PDU_IT_UNIQUE_RESP_ID_TABLE);
    EXPECT_EQ(HeldAfter(empty), before);
}

TEST_F(DestroyItemTest, RecordsAtTheirLevels)
{
    const auto sink = CaptureSink();
    UseLevels(LL_ERROR);
    m_levels[LS_APP] = LL_DEBUG1;

    EXPECT_EQ(DestroyItem(nullptr), PDU_ERR_INVALID_PARAMETERS);

    auto* input = new PDU_RSC_STATUS_DATA[1] {};  // behind input-only and unknown items: left alone
    const Held before = HeldNow();
    auto* status = NewItem<PDU_RSC_STATUS_ITEM>(PDU_IT_RSC_STATUS);
    status->pResourceStatusData = input;
    ASSERT_EQ(HeldAfter(status), before);
    const T_PDU_IT types[] = {PDU_IT_IO_FILTER,
                              PDU_IT_IO_EVENT_QUEUE_PROPERTY,
                              PDU_IT_IO_VEHICLE_ID_REQUEST,
                              PDU_IT_IO_ETH_SWITCH_STATE,
                              0x2000,
                              0xFFFFFFFF};
    for (const T_PDU_IT type : types) {
        auto* item = NewItem<PDU_DATA_ITEM>(type);
        item->pData = input;
        ASSERT_EQ(HeldAfter(item), before) << type;  // a released input must not be released again
    }
    delete[] input;

    const std::string text = test::ReadFile(sink);
    const std::string at = ":src\\External\\CUtil.cpp:";
    EXPECT_NE(text.find(" DEBUG1 "), std::string::npos);
    EXPECT_NE(text.find(at + "276:DestroyItem:pItem="), std::string::npos) << text;
    EXPECT_NE(text.find(at + "299:DestroyItem:Attempt to delete input only. Type=PDU_IT_IO_FILTER\n"),
              std::string::npos)
        << text;
    EXPECT_NE(text.find(at + "305:DestroyItem:Attempt to delete input only status\n"), std::string::npos);
    EXPECT_NE(text.find(at + "423:DestroyItem:UNKNOWN Type=8192\n"), std::string::npos);
    EXPECT_NE(text.find(at + "423:DestroyItem:UNKNOWN Type=-1\n"), std::string::npos);
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 8 + 7);  // 8 entries, 7 others
}

TEST_F(DestroyItemTest, QuietBelowTheirLevels)
{
    const auto sink = CaptureSink();
    DestroyItem(NewItem<PDU_ITEM>(0x2000));  // no store
    UseLevels(LL_DEBUG3);
    m_levels[LS_APP] = LL_INFO;  // unknown type only
    DestroyItem(NewItem<PDU_ITEM>(PDU_IT_IO_VEHICLE_ID_REQUEST));
    DestroyItem(NewItem<PDU_ITEM>(0x2000));
    m_levels[LS_APP] = LL_NOTICE;
    DestroyItem(NewItem<PDU_ITEM>(0x2000));
    const std::string text = test::ReadFile(sink);
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 1) << text;
    EXPECT_NE(text.find("UNKNOWN Type=8192"), std::string::npos);
}

}  // namespace
