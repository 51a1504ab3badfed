// The facility's start and shut-down, its lifecycle lock, and the moves of the log sink.
#include <pdulog/CLog.h>

#include "LevelStore.h"
#include "Lifecycle.h"
#include "LogRollover.h"
#include "LogSink.h"
#include "PdulogIdentity.h"
#include "Platform/Platform.h"
#include <pdulog/detail/SourcePlace.h>

#include <mutex>
#include <new>
#include <string>

namespace Platform = pdulog_detail::Platform;

namespace {

constexpr auto kPlace = pdulog_detail::LibraryPlace(__FILE__);

constexpr char kTempFolder[] = "%TEMP%\\";
constexpr char kLogFile[] = PDULOG_LOG_FILE;
constexpr char kLogFileFallback[] = PDULOG_LOG_FILE_FALLBACK;
constexpr char kInitLogFile[] = PDULOG_INIT_LOG_FILE;
constexpr char kInitLogFileFallback[] = PDULOG_INIT_LOG_FILE_FALLBACK;

// The line field of each of the facility's records: people grep their logs for these.
constexpr int kLineClosingInitLog = 452;
constexpr int kLineClosingLog = 454;
constexpr int kLineNoInitLogPath = 289;
constexpr int kLineRedirecting = 302;
constexpr int kLineInitLogOpenFailed = 309;
constexpr int kLineLeavingInitLog = 481;
constexpr int kLineReturningToInitLog = 491;

// Modules that share a pdulog start and stop it from threads of their own, and cannot agree
// among themselves on one thread at a time: every start, stop and move of the sink takes
// this lock, so that any interleaving ends as some serial order of the same calls would.
// The gate and the records never take it. (Recursive: Init opens the store, SetPipe starts
// the init log.)
std::recursive_mutex g_lifecycle;
using pdulog_detail::LifecycleLock;

// A shared pdulog is one facility for every module of the process that starts it: it stays
// up until the last of them stops it, so one plugin's unload does not silence the others.
// A failed start is no start. A static copy belongs to its own module: Shutdown stops it.
#if PDULOG_SHARED_LIBRARY && !defined(PDULOG_STATIC_DEFINE)
constexpr bool kCountStarts = true;
#else
constexpr bool kCountStarts = false;
#endif
int g_starts = 0;

using pdulog_detail::LogSink::Previous;

// Makes the init log file the sink; what it replaces is closed or handed back.
std::FILE* StartInitLog(Platform::LogOpening opening, Previous previous)
{
    std::string path;
    if (!Platform::ExpandPath(std::string(kTempFolder) + kInitLogFile, path)) {
        const std::string fallback = std::string(kTempFolder) + kInitLogFileFallback;
        if (!Platform::ExpandPath(fallback, path)) {
            CLOG_RECORD(LL_NOTICE, LS_GENERAL, kPlace.c_str(), kLineNoInitLogPath, "CLog::SetInitLogFile")
                << "Failed to re-direct to init log file: " << fallback;
            return nullptr;
        }
    }
    bool initLog = false;
    const std::FILE* current = pdulog_detail::LogSink::Current(initLog);
    if (current != nullptr && initLog && pdulog_detail::LogSink::InitLogStillOpen())
        return nullptr;  // already the sink: neither reopened nor truncated
    std::FILE* file = Platform::OpenLogStream(path, opening);
    if (file == nullptr) {
        CLOG_RECORD(LL_NOTICE, LS_GENERAL, kPlace.c_str(), kLineInitLogOpenFailed, "CLog::SetInitLogFile")
            << "Failed to re-direct to init log file: " << Platform::PublicText(path);
        return nullptr;
    }
    if (current != nullptr) {
        CLOG_RECORD(LL_INFO, LS_GENERAL, kPlace.c_str(), kLineRedirecting, "CLog::SetInitLogFile")
            << "Re-directing to init log file: " << Platform::PublicText(path);
    }
    return pdulog_detail::LogSink::Move(file, path.c_str(), previous);
}

}  // namespace

std::recursive_mutex& pdulog_detail::LifecycleMutex() { return g_lifecycle; }

namespace {

// A host may fork at any moment, from any thread, and its child may start, log, set levels,
// move the sink and stop: the library's locks are taken in the order they nest before the
// fork, so that none is copied into the child held by a thread the child does not have.
// Each is held for a bounded time (a move waits for its writers a second at most).
void BeforeFork()
{
    g_lifecycle.lock();
    pdulog_detail::LogSink::BeforeFork();
}

void ParentAfterFork()
{
    pdulog_detail::LogSink::AfterForkInParent();
    g_lifecycle.unlock();
}

void ChildAfterFork()
{
    pdulog_detail::LogSink::AfterForkInChild();
    pdulog_detail::ComposerAfterForkInChild();
    new (&g_lifecycle) std::recursive_mutex();  // its owner's thread id is not the child's
}

// Once per load of the module, never per start.
const bool g_forkHandled = (Platform::AtFork(BeforeFork, ParentAfterFork, ChildAfterFork), true);

}  // namespace

// ---- level store and lifecycle ---------------------------------------------------------

bool CLog::Init(bool initLog)
{
    const LifecycleLock lock(g_lifecycle);
    const bool available = pdulog_detail::LevelStore::Open();
    // A sink the host handed over earlier (a plugin started again) is closed, not dropped.
    if (available && initLog)
        StartInitLog(Platform::LogOpening::kEmptyFirst, Previous::kClose);
    if (kCountStarts && available)
        ++g_starts;
    return available;
}

bool CLog::OpenLevelStore()
{
    const LifecycleLock lock(g_lifecycle);
    return pdulog_detail::LevelStore::Open();
}

void CLog::CloseLevelStore()
{
    const LifecycleLock lock(g_lifecycle);
    pdulog_detail::LevelStore::Close();
}

void CLog::UseExternalLevels(int32_t* levels)
{
    const LifecycleLock lock(g_lifecycle);
    pdulog_detail::LevelStore::UseExternal(levels);
}

void CLog::ReleaseExternalLevels()
{
    const LifecycleLock lock(g_lifecycle);
    pdulog_detail::LevelStore::ReleaseExternal();
}

void CLog::Shutdown()
{
    const LifecycleLock lock(g_lifecycle);
    if (kCountStarts && g_starts > 1) {
        --g_starts;
        return;
    }
    g_starts = 0;
    CloseLevelStore();
    bool initLog = false;
    if (pdulog_detail::LogSink::Current(initLog) == nullptr && !initLog)
        return;
    // With the facility's own store the gate fails here: the store was just released.
    if (initLog) {
        CLOG_RECORD(LL_INFO, LS_GENERAL, kPlace.c_str(), kLineClosingInitLog, "CLog::Shutdown")
            << "Closing init log file";
    } else {
        CLOG_RECORD(LL_INFO, LS_GENERAL, kPlace.c_str(), kLineClosingLog, "CLog::Shutdown") << "Closing log file";
    }
    pdulog_detail::LogSink::Move(nullptr, nullptr, Previous::kClose);
}

// ---- destinations ----------------------------------------------------------------------

bool CLog::GetLogFileName(std::string& path)
{
    std::string own;
    const bool expanded = Platform::ExpandPath(std::string(kTempFolder) + kLogFile, own)
                          || Platform::ExpandPath(std::string(kTempFolder) + kLogFileFallback, own);
    path = Platform::PublicText(own);
    return expanded;
}

std::FILE* CLog::SetInitLogFile(bool truncate)
{
    const LifecycleLock lock(g_lifecycle);
    const auto opening = truncate ? Platform::LogOpening::kEmptyFirst : Platform::LogOpening::kAppend;
    return StartInitLog(opening, Previous::kHandBack);
}

void CLog::SetInitLogLimit(uint64_t bytes) { pdulog_detail::LogRollover::SetLimit(bytes); }

std::FILE* CLog::SetPipe(std::FILE* pipe)
{
    const LifecycleLock lock(g_lifecycle);
    bool initLog = false;
    const std::FILE* current = pdulog_detail::LogSink::Current(initLog);
    if (pipe == nullptr) {
        if (current != nullptr && !initLog) {
            CLOG_RECORD(LL_INFO, LS_GENERAL, kPlace.c_str(), kLineReturningToInitLog, "CLog::SetPipe")
                << "Returning to initial log file";
        }
        return SetInitLogFile(false);
    }
    if (current != nullptr && initLog) {
        CLOG_RECORD(LL_INFO, LS_GENERAL, kPlace.c_str(), kLineLeavingInitLog, "CLog::SetPipe")
            << "Leaving initial log file";
        pdulog_detail::LogSink::Move(pipe, nullptr, Previous::kClose);
        return nullptr;
    }
    return pdulog_detail::LogSink::Move(pipe, nullptr, Previous::kHandBack);
}

// ---- levels of the open store ----------------------------------------------------------

bool CLog::GetLevel(int subsystem, int32_t& level) { return pdulog_detail::LevelStore::Get(subsystem, level); }

bool CLog::SetLevel(int subsystem, int32_t level) { return pdulog_detail::LevelStore::Set(subsystem, level); }
