// The level store: DEBUG.CFG opened or created, padded, mapped by every process, followed
// when another file takes its path; the slots behind the gate, read and set.
#include "LevelStore.h"

#include <pdulog/CLog.h>
#include "Lifecycle.h"
#include "PdulogIdentity.h"
#include "Platform/Platform.h"

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <mutex>
#include <string>

// Defined here, not inline in the header: a shared build must have exactly one array, the
// one that every module's gate reads through the library's export.
std::atomic<int32_t*> CLog::s_levels {nullptr};

namespace pdulog_detail::LevelStore {

namespace {

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

// The store's file as the facility holds it.
struct OpenStore {
    int fd = -1;
    Platform::FileId file;                      // what fd referred to when it was opened
    Platform::MappingHandle mapping = nullptr;  // what its views are made from
    int padError = 0;                           // why it may still be short: no view then
};
OpenStore g_store;
// Where it was opened: followed when another file takes its place. A plain pointer, not a
// string, so that no destructor frees it at the process's end under a thread that follows
// the store; freed when the store closes.
char* g_storePath = nullptr;
// The wall-clock second the store was last followed in: it is followed once in each second,
// by whoever finds it due first (a record, GetLevel, SetLevel).
std::atomic<int64_t> g_followedSecond {INT64_MIN};
bool g_external = false;
// The user may read the store but not write it (an administrator fixed the levels, a
// read-only profile or mount): its levels are used, and no level is set through it.
std::atomic<bool> g_readOnly {false};  // read by SetLevel on any thread
// The levels of a read-only store too short to map: its whole slots, WARN for the rest.
int32_t g_shortCopy[kLogSubsystemCount];
// Views of earlier starts on the open store: given up with the store, as the current one
// is, so that nothing of the store outlives its shut-down.
constexpr int kEarlierViews = 64;
int32_t* g_earlierViews[kEarlierViews];
int g_earlierViewCount = 0;

// The store's path as it was opened; empty when none is kept.
std::string StorePath() { return g_storePath != nullptr ? g_storePath : ""; }

void KeepStorePath(const std::string& path)
{
    std::free(g_storePath);
    g_storePath = static_cast<char*>(std::malloc(path.size() + 1));
    if (g_storePath != nullptr)
        std::memcpy(g_storePath, path.c_str(), path.size() + 1);
}

// A read-only store shorter than its slots cannot be mapped (and may not be padded): its
// levels are read from the file, again whenever the store is followed.
int32_t* CopyOfShortStore(int fd)
{
    StoreBytes store = kDefaults;
    const int64_t got = Platform::ReadStart(fd, store.bytes, kStoreBytes);
    const uint32_t whole = got > 0 ? static_cast<uint32_t>(got) / kSlotBytes * kSlotBytes : 0;
    std::memcpy(store.bytes + whole, kDefaults.bytes + whole, kStoreBytes - whole);
    int32_t levels[kLogSubsystemCount];
    std::memcpy(levels, store.bytes, kStoreBytes);
    for (int slot = 0; slot < kLogSubsystemCount; ++slot)  // other threads read it meanwhile
        WriteSlot(g_shortCopy, slot, levels[slot]);
    return g_shortCopy;
}

// Opens the store's file, or creates it with the default levels; -1 with errno set.
int OpenStoreFile(const std::string& path, Platform::StoreAccess& access)
{
    return Platform::OpenOrCreateStore(path, kDefaults.bytes, kStoreBytes, access);
}

// Makes an opened file the store's: padded when it may be written, its mapping object made.
// A read-only store too short to map gives the copy of its levels, returned; otherwise
// nullptr, and the levels come from a view.
int32_t* TakeStoreFile(int fd, Platform::StoreAccess access, OpenStore& store)
{
    store.fd = fd;
    store.file = Platform::IdentifyFile(fd);
    if (access == Platform::StoreAccess::kReadOnly) {
        uint64_t size = 0;
        if (Platform::FileSize(fd, size) && size < kStoreBytes)
            return CopyOfShortStore(fd);
        store.mapping = Platform::CreateMapping(fd, Platform::MapAccess::kCopyOnWrite);
        return nullptr;
    }
    // A store that stays short is not mapped (its view would fault): no levels are lost.
    if (!Platform::PadStore(fd, kDefaults.bytes, kStoreBytes, kSlotBytes, kPaddingLockWait))
        store.padError = errno;
    store.mapping = Platform::CreateMapping(fd, Platform::MapAccess::kWrite);
    return nullptr;
}

// Lets go of a store file's mapping object and descriptor (not of its views).
void DropStoreFile(OpenStore& store)
{
    if (store.mapping != nullptr)
        Platform::CloseMapping(store.mapping);
    // A host that closed descriptors it did not own may have its own file there now.
    if (store.fd != -1 && Platform::StillRefersTo(store.fd, store.file))
        Platform::Close(store.fd);
    store = OpenStore();
}

// Keeps a view that is no longer the gate's until the store closes: a thread may hold it.
void KeepEarlier(int32_t* view)
{
    if (view != nullptr && view != g_shortCopy && g_earlierViewCount < kEarlierViews)
        g_earlierViews[g_earlierViewCount++] = view;
}

// The file now at the store's path becomes the store: the gate's view reads it from then
// on (at the same address on POSIX, so that no pointer a thread holds goes stale). When it
// cannot be opened or mapped, the store stays as it was.
void ReplaceStore()
{
    Platform::StoreAccess access = Platform::StoreAccess::kReadWrite;
    OpenStore next;
    const int fd = OpenStoreFile(StorePath(), access);
    if (fd == -1)
        return;
    int32_t* const view = CLog::Levels();
    int32_t* levels = TakeStoreFile(fd, access, next);
    if (levels == nullptr && next.mapping != nullptr)
        levels = static_cast<int32_t*>(view != g_shortCopy
                                           ? Platform::MapViewAt(next.mapping, kStoreBytes, kDefaults.bytes, view)
                                           : Platform::MapView(next.mapping, kStoreBytes, kDefaults.bytes));
    if (levels == nullptr) {
        DropStoreFile(next);
        return;
    }
    DropStoreFile(g_store);
    g_store = next;
    g_readOnly = access == Platform::StoreAccess::kReadOnly;
    if (levels != view) {
        KeepEarlier(view);
        CLog::s_levels = levels;
    }
}

// A read-only store that was too short to map: its levels read again, or mapped once its
// writer has made it whole.
void RefreshShortStore()
{
    uint64_t size = 0;
    if (!Platform::FileSize(g_store.fd, size) || size < kStoreBytes) {
        CopyOfShortStore(g_store.fd);
        return;
    }
    g_store.mapping = Platform::CreateMapping(g_store.fd, Platform::MapAccess::kCopyOnWrite);
    if (g_store.mapping == nullptr)
        return;
    if (void* view = Platform::MapView(g_store.mapping, kStoreBytes, kDefaults.bytes))
        CLog::s_levels = static_cast<int32_t*>(view);
}

// Whether the store's path still leads to the file it has open.
bool StillAtItsPath() { return Platform::SameFile(Platform::IdentifyPathTarget(StorePath()), g_store.file); }

// Follows the store's file when another file has taken its path (saved through a new file
// and a rename, as many tools and installers save) and, for a short read-only store, what
// its writer has changed since. A store whose path names nothing is kept until another
// file is there. Under the lifecycle lock.
void FollowStore()
{
    if (g_external || g_store.fd == -1)
        return;
    const Platform::FileId atPath = Platform::IdentifyPathTarget(StorePath());
    if (atPath.known && !Platform::SameFile(atPath, g_store.file))
        ReplaceStore();
    else if (CLog::Levels() == g_shortCopy)
        RefreshShortStore();
}

// Why the store is not available, and the path of the step that failed: the one line a
// user gets to find the cause.
void ReportFailure(int error, const std::string& path)
{
    const int cause = error != 0 ? error : EIO;  // never "Success"
    std::cerr << "CLog failed to initialise - " << std::strerror(cause) << ": " << Platform::PublicText(path) << '\n';
}

// Opens the store at its path, creating its folder and the file when missing, and makes it
// the store. False, with a line on standard error, when it cannot be opened.
bool OpenAtItsPath()
{
    std::string folder;
    Platform::ExpandPath(kStoreFolder, folder);
    // With no per-user data folder the reference stays unexpanded: that is no place to
    // create a store (it would land in whatever the current folder is).
    if (folder.compare(0, sizeof kAppDataReference - 1, kAppDataReference) == 0) {
        ReportFailure(ENOENT, kAppDataReference);
        return false;
    }
    std::string failedFolder;
    const bool folderMade = Platform::CreateFolderChain(folder, failedFolder);
    const int folderError = errno;
    std::string path;
    Platform::ExpandPath(kStorePath, path);
    Platform::StoreAccess access = Platform::StoreAccess::kReadWrite;
    const int fd = OpenStoreFile(path, access);
    if (fd == -1) {
        // A folder that could not be made is the cause; the open only finds nothing there.
        ReportFailure(folderMade ? errno : folderError, folderMade ? path : failedFolder);
        return false;
    }
    KeepStorePath(path);
    g_readOnly = access == Platform::StoreAccess::kReadOnly;
    CLog::s_levels = TakeStoreFile(fd, access, g_store);
    return true;
}

}  // namespace

bool Open()
{
    if (g_external)  // the host's array stands in for the file
        return CLog::s_levels.load() != nullptr;
    // A host that closed every descriptor may have given the store's number to a file of
    // its own: nothing kept from an earlier start is used again without asking.
    if (g_store.fd != -1 && !Platform::StillRefersTo(g_store.fd, g_store.file))
        Close();
    FollowStore();
    if (g_store.fd == -1 && !OpenAtItsPath())
        return false;
    // A store that is open already gets one more view; earlier views stay valid. When no
    // further view can be made, the one in use stays.
    if (g_store.mapping != nullptr)
        if (void* view = Platform::MapView(g_store.mapping, kStoreBytes, kDefaults.bytes)) {
            KeepEarlier(CLog::s_levels.load());
            CLog::s_levels = static_cast<int32_t*>(view);
        }
    if (CLog::s_levels.load() != nullptr)
        return true;
    // A start that failed part-way (no descriptor left for the mapping, a view refused)
    // keeps nothing half open: the next one tries from the beginning.
    ReportFailure(g_store.padError != 0 ? g_store.padError : errno, StorePath());
    Close();
    return false;
}

void Close()
{
    if (g_external)
        return;
    if (int32_t* view = CLog::s_levels.load()) {
        // Other threads may be testing the gate right now, with this pointer in hand.
        CLog::s_levels = nullptr;
        if (view != g_shortCopy)
            Platform::RetireView(view, kStoreBytes, kAllOff.bytes);
    }
    for (; g_earlierViewCount > 0; --g_earlierViewCount)
        Platform::RetireView(g_earlierViews[g_earlierViewCount - 1], kStoreBytes, kAllOff.bytes);
    DropStoreFile(g_store);
    std::free(g_storePath);
    g_storePath = nullptr;
    g_readOnly = false;
    Platform::ReleaseFaultHandler();
}

void UseExternal(int32_t* levels)
{
    Close();
    g_external = true;
    CLog::s_levels = levels;
}

void ReleaseExternal()
{
    if (!g_external)
        return;
    g_external = false;
    CLog::s_levels = nullptr;
}

void FollowIfDue(int64_t second)
{
    // A wall clock set back counts as due.
    int64_t last = g_followedSecond.load(std::memory_order_relaxed);
    if (second == last || !g_followedSecond.compare_exchange_strong(last, second))
        return;
    // Held back, as in every lifecycle call: a GetLevel cancelled in the follow's open or
    // wait would leave the new store's descriptor to nobody.
    const Platform::CancellationHeld held;
    const std::unique_lock<std::recursive_mutex> lock(LifecycleMutex(), std::try_to_lock);
    if (lock.owns_lock())
        FollowStore();
}

bool Get(int subsystem, int32_t& level)
{
    FollowIfDue(Platform::WallClock().seconds);  // the clock the records follow by
    const int32_t* levels = CLog::Levels();
    if (levels == nullptr || subsystem < 0 || subsystem >= kLogSubsystemCount)
        return false;
    level = ReadSlot(levels, subsystem);
    return true;
}

bool Set(int subsystem, int32_t level)
{
    // Under the lifecycle lock: no follow moves the store between the checks and the write.
    const LifecycleLock lock(LifecycleMutex());
    if (subsystem < 0 || subsystem >= kLogSubsystemCount || level < LL_OFF || level >= kLogLevelCount)
        return false;
    // A store replaced at its path is followed first; one whose path names no file takes no
    // level (nothing is written that nobody would read).
    const bool atItsPath = g_external || g_store.fd == -1 || StillAtItsPath() || (FollowStore(), StillAtItsPath());
    int32_t* levels = CLog::Levels();
    if (levels == nullptr || g_readOnly || !atItsPath)
        return false;
    WriteSlot(levels, subsystem, level);  // seen at once by every process that maps the store
    // A store whose file could not back the write any more (a full disk under an emptied
    // store) took the level into the defaults it reads now, not into the file; one that
    // another file replaced meanwhile took it into a file nobody reads.
    return Platform::ViewFollowsFile(levels) && (g_external || g_store.fd == -1 || StillAtItsPath());
}

}  // namespace pdulog_detail::LevelStore
