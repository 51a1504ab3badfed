// Internal to pdulog, not for hosts: the checks that the D-PDU API header a build uses lays
// out its items as the release expects (CUtil.h includes it after that header).
#pragma once

#include <cstddef>
#include <cstdint>

// A vendor may build the library against its own copy of the standard's header: its names
// may be macros or enumerations, typedefs or tags, but the release follows counts and
// pointers at fixed places and frees objects of fixed sizes. A header that spells a 32-bit
// number `unsigned long` (64 bits on 64-bit Linux), or packs a record, would have it free
// the wrong memory: it must not compile. These are the records of the field lists, with
// 32-bit numbers and native pointers.
namespace pdulog_detail::layout {
// A record a line: clang-format leaves them so.
// clang-format off
struct Item { uint32_t type; };
struct DataItem { uint32_t type; void* data; };
struct EventItem { uint32_t type, cop; void* tag; uint32_t time; void* data; };
struct CodeData { uint32_t code, extra; };  // error and info data
struct ParamItem { uint32_t type, id, dataType, paramClass; void* data; };
struct FieldData { uint32_t max, actual; void* array; };  // byte and long fields
struct StructFieldData { uint32_t structType, max, actual; void* array; };
struct CountedItem { uint32_t type, count; void* array; };   // resource ids, conflicts, modules, tables
struct CountedEntry { uint32_t id, count; void* array; };    // a module's ids, an ECU's parameters
struct ModuleData { uint32_t typeId, module; char* name; char* info; uint32_t status; };
// clang-format on
}  // namespace pdulog_detail::layout

// The checks compare the sizes of pointer fields on purpose.
// NOLINTBEGIN(bugprone-sizeof-expression)
#define PDULOG_LAYOUT_SIZE(type, reference)                                 \
    static_assert(sizeof(type) == sizeof(pdulog_detail::layout::reference), \
                  "D-PDU API header: sizeof(" #type ") differs")
#define PDULOG_LAYOUT_FIELD(type, field, reference, as)                                       \
    static_assert(offsetof(type, field) == offsetof(pdulog_detail::layout::reference, as)     \
                      && sizeof(type::field) == sizeof(pdulog_detail::layout::reference::as), \
                  "D-PDU API header: " #type "::" #field " differs in place or size")
static_assert(sizeof(UNUM8) == 1 && sizeof(UNUM16) == 2, "D-PDU API header: UNUM8 or UNUM16 differs");
static_assert(sizeof(UNUM32) == 4, "D-PDU API header: UNUM32 is not 32 bits");
static_assert(sizeof(T_PDU_ERROR) == 4, "D-PDU API header: T_PDU_ERROR is not 32 bits");
static_assert(sizeof(T_PDU_IT) == 4, "D-PDU API header: T_PDU_IT is not 32 bits");
static_assert(sizeof(T_PDU_PT) == 4, "D-PDU API header: T_PDU_PT is not 32 bits");
PDULOG_LAYOUT_SIZE(PDU_ITEM, Item);
PDULOG_LAYOUT_FIELD(PDU_ITEM, ItemType, Item, type);
PDULOG_LAYOUT_FIELD(PDU_DATA_ITEM, pData, DataItem, data);
PDULOG_LAYOUT_SIZE(PDU_EVENT_ITEM, EventItem);
PDULOG_LAYOUT_FIELD(PDU_EVENT_ITEM, pData, EventItem, data);
PDULOG_LAYOUT_SIZE(PDU_ERROR_DATA, CodeData);
PDULOG_LAYOUT_SIZE(PDU_INFO_DATA, CodeData);
PDULOG_LAYOUT_SIZE(PDU_PARAM_ITEM, ParamItem);
PDULOG_LAYOUT_FIELD(PDU_PARAM_ITEM, ComParamDataType, ParamItem, dataType);
PDULOG_LAYOUT_FIELD(PDU_PARAM_ITEM, pComParamData, ParamItem, data);
PDULOG_LAYOUT_SIZE(PDU_PARAM_BYTEFIELD_DATA, FieldData);
PDULOG_LAYOUT_FIELD(PDU_PARAM_BYTEFIELD_DATA, pDataArray, FieldData, array);
PDULOG_LAYOUT_SIZE(PDU_PARAM_LONGFIELD_DATA, FieldData);
PDULOG_LAYOUT_FIELD(PDU_PARAM_LONGFIELD_DATA, pDataArray, FieldData, array);
PDULOG_LAYOUT_SIZE(PDU_PARAM_STRUCTFIELD_DATA, StructFieldData);
PDULOG_LAYOUT_FIELD(PDU_PARAM_STRUCTFIELD_DATA, pStructArray, StructFieldData, array);
PDULOG_LAYOUT_FIELD(PDU_RSC_ID_ITEM, NumModules, CountedItem, count);
PDULOG_LAYOUT_FIELD(PDU_RSC_ID_ITEM, pResourceIdDataArray, CountedItem, array);
PDULOG_LAYOUT_SIZE(PDU_RSC_ID_ITEM_DATA, CountedEntry);
PDULOG_LAYOUT_FIELD(PDU_RSC_ID_ITEM_DATA, pResourceIdArray, CountedEntry, array);
PDULOG_LAYOUT_FIELD(PDU_RSC_CONFLICT_ITEM, NumEntries, CountedItem, count);
PDULOG_LAYOUT_FIELD(PDU_RSC_CONFLICT_ITEM, pRscConflictData, CountedItem, array);
PDULOG_LAYOUT_FIELD(PDU_MODULE_ITEM, NumEntries, CountedItem, count);
PDULOG_LAYOUT_FIELD(PDU_MODULE_ITEM, pModuleData, CountedItem, array);
PDULOG_LAYOUT_SIZE(PDU_MODULE_DATA, ModuleData);
PDULOG_LAYOUT_FIELD(PDU_MODULE_DATA, pVendorModuleName, ModuleData, name);
PDULOG_LAYOUT_FIELD(PDU_MODULE_DATA, pVendorAdditionalInfo, ModuleData, info);
PDULOG_LAYOUT_FIELD(PDU_UNIQUE_RESP_ID_TABLE_ITEM, NumEntries, CountedItem, count);
PDULOG_LAYOUT_FIELD(PDU_UNIQUE_RESP_ID_TABLE_ITEM, pUniqueData, CountedItem, array);
PDULOG_LAYOUT_SIZE(PDU_ECU_UNIQUE_RESP_DATA, CountedEntry);
PDULOG_LAYOUT_FIELD(PDU_ECU_UNIQUE_RESP_DATA, NumParamItems, CountedEntry, count);
PDULOG_LAYOUT_FIELD(PDU_ECU_UNIQUE_RESP_DATA, pParams, CountedEntry, array);
#undef PDULOG_LAYOUT_SIZE
#undef PDULOG_LAYOUT_FIELD
// NOLINTEND(bugprone-sizeof-expression)
