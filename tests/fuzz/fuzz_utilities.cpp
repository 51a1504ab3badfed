// The utilities on fuzzed input: the hex dump in both forms, expansion, the build-date
// helpers, the formatting helpers, and DestroyItem on structurally valid items of fuzzed
// types and counts (a leak or a wrong release form is a sanitizer report).
#include "CHex.h"
#include "CLog.h"
#include "CUtil.h"
#include "PduItems.h"
#include "FuzzSupport.h"

#include <cstdlib>
#include <cstring>
#include <new>
#include <sstream>
#include <vector>

namespace {

struct Reader {
    const uint8_t* data;
    size_t size;
    size_t at = 0;

    uint32_t Next(uint32_t limit)
    {
        uint32_t v = 0;
        for (int i = 0; i < 4 && at < size; ++i)
            v = (v << 8) | data[at++];
        return limit == 0 ? v : v % limit;
    }
};

// The item builders are tables of cases a line: clang-format leaves them so.
// clang-format off
void FillParam(PDU_PARAM_ITEM& p, Reader& in)
{
    p.ItemType = PDU_IT_PARAM;
    p.ComParamDataType = 0x0100 + in.Next(11);
    switch (p.ComParamDataType) {
    case PDU_PT_UNUM8: case PDU_PT_SNUM8: p.pComParamData = new UNUM8(0); break;
    case PDU_PT_UNUM16: case PDU_PT_SNUM16: p.pComParamData = new UNUM16(0); break;
    case PDU_PT_UNUM32: case PDU_PT_SNUM32: p.pComParamData = new UNUM32(0); break;
    case PDU_PT_BYTEFIELD: p.pComParamData = new PDU_PARAM_BYTEFIELD_DATA {1, 1, new UNUM8[1 + in.Next(8)]}; break;
    case PDU_PT_LONGFIELD: p.pComParamData = new PDU_PARAM_LONGFIELD_DATA {1, 1, new UNUM32[1 + in.Next(8)]}; break;
    case PDU_PT_STRUCTFIELD: p.pComParamData = new PDU_PARAM_STRUCTFIELD_DATA {0, 1, 1, new UNUM32[1 + in.Next(8)]}; break;
    default: p.pComParamData = nullptr; break;
    }
}

PDU_ITEM* BuildItem(Reader& in)
{
    static const T_PDU_IT kTypes[] = {
        PDU_IT_IO_UNUM32, PDU_IT_IO_PROG_VOLTAGE, PDU_IT_IO_BYTEARRAY, PDU_IT_IO_FILTER,
        PDU_IT_IO_EVENT_QUEUE_PROPERTY, PDU_IT_RSC_STATUS, PDU_IT_PARAM, PDU_IT_RESULT, PDU_IT_STATUS,
        PDU_IT_ERROR, PDU_IT_INFO, PDU_IT_RSC_ID, PDU_IT_RSC_CONFLICT, PDU_IT_MODULE_ID,
        PDU_IT_UNIQUE_RESP_ID_TABLE, PDU_IT_IO_VEHICLE_ID_REQUEST, PDU_IT_IO_ETH_SWITCH_STATE,
        PDU_IT_IO_ENTITY_ADDRESS, PDU_IT_IO_ENTITY_STATUS};
    const uint32_t pick = in.Next(0);
    const T_PDU_IT type = pick % 23 < 19 ? kTypes[pick % 23] : pick;  // some unknown types too
    const uint32_t count = in.Next(5);
    switch (type) {
    case PDU_IT_IO_UNUM32: case PDU_IT_IO_PROG_VOLTAGE: case PDU_IT_IO_BYTEARRAY:
    case PDU_IT_IO_ENTITY_ADDRESS: case PDU_IT_IO_ENTITY_STATUS: {
        auto* item = NewItem<PDU_DATA_ITEM>(type);
        item->pData = new UNUM8[1 + count];
        return reinterpret_cast<PDU_ITEM*>(item);
    }
    case PDU_IT_PARAM: {
        auto* item = NewItem<PDU_PARAM_ITEM>(type);
        FillParam(*item, in);
        return reinterpret_cast<PDU_ITEM*>(item);
    }
    case PDU_IT_RESULT: case PDU_IT_STATUS: case PDU_IT_ERROR: case PDU_IT_INFO: {
        auto* item = NewItem<PDU_EVENT_ITEM>(type);
        if (type == PDU_IT_RESULT) item->pData = new UNUM8[1 + count];
        if (type == PDU_IT_STATUS) item->pData = new UNUM32(0);
        if (type == PDU_IT_ERROR) item->pData = new PDU_ERROR_DATA {};
        if (type == PDU_IT_INFO) item->pData = new PDU_INFO_DATA {};
        return reinterpret_cast<PDU_ITEM*>(item);
    }
    case PDU_IT_RSC_ID: {
        auto* item = NewItem<PDU_RSC_ID_ITEM>(type);
        item->NumModules = count;
        item->pResourceIdDataArray = new PDU_RSC_ID_ITEM_DATA[count + 1] {};
        for (uint32_t i = 0; i < count; ++i)
            item->pResourceIdDataArray[i].pResourceIdArray = in.Next(2) ? new UNUM32[1 + in.Next(4)] : nullptr;
        return reinterpret_cast<PDU_ITEM*>(item);
    }
    case PDU_IT_RSC_CONFLICT: {
        auto* item = NewItem<PDU_RSC_CONFLICT_ITEM>(type);
        item->NumEntries = count;
        item->pRscConflictData = count != 0 ? new PDU_RSC_CONFLICT_DATA[count] {} : nullptr;
        return reinterpret_cast<PDU_ITEM*>(item);
    }
    case PDU_IT_MODULE_ID: {
        auto* item = NewItem<PDU_MODULE_ITEM>(type);
        item->NumEntries = count;
        item->pModuleData = count != 0 ? new PDU_MODULE_DATA[count] {} : nullptr;
        for (uint32_t i = 0; i < count; ++i) {
            if (in.Next(2)) item->pModuleData[i].pVendorModuleName = static_cast<char*>(std::calloc(4, 1));
            if (in.Next(2)) item->pModuleData[i].pVendorAdditionalInfo = static_cast<char*>(std::calloc(4, 1));
        }
        return reinterpret_cast<PDU_ITEM*>(item);
    }
    case PDU_IT_UNIQUE_RESP_ID_TABLE: {
        auto* item = NewItem<PDU_UNIQUE_RESP_ID_TABLE_ITEM>(type);
        item->NumEntries = count;
        item->pUniqueData = new PDU_ECU_UNIQUE_RESP_DATA[count + 1] {};
        for (uint32_t i = 0; i < count; ++i) {
            PDU_ECU_UNIQUE_RESP_DATA& entry = item->pUniqueData[i];
            entry.NumParamItems = in.Next(4);
            entry.pParams = new PDU_PARAM_ITEM[entry.NumParamItems + 1] {};
            for (uint32_t p = 0; p < entry.NumParamItems; ++p)
                FillParam(entry.pParams[p], in);
        }
        return reinterpret_cast<PDU_ITEM*>(item);
    }
    default:
        return NewItem<PDU_ITEM>(type);
    }
}
// clang-format on

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static int32_t levels[kLogSubsystemCount];
    static const bool ready = (fuzz::Setup(), fuzz::QuietSink(), true);
    (void)ready;
    Reader in {data, size};
    // Every gate open for some inputs and closed for others, so both paths run.
    const int32_t level = static_cast<int32_t>(in.Next(10)) - 1;
    for (int32_t& slot : levels)
        slot = level;
    CLog::UseExternalLevels(levels);

    std::ostringstream out;
    out << CHex(data, static_cast<uint32_t>(size));
    out << CHex(size > 0 && data[0] == 0 ? nullptr : data, static_cast<uint32_t>(size));
    std::vector<CHex::Chunk> chunks;
    for (size_t at = 0; at < size; at += 7)
        chunks.emplace_back(static_cast<uint32_t>(size - at < 7 ? size - at : 7), data + at);
    chunks.emplace_back(0, nullptr);
    out << CHex(chunks);

    const std::string text(reinterpret_cast<const char*>(data), size);
    std::string expanded;
    Util::Env::Expand(text, expanded);
    const unsigned monthAt = in.Next(64), dayAt = in.Next(64);
    const uint8_t month = Util::Date::MonthFromName(text, monthAt);
    const uint8_t week = Util::Date::WeekOfYear(text, monthAt, dayAt);
    if (month > 12)
        std::abort();
    (void)week;

    const uint32_t value = in.Next(0);
    for (const auto* table : {&ErrorNames, &ItemTypeNames, &StatusNames, &ParamTypeNames, &ErrorEventNames})
        if (EnumToString(*table, value).empty())
            std::abort();
    if (HandleToString(value).size() != (value == PDU_HANDLE_UNDEF ? 16u : 10u))
        std::abort();

    for (int i = 0; i < 3 && in.at < in.size; ++i)
        if (DestroyItem(BuildItem(in)) != PDU_STATUS_NOERROR)
            std::abort();
    CLog::ReleaseExternalLevels();
    return 0;
}
