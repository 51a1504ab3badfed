// The D-PDU API (ISO 22900-2) types and values that the support library works with, written
// from the standard's field lists. Every 32-bit field holds any 32-bit value: types and
// enumerations are plain unsigned integers, and the named values are constants.
// Plain data: no functions, no state; the records are owned and released as DestroyItem says.
#pragma once

#include <cstdint>

typedef uint8_t UNUM8;
typedef int8_t SNUM8;
typedef uint16_t UNUM16;
typedef int16_t SNUM16;
typedef uint32_t UNUM32;
typedef int32_t SNUM32;
typedef char CHAR8;

typedef UNUM32 T_PDU_ERROR;    // result codes
typedef UNUM32 T_PDU_IT;       // item types
typedef UNUM32 T_PDU_PT;       // ComParam data types
typedef UNUM32 T_PDU_PC;       // ComParam classes
typedef UNUM32 T_PDU_CPST;     // ComParam struct types
typedef UNUM32 T_PDU_ERR_EVT;  // error-event codes
typedef UNUM32 T_PDU_INFO;     // information codes
typedef UNUM32 T_PDU_STATUS;   // ComPrimitive, ComLogicalLink and module states

// Result codes that the library returns.
enum : T_PDU_ERROR {
    PDU_STATUS_NOERROR = 0x0000,
    PDU_ERR_FCT_FAILED = 0x0001,
    PDU_ERR_INVALID_PARAMETERS = 0x0050,
};

// The handle that stands for no object.
enum : UNUM32 {
    PDU_HANDLE_UNDEF = 0xFFFFFFFF,
};

// Item types: the first field of every item record.
enum : T_PDU_IT {
    PDU_IT_IO_UNUM32 = 0x1000,
    PDU_IT_IO_PROG_VOLTAGE = 0x1001,
    PDU_IT_IO_BYTEARRAY = 0x1002,
    PDU_IT_IO_FILTER = 0x1003,
    PDU_IT_IO_EVENT_QUEUE_PROPERTY = 0x1004,
    PDU_IT_RSC_STATUS = 0x1100,
    PDU_IT_PARAM = 0x1200,
    PDU_IT_RESULT = 0x1300,
    PDU_IT_STATUS = 0x1301,
    PDU_IT_ERROR = 0x1302,
    PDU_IT_INFO = 0x1303,
    PDU_IT_RSC_ID = 0x1400,
    PDU_IT_RSC_CONFLICT = 0x1500,
    PDU_IT_MODULE_ID = 0x1600,
    PDU_IT_UNIQUE_RESP_ID_TABLE = 0x1700,
    PDU_IT_IO_VEHICLE_ID_REQUEST = 0x1800,
    PDU_IT_IO_ETH_SWITCH_STATE = 0x1801,
    PDU_IT_IO_ENTITY_ADDRESS = 0x1802,
    PDU_IT_IO_ENTITY_STATUS = 0x1803,
};

// ComParam data types: what pComParamData of a parameter item points at.
enum : T_PDU_PT {
    PDU_PT_UNUM8 = 0x0101,
    PDU_PT_SNUM8 = 0x0102,
    PDU_PT_UNUM16 = 0x0103,
    PDU_PT_SNUM16 = 0x0104,
    PDU_PT_UNUM32 = 0x0105,
    PDU_PT_SNUM32 = 0x0106,
    PDU_PT_BYTEFIELD = 0x0107,
    PDU_PT_STRUCTFIELD = 0x0108,
    PDU_PT_LONGFIELD = 0x0109,
};

// Every item record begins with its type.
struct PDU_ITEM {
    T_PDU_IT ItemType;
};

// PDU_IT_IO_* items.
struct PDU_DATA_ITEM {
    T_PDU_IT ItemType;
    void* pData;
};

// PDU_IT_RESULT, PDU_IT_STATUS, PDU_IT_ERROR and PDU_IT_INFO items.
struct PDU_EVENT_ITEM {
    T_PDU_IT ItemType;
    UNUM32 hCop;
    void* pCoPTag;
    UNUM32 Timestamp;
    void* pData;
};

// What pData of a PDU_IT_ERROR item points at.
struct PDU_ERROR_DATA {
    T_PDU_ERR_EVT ErrorCodeId;
    UNUM32 ExtraErrorInfoId;
};

// What pData of a PDU_IT_INFO item points at.
struct PDU_INFO_DATA {
    T_PDU_INFO InfoCode;
    UNUM32 ExtraInfoData;
};

// PDU_IT_PARAM items, and the parameters of a unique-response-id table.
struct PDU_PARAM_ITEM {
    T_PDU_IT ItemType;
    UNUM32 ComParamId;
    T_PDU_PT ComParamDataType;
    T_PDU_PC ComParamClass;
    void* pComParamData;
};

// The value of a PDU_PT_BYTEFIELD parameter.
struct PDU_PARAM_BYTEFIELD_DATA {
    UNUM32 ParamMaxLen;
    UNUM32 ParamActLen;
    UNUM8* pDataArray;
};

// The value of a PDU_PT_LONGFIELD parameter.
struct PDU_PARAM_LONGFIELD_DATA {
    UNUM32 ParamMaxLen;
    UNUM32 ParamActLen;
    UNUM32* pDataArray;
};

// The value of a PDU_PT_STRUCTFIELD parameter.
struct PDU_PARAM_STRUCTFIELD_DATA {
    T_PDU_CPST ComParamStructType;
    UNUM32 ParamMaxEntries;
    UNUM32 ParamActEntries;
    void* pStructArray;
};

// The resource ids of one module, in a PDU_RSC_ID_ITEM.
struct PDU_RSC_ID_ITEM_DATA {
    UNUM32 hMod;
    UNUM32 NumIds;
    UNUM32* pResourceIdArray;
};

// PDU_IT_RSC_ID items.
struct PDU_RSC_ID_ITEM {
    T_PDU_IT ItemType;
    UNUM32 NumModules;
    PDU_RSC_ID_ITEM_DATA* pResourceIdDataArray;
};

struct PDU_RSC_DATA;  // a resource's description; never looked into here

// One conflicting resource, in a PDU_RSC_CONFLICT_ITEM.
struct PDU_RSC_CONFLICT_DATA {
    UNUM32 hMod;
    PDU_RSC_DATA* pRscData;
};

// PDU_IT_RSC_CONFLICT items.
struct PDU_RSC_CONFLICT_ITEM {
    T_PDU_IT ItemType;
    UNUM32 NumEntries;
    PDU_RSC_CONFLICT_DATA* pRscConflictData;
};

// One module, in a PDU_MODULE_ITEM.
struct PDU_MODULE_DATA {
    UNUM32 ModuleTypeId;
    UNUM32 hMod;
    CHAR8* pVendorModuleName;      // from the C allocator, or null
    CHAR8* pVendorAdditionalInfo;  // from the C allocator, or null
    T_PDU_STATUS ModuleStatus;
};

// PDU_IT_MODULE_ID items.
struct PDU_MODULE_ITEM {
    T_PDU_IT ItemType;
    UNUM32 NumEntries;
    PDU_MODULE_DATA* pModuleData;
};

// One ECU's unique response id and its parameters, in a PDU_UNIQUE_RESP_ID_TABLE_ITEM.
struct PDU_ECU_UNIQUE_RESP_DATA {
    UNUM32 UniqueRespIdentifier;
    UNUM32 NumParamItems;
    PDU_PARAM_ITEM* pParams;
};

// PDU_IT_UNIQUE_RESP_ID_TABLE items.
struct PDU_UNIQUE_RESP_ID_TABLE_ITEM {
    T_PDU_IT ItemType;
    UNUM32 NumEntries;
    PDU_ECU_UNIQUE_RESP_DATA* pUniqueData;
};

// The status of one resource, in a PDU_RSC_STATUS_ITEM.
struct PDU_RSC_STATUS_DATA {
    UNUM32 hMod;
    UNUM32 ResourceId;
    UNUM32 ResourceStatus;
};

// PDU_IT_RSC_STATUS items: input only; nothing past the type is released.
struct PDU_RSC_STATUS_ITEM {
    T_PDU_IT ItemType;
    UNUM32 NumEntries;
    PDU_RSC_STATUS_DATA* pResourceStatusData;
};
