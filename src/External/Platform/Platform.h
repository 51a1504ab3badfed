// One portable interface over the operating-system services the library needs.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <thread>

namespace pdulog_detail::Platform {

// ---- Conventions ----------------------------------------------------------------------
// The files of one platform implement it (Posix*.cpp and LinuxModule.cpp, whose calls
// outside POSIX are kept in LinuxCalls.h; or Windows*.cpp), and StoreFile.cpp
// on both; nothing outside this folder may include a header that only one platform has.
//
// Failures: a function that can fail returns false, -1 or nullptr (ExpandEnvironment, a
// size: 0) and sets errno to the cause, the C library's number on every platform (Windows
// errors are turned into it). No out-parameter carries an error, and nothing else is
// reported. A FileId that is not `known`, MayGrowFileTo, ViewFollowsFile and the like
// answer a question; they do not fail. WriteRecord returns how much of the record it wrote.
// One exception: SetThreadPriority hands back the platform's own error code, the number the
// record of a refused priority has always shown.
//
// Paths are UTF-8 on Windows, so that they can name any file whatever the ANSI code page
// (text that is not UTF-8 is read in the ANSI code page, as the narrow Windows API reads
// it); on POSIX they are the bytes the system takes.

// ---- The level store's file: C runtime descriptors, shared with other processes --------
// In StoreFile.cpp, PosixFiles.cpp, WindowsFiles.cpp.
// No descriptor the layer hands out is ever 0, 1 or 2: with a standard stream closed, the
// host's next write to it must not land in one of our files.

// How this process may use a store's file.
enum class StoreAccess {
    kReadWrite,
    kReadOnly,  // the user may read it but not write it
};
// Opens the store's file for reading and writing with no sharing restriction, or, when this
// user may only read it (EACCES, EPERM, EROFS), for reading, and `access` says which. A
// missing file is created holding `defaults` (size bytes), in one step as other processes
// see it: none ever opens it shorter, and one that cannot be written whole (a full disk, a
// file-size limit) is not left behind. Where the file system cannot make a file appear in
// one step, it is created empty, readable and writable by its owner, for PadStore to fill.
// A store that another process creates meanwhile is opened.
int OpenOrCreateStore(const std::string& path, const void* defaults, uint32_t size, StoreAccess& access);
// Appends `defaults`' bytes to a store shorter than `size` bytes, from its last whole
// `unit` on (a unit cut short holds nothing). A store that is long enough needs no lock;
// a short one is padded under an advisory lock between processes (one that does not stand in
// the way of reads, writes or mappings), waited for `wait` at most, its size read again once the lock is held, so that
// a level another process has set meanwhile is never padded over. Without the lock nothing
// is written. False when the store may still be short.
bool PadStore(int fd, const void* defaults, uint32_t size, uint32_t unit, std::chrono::milliseconds wait);
bool FileSize(int fd, uint64_t& size);
// Reads up to `size` bytes from the start of the file: how many came.
int64_t ReadStart(int fd, void* data, uint32_t size);
void Close(int fd);

// What a descriptor refers to, remembered when it is opened: a host that closes descriptors
// it does not own may give the number to a file of its own, which is then not ours to write
// or close. `known` is false where the system cannot tell (the check then passes).
struct FileId {
    bool known = false;
    uint64_t device = 0;
    uint64_t node = 0;
};
FileId IdentifyFile(int fd);
// What stands at the path itself: a link is not followed (on Windows a reparse point is
// opened for its attributes only). `known` is false when nothing stands there, or when
// what does cannot be told; Windows as wine runs it shows a file deleted while it is open
// at its path, unchanged, until its last handle closes.
FileId IdentifyPath(const std::string& path);
inline bool SameFile(const FileId& a, const FileId& b)
{
    return a.known && b.known && a.device == b.device && a.node == b.node;
}
// Whether the descriptor still refers to the file it was identified as.
inline bool StillRefersTo(int fd, const FileId& id) { return !id.known || SameFile(IdentifyFile(fd), id); }
// The file a path leads to, links followed as an open follows them; not known when there
// is none (or it cannot be asked). A file saved through a new file and a rename, as many
// tools and installers save, is another file at the same path.
FileId IdentifyPathTarget(const std::string& path);
// False when the process may not grow a file to `size` bytes (a file-size limit): such a
// write would fail, or raise a signal that ends the process.
bool MayGrowFileTo(uint64_t size);

// ---- Shared memory --------------------------------------------------------------------
// In PosixViews.cpp, PosixFaultHandler.cpp, WindowsViews.cpp.

using MappingHandle = void*;  // nullptr: no mapping

// How a mapping's views reach the file.
enum class MapAccess {
    kWrite,        // read and written, shared with every process mapping the file
    kCopyOnWrite,  // for a file opened for reading: a write through a view stays in this
                   // process, while the file's own changes still show
};
// A mapping object of the whole file.
MappingHandle CreateMapping(int fd, MapAccess access);
// A read/write view of the first `size` bytes; nullptr when the file is shorter than that
// or the view cannot be made. A file emptied under the view (POSIX; Windows refuses to
// shrink a mapped file) is written again from `padding` (size bytes, kept alive by the
// caller), or the view reads `padding` when that fails, for every thread that does not
// block SIGBUS (the kernel ends the process for one that does).
void* MapView(MappingHandle mapping, std::size_t size, const void* padding);
// MapView, for a view that replaces `at`, one of ours: on POSIX the mapping's pages take its
// place in one step, so that every pointer to it reads the new file from then on; Windows
// cannot replace a view in place, and maps a new one elsewhere. The view it returns is
// `at` or a new address; on failure nullptr, and `at` still reads valid memory.
void* MapViewAt(MappingHandle mapping, std::size_t size, const void* padding, void* at);
// False once a view of ours no longer reaches its file: the file could not be padded
// again and the view reads its defaults instead. True for any other memory.
bool ViewFollowsFile(const void* view);
// Gives a view up. Another thread may still hold its address and read through it at any
// moment, so the address keeps reading valid memory: `contents` (size bytes) on POSIX,
// the file's bytes for a second or more before it is unmapped on Windows.
void RetireView(void* view, std::size_t size, const void* contents);
void CloseMapping(MappingHandle mapping);
// Called when the facility has given up its views: the fault handler goes when no view of
// ours needs it. A handler that another copy of the library has put on top of ours may still
// hand faults to ours: then this module is kept in memory for good, so that the chain of
// handlers never leads into unloaded code.
void ReleaseFaultHandler();

// ---- Paths and environment ------------------------------------------------------------
// In PosixPaths.cpp, WindowsPaths.cpp.

// Creates the folder and every missing parent; an existing folder is success. On failure
// `failed` is the folder of the chain that could not be made (or that is no folder), and
// errno says why: the cause a user can act on, not what a later open of a file there says.
bool CreateFolderChain(const std::string& path, std::string& failed);
// %NAME% expansion with the contract of ExpandEnvironmentStringsA: returns the size the
// expansion needs, terminating NUL included (0 on failure), and writes it into buffer
// only when it fits in `size` bytes. The text in and out is in the ANSI code page on
// Windows, as public narrow strings are; a character the code page cannot hold comes out
// as '?'. Not for paths the library opens.
std::size_t ExpandEnvironment(const char* text, char* buffer, std::size_t size);
// A configured path (backslashes between its folders, %NAME% references) made a path for
// the functions here (UTF-8 on Windows): only the configured text's own separators become
// the platform's, a variable's value is used as it is. False when the expansion fails or
// comes out empty.
bool ExpandPath(const std::string& configured, std::string& path);
// A path of the library as public narrow strings give it: in the ANSI code page on
// Windows, a character that the code page cannot hold as '?'; unchanged on POSIX.
std::string PublicText(const std::string& path);

// ---- Log streams ----------------------------------------------------------------------
// In PosixLogStream.cpp, WindowsLogStream.cpp.

// Whether a log is emptied when it is opened.
enum class LogOpening {
    kAppend,
    kEmptyFirst,
};
// Opens a log file that every write appends to, emptied first with kEmptyFirst. Whatever
// stands at the path in a shared folder is checked before it is written: a link, a FIFO,
// a device, a file of another user or a file with a second name is refused (nullptr), and
// left as it was. A new file is private to its owner. A record that WriteRecord writes to
// it (StreamOrigin::kOwnLog) lands whole at the end of the file as it is then, whatever
// other processes append meanwhile (Windows: a handle that may append but not write
// elsewhere, and a lock between the processes around each record's write; the log is
// emptied through a second handle of its own, opened and checked the same way).
std::FILE* OpenLogStream(const std::string& path, LogOpening opening);
// Whether a log file deleted while a handle of ours is open may keep its path from a new
// file until that handle is closed (Windows, where a deletion can stay pending).
bool DeletedFileMayHoldItsPath();

// What writing a record to a stream could raise in the host, decided once when the stream
// becomes the sink: a pipe or socket whose reader has gone (SIGPIPE), a file under a size
// limit (SIGXFSZ). A host that later dup2()s another file onto the descriptor, or lowers
// the limit, makes that decision stale.
// A socket's writes raise no signal at all (MSG_NOSIGNAL), unless the stream has buffered
// bytes of the host's to flush first.
enum class StreamRisk { kNone, kBrokenPipe, kSocket, kSizeLimit };
// The descriptor behind a stream; -1 for a stream without one.
int StreamDescriptor(std::FILE* stream);
StreamRisk RiskOf(std::FILE* stream);
// Where a stream that records are written to came from.
enum class StreamOrigin {
    kOwnLog,  // OpenLogStream opened it
    kOther,   // the host's, or handed over by it
};
// Writes a record to the stream's file, after whatever the stream still buffers, without
// raising a signal in the host. Returns how many bytes reached the file: a record that a
// size limit would cut is not written at all, one that a full disk cuts is written in part.
// A log of OpenLogStream's (kOwnLog) gets the record in one system write, with line ends as
// the platform's text files have them (CRLF on Windows), so that records of processes
// appending to the same log are never torn apart; any other stream is written as it is
// (a stream of the host's in text mode turns the line ends itself).
// A cancellation request that acts in the write leaves nothing held (the stream's lock, the
// signal mask): the record is then unwritten, or cut where the system cut the write (never
// a pipe record of up to PIPE_BUF bytes, which a pipe takes whole or not at all).
std::size_t WriteRecord(std::FILE* stream, const char* text, std::size_t length, StreamRisk risk, StreamOrigin origin);
// WriteRecord to a log of OpenLogStream's that no signal can come from (StreamRisk::kNone),
// `fd` its descriptor: the straight way, for the records of the library's own init log.
std::size_t WriteOwnLog(std::FILE* stream, int fd, const char* text, std::size_t length);
// Whether a log of OpenLogStream's is empty or ends in a line end: a process that ended in
// the middle of a write may have left a record cut short. True when it cannot be read.
bool LogEndsLine(std::FILE* stream);

// ---- Files shared between processes -----------------------------------------------------
// In PosixFiles.cpp, WindowsFiles.cpp.

// An advisory lock between processes on a file of ours, taken without waiting (Linux: flock;
// Windows: a lock on one byte far past the end, the one a log's writers take around each
// record). False, with errno set, when another process holds it or it cannot be asked for.
bool TryLockFile(int fd);
void UnlockFile(int fd);
// Gives the file at `from` the name `to`, replacing what `to` names, in one step as other
// processes see it; handles open on either file stay valid. False with errno set.
bool RenameReplacing(const std::string& from, const std::string& to);
// When the file at the path was last written or renamed, in wall-clock ticks (as
// WallClockTicks); 0 when nothing stands there.
int64_t LastChangeTicks(const std::string& path);

// ---- Process ------------------------------------------------------------------------
// In PosixLogStream.cpp, WindowsLogStream.cpp, WindowsModule.cpp.

// For a program that owns its process, never for the library inside a host: a write to a
// closed pipe or past a file-size limit fails with an error instead of raising SIGPIPE or
// SIGXFSZ.
void ReportWriteFailuresAsErrors();

// Whether the process is ending with every other thread already stopped, wherever it was
// (Windows: a DLL's detach at the process's end): nothing they held may be waited for.
bool OtherThreadsGone();

// ---- Fork and cancellation ----------------------------------------------------------
// In PosixThread.cpp, WindowsThread.cpp.

// Registers, once per load of the module, what runs around a fork(): `prepare` in the
// forking thread before it, `parent` and `child` after it, each with the layer's own
// locks (the per-thread pointers') held across the fork. A module's handlers go with it
// when it is unloaded. Nothing on Windows, which has no fork.
void AtFork(void (*prepare)(), void (*parent)(), void (*child)());
// A host may cancel a thread (pthread_cancel) at a cancellation point. The library holds a
// request back wherever one could leave its work half done (lifecycle calls, follows, the
// first record's sink, local time), and lets one act only when a record is written
// (WriteRecord), where everything held is given back as the thread unwinds. Whether the thread allowed cancellation
// before; RestoreCancellation puts that back. Windows has no cancellation: always false.
bool HoldCancellation();
void RestoreCancellation(bool allowed);
// Holds cancellation back for its own lifetime.
class CancellationHeld {
public:
    CancellationHeld() : m_allowed(HoldCancellation()) {}
    ~CancellationHeld() { RestoreCancellation(m_allowed); }
    CancellationHeld(const CancellationHeld&) = delete;
    CancellationHeld& operator=(const CancellationHeld&) = delete;

private:
    bool m_allowed;
};

// ---- Threads and clocks ---------------------------------------------------------------
// In PosixThread.cpp, PosixClock.cpp, WindowsThread.cpp, WindowsClock.cpp.

// One pointer of each thread's own for the library (its record composer): nullptr until the
// thread sets it, then handed to `release` once when the thread ends, or when the library
// is unloaded while the thread still runs (see Unloading). SetThreadPointer is false when there is no room
// for it; the caller then keeps nothing per thread. (Not C++ thread_local: mingw-w64 runs
// its destructors after the thread's emulated storage is gone.)
void* ThreadPointer();
bool SetThreadPointer(void* value, void (*release)(void*));

uint32_t CurrentThreadId();
// Wall clock: 100-nanosecond ticks since 1970-01-01 00:00:00 UTC.
int64_t WallClockTicks();
// The same clock as seconds since 1970-01-01 00:00:00 UTC and nanoseconds into the second,
// as the system gives it (no division on POSIX).
struct WallTime {
    int64_t seconds;
    uint32_t nanoseconds;
};
WallTime WallClock();
// WallClockTicks at the resolution of the system's tick (a few milliseconds), for checks
// that are due once a second: far cheaper to read.
int64_t CoarseWallClockTicks();
// CoarseWallClockTicks in whole seconds: the cheapest reading of the wall clock.
int64_t CoarseWallClockSeconds();
// Local time of day for seconds since the epoch, in the process's time zone.
bool LocalTimeOfDay(int64_t seconds, int& hour, int& minute, int& second);
// Milliseconds since system start.
uint64_t TickCountMs();

// Windows priority values; POSIX maps them onto scheduling classes.
constexpr int kPriorityNormal = 0;
constexpr int kPriorityTimeCritical = 15;
// Applies the priority; on refusal returns false with the platform's error code.
bool SetThreadPriority(std::thread& thread, int priority, uint32_t& error);

// ---- Unloading ------------------------------------------------------------------------
// In LinuxModule.cpp, WindowsModule.cpp.
// A host may unload the module that holds the library (dlclose, FreeLibrary) and go on
// running, and load it again many times: a load, Init, Shutdown, unload cycle must leave
// nothing behind. Shutdown gives up what the facility uses while it runs: the store's
// descriptor and mapping object (Close, CloseMapping), every view of it (RetireView), the
// fault handler once no view needs it (ReleaseFaultHandler) and the sink's streams. What
// outlives that is released by the module's static destructors, named below, when the
// module is unloaded; no thread runs the module's code by then.
//
// Linux, at dlclose:
// - The fault handler (ModuleRelease, PosixViews.cpp): the host's SIGBUS action from before
//   is put back when ours is the one installed; in a program at its exit too.
// - Views (ModuleRelease): the private pages kept at given-up views' addresses, and any
//   view still watched (one RetireView could not replace, or one of a module unloaded
//   without Shutdown), are unmapped.
// - The per-thread pointer (KeyRelease, PosixThread.cpp): the threads library's key is
//   deleted, and the pointer of every thread still running is handed to its `release`.
//   Neither the key nor the thread id cache (a thread_local without a destructor, whose
//   fork handler the C library drops with the module) keeps the module mapped.
// - KeepLoaded: a module whose handler another copy of the library has covered was made
//   RTLD_NODELETE at its Shutdown (ReleaseFaultHandler): its dlclose unmaps nothing and
//   releases nothing; its destructors run at the process's end.
// Windows, at FreeLibrary (there is no fault handler, and no module is kept loaded):
// - Views (RetiredRelease, WindowsViews.cpp): the given-up views still kept mapped for
//   their readers are unmapped at once, whatever is left of their grace.
// - The per-thread pointer (SlotRelease, WindowsThread.cpp): the fiber-local slot is freed,
//   and Windows hands every thread's pointer still set to its `release`; no slot is made
//   again afterwards.
// At the process's end (exit(), a return from main, the last thread's end; the program's
// own copy, a plugin never unloaded or kept loaded) the same destructors run while other
// threads may still log (Windows: in an .exe; a DLL's run after every other thread has
// stopped wherever it was): they release nothing then, so that every view, buffer and lock
// stays usable to the last, and nothing waits on a lock a stopped thread may hold. A module
// loaded with the program (not by dlopen) whose first use comes before main() cannot be
// told from an unload there.
//
// A module unloaded without Shutdown leaves behind, on both: the store's descriptor and
// mapping object, the sink's streams, and on Windows the view in use; on POSIX a handler
// of ours that another handler covers, which may hand faults on into unloaded code. A
// stream that the last move left open for a writer stuck in it is never closed either.

// Whether the module's static destructors run because it is being unloaded while its host
// goes on (true), or because the process ends (false).
bool Unloading();

}  // namespace pdulog_detail::Platform
