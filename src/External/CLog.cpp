// The level store, the facility's start and shut-down, and the moves of the log sink.
#include "CLog.h"

#include "CUtil.h"
#include "LogSink.h"
#include "PdulogIdentity.h"
#include "Platform/Platform.h"
#include "SourcePlace.h"

#include <cerrno>
#include <chrono>
#include <cstring>
#include <iostream>
#include <thread>

namespace {

constexpr auto kPlace = LibraryPlace(__FILE__);

constexpr char kAppDataReference[] = "%APPDATA%";
// The product's folder and file names are the build's (PdulogIdentity.h): a second vendor's
// product on the same PC keeps a store and logs of its own.
constexpr char kStoreFolder[] = "%APPDATA%\\" PDULOG_STORE_FOLDER "\\";
constexpr char kStorePath[] = "%APPDATA%\\" PDULOG_STORE_FOLDER "\\DEBUG.CFG";
constexpr uint32_t kSlotBytes = 4;
constexpr uint32_t kStoreBytes = kLogSubsystemCount * kSlotBytes;  // 76
// How long a start waits for another process that pads the store: a holder that takes
// longer is not padding, and waiting on it would hang the host's start.
constexpr std::chrono::milliseconds kPaddingLockWait {1000};

// The bytes of a store with every slot at one level, little-endian as the file keeps them.
struct StoreBytes {
    uint8_t bytes[kStoreBytes];
};
constexpr StoreBytes EverySlotAt(int32_t level)
{
    StoreBytes store {};
    for (uint32_t at = 0; at < kStoreBytes; ++at)
        store.bytes[at] = static_cast<uint8_t>(static_cast<uint32_t>(level) >> (8 * (at % kSlotBytes)));
    return store;
}
// What a new store holds, and what a short one is padded with.
constexpr StoreBytes kDefaults = EverySlotAt(LL_WARN);
// What a view given up reads, so that a decision taken across a shut-down admits nothing.
constexpr StoreBytes kAllOff = EverySlotAt(LL_OFF);

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

int s_fd = -1;
Platform::FileId s_file;  // what s_fd referred to when it was opened
Platform::MappingHandle s_mapping = nullptr;
bool s_external = false;
// The user may read the store but not write it (an administrator fixed the levels, a
// read-only profile or mount): its levels are used, and no level is set through it.
bool s_readOnly = false;
// The levels of a read-only store too short to map: its whole slots, WARN for the rest.
int32_t s_shortCopy[kLogSubsystemCount];
// Views of earlier starts on the open store: given up with the store, as the current one
// is, so that nothing of the store outlives its shut-down.
constexpr int kEarlierViews = 64;
int32_t* s_earlierViews[kEarlierViews];
int s_earlierViewCount = 0;

// A shared pdulog is one facility for every module of the process that starts it: it stays
// up until the last of them stops it, so one plugin's unload does not silence the others.
// A failed start is no start. A static copy belongs to its own module: Shutdown stops it.
#if PDULOG_SHARED_LIBRARY && !defined(PDULOG_STATIC_DEFINE)
constexpr bool kCountStarts = true;
#else
constexpr bool kCountStarts = false;
#endif
int s_starts = 0;

// A configured path ("%TEMP%\\...") made usable on this platform. Only the configured
// text's own separators change: a variable's value is used as it is.
bool ExpandPath(std::string configured, std::string& path)
{
    Platform::NativeSeparators(configured);
    return Platform::ExpandPath(configured, path);
}

// Waits a bounded time for the padding lock.
bool LockForPadding(int fd)
{
    const auto giveUp = std::chrono::steady_clock::now() + kPaddingLockWait;
    while (!Platform::TryLockFile(fd)) {
        if (std::chrono::steady_clock::now() >= giveUp)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return true;
}

// Appends the default level (WARN) to every slot that the file does not hold whole yet.
// A whole store needs no lock. A short one is padded under a lock between processes, and
// its size read again once the lock is held: a process that saw the file short must not
// pad over a level that another one has set in the meantime. When the lock cannot be had,
// nothing is written: the store stays short and is not mapped, and no level is lost.
void PadStore(int fd)
{
    uint64_t size = 0;
    if (!Platform::FileSize(fd, size))
        return;  // unknown size: padding could overwrite levels
    // Whatever is written later through this descriptor lands past the size seen now.
    Platform::Seek(fd, size);
    if (size >= kStoreBytes || !LockForPadding(fd))
        return;
    if (Platform::FileSize(fd, size) && size < kStoreBytes && Platform::MayGrowFileTo(kStoreBytes)) {
        // A slot cut short is no level: it is padded over from its first byte.
        const uint64_t whole = size / kSlotBytes * kSlotBytes;
        if (Platform::Seek(fd, whole))
            Platform::Write(fd, kDefaults.bytes + whole, static_cast<uint32_t>(kStoreBytes - whole));
    }
    Platform::UnlockFile(fd);
}

// Whether the store exists but may not be written by this user.
bool WriteRefused(int error)
{
    return error == EACCES || error == EPERM || error == EROFS;
}

// A read-only store shorter than its slots cannot be mapped (and may not be padded): its
// levels are read once.
int32_t* CopyOfShortStore(int fd)
{
    StoreBytes store = kDefaults;
    uint32_t got = 0;
    if (!Platform::ReadAt(fd, 0, store.bytes, kStoreBytes, got))
        got = 0;
    const uint32_t whole = got / kSlotBytes * kSlotBytes;
    std::memcpy(store.bytes + whole, kDefaults.bytes + whole, kStoreBytes - whole);
    std::memcpy(s_shortCopy, store.bytes, kStoreBytes);
    return s_shortCopy;
}

using pdulog_detail::LogSink::Previous;

// Makes the init log file the sink; what it replaces is closed or handed back.
std::FILE* StartInitLog(bool truncate, Previous previous)
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
    bool initLog = false;
    const std::FILE* current = pdulog_detail::LogSink::Current(initLog);
    if (current != nullptr && initLog)
        return nullptr;  // already the sink: neither reopened nor truncated
    std::FILE* file = Platform::OpenLogStream(path, truncate);
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

// ---- level store and lifecycle ---------------------------------------------------------

bool CLog::Init(bool initLog)
{
    const bool available = s_external ? s_levels != nullptr : OpenLevelStore();
    // A sink the host handed over earlier (a plugin started again) is closed, not dropped.
    if (available && initLog)
        StartInitLog(true, Previous::kClose);
    if (kCountStarts && available)
        ++s_starts;
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
            if (fd == -1 && WriteRefused(errno)) {
                const int error = errno;
                fd = Platform::OpenForReading(path);
                s_readOnly = fd != -1;
                if (fd == -1)
                    errno = error;
            }
            // A new store appears whole, so that no process ever finds it short; where the
            // file system cannot do that, it is created and padded as before. A store that
            // could not be written (a full disk, a file-size limit) is not left behind empty.
            if (fd == -1) {
                if (Platform::CreateWhole(path, kDefaults.bytes, kStoreBytes) || errno == EEXIST)
                    fd = Platform::OpenShared(path, false);
                else if (errno == EXDEV)
                    fd = Platform::OpenShared(path, true);
            }
            if (fd == -1 && errno == ENOENT)  // removed again between the two
                fd = Platform::OpenShared(path, true);
        }
        if (fd == -1) {
            const int error = errno;
            std::cerr << "CLog failed to initialise - " << std::strerror(error) << '\n';
            return false;
        }
        s_fd = fd;
        s_file = Platform::IdentifyFile(fd);
        uint64_t size = 0;
        if (!s_readOnly)
            PadStore(fd);
        else if (Platform::FileSize(fd, size) && size < kStoreBytes)
            s_levels = CopyOfShortStore(fd);
        if (s_levels == nullptr)
            s_mapping = Platform::CreateMapping(fd, !s_readOnly);
    }
    // A store that is open already gets one more view; earlier views stay valid. When no
    // further view can be made, the one in use stays.
    if (s_mapping != nullptr)
        if (void* view = Platform::MapView(s_mapping, kStoreBytes, kDefaults.bytes)) {
            if (s_levels != nullptr && s_earlierViewCount < kEarlierViews)
                s_earlierViews[s_earlierViewCount++] = s_levels;
            s_levels = static_cast<int32_t*>(view);
        }
    return s_levels != nullptr;
}

void CLog::CloseLevelStore()
{
    if (s_external)
        return;
    if (int32_t* view = s_levels) {
        // Other threads may be testing the gate right now, with this pointer in hand.
        s_levels = nullptr;
        if (view != s_shortCopy)
            Platform::RetireView(view, kStoreBytes, kAllOff.bytes);
    }
    for (; s_earlierViewCount > 0; --s_earlierViewCount)
        Platform::RetireView(s_earlierViews[s_earlierViewCount - 1], kStoreBytes, kAllOff.bytes);
    if (s_mapping != nullptr) {
        Platform::CloseMapping(s_mapping);
        s_mapping = nullptr;
    }
    if (s_fd != -1) {
        // A host that closed descriptors it did not own may have its own file there now.
        if (Platform::StillRefersTo(s_fd, s_file))
            Platform::Close(s_fd);
        s_fd = -1;
    }
    s_readOnly = false;
    Platform::ReleaseFaultHandler();
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
    if (kCountStarts && s_starts > 1) {
        --s_starts;
        return;
    }
    s_starts = 0;
    CloseLevelStore();
    bool initLog = false;
    if (pdulog_detail::LogSink::Current(initLog) == nullptr && !initLog)
        return;
    // With the facility's own store the gate fails here: the store was just released.
    if (initLog) {
        CLOG_RECORD(LL_INFO, LS_GENERAL, kPlace.c_str(), kLineClosingInitLog, "CLog::Shutdown")
            << "Closing init log file";
    } else {
        CLOG_RECORD(LL_INFO, LS_GENERAL, kPlace.c_str(), kLineClosingLog, "CLog::Shutdown")
            << "Closing log file";
    }
    pdulog_detail::LogSink::Move(nullptr, nullptr, Previous::kClose);
}

// ---- destinations ----------------------------------------------------------------------

bool CLog::GetLogFileName(std::string& path)
{
    std::string own;
    const bool expanded = ExpandPath(std::string(kTempFolder) + kLogFile, own)
                          || ExpandPath(std::string(kTempFolder) + kLogFileFallback, own);
    path = Platform::PublicText(own);
    return expanded;
}

std::FILE* CLog::SetInitLogFile(bool truncate)
{
    return StartInitLog(truncate, Previous::kHandBack);
}

std::FILE* CLog::SetPipe(std::FILE* pipe)
{
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

bool CLog::GetLevel(int subsystem, int32_t& level)
{
    const volatile int32_t* levels = s_levels;
    if (levels == nullptr || subsystem < 0 || subsystem >= kLogSubsystemCount)
        return false;
    level = levels[subsystem];
    return true;
}

bool CLog::SetLevel(int subsystem, int32_t level)
{
    volatile int32_t* levels = s_levels;
    if (levels == nullptr || s_readOnly || subsystem < 0 || subsystem >= kLogSubsystemCount || level < LL_OFF
        || level >= kLogLevelCount)
        return false;
    levels[subsystem] = level;  // seen at once by every process that maps the store
    // A store whose file could not back the write any more (a full disk under an emptied
    // store) took the level into the defaults it reads now, not into the file.
    return Platform::ViewFollowsFile(const_cast<const int32_t*>(levels));
}
