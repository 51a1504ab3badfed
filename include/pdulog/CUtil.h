// For hosts: every name declared here; detail/ItemLayout.h is the library's own.
//
// Utilities of the D-PDU API support library: process helpers, the name tables of the
// standard's enumerations, item release and value formatting. Every function here may be
// called from any thread; none keeps state of its own.
#pragma once

#include "PdulogExport.h"
#include "PdulogPduApi.h"  // generated: PduApi.h, or the vendor's header named at build time
#include "detail/ItemLayout.h"

#include <cstddef>
#include <cstdint>
#include <map>
#include <string>
#include <thread>

// ---- name tables: enumeration value -> the standard's name; read-only after start-up ----
// Look values up with find (or EnumToString), never with operator[], which would insert.
extern PDULOG_API const std::map<uint32_t, const char*> ComParamClassNames;
extern PDULOG_API const std::map<uint32_t, const char*> ComPrimitiveTypeNames;
extern PDULOG_API const std::map<uint32_t, const char*> ErrorEventNames;
extern PDULOG_API const std::map<uint32_t, const char*> ErrorNames;
extern PDULOG_API const std::map<uint32_t, const char*> EventNames;
extern PDULOG_API const std::map<uint32_t, const char*> FilterTypeNames;
extern PDULOG_API const std::map<uint32_t, const char*> InfoNames;
extern PDULOG_API const std::map<uint32_t, const char*> ItemTypeNames;
extern PDULOG_API const std::map<uint32_t, const char*> ObjectTypeNames;
extern PDULOG_API const std::map<uint32_t, const char*> StatusNames;
extern PDULOG_API const std::map<uint32_t, const char*> ParamTypeNames;

// ---- item release ----
// Releases an item that the D-PDU API handed out, with everything it owns. PDU_ERR_INVALID_
// PARAMETERS for a null item, PDU_STATUS_NOERROR otherwise; the item is gone afterwards.
// Each part must come from the allocation form its release uses, or the heap is corrupted:
// - the item record: single-object new of its own record type (or ::operator new), released
//   as plain storage whatever its type;
// - pData of the result item and of the IO items that are not input-only, pDataArray and
//   pStructArray of field values, and every array behind a count (pResourceIdDataArray and
//   each pResourceIdArray, pRscConflictData, pModuleData, pUniqueData and each pParams):
//   array new of trivially destructible elements;
// - pData of status, error and info items, pComParamData of every parameter: single-object
//   new of exactly the value's type (UNUM8, UNUM16 or UNUM32 by the data type; the field
//   record for field types);
// - the module texts pVendorModuleName and pVendorAdditionalInfo: the C allocator (malloc,
//   strdup), or null.
// Nothing else is released: pCoPTag, pRscData and whatever result data points to stay the
// owner's. Input-only items (IO_FILTER, IO_EVENT_QUEUE_PROPERTY, IO_VEHICLE_ID_REQUEST,
// IO_ETH_SWITCH_STATE, RSC_STATUS) and unknown types lose only their record.
PDULOG_API T_PDU_ERROR DestroyItem(PDU_ITEM* pItem);
// Releases the value behind one parameter item (not the item itself); the same results.
PDULOG_API T_PDU_ERROR DestroyParamData(PDU_PARAM_ITEM* pParam);

// ---- formatting ----
// The value's name in the table, or the value in unsigned decimal.
PDULOG_API std::string EnumToString(const std::map<uint32_t, const char*>& table, uint32_t value);
// "PDU_HANDLE_UNDEF", or the handle as 0x and eight lowercase hexadecimal digits
// (ten zeros for handle 0).
PDULOG_API std::string HandleToString(uint32_t handle);

namespace Util {

namespace Process {
// For a program that owns its process (a command-line tool), never for a library inside a
// host: from then on a write to a pipe without a reader or past a file-size limit fails
// with an error the program can report, instead of raising SIGPIPE or SIGXFSZ, which would
// end it. It sets the disposition of both signals for the whole process (POSIX: ignored;
// Windows raises neither). Call it at the start, before other threads are made.
PDULOG_API void ReportWriteFailuresAsErrors();
}  // namespace Process

namespace Env {
// Expands %NAME% references; an undefined reference stays as it is. True when the result
// is not empty. On Windows the text in and out is in the ANSI code page: a character of a
// value that the code page cannot hold (a folder named in Chinese on a Western Windows)
// comes out as '?', so such a path names no file.
PDULOG_API bool Expand(const std::string& text, std::string& result);
}  // namespace Env

namespace Time {
// Time since system start in microseconds, at millisecond resolution.
PDULOG_API uint64_t GetTickCountUs();
}  // namespace Time

namespace Thread {
// 0 asks for normal priority, 1 for time-critical; anything else is reported and normal.
// False, with a record of the platform's error code, when the system refuses.
PDULOG_API bool SetPriority(std::thread& thread, int32_t priority);
}  // namespace Thread

namespace Date {
// The month (1 to 12) of the build-date abbreviation at pos; 0, with "Unknown month" on
// the standard error stream, when it is not one or the text is too short.
PDULOG_API uint8_t MonthFromName(std::string text, unsigned pos);
// The week of the year (0 to 52) of a build-date text, counted in a common year.
PDULOG_API uint8_t WeekOfYear(std::string text, unsigned monthPos, unsigned dayPos);
}  // namespace Date

}  // namespace Util
