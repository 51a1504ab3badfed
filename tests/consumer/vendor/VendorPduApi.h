/* A vendor's D-PDU API header in the C style that many vendors ship: every value a macro,
   every type a typedef, records as untagged structs. pdulog builds against it in place of
   its own PduApi.h (-DPDULOG_PDU_API_HEADER=...). */
#ifndef VENDOR_PDU_API_H
#define VENDOR_PDU_API_H

typedef unsigned char UNUM8;
typedef signed char SNUM8;
typedef unsigned short UNUM16;
typedef signed short SNUM16;
typedef unsigned int UNUM32;
typedef signed int SNUM32;
typedef char CHAR8;

typedef UNUM32 T_PDU_ERROR;
typedef UNUM32 T_PDU_IT;
typedef UNUM32 T_PDU_PT;
typedef UNUM32 T_PDU_PC;
typedef UNUM32 T_PDU_CPST;
typedef UNUM32 T_PDU_ERR_EVT;
typedef UNUM32 T_PDU_INFO;
typedef UNUM32 T_PDU_STATUS;

#define PDU_STATUS_NOERROR 0x00000000U
#define PDU_ERR_FCT_FAILED 0x00000001U
#define PDU_ERR_INVALID_PARAMETERS 0x00000050U
#define PDU_HANDLE_UNDEF 0xFFFFFFFFUL

#define PDU_IT_IO_UNUM32 0x1000U
#define PDU_IT_IO_PROG_VOLTAGE 0x1001U
#define PDU_IT_IO_BYTEARRAY 0x1002U
#define PDU_IT_IO_FILTER 0x1003U
#define PDU_IT_IO_EVENT_QUEUE_PROPERTY 0x1004U
#define PDU_IT_RSC_STATUS 0x1100U
#define PDU_IT_PARAM 0x1200U
#define PDU_IT_RESULT 0x1300U
#define PDU_IT_STATUS 0x1301U
#define PDU_IT_ERROR 0x1302U
#define PDU_IT_INFO 0x1303U
#define PDU_IT_RSC_ID 0x1400U
#define PDU_IT_RSC_CONFLICT 0x1500U
#define PDU_IT_MODULE_ID 0x1600U
#define PDU_IT_UNIQUE_RESP_ID_TABLE 0x1700U
#define PDU_IT_IO_VEHICLE_ID_REQUEST 0x1800U
#define PDU_IT_IO_ETH_SWITCH_STATE 0x1801U
#define PDU_IT_IO_ENTITY_ADDRESS 0x1802U
#define PDU_IT_IO_ENTITY_STATUS 0x1803U

#define PDU_PT_UNUM8 0x0101U
#define PDU_PT_SNUM8 0x0102U
#define PDU_PT_UNUM16 0x0103U
#define PDU_PT_SNUM16 0x0104U
#define PDU_PT_UNUM32 0x0105U
#define PDU_PT_SNUM32 0x0106U
#define PDU_PT_BYTEFIELD 0x0107U
#define PDU_PT_STRUCTFIELD 0x0108U
#define PDU_PT_LONGFIELD 0x0109U

// A record a line, as a vendor's header lays them out: clang-format leaves them so.
// clang-format off
typedef struct { T_PDU_IT ItemType; } PDU_ITEM;
typedef struct { T_PDU_IT ItemType; void* pData; } PDU_DATA_ITEM;
typedef struct { T_PDU_IT ItemType; UNUM32 hCop; void* pCoPTag; UNUM32 Timestamp; void* pData; } PDU_EVENT_ITEM;
typedef struct { T_PDU_ERR_EVT ErrorCodeId; UNUM32 ExtraErrorInfoId; } PDU_ERROR_DATA;
typedef struct { T_PDU_INFO InfoCode; UNUM32 ExtraInfoData; } PDU_INFO_DATA;
typedef struct {
    T_PDU_IT ItemType;
    UNUM32 ComParamId;
    T_PDU_PT ComParamDataType;
    T_PDU_PC ComParamClass;
    void* pComParamData;
} PDU_PARAM_ITEM;
typedef struct { UNUM32 ParamMaxLen; UNUM32 ParamActLen; UNUM8* pDataArray; } PDU_PARAM_BYTEFIELD_DATA;
typedef struct { UNUM32 ParamMaxLen; UNUM32 ParamActLen; UNUM32* pDataArray; } PDU_PARAM_LONGFIELD_DATA;
typedef struct {
    T_PDU_CPST ComParamStructType;
    UNUM32 ParamMaxEntries;
    UNUM32 ParamActEntries;
    void* pStructArray;
} PDU_PARAM_STRUCTFIELD_DATA;
typedef struct { UNUM32 hMod; UNUM32 NumIds; UNUM32* pResourceIdArray; } PDU_RSC_ID_ITEM_DATA;
typedef struct { T_PDU_IT ItemType; UNUM32 NumModules; PDU_RSC_ID_ITEM_DATA* pResourceIdDataArray; } PDU_RSC_ID_ITEM;
typedef struct PDU_RSC_DATA_ PDU_RSC_DATA;
typedef struct { UNUM32 hMod; PDU_RSC_DATA* pRscData; } PDU_RSC_CONFLICT_DATA;
typedef struct { T_PDU_IT ItemType; UNUM32 NumEntries; PDU_RSC_CONFLICT_DATA* pRscConflictData; } PDU_RSC_CONFLICT_ITEM;
typedef struct {
    UNUM32 ModuleTypeId;
    UNUM32 hMod;
    CHAR8* pVendorModuleName;
    CHAR8* pVendorAdditionalInfo;
    T_PDU_STATUS ModuleStatus;
} PDU_MODULE_DATA;
typedef struct { T_PDU_IT ItemType; UNUM32 NumEntries; PDU_MODULE_DATA* pModuleData; } PDU_MODULE_ITEM;
typedef struct { UNUM32 UniqueRespIdentifier; UNUM32 NumParamItems; PDU_PARAM_ITEM* pParams; } PDU_ECU_UNIQUE_RESP_DATA;
typedef struct {
    T_PDU_IT ItemType;
    UNUM32 NumEntries;
    PDU_ECU_UNIQUE_RESP_DATA* pUniqueData;
} PDU_UNIQUE_RESP_ID_TABLE_ITEM;
typedef struct { UNUM32 hMod; UNUM32 ResourceId; UNUM32 ResourceStatus; } PDU_RSC_STATUS_DATA;
typedef struct { T_PDU_IT ItemType; UNUM32 NumEntries; PDU_RSC_STATUS_DATA* pResourceStatusData; } PDU_RSC_STATUS_ITEM;
// clang-format on

#endif
