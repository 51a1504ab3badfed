// The utilities that report through the log, item release and thread priority: their
// records name this file, so they stay in it whatever their subject.
#include <pdulog/CUtil.h>

#include <pdulog/CLog.h>
#include "Platform/Platform.h"
#include <pdulog/detail/SourcePlace.h>

#include <cstdlib>
#include <new>

namespace Platform = pdulog_detail::Platform;

namespace {

// The newest IO item types, for a vendor header of an earlier edition that lacks them (the
// build checks which, and says so); the name tables already know them by value.
#ifdef PDULOG_SUPPLY_PDU_IT_IO_VEHICLE_ID_REQUEST
constexpr T_PDU_IT PDU_IT_IO_VEHICLE_ID_REQUEST = 0x1800;
#endif
#ifdef PDULOG_SUPPLY_PDU_IT_IO_ETH_SWITCH_STATE
constexpr T_PDU_IT PDU_IT_IO_ETH_SWITCH_STATE = 0x1801;
#endif
#ifdef PDULOG_SUPPLY_PDU_IT_IO_ENTITY_ADDRESS
constexpr T_PDU_IT PDU_IT_IO_ENTITY_ADDRESS = 0x1802;
#endif
#ifdef PDULOG_SUPPLY_PDU_IT_IO_ENTITY_STATUS
constexpr T_PDU_IT PDU_IT_IO_ENTITY_STATUS = 0x1803;
#endif

constexpr auto kPlace = pdulog_detail::LibraryPlace(__FILE__);

// The line field of each record: part of the record format people search logs for.
constexpr int kLineDestroyEntry = 276;
constexpr int kLineInputOnlyType = 299;
constexpr int kLineInputOnlyStatus = 305;
constexpr int kLineUnknownType = 423;
constexpr int kLineNotHandled = 647;
constexpr int kLinePriorityRefused = 652;

// A vendor's header may make the result codes macros of any integer type, or enumerators.
constexpr T_PDU_ERROR kNoError = static_cast<T_PDU_ERROR>(PDU_STATUS_NOERROR);
constexpr T_PDU_ERROR kInvalidParameters = static_cast<T_PDU_ERROR>(PDU_ERR_INVALID_PARAMETERS);

// Array storage of trivially destructible elements, allocated with new[].
void ReleaseArray(void* array) { ::operator delete[](array); }

template <typename T>
void ReleaseObject(void* object)
{
    delete static_cast<T*>(object);
}

void ReleaseResourceIds(PDU_RSC_ID_ITEM* item)
{
    // A count with no array is outside the contract; it must not be followed.
    if (item->pResourceIdDataArray != nullptr)
        for (UNUM32 i = 0; i < item->NumModules; ++i)
            ReleaseArray(item->pResourceIdDataArray[i].pResourceIdArray);
    delete[] item->pResourceIdDataArray;
}

void ReleaseModules(PDU_MODULE_ITEM* item)
{
    if (item->NumEntries == 0)
        return;
    if (item->pModuleData != nullptr) {
        for (UNUM32 i = 0; i < item->NumEntries; ++i) {
            PDU_MODULE_DATA& module = item->pModuleData[i];
            if (module.pVendorModuleName != nullptr)
                std::free(module.pVendorModuleName);
            if (module.pVendorAdditionalInfo != nullptr)
                std::free(module.pVendorAdditionalInfo);
        }
    }
    delete[] item->pModuleData;
}

void ReleaseUniqueResponseTable(PDU_UNIQUE_RESP_ID_TABLE_ITEM* item)
{
    if (item->pUniqueData != nullptr) {
        for (UNUM32 i = 0; i < item->NumEntries; ++i) {
            PDU_ECU_UNIQUE_RESP_DATA& entry = item->pUniqueData[i];
            if (entry.pParams != nullptr)
                for (UNUM32 p = 0; p < entry.NumParamItems; ++p)
                    DestroyParamData(&entry.pParams[p]);
            delete[] entry.pParams;
        }
    }
    delete[] item->pUniqueData;
}

}  // namespace

T_PDU_ERROR DestroyParamData(PDU_PARAM_ITEM* pParam)
{
    if (pParam == nullptr)
        return kInvalidParameters;
    void* data = pParam->pComParamData;
    switch (pParam->ComParamDataType) {
    case PDU_PT_UNUM8:
    case PDU_PT_SNUM8: ReleaseObject<UNUM8>(data); break;
    case PDU_PT_UNUM16:
    case PDU_PT_SNUM16: ReleaseObject<UNUM16>(data); break;
    case PDU_PT_UNUM32:
    case PDU_PT_SNUM32: ReleaseObject<UNUM32>(data); break;
    case PDU_PT_BYTEFIELD:
        if (data != nullptr)
            delete[] static_cast<PDU_PARAM_BYTEFIELD_DATA*>(data)->pDataArray;
        ReleaseObject<PDU_PARAM_BYTEFIELD_DATA>(data);
        break;
    case PDU_PT_LONGFIELD:
        if (data != nullptr)
            delete[] static_cast<PDU_PARAM_LONGFIELD_DATA*>(data)->pDataArray;
        ReleaseObject<PDU_PARAM_LONGFIELD_DATA>(data);
        break;
    case PDU_PT_STRUCTFIELD:
        if (data != nullptr)
            ReleaseArray(static_cast<PDU_PARAM_STRUCTFIELD_DATA*>(data)->pStructArray);
        ReleaseObject<PDU_PARAM_STRUCTFIELD_DATA>(data);
        break;
    default: break;
    }
    return kNoError;
}

// NOLINTNEXTLINE(readability-function-size): a flat table, one case an item type
T_PDU_ERROR DestroyItem(PDU_ITEM* pItem)
{
    CLOG_RECORD(LL_DEBUG1, LS_APP, kPlace.c_str(), kLineDestroyEntry, "DestroyItem")
        << "pItem=" << static_cast<const void*>(pItem);
    if (pItem == nullptr)
        return kInvalidParameters;

    switch (pItem->ItemType) {
    case PDU_IT_IO_UNUM32:
    case PDU_IT_IO_PROG_VOLTAGE:
    case PDU_IT_IO_BYTEARRAY:
    case PDU_IT_IO_ENTITY_ADDRESS:
    case PDU_IT_IO_ENTITY_STATUS: ReleaseArray(reinterpret_cast<PDU_DATA_ITEM*>(pItem)->pData); break;
    case PDU_IT_IO_FILTER:
    case PDU_IT_IO_EVENT_QUEUE_PROPERTY:
    case PDU_IT_IO_VEHICLE_ID_REQUEST:
    case PDU_IT_IO_ETH_SWITCH_STATE:
        CLOG_RECORD(LL_DEBUG, LS_APP, kPlace.c_str(), kLineInputOnlyType, "DestroyItem")
            << "Attempt to delete input only. Type=" << EnumToString(ItemTypeNames, pItem->ItemType);
        break;
    case PDU_IT_RSC_STATUS:
        CLOG_RECORD(LL_DEBUG, LS_APP, kPlace.c_str(), kLineInputOnlyStatus, "DestroyItem")
            << "Attempt to delete input only status";
        break;
    case PDU_IT_PARAM: DestroyParamData(reinterpret_cast<PDU_PARAM_ITEM*>(pItem)); break;
    case PDU_IT_RESULT: ReleaseArray(reinterpret_cast<PDU_EVENT_ITEM*>(pItem)->pData); break;
    case PDU_IT_STATUS: ReleaseObject<UNUM32>(reinterpret_cast<PDU_EVENT_ITEM*>(pItem)->pData); break;
    case PDU_IT_ERROR: ReleaseObject<PDU_ERROR_DATA>(reinterpret_cast<PDU_EVENT_ITEM*>(pItem)->pData); break;
    case PDU_IT_INFO: ReleaseObject<PDU_INFO_DATA>(reinterpret_cast<PDU_EVENT_ITEM*>(pItem)->pData); break;
    case PDU_IT_RSC_ID: ReleaseResourceIds(reinterpret_cast<PDU_RSC_ID_ITEM*>(pItem)); break;
    case PDU_IT_RSC_CONFLICT: {
        PDU_RSC_CONFLICT_ITEM* item = reinterpret_cast<PDU_RSC_CONFLICT_ITEM*>(pItem);
        if (item->NumEntries != 0)
            delete[] item->pRscConflictData;
        break;
    }
    case PDU_IT_MODULE_ID: ReleaseModules(reinterpret_cast<PDU_MODULE_ITEM*>(pItem)); break;
    case PDU_IT_UNIQUE_RESP_ID_TABLE:
        ReleaseUniqueResponseTable(reinterpret_cast<PDU_UNIQUE_RESP_ID_TABLE_ITEM*>(pItem));
        break;
    default:
        CLOG_RECORD(LL_INFO, LS_APP, kPlace.c_str(), kLineUnknownType, "DestroyItem")
            << "UNKNOWN Type=" << static_cast<int32_t>(pItem->ItemType);
        break;
    }
    // The record is plain storage of whatever size its type has.
    ::operator delete(pItem);
    return kNoError;
}

bool Util::Thread::SetPriority(std::thread& thread, int32_t priority)
{
    int platformPriority = Platform::kPriorityNormal;
    if (priority == 1) {
        platformPriority = Platform::kPriorityTimeCritical;
    } else if (priority != 0) {
        CLOG_RECORD(LL_DEBUG, LS_APP, kPlace.c_str(), kLineNotHandled, "Util::Thread::SetPriority")
            << "Not handled:" << priority;
    }
    uint32_t error = 0;
    const bool accepted = Platform::SetThreadPriority(thread, platformPriority, error);
    if (!accepted) {
        CLOG_RECORD(LL_DEBUG, LS_APP, kPlace.c_str(), kLinePriorityRefused, "Util::Thread::SetPriority")
            << "Error=0x" << std::hex << error;
    }
    return accepted;
}
