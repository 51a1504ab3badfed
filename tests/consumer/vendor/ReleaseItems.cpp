// Items made with the vendor header's types, in the allocation forms that DestroyItem
// documents, each handed back to it. What it fails to release, or releases the wrong way,
// the sanitizer reports; a wrong result code is reported here.
#include "VendorPduApi.h"  // first, as the vendor's own sources have it

#include <pdulog/CUtil.h>

#include "CLog.h"  // the headers' other form: as a program that names the pdulog folder includes them
static_assert(kLogSubsystemCount == 19, "the store's subsystems");

#include <cstdio>
#include <cstdlib>
#include <cstring>

// Whether DestroyItem released an item's data array, only the array release can tell.
// Both array forms are replaced, so that each allocation is released the way it was made.
void* g_lastArrayReleased = nullptr;
void* operator new[](std::size_t size) { return ::operator new(size); }
void operator delete[](void* storage) noexcept { ::operator delete(g_lastArrayReleased = storage); }

namespace {

template <typename T>
T* NewItem(T_PDU_IT type)
{
    T* item = new T();
    item->ItemType = type;
    return item;
}

CHAR8* Text(const char* text)
{
    const std::size_t size = std::strlen(text) + 1;
    return static_cast<CHAR8*>(std::memcpy(std::malloc(size), text, size));
}

PDU_PARAM_ITEM LongField(UNUM32 count)
{
    PDU_PARAM_ITEM param = {PDU_IT_PARAM, 1, PDU_PT_LONGFIELD, 0, nullptr};
    param.pComParamData = new PDU_PARAM_LONGFIELD_DATA {count, count, new UNUM32[count]()};
    return param;
}

}  // namespace

int main()
{
    auto* bytes = NewItem<PDU_DATA_ITEM>(PDU_IT_IO_BYTEARRAY);
    bytes->pData = new UNUM8[16]();
    auto* error = NewItem<PDU_EVENT_ITEM>(PDU_IT_ERROR);
    error->pData = new PDU_ERROR_DATA {0x0103, 7};
    auto* status = NewItem<PDU_EVENT_ITEM>(PDU_IT_STATUS);
    status->pData = new UNUM32(0x8012);
    auto* param = NewItem<PDU_PARAM_ITEM>(PDU_IT_PARAM);
    param->ComParamDataType = PDU_PT_BYTEFIELD;
    param->pComParamData = new PDU_PARAM_BYTEFIELD_DATA {4, 4, new UNUM8[4]()};
    auto* ids = NewItem<PDU_RSC_ID_ITEM>(PDU_IT_RSC_ID);
    ids->NumModules = 2;
    ids->pResourceIdDataArray = new PDU_RSC_ID_ITEM_DATA[2] {{1, 3, new UNUM32[3]()}, {2, 1, new UNUM32[1]()}};
    auto* conflicts = NewItem<PDU_RSC_CONFLICT_ITEM>(PDU_IT_RSC_CONFLICT);
    conflicts->NumEntries = 1;
    conflicts->pRscConflictData = new PDU_RSC_CONFLICT_DATA[1] {{1, nullptr}};
    auto* modules = NewItem<PDU_MODULE_ITEM>(PDU_IT_MODULE_ID);
    modules->NumEntries = 2;
    modules->pModuleData = new PDU_MODULE_DATA[2] {{1, 1, Text("vci-a"), nullptr, 0x8060},
                                                   {1, 2, Text("vci-b"), Text("fw 2.1"), 0x8061}};
    auto* table = NewItem<PDU_UNIQUE_RESP_ID_TABLE_ITEM>(PDU_IT_UNIQUE_RESP_ID_TABLE);
    table->NumEntries = 1;
    table->pUniqueData = new PDU_ECU_UNIQUE_RESP_DATA[1] {{9, 2, new PDU_PARAM_ITEM[2] {LongField(3), LongField(1)}}};

    PDU_ITEM* const items[] = {
        reinterpret_cast<PDU_ITEM*>(bytes),   reinterpret_cast<PDU_ITEM*>(error),
        reinterpret_cast<PDU_ITEM*>(status),  reinterpret_cast<PDU_ITEM*>(param),
        reinterpret_cast<PDU_ITEM*>(ids),     reinterpret_cast<PDU_ITEM*>(conflicts),
        reinterpret_cast<PDU_ITEM*>(modules), reinterpret_cast<PDU_ITEM*>(table),
    };
    int failures = 0;
    for (PDU_ITEM* item : items) {
        const T_PDU_IT type = item->ItemType;
        if (DestroyItem(item) != PDU_STATUS_NOERROR) {
            std::fprintf(stderr, "DestroyItem of type 0x%x failed\n", static_cast<unsigned>(type));
            ++failures;
        }
    }
    for (const T_PDU_IT type : {0x1800U, 0x1801U, 0x1802U, 0x1803U}) {  // the newest IO types, by value
        auto* const data = new UNUM8[4]();
        g_lastArrayReleased = nullptr;
        DestroyItem(reinterpret_cast<PDU_ITEM*>(new PDU_DATA_ITEM {type, data}));
        const bool released = g_lastArrayReleased == data;  // the output types' data, not the input-only
        if (released != (type >= 0x1802U))
            failures += std::fprintf(stderr, "DestroyItem of type 0x%x released its data: %d\n", type, released) > 0;
        if (!released)
            delete[] data;
    }
    if (DestroyItem(nullptr) != PDU_ERR_INVALID_PARAMETERS || HandleToString(PDU_HANDLE_UNDEF) != "PDU_HANDLE_UNDEF") {
        std::fprintf(stderr, "wrong result for a null item or the undefined handle\n");
        ++failures;
    }
    return failures == 0 ? 0 : 1;
}
