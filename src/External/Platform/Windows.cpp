// Windows (mingw-w64) implementation of Platform.h.
#include "Platform.h"

#include "FaultInjection.h"
#include "FileSteps.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <string>
#include <vector>

#include <fcntl.h>
#include <io.h>
#include <share.h>
#include <sys/stat.h>

#include <windows.h>
#include <shlobj.h>
#include <pthread.h>

namespace Platform {

static HANDLE OsHandle(int fd)
{
    return reinterpret_cast<HANDLE>(::_get_osfhandle(fd));
}

// A descriptor that landed on 0, 1 or 2 (the host had closed a standard stream) is moved
// above them.
static int AboveStandardStreams(int fd)
{
    if (fd < 0 || fd > 2)
        return fd;
    int low[3];
    int count = 0;
    int moved = fd;
    while (moved >= 0 && moved <= 2 && count < 3) {
        low[count++] = moved;
        moved = ::_dup(fd);
    }
    for (int i = 0; i < count; ++i)
        ::_close(low[i]);
    return moved > 2 ? moved : -1;
}

// The C library's error number for a Windows error: every call here that fails with errno
// set takes it from this one table. A sharing or lock violation is EACCES, as the C runtime
// has it: the store then falls back to reading a file that another program keeps others
// from writing.
static int ErrorNumber(DWORD error)
{
    switch (error) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_INVALID_DRIVE:
    case ERROR_BAD_NETPATH:
    case ERROR_BAD_NET_NAME:
    case ERROR_BAD_PATHNAME:
        return ENOENT;
    case ERROR_FILENAME_EXCED_RANGE:
    case ERROR_BUFFER_OVERFLOW:
        return ENAMETOOLONG;
    case ERROR_ACCESS_DENIED:
    case ERROR_NETWORK_ACCESS_DENIED:
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION:
    case ERROR_CANNOT_MAKE:
    case ERROR_DRIVE_LOCKED:
        return EACCES;
    case ERROR_WRITE_PROTECT:
        return EROFS;
    case ERROR_FILE_EXISTS:
    case ERROR_ALREADY_EXISTS:
        return EEXIST;
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL:
        return ENOSPC;
    case ERROR_NOT_ENOUGH_MEMORY:
    case ERROR_OUTOFMEMORY:
        return ENOMEM;
    case ERROR_TOO_MANY_OPEN_FILES:
        return EMFILE;
    case ERROR_INVALID_NAME:
    case ERROR_INVALID_PARAMETER:
        return EINVAL;
    case ERROR_DIRECTORY:
        return ENOTDIR;
    case ERROR_NOT_SAME_DEVICE:
        return EXDEV;
    default:
        return EIO;
    }
}

static bool Failed(DWORD error)
{
    errno = ErrorNumber(error);
    return false;
}

// ---- Narrow strings ----
// The library's paths are UTF-8, so that they can name any file; each is turned into UTF-16
// where Windows takes it. Text that is not UTF-8 is read in the ANSI code page, as the
// narrow API read it. Public narrow strings stay in the ANSI code page.

static bool ToWide(const char* text, std::size_t length, UINT page, DWORD flags, std::wstring& wide)
{
    wide.clear();
    if (length == 0)
        return true;
    if (length >= INT_MAX)
        return false;
    const int count = ::MultiByteToWideChar(page, flags, text, static_cast<int>(length), nullptr, 0);
    if (count == 0)
        return false;
    wide.resize(static_cast<std::size_t>(count));
    return ::MultiByteToWideChar(page, flags, text, static_cast<int>(length), &wide[0], count) == count;
}

static bool PathToWide(const std::string& path, std::wstring& wide)
{
    if (path.size() >= INT_MAX) {
        errno = ENAMETOOLONG;
        return false;
    }
    if (ToWide(path.data(), path.size(), CP_UTF8, MB_ERR_INVALID_CHARS, wide)
        || ToWide(path.data(), path.size(), CP_ACP, 0, wide))
        return true;
    errno = EINVAL;
    return false;
}

// A path to hand to the system. No Windows file system holds a name longer than 255 UTF-16
// units, and the system's answer to one varies (not found, invalid name): it is told apart
// here, as POSIX tells it.
static bool FileName(const std::string& path, std::wstring& wide)
{
    if (!PathToWide(path, wide))
        return false;
    std::size_t run = 0;
    for (const wchar_t c : wide) {
        run = c == L'\\' || c == L'/' ? 0 : run + 1;
        if (run > 255) {
            errno = ENAMETOOLONG;
            return false;
        }
    }
    return true;
}

// In the ANSI code page, a character that it cannot hold becomes '?' (no best fit: a
// look-alike could name another, existing file).
static std::string FromWide(const std::wstring& wide, UINT page)
{
    if (wide.empty() || wide.size() >= INT_MAX / 4)
        return std::string();
    const bool exact = page == CP_UTF8 || ::GetACP() == CP_UTF8;
    const DWORD flags = exact ? 0 : WC_NO_BEST_FIT_CHARS;
    const char* substitute = exact ? nullptr : "?";
    const int length = static_cast<int>(wide.size());
    const int count = ::WideCharToMultiByte(page, flags, wide.data(), length, nullptr, 0, substitute, nullptr);
    if (count <= 0)
        return std::string();
    std::string text(static_cast<std::size_t>(count), '\0');
    ::WideCharToMultiByte(page, flags, wide.data(), length, &text[0], count, substitute, nullptr);
    return text;
}

// %NAME% expansion of the environment in its own (wide) form; false on failure.
static bool ExpandWide(const std::wstring& text, std::wstring& expanded)
{
    DWORD capacity = ::ExpandEnvironmentStringsW(text.c_str(), nullptr, 0);
    while (capacity != 0) {
        expanded.assign(capacity, L'\0');
        const DWORD needed = ::ExpandEnvironmentStringsW(text.c_str(), &expanded[0], capacity);
        if (needed == 0)
            break;
        if (needed <= capacity) {  // the variables may have grown in between: then again
            expanded.resize(std::wcslen(expanded.c_str()));
            return true;
        }
        capacity = needed;
    }
    expanded.clear();
    return false;
}

// ---- Files ----

static int OpenDescriptor(const std::string& path, DWORD access, DWORD disposition, int flags)
{
    std::wstring wide;
    if (!FileName(path, wide))
        return -1;
    // FILE_SHARE_READ | FILE_SHARE_WRITE: what _SH_DENYNO gives.
    const HANDLE handle = ::CreateFileW(wide.c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                        disposition, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        Failed(::GetLastError());
        return -1;
    }
    const int fd = ::_open_osfhandle(reinterpret_cast<intptr_t>(handle), flags | _O_NOINHERIT);
    if (fd < 0) {
        ::CloseHandle(handle);
        return -1;
    }
    return AboveStandardStreams(fd);
}

int OpenExisting(const std::string& path)
{
    if (Fault::Fails("OpenShared"))
        return -1;
    return OpenDescriptor(path, GENERIC_READ | GENERIC_WRITE, OPEN_EXISTING, 0);
}

int OpenCreating(const std::string& path)
{
    if (Fault::Fails("OpenShared"))
        return -1;
    return OpenDescriptor(path, GENERIC_READ | GENERIC_WRITE, OPEN_ALWAYS, 0);
}

int OpenForReading(const std::string& path)
{
    if (Fault::Fails("OpenForReading"))
        return -1;
    return OpenDescriptor(path, GENERIC_READ, OPEN_EXISTING, _O_RDONLY);
}

// How a store written beside its path came into place.
enum class Moved {
    kWhole,         // moved: it appeared whole
    kOtherVolume,   // written, but the draft's volume is not the path's
    kNot,           // errno says why; EEXIST: another process made the store meanwhile
};

// Written under a name of its own beside the path, then moved into place: a move without
// MOVEFILE_REPLACE_EXISTING never replaces what another process created meanwhile.
static Moved CreateWhole(const std::string& path, const void* data, uint32_t size)
{
    std::wstring target;
    if (Fault::Fails("CreateWhole") || !FileName(path, target))
        return Moved::kNot;
    const std::wstring draft = target + L"." + std::to_wstring(::GetCurrentProcessId()) + L".new";
    const HANDLE handle = ::CreateFileW(draft.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        Failed(::GetLastError());
        return Moved::kNot;
    }
    DWORD written = 0;
    const bool whole = ::WriteFile(handle, data, size, &written, nullptr) && written == size;
    DWORD error = whole ? ERROR_SUCCESS : ::GetLastError();
    ::CloseHandle(handle);
    if (whole && ::MoveFileExW(draft.c_str(), target.c_str(), 0))
        return Moved::kWhole;
    if (whole)
        error = ::GetLastError();
    ::DeleteFileW(draft.c_str());
    Failed(error);
    return error == ERROR_NOT_SAME_DEVICE ? Moved::kOtherVolume : Moved::kNot;
}

// Where no file can be moved into place, the store is created plainly and padded by its opener.
int CreateStoreFile(const std::string& path, const void* data, uint32_t size)
{
    switch (CreateWhole(path, data, size)) {
    case Moved::kWhole:
        return OpenExisting(path);
    case Moved::kOtherVolume:
        return OpenCreating(path);
    case Moved::kNot:
        break;
    }
    return errno == EEXIST ? OpenExisting(path) : -1;
}

bool FileSize(int fd, uint64_t& size)
{
    LARGE_INTEGER value {};
    if (Fault::Fails("FileSize"))
        return false;
    if (!::GetFileSizeEx(OsHandle(fd), &value))
        return Failed(::GetLastError());
    size = static_cast<uint64_t>(value.QuadPart);
    return true;
}

bool Seek(int fd, uint64_t offset)
{
    if (Fault::Fails("Seek"))
        return false;
    return ::_lseeki64(fd, static_cast<__int64>(offset), SEEK_SET) != -1;
}

bool Write(int fd, const void* data, uint32_t size)
{
    const Fault::Outcome fault = Fault::Inject("Write");
    if (fault == Fault::Outcome::kFail)
        return false;
    bool partial = fault == Fault::Outcome::kShort;
    const char* p = static_cast<const char*>(data);
    while (size > 0) {
        const int n = ::_write(fd, p, partial ? (size + 1) / 2 : size);
        partial = false;
        if (n <= 0)
            return false;
        p += n;
        size -= static_cast<uint32_t>(n);
    }
    return true;
}

int64_t ReadStart(int fd, void* data, uint32_t size)
{
    if (Fault::Fails("ReadAt") || ::_lseeki64(fd, 0, SEEK_SET) == -1)
        return -1;
    char* p = static_cast<char*>(data);
    uint32_t got = 0;
    while (got < size) {
        const int n = ::_read(fd, p + got, size - got);
        if (n < 0)
            return -1;
        if (n == 0)
            break;
        got += static_cast<uint32_t>(n);
    }
    return got;
}

void Close(int fd)
{
    ::_close(fd);
}

static FileId Identity(bool known, const BY_HANDLE_FILE_INFORMATION& info)
{
    FileId id;
    if (known) {
        id.known = true;
        id.device = info.dwVolumeSerialNumber;
        id.node = (static_cast<uint64_t>(info.nFileIndexHigh) << 32) | info.nFileIndexLow;
    }
    return id;
}

FileId IdentifyFile(int fd)
{
    BY_HANDLE_FILE_INFORMATION info {};
    return Identity(fd >= 0 && ::GetFileInformationByHandle(OsHandle(fd), &info), info);
}

// What an open of the path for its attributes only finds there, with every sharing mode:
// no other process is kept from anything.
static FileId IdentifyByOpening(const std::string& path, DWORD flags)
{
    std::wstring wide;
    if (!FileName(path, wide))
        return FileId();
    const HANDLE handle = ::CreateFileW(wide.c_str(), FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                        nullptr, OPEN_EXISTING, flags | FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (handle == INVALID_HANDLE_VALUE)
        return FileId();
    BY_HANDLE_FILE_INFORMATION info {};
    const FileId id = Identity(::GetFileInformationByHandle(handle, &info), info);
    ::CloseHandle(handle);
    return id;
}

FileId IdentifyPath(const std::string& path)
{
    return IdentifyByOpening(path, FILE_FLAG_OPEN_REPARSE_POINT);
}

FileId IdentifyPathTarget(const std::string& path)
{
    return IdentifyByOpening(path, 0);
}

bool MayGrowFileTo(uint64_t)
{
    return true;  // Windows has no file-size limit per process
}

// Windows byte-range locks are mandatory for reads and writes through the descriptor, so
// the lock covers one byte far past any content the store or a log can have.
static OVERLAPPED LockRegion()
{
    OVERLAPPED region {};
    region.Offset = 0xFFFFFFFEu;
    region.OffsetHigh = 0x7FFFFFFFu;
    return region;
}

static bool TryLockRegion(HANDLE file)
{
    OVERLAPPED region = LockRegion();
    return ::LockFileEx(file, LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, 1, 0, &region) != 0;
}

static void UnlockRegion(HANDLE file)
{
    OVERLAPPED region = LockRegion();
    ::UnlockFileEx(file, 0, 1, 0, &region);
}

bool TryLockFile(int fd)
{
    if (Fault::Fails("TryLockFile"))
        return false;
    return TryLockRegion(OsHandle(fd)) || Failed(::GetLastError());
}

void UnlockFile(int fd)
{
    UnlockRegion(OsHandle(fd));
}

namespace {
struct Mapping {
    HANDLE section;
    MapAccess access;
};
}  // namespace

MappingHandle CreateMapping(int fd, MapAccess access)
{
    if (Fault::Fails("CreateMapping"))
        return nullptr;
    const DWORD protection = access == MapAccess::kWrite ? PAGE_READWRITE : PAGE_WRITECOPY;
    const HANDLE section = ::CreateFileMappingA(OsHandle(fd), nullptr, protection, 0, 0, nullptr);
    if (section == nullptr) {
        Failed(::GetLastError());
        return nullptr;
    }
    return new Mapping {section, access};
}

// Windows cannot put other memory in a view's place in one step, so a view given up stays
// mapped for a while: a thread that read its address just before it was given up reads
// it at once, not seconds later. Views given up more than kGraceMs ago are unmapped when
// the facility next maps or gives up a view.
namespace {
constexpr ULONGLONG kGraceMs = 2000;
struct Retired {
    void* view;
    ULONGLONG since;
};
std::vector<Retired> g_retired;

void UnmapRetired(ULONGLONG now)
{
    std::size_t kept = 0;
    for (const Retired& old : g_retired) {
        if (now - old.since > kGraceMs)
            ::UnmapViewOfFile(old.view);
        else
            g_retired[kept++] = old;
    }
    g_retired.resize(kept);
}

// A DLL that links the library may be loaded and freed many times in one host: its given-up
// views go with it, or each cycle would keep one mapped for good. (In an .exe they are left
// to the end of the process: other threads may still read them while it exits.)
struct RetiredRelease {
    ~RetiredRelease()
    {
        HMODULE own = nullptr;
        const DWORD flags = GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT;
        if (!::GetModuleHandleExA(flags, reinterpret_cast<LPCSTR>(&UnmapRetired), &own) || own == ::GetModuleHandleA(nullptr))
            return;
        for (const Retired& old : g_retired)
            ::UnmapViewOfFile(old.view);
        g_retired.clear();
    }
} g_retiredRelease;
}  // namespace

void* MapView(MappingHandle handle, std::size_t size, const void*)
{
    UnmapRetired(::GetTickCount64());
    if (Fault::Fails("MapView"))
        return nullptr;
    const Mapping& mapping = *static_cast<const Mapping*>(handle);
    const DWORD access = mapping.access == MapAccess::kWrite ? FILE_MAP_ALL_ACCESS : FILE_MAP_COPY;
    void* view = ::MapViewOfFile(mapping.section, access, 0, 0, size);
    if (view == nullptr)
        Failed(::GetLastError());
    return view;
}

void* MapViewAt(MappingHandle handle, std::size_t size, const void* padding, void*)
{
    return MapView(handle, size, padding);  // the old view stays for its readers
}

bool ViewFollowsFile(const void*)
{
    return true;  // a mapped file cannot be shrunk on Windows
}

void RetireView(void* view, std::size_t, const void*)
{
    const ULONGLONG now = ::GetTickCount64();
    UnmapRetired(now);
    g_retired.push_back({view, now});
}

void CloseMapping(MappingHandle handle)
{
    const Mapping* mapping = static_cast<const Mapping*>(handle);
    ::CloseHandle(mapping->section);
    delete mapping;
}

void ReleaseFaultHandler()
{
    // Windows has no fault handler of ours to give back.
}

bool CreateFolderChain(const std::string& path)
{
    if (Fault::Fails("CreateFolderChain"))
        return false;
    std::wstring wide;
    if (!FileName(path, wide))
        return false;
    const int rc = ::SHCreateDirectoryExW(nullptr, wide.c_str(), nullptr);
    if (rc != ERROR_SUCCESS && rc != ERROR_ALREADY_EXISTS && rc != ERROR_FILE_EXISTS)
        return Failed(static_cast<DWORD>(rc));
    const DWORD attributes = ::GetFileAttributesW(wide.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0)
        return true;
    return Failed(attributes == INVALID_FILE_ATTRIBUTES ? ::GetLastError() : ERROR_ALREADY_EXISTS);
}

// The public contract (Util::Env::Expand): ANSI code page in and out.
std::size_t ExpandEnvironment(const char* text, char* buffer, std::size_t size)
{
    std::wstring wide;
    std::wstring expanded;
    if (text == nullptr || !ToWide(text, std::strlen(text), CP_ACP, 0, wide) || !ExpandWide(wide, expanded)) {
        errno = EINVAL;
        return 0;
    }
    const std::string ansi = FromWide(expanded, CP_ACP);
    const std::size_t needed = ansi.size() + 1;
    if (buffer != nullptr && size >= needed)
        std::memcpy(buffer, ansi.c_str(), needed);
    return needed;
}

// A configured path's backslashes are Windows' own separators already.
bool ExpandPath(const std::string& configured, std::string& path)
{
    std::wstring wide;
    std::wstring expanded;
    path.clear();
    if (PathToWide(configured, wide) && ExpandWide(wide, expanded))
        path = FromWide(expanded, CP_UTF8);
    if (path.empty())
        errno = EINVAL;
    return !path.empty();
}

std::string PublicText(const std::string& path)
{
    std::wstring wide;
    return PathToWide(path, wide) ? FromWide(wide, CP_ACP) : path;
}

// The temporary folder is the user's own on Windows, but what stands at the path is still
// checked before anything is written: a reparse point (symbolic link, junction) is not
// followed, a device or pipe is refused, and so is a file with a second name (a hard link
// to another file of the user's). Returns the handle and what it refers to.
static HANDLE OpenTrusted(const std::wstring& path, DWORD access, DWORD disposition, FileId& file)
{
    const HANDLE handle = ::CreateFileW(path.c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                        nullptr, disposition, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        Failed(::GetLastError());
        return handle;
    }
    BY_HANDLE_FILE_INFORMATION info {};
    const bool trusted = ::GetFileType(handle) == FILE_TYPE_DISK && ::GetFileInformationByHandle(handle, &info)
                         && (info.dwFileAttributes & (FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DIRECTORY)) == 0
                         && info.nNumberOfLinks == 1;
    file = Identity(trusted, info);
    if (trusted)
        return handle;
    ::CloseHandle(handle);
    errno = EPERM;
    return INVALID_HANDLE_VALUE;
}

// Empties the log through a handle that may write anywhere, on the file just checked only.
static bool EmptyLog(const std::wstring& path, const FileId& file)
{
    FileId again;
    const HANDLE writer = OpenTrusted(path, FILE_WRITE_DATA | FILE_READ_ATTRIBUTES | SYNCHRONIZE, OPEN_EXISTING, again);
    if (writer == INVALID_HANDLE_VALUE)
        return false;
    const bool same = SameFile(file, again);
    if (!same)
        errno = EPERM;  // another file took the path between the two opens
    const bool emptied = same && (::SetEndOfFile(writer) || Failed(::GetLastError()));
    ::CloseHandle(writer);
    return emptied;
}

std::FILE* OpenLogStream(const std::string& path, LogOpening opening)
{
    if (Fault::Fails("OpenLogStream"))
        return nullptr;
    std::wstring wide;
    if (!FileName(path, wide))
        return nullptr;
    // FILE_APPEND_DATA without FILE_WRITE_DATA: the system puts every write at the end of the
    // file as it is then, in one step, even with other processes appending to the same log.
    // (The C runtime's _O_APPEND seeks, then writes: two steps another process can come between.)
    // FILE_READ_DATA: a byte-range lock needs it (LockForAppend).
    FileId file;
    const DWORD access = FILE_APPEND_DATA | FILE_READ_DATA | FILE_READ_ATTRIBUTES | SYNCHRONIZE;
    const HANDLE handle = OpenTrusted(wide, access, OPEN_ALWAYS, file);
    if (handle == INVALID_HANDLE_VALUE)
        return nullptr;
    if (opening == LogOpening::kEmptyFirst && !EmptyLog(wide, file)) {
        ::CloseHandle(handle);
        return nullptr;
    }
    // No _O_APPEND: the handle appends by itself, and the C runtime's seek would add nothing.
    const int opened = ::_open_osfhandle(reinterpret_cast<intptr_t>(handle), _O_TEXT);
    if (opened < 0) {
        ::CloseHandle(handle);
        return nullptr;
    }
    const int fd = AboveStandardStreams(opened);  // on failure the handle went with `opened`
    if (fd < 0)
        return nullptr;
    std::FILE* stream = ::_fdopen(fd, "a");
    if (stream == nullptr)
        ::_close(fd);
    return stream;
}

bool DeletedFileMayHoldItsPath()
{
    return true;  // the name stays until the last handle closes, unless POSIX deletion removed it
}

StreamRisk RiskOf(std::FILE*)
{
    return StreamRisk::kNone;  // Windows raises no signal for a write
}

int StreamDescriptor(std::FILE* stream)
{
    return ::_fileno(stream);
}

// Where the system finds the end of the file and then writes there, two steps (wine does so
// for an appending handle), another process's record could land between them: processes that
// share a log take turns through a lock on one byte far past its end, held around the write.
// A record waits a second at most for a holder (a process stopped in a debugger), then is
// written without the lock.
static bool LockForAppend(HANDLE file)
{
    const ULONGLONG giveUp = ::GetTickCount64() + 1000;
    for (;;) {
        if (TryLockRegion(file))
            return true;
        if (::GetLastError() != ERROR_LOCK_VIOLATION || ::GetTickCount64() >= giveUp)
            return false;
        ::SwitchToThread();
    }
}

// The record with every LF turned into CRLF, as the C runtime's text mode writes it, in one
// WriteFile: the text mode would split it into several, between which another process's
// record could land.
static std::size_t AppendLines(HANDLE file, const char* text, std::size_t length)
{
    const std::size_t lines = static_cast<std::size_t>(std::count(text, text + length, '\n'));
    if (length > MAXDWORD || lines > MAXDWORD - length)
        return 0;
    const std::size_t size = length + lines;
    char local[1024];
    std::string heap;
    char* const line = size <= sizeof local ? local : (heap.resize(size), &heap[0]);
    char* out = line;
    for (const char* in = text; in != text + length; *out++ = *in++)
        if (*in == '\n')
            *out++ = '\r';
    DWORD done = 0;
    const bool locked = LockForAppend(file);
    ::WriteFile(file, line, static_cast<DWORD>(size), &done, nullptr);
    if (locked)
        UnlockRegion(file);
    return done == size ? length : std::min<std::size_t>(done, length - 1);
}

std::size_t WriteRecord(std::FILE* stream, const char* text, std::size_t length, StreamRisk, bool ownLog)
{
    // What the stream still buffers goes first, then the record in one write, past the
    // stream's buffer: a record that fails leaves nothing behind in the stream.
    ::_lock_file(stream);
    const int fd = ::_fileno(stream);
    std::size_t written = 0;
    if (::fflush(stream) != 0) {
    } else if (fd < 0) {
        written = std::fwrite(text, 1, length, stream);
        if (::fflush(stream) != 0)
            written = 0;
    } else if (ownLog) {
        written = AppendLines(OsHandle(fd), text, length);
    } else {
        while (written < length) {
            const std::size_t left = length - written;
            const int n = ::_write(fd, text + written, left > 0x40000000u ? 0x40000000u : static_cast<unsigned>(left));
            if (n <= 0)
                break;
            written += static_cast<std::size_t>(n);
        }
    }
    ::_unlock_file(stream);
    return written;
}

void ReportWriteFailuresAsErrors()
{
    // Windows raises no signal for either.
}

uint32_t CurrentThreadId()
{
    return ::GetCurrentThreadId();
}

int64_t WallClockTicks()
{
    FILETIME ft {};
    ::GetSystemTimePreciseAsFileTime(&ft);
    const int64_t since1601 =
        static_cast<int64_t>((static_cast<uint64_t>(ft.dwHighDateTime) << 32) | ft.dwLowDateTime);
    return since1601 - 116444736000000000LL;
}

bool LocalTimeOfDay(int64_t seconds, int& hour, int& minute, int& second)
{
    const std::time_t t = static_cast<std::time_t>(seconds);
    std::tm local {};
    const errno_t error = ::localtime_s(&local, &t);
    if (error != 0) {
        errno = error;
        return false;
    }
    hour = local.tm_hour;
    minute = local.tm_min;
    second = local.tm_sec;
    return true;
}

uint64_t TickCountMs()
{
    return ::GetTickCount64();
}

bool SetThreadPriority(std::thread& thread, int priority, uint32_t& error)
{
    if (!thread.joinable()) {  // no thread behind the object: nothing to hand the system
        error = ERROR_INVALID_HANDLE;
        return false;
    }
    const HANDLE handle = ::pthread_gethandle(thread.native_handle());
    if (::SetThreadPriority(handle, priority) != 0) {
        error = 0;
        return true;
    }
    error = ::GetLastError();
    return false;
}

}  // namespace Platform
