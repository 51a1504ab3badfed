// The logging facility shared by the D-PDU API implementation and its tools: the level
// store (a file of 19 levels mapped by every process), the level and subsystem vocabulary,
// log records and their destination.
#pragma once

#include <cstdint>
#include <cstdio>
#include <ostream>
#include <string>

enum LogLevel : int32_t {
    LL_OFF = -1,
    LL_ERROR = 0,
    LL_WARN = 1,
    LL_NOTICE = 2,
    LL_INFO = 3,
    LL_DEBUG = 4,
    LL_DEBUG1 = 5,
    LL_DEBUG2 = 6,
    LL_DEBUG3 = 7,
};

enum LogSubsystem : int32_t {
    LS_GENERAL = 0,
    LS_APP,
    LS_MODULE,
    LS_CLL,
    LS_COP,
    LS_TSTRPRS,
    LS_COMPARAM,
    LS_COMMS,
    LS_VCI,
    LS_VEHTX,
    LS_VEHRX,
    LS_PRTCL,
    LS_PRTCLPHY,
    LS_PRTCLTRANS,
    LS_PRTCLAPP,
    LS_USER1,
    LS_EXCEPT,
    LS_DATA,
    LS_TIMER,
};

constexpr int kLogLevelCount = 8;
constexpr int kLogSubsystemCount = 19;

namespace pdulog_detail {
class RecordComposer;  // a record's text and the stream that writes into it
}

// One log record in the making. A logging site makes it a temporary behind the level gate
// (see CLOG_RECORD below); its destructor writes the line to the log sink and flushes.
class CLog {
public:
    explicit CLog(std::FILE* stream);
    virtual ~CLog();
    CLog(const CLog&) = delete;
    CLog& operator=(const CLog&) = delete;

    // Appends the 12-character local time and the level text; returns the record stream.
    std::ostream& Header(int level, int subsystem);
    // Header, then the thread, place, line and function fields of a located record.
    std::ostream& Located(int level, int subsystem, const char* place, int line, const char* function);

    // ---- level store and lifecycle ----
    static bool Init(bool initLog);
    static bool OpenLevelStore();
    static void CloseLevelStore();
    static void UseExternalLevels(int32_t* levels);
    static void ReleaseExternalLevels();
    static void Shutdown();

    // ---- vocabulary ----
    static LogLevel LevelFromName(const std::string& name);
    static LogSubsystem SubsystemFromName(const std::string& name);
    // The level tag for 0 to 7, "OFF" for -1, "Invalid Level" otherwise.
    static const char* LevelText(int level);
    // The subsystem's name for 0 to 18, nullptr otherwise.
    static const char* SubsystemText(int subsystem);

    // ---- destinations ----
    static bool GetLogFileName(std::string& path);
    static std::FILE* SetInitLogFile(bool truncate);
    static std::FILE* SetPipe(std::FILE* pipe);

    // The level gate: the store is present and the subsystem's slot admits the level.
    // Every slot read goes to the shared memory, where other processes change it. The range
    // test folds away at every site that names its subsystem by a constant.
    static bool Enabled(int level, int subsystem) noexcept
    {
        const volatile int32_t* levels = s_levels;
        return levels != nullptr && static_cast<unsigned>(subsystem) < kLogSubsystemCount
               && levels[subsystem] >= level;
    }

    // The 19 slots: the mapped store, the host's array, or nullptr while none is available.
    static inline int32_t* s_levels = nullptr;

private:
    pdulog_detail::RecordComposer* m_composer;  // the thread's own, or one of this record's

    static std::FILE* s_sink;
    static bool s_initLog;
};

// A gated record at a logging site. When the gate fails, nothing after it is evaluated:
// no clock, no object, no formatting, and the log sink is left alone.
//   CLOG_RECORD(LL_INFO, LS_GENERAL, place, 452, "CLog::Shutdown") << "Closing log file";
#define CLOG_RECORD(level, subsystem, place, line, function)  \
    if (!CLog::Enabled((level), (subsystem))) {               \
    } else                                                    \
        CLog(stderr).Located((level), (subsystem), (place), (line), (function))
