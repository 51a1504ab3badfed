// For hosts: the class CLog (the level store, the vocabulary, records and where they go),
// the LL_ and LS_ names, and the macros PDULOG and CLOG_RECORD. What is in pdulog_detail,
// here and in detail/, is the library's own.
//
// The logging facility shared by the D-PDU API implementation and its tools: the level
// store (a file of 19 levels mapped by every process), the level and subsystem vocabulary,
// log records and their destination.
//
// A record's life. A site (PDULOG, CLOG_RECORD) first asks the gate, CLog::Enabled: a load
// of the level pointer, a null test, a load of the subsystem's slot in the mapped store and a
// compare; when it fails nothing else happens. Otherwise a CLog is made: it takes the
// thread's composer (a buffer and a stream the thread keeps, src/External/CLogRecord.cpp),
// reads the wall clock once, and runs the follow-ups that are due once a second (on the
// thread's first record of a second, a store that another file has replaced at its path is
// followed, so that the gate reads the levels the tool now writes; here, because a record is
// the only call a host makes all the time, and before the header, when nothing of the record
// is held). It writes the time, the level, the thread and, for a site, the place, line and
// function made at compile time; the site's insertions go straight into the text, or through
// the std::ostream when a manipulator or a host's operator<< is involved. The CLog's end adds
// the line end and hands the whole line to the sink (src/External/LogSink.cpp): the writer
// counts itself into the current stream, adopts the record's stream when there is none, and,
// for the init log, follows the log's path once a second by the clock at the write (a log
// deleted or rotated under the host is opened again at its path; a record that took long to
// compose must not go into a file rotated meanwhile). Then one write, with SIGPIPE held back
// on a pipe, and a capped init log rolls over when past its limit.
//
// Threads: records may be made from any number of threads at once (each thread composes in
// its own buffer, and a record reaches the sink in one write). The lifecycle and the moves
// of the sink (Init, OpenLevelStore, CloseLevelStore, UseExternalLevels,
// ReleaseExternalLevels, Shutdown, SetInitLogFile, SetPipe) may be called from any threads,
// also of several modules sharing one pdulog: they take one lock of the library's (never
// taken by the gate or a record), so that they end as if made one after another; other
// threads may go on logging meanwhile. A
// record in flight when the sink moves or closes reaches the old sink whole or is not
// written; no stream is written after the facility has closed it. A move waits for such
// records a bounded time (about a second): a writer still blocked then (a pipe nobody
// reads) keeps its stream, which is left open rather than closed under it. What the library
// cannot do is help a thread that is still inside a plugin's code when the host unloads the
// plugin: that is the host's to avoid.
#pragma once

#include "PdulogExport.h"
#include "detail/LevelSlots.h"
#include "detail/RecordStream.h"
#include "detail/SiteFunction.h"
#include "detail/SourcePlace.h"

#include <atomic>
#include <cstdint>
#include <cstdio>
#include <ostream>
#include <string>

// The eight levels, most severe first; a slot at LL_OFF lets no record through.
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

// The 19 subsystems, one slot of the level store each.
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

// Levels 0 to 7 and subsystems 0 to 18.
constexpr int kLogLevelCount = 8;
constexpr int kLogSubsystemCount = 19;

// A record is the rare way through a logging site: the gate is expected to fail, so that the
// compiler lays the record after the site's hot path, and the library's rare paths are cold
// and never inlined, so that the paths a record takes save fewer registers (GCC and Clang;
// other compilers get the plain code). A PDULOG site's start is not cold: the compiler would
// lay its work out for size.
#if defined(__GNUC__) || defined(__clang__)
#define PDULOG_RARELY(condition) __builtin_expect(!!(condition), 0)
#define PDULOG_COLD __attribute__((cold, noinline))
#else
#define PDULOG_RARELY(condition) (condition)
#define PDULOG_COLD
#endif

// One log record in the making. A logging site makes it a temporary behind the level gate
// (see PDULOG below); its destructor writes the line to the log sink and flushes.
class PDULOG_API CLog {
public:
    // Starts a record; `stream` becomes the log sink when none is set yet (stderr at every
    // logging site). Any thread.
    PDULOG_COLD explicit CLog(std::FILE* stream);
    // Starts a PDULOG site's record with its fields up to the text, in one call: `tail` is
    // what the site made at compile time (":place:line:function:"). Stream() is where the
    // site writes the rest; it takes the usual insertions straight into the record's text.
    CLog(std::FILE* stream, int level, const char* tail, std::size_t tailLength);
    // Writes the record as one line to the log sink and flushes it. Not noexcept: a thread
    // that the host cancels in the write leaves through it.
    virtual ~CLog() noexcept(false);
    CLog(const CLog&) = delete;
    CLog& operator=(const CLog&) = delete;

    // Appends the 12-character local time and the level text; returns the record stream.
    std::ostream& Header(int level, int subsystem);
    // Header, then the thread, place, line and function fields of a located record.
    std::ostream& Located(int level, int subsystem, const char* place, int line, const char* function);
    // Located, for the macros: the texts' lengths come from where they are written, and the
    // stream takes the usual insertions straight into the record's text.
    pdulog_detail::RecordStream& Site(int level, int subsystem, const char* place, std::size_t placeLength, int line,
                                      const char* function, std::size_t functionLength);
    // The record's stream, where the fields after the header go.
    pdulog_detail::RecordStream& Stream() const noexcept { return *m_stream; }

    // ---- level store and lifecycle: any thread, one call at a time (the library's lock) ----

    // Opens (or creates) the shared store, unless the host's array stands in; with initLog
    // the init log file in %TEMP% becomes the sink. False when no levels are available.
    static bool Init(bool initLog);
    // Opens, creates or pads DEBUG.CFG in the build's store folder under %APPDATA% (by
    // default Krelt\PDUAPI, see PdulogIdentity.h) and maps its 19 slots. False,
    // with a line on standard error, when that cannot be done.
    static bool OpenLevelStore();
    // Gives up the store's view, mapping and file; the gate lets nothing through afterwards.
    static void CloseLevelStore();
    // Uses the host's array of 19 levels instead of the store, until ReleaseExternalLevels.
    static void UseExternalLevels(int32_t* levels);
    static void ReleaseExternalLevels();
    // Releases the store and closes the log sink (a standard stream is only flushed): a
    // host's unload, a tool's exit. Init may start the facility again afterwards.
    static void Shutdown();

    // ---- levels of the open store: any thread, while the store is open ----

    // Reads one subsystem's level. False, with `level` untouched, when no store is open or
    // the subsystem is not 0 to 18.
    static bool GetLevel(int subsystem, int32_t& level);
    // Sets one subsystem's level (-1 for OFF to 7), seen at once by every process that maps
    // the store. False, with nothing written, when no store is open, an argument is out of
    // range or no file stands at the store's path (a file that replaced the store there is
    // followed first); false too when the store's file could no longer take the level.
    static bool SetLevel(int subsystem, int32_t level);

    // ---- vocabulary: any thread ----

    // The first level whose tag contains the text ("BUG" is DEBUG); otherwise a WARN record
    // and LL_DEBUG.
    static LogLevel LevelFromName(const std::string& name);
    // The subsystem named exactly; otherwise a WARN record and LS_GENERAL.
    static LogSubsystem SubsystemFromName(const std::string& name);
    // The look-ups of the two parsers, with nothing reported: false, with the result
    // untouched, for a name that a parser would replace by its default. ("" is ERROR.)
    static bool FindLevel(const std::string& name, LogLevel& level);
    static bool FindSubsystem(const std::string& name, LogSubsystem& subsystem);
    // The level tag for 0 to 7, "OFF" for -1, "Invalid Level" otherwise.
    static const char* LevelText(int level);
    // The subsystem's name for 0 to 18, nullptr otherwise.
    static const char* SubsystemText(int subsystem);

    // ---- destinations: any thread, one move at a time (the library's lock); others may log ----

    // The log file's path in %TEMP%; false when neither name can be expanded. On Windows the
    // path is in the ANSI code page, as it always was: a character that the code page cannot
    // hold (a folder named in Chinese on a Western Windows) comes out as '?', so such a path
    // names no file; the library itself still opens its files there.
    static bool GetLogFileName(std::string& path);
    // Makes the init log file the sink (truncated or appended to); returns the previous
    // sink for the caller to close, or nullptr.
    static std::FILE* SetInitLogFile(bool truncate);
    // Caps the init log of this process at `bytes` (0: no cap; the build's default is
    // PDULOG_INIT_LOG_LIMIT, see PdulogIdentity.h): past it the log rolls over into its
    // name with ".1" added, replacing the one before. No rollover comes within two seconds
    // of the last one, while other processes may still write into the rolled file, so a
    // log passes its cap by what is written in that time; a record is always written whole.
    // A log that cannot be renamed (a reader holds it on Windows) goes on growing rather
    // than lose a record.
    static void SetInitLogLimit(uint64_t bytes);
    // Makes the caller's stream the sink (nullptr: back to the init log file); returns the
    // previous sink for the caller to close, or nullptr. From then on the facility owns
    // `pipe`: Shutdown closes it, unless it is a standard stream.
    static std::FILE* SetPipe(std::FILE* pipe);

    // The level gate: the store is present and the subsystem's slot admits the level.
    // Every slot read goes to the shared memory, where other processes change it. The range
    // test folds away at every site that names its subsystem by a constant. Any thread.
    static bool Enabled(int level, int subsystem) noexcept
    {
        const int32_t* levels = s_levels.load(std::memory_order_relaxed);
        return levels != nullptr && static_cast<unsigned>(subsystem) < kLogSubsystemCount
               && pdulog_detail::ReadSlot(levels, subsystem) >= level;
    }

    // The 19 slots: the mapped store, the host's array, or nullptr while none is available.
    // Read a slot with GetLevel (or the gate), set one with SetLevel: other threads and
    // other processes change them at any moment. Any thread.
    static int32_t* Levels() noexcept { return s_levels.load(std::memory_order_relaxed); }

    // The pointer behind Levels(). Public so that the gate inlines at every site; one per
    // process, also when the library is a shared object or DLL.
    static std::atomic<int32_t*> s_levels;

private:
    pdulog_detail::RecordComposer* m_composer;  // the thread's own, or one of this record's
    pdulog_detail::RecordStream* m_stream;      // its stream
};

// A gated record at a logging site. When the gate fails, nothing after it is evaluated:
// no clock, no object, no formatting, and the log sink is left alone.
//   CLOG_RECORD(LL_INFO, LS_GENERAL, place, 452, "CLog::Shutdown") << "Closing log file";
#define CLOG_RECORD(level, subsystem, place, line, function)                                                        \
    if (!PDULOG_RARELY(CLog::Enabled((level), (subsystem)))) {                                                      \
    } else                                                                                                          \
        CLog(stderr).Site((level), (subsystem), (place), std::char_traits<char>::length(place), (line), (function), \
                          std::char_traits<char>::length(function))

// Sites more verbose than this level compile to nothing (define it before including this
// header, e.g. -DPDULOG_ACTIVE_LEVEL=LL_INFO for a release build). Default: every level.
#ifndef PDULOG_ACTIVE_LEVEL
#define PDULOG_ACTIVE_LEVEL LL_DEBUG3
#endif

namespace pdulog_detail {
// What a logging site's records carry after the thread field, made at compile time:
// ":place:line:function:".
template <std::size_t F, std::size_t P>
struct Site {
    constexpr Site(const char (&file)[F], const char (&pretty)[P], int line)
    {
        const SourcePlace<F> place(file);
        const SiteFunction<P> function(pretty);
        tail[length++] = ':';
        for (std::size_t i = 0; i < place.size(); ++i)
            tail[length++] = place.c_str()[i];
        tail[length++] = ':';
        char digits[12] = {};
        std::size_t count = 0;
        auto number = static_cast<unsigned>(line);  // __LINE__: 1 and up
        do {
            digits[count++] = static_cast<char>('0' + number % 10);
            number /= 10;
        } while (number != 0);
        while (count > 0)
            tail[length++] = digits[--count];
        tail[length++] = ':';
        for (std::size_t i = 0; i < function.size(); ++i)
            tail[length++] = function.c_str()[i];
        tail[length++] = ':';
    }
    char tail[F + P + 32] = {};
    std::size_t length = 0;
};
}  // namespace pdulog_detail

// A logging site in one line: the gate first, as CLOG_RECORD, with the place, line and
// function filled in. Any thread.
//   PDULOG(LL_INFO, LS_COMMS) << "connected to " << id;
#if defined(_MSC_VER) && !defined(__clang__)
#define PDULOG_SIGNATURE __FUNCSIG__  // "void __cdecl Link::Poll(int)"
#else
#define PDULOG_SIGNATURE __PRETTY_FUNCTION__
#endif
#define PDULOG(level, subsystem)                                                                         \
    if (static constexpr ::pdulog_detail::Site<sizeof(__FILE__), sizeof(PDULOG_SIGNATURE)> pdulog_site_( \
            __FILE__, PDULOG_SIGNATURE, __LINE__);                                                       \
        (level) > PDULOG_ACTIVE_LEVEL || !PDULOG_RARELY(CLog::Enabled((level), (subsystem)))) {          \
    } else                                                                                               \
        CLog(stderr, (level), pdulog_site_.tail, pdulog_site_.length).Stream()
