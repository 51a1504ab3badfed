// The level store, the facility's start and shut-down, and the moves of the log sink.
#include "CLog.h"

#include "CUtil.h"
#include "Platform/Platform.h"
#include "SourcePlace.h"

#include <cerrno>
#include <cstring>
#include <iostream>

namespace {

constexpr auto kPlace = LibraryPlace(__FILE__);

constexpr char kAppDataReference[] = "%APPDATA%";
constexpr char kStoreFolder[] = "%APPDATA%\\Krelt\\PDUAPI\\";
constexpr char kStorePath[] = "%APPDATA%\\Krelt\\PDUAPI\\DEBUG.CFG";
constexpr uint32_t kSlotBytes = 4;
constexpr uint32_t kStoreBytes = kLogSubsystemCount * kSlotBytes;  // 76

constexpr char kTempFolder[] = "%TEMP%\\";
constexpr char kLogFile[] = "d-pdu-api_All_x86.log";
constexpr char kLogFileFallback[] = "d-pdu-api.log";
constexpr char kInitLogFile[] = "d-pdu-api_All_x86_init.log";
constexpr char kInitLogFileFallback[] = "d-pdu-api_init.log";

// The line field of each of the facility's records: people grep their logs for these.
constexpr int kLineClosingInitLog = 452;
constexpr int kLineClosingLog = 454;
constexpr int kLineNoInitLogPath = 289;
constexpr int kLineRedirecting = 302;
constexpr int kLineInitLogOpenFailed = 309;
constexpr int kLineLeavingInitLog = 481;
constexpr int kLineReturningToInitLog = 491;

int s_fd = -1;
Platform::MappingHandle s_mapping = nullptr;
bool s_external = false;

// A configured path ("%TEMP%\...") made usable on this platform.
bool ExpandPath(const std::string& configured, std::string& path)
{
    const bool expanded = Util::Env::Expand(configured, path);
    Platform::NativeSeparators(path);
    return expanded;
}

// Appends the default level (WARN) to every slot that the file does not hold yet. The size
// is read and the padding written under a lock between processes: a process that saw the
// file short must not pad over a level that another one has set in the meantime.
void PadStore(int fd)
{
    static const uint8_t kDefaults[kStoreBytes] = {
        1, 0, 0, 0, 1, 0, 0, 0, 1, 0, 0, 0, 1, 0, 0, 0, 1, 0, 0, 0, 1, 0, 0, 0, 1, 0, 0, 0,
        1, 0, 0, 0, 1, 0, 0, 0, 1, 0, 0, 0, 1, 0, 0, 0, 1, 0, 0, 0, 1, 0, 0, 0, 1, 0, 0, 0,
        1, 0, 0, 0, 1, 0, 0, 0, 1, 0, 0, 0, 1, 0, 0, 0, 1, 0, 0, 0,
    };
    const bool locked = Platform::LockFile(fd);
    uint32_t size = 0;
    if (Platform::FileSize(fd, size) && size / kSlotBytes < kLogSubsystemCount) {
        const uint32_t missing = kLogSubsystemCount - size / kSlotBytes;
        if (Platform::Seek(fd, size))
            Platform::Write(fd, kDefaults, missing * kSlotBytes);
    }
    if (locked)
        Platform::UnlockFile(fd);
}

}  // namespace

// ---- level store and lifecycle ---------------------------------------------------------

bool CLog::Init(bool initLog)
{
    const bool available = s_external ? s_levels != nullptr : OpenLevelStore();
    if (available && initLog)
        SetInitLogFile(true);
    return available;
}

bool CLog::OpenLevelStore()
{
    if (s_external)  // the host's array stands in for the file
        return s_levels != nullptr;
    if (s_fd == -1) {
        std::string path;
        ExpandPath(kStoreFolder, path);
        int fd = -1;
        // With no per-user data folder the reference stays unexpanded: that is no place to
        // create a store (it would land in whatever the current folder is).
        if (path.compare(0, sizeof kAppDataReference - 1, kAppDataReference) == 0) {
            errno = ENOENT;
        } else {
            Platform::CreateFolderChain(path);
            ExpandPath(kStorePath, path);
            fd = Platform::OpenShared(path, false);
            if (fd == -1)
                fd = Platform::OpenShared(path, true);
        }
        if (fd == -1) {
            const int error = errno;
            std::cerr << "CLog failed to initialise - " << std::strerror(error) << '\n';
            return false;
        }
        s_fd = fd;
        PadStore(fd);
        s_mapping = Platform::CreateMapping(fd);
    }
    // A store that is open already gets one more view; earlier views stay valid.
    s_levels = s_mapping != nullptr
        ? static_cast<int32_t*>(Platform::MapView(s_mapping, kStoreBytes))
        : nullptr;
    return s_levels != nullptr;
}

void CLog::CloseLevelStore()
{
    if (s_external)
        return;
    if (s_levels != nullptr) {
        Platform::UnmapView(s_levels, kStoreBytes);
        s_levels = nullptr;
    }
    if (s_mapping != nullptr) {
        Platform::CloseMapping(s_mapping);
        s_mapping = nullptr;
    }
    if (s_fd != -1) {
        Platform::Close(s_fd);
        s_fd = -1;
    }
}

void CLog::UseExternalLevels(int32_t* levels)
{
    CloseLevelStore();
    s_external = true;
    s_levels = levels;
}

void CLog::ReleaseExternalLevels()
{
    if (!s_external)
        return;
    s_external = false;
    s_levels = nullptr;
}

void CLog::Shutdown()
{
    CloseLevelStore();
    if (s_sink == nullptr)
        return;
    // With the facility's own store the gate fails here: the store was just released.
    if (s_initLog) {
        CLOG_RECORD(LL_INFO, LS_GENERAL, kPlace.c_str(), kLineClosingInitLog, "CLog::Shutdown")
            << "Closing init log file";
    } else {
        CLOG_RECORD(LL_INFO, LS_GENERAL, kPlace.c_str(), kLineClosingLog, "CLog::Shutdown")
            << "Closing log file";
    }
    std::fclose(s_sink);
    s_sink = nullptr;
    s_initLog = false;
}

// ---- destinations ----------------------------------------------------------------------

bool CLog::GetLogFileName(std::string& path)
{
    if (ExpandPath(std::string(kTempFolder) + kLogFile, path))
        return true;
    return ExpandPath(std::string(kTempFolder) + kLogFileFallback, path);
}

std::FILE* CLog::SetInitLogFile(bool truncate)
{
    std::string path;
    if (!ExpandPath(std::string(kTempFolder) + kInitLogFile, path)) {
        const std::string fallback = std::string(kTempFolder) + kInitLogFileFallback;
        if (!ExpandPath(fallback, path)) {
            CLOG_RECORD(LL_NOTICE, LS_GENERAL, kPlace.c_str(), kLineNoInitLogPath, "CLog::SetInitLogFile")
                << "Failed to re-direct to init log file: " << fallback;
            return nullptr;
        }
    }
    if (s_sink != nullptr && s_initLog)
        return nullptr;  // already the sink: neither reopened nor truncated
    std::FILE* file = Platform::OpenLogStream(path, truncate);
    if (file == nullptr) {
        CLOG_RECORD(LL_NOTICE, LS_GENERAL, kPlace.c_str(), kLineInitLogOpenFailed, "CLog::SetInitLogFile")
            << "Failed to re-direct to init log file: " << path;
        return nullptr;
    }
    std::FILE* previous = s_sink;
    if (previous != nullptr) {
        CLOG_RECORD(LL_INFO, LS_GENERAL, kPlace.c_str(), kLineRedirecting, "CLog::SetInitLogFile")
            << "Re-directing to init log file: " << path;
    }
    s_initLog = true;
    s_sink = file;
    return previous;
}

std::FILE* CLog::SetPipe(std::FILE* pipe)
{
    if (pipe == nullptr) {
        if (s_sink != nullptr && !s_initLog) {
            CLOG_RECORD(LL_INFO, LS_GENERAL, kPlace.c_str(), kLineReturningToInitLog, "CLog::SetPipe")
                << "Returning to initial log file";
        }
        return SetInitLogFile(false);
    }
    std::FILE* previous = s_sink;
    if (s_sink != nullptr && s_initLog) {
        CLOG_RECORD(LL_INFO, LS_GENERAL, kPlace.c_str(), kLineLeavingInitLog, "CLog::SetPipe")
            << "Leaving initial log file";
        std::fclose(s_sink);
        previous = nullptr;
    }
    s_initLog = false;
    s_sink = pipe;
    return previous;
}
