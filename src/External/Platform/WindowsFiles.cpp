// Windows files: the store's descriptors, their identities, sizes, reads, writes and locks.
#include "Platform.h"

#include "FaultInjection.h"
#include "FileSteps.h"
#include "WindowsDescriptors.h"
#include "WindowsText.h"

#include <cerrno>
#include <cstdio>
#include <string>

#include <fcntl.h>
#include <io.h>

#include <windows.h>

namespace pdulog_detail::Platform {

HANDLE OsHandle(int fd) { return reinterpret_cast<HANDLE>(::_get_osfhandle(fd)); }

int AboveStandardStreams(int fd)
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

namespace {

int OpenDescriptor(const std::string& path, DWORD access, DWORD disposition, int flags)
{
    std::wstring wide;
    if (!FileName(path, wide))
        return -1;
    // FILE_SHARE_READ | FILE_SHARE_WRITE: what _SH_DENYNO gives.
    const HANDLE handle = ::CreateFileW(wide.c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, disposition,
                                        FILE_ATTRIBUTE_NORMAL, nullptr);
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

}  // namespace

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

namespace {

// How a store written beside its path came into place.
enum class Moved {
    kWhole,        // moved: it appeared whole
    kOtherVolume,  // written, but the draft's volume is not the path's
    kNot,          // errno says why; EEXIST: another process made the store meanwhile
};

// Written under a name of its own beside the path, then moved into place: a move without
// MOVEFILE_REPLACE_EXISTING never replaces what another process created meanwhile.
Moved CreateWhole(const std::string& path, const void* data, uint32_t size)
{
    std::wstring target;
    if (Fault::Fails("CreateWhole") || !FileName(path, target))
        return Moved::kNot;
    const std::wstring draft = target + L"." + std::to_wstring(::GetCurrentProcessId()) + L".new";
    const HANDLE handle
        = ::CreateFileW(draft.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
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

}  // namespace

// Where no file can be moved into place, the store is created plainly and padded by its opener.
int CreateStoreFile(const std::string& path, const void* data, uint32_t size)
{
    switch (CreateWhole(path, data, size)) {
    case Moved::kWhole: return OpenExisting(path);
    case Moved::kOtherVolume: return OpenCreating(path);
    case Moved::kNot: break;
    }
    // Another process's store came into place meanwhile: the move fails with EEXIST, or,
    // under wine while that store is open, with EACCES. A refusal stays one if nothing is there.
    const int error = errno;
    if (error != EEXIST && error != EACCES)
        return -1;
    const int fd = OpenExisting(path);
    if (fd == -1 && error == EACCES)
        errno = error;
    return fd;
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

void Close(int fd) { ::_close(fd); }

FileId Identity(const BY_HANDLE_FILE_INFORMATION& info)
{
    return FileId {true, info.dwVolumeSerialNumber,
                   (static_cast<uint64_t>(info.nFileIndexHigh) << 32) | info.nFileIndexLow};
}

FileId IdentifyFile(int fd)
{
    BY_HANDLE_FILE_INFORMATION info {};
    return fd >= 0 && ::GetFileInformationByHandle(OsHandle(fd), &info) ? Identity(info) : FileId();
}

namespace {

// What an open of the path for its attributes only finds there, with every sharing mode:
// no other process is kept from anything.
FileId IdentifyByOpening(const std::string& path, DWORD flags)
{
    std::wstring wide;
    if (!FileName(path, wide))
        return FileId();
    const HANDLE handle
        = ::CreateFileW(wide.c_str(), FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                        nullptr, OPEN_EXISTING, flags | FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (handle == INVALID_HANDLE_VALUE)
        return FileId();
    BY_HANDLE_FILE_INFORMATION info {};
    const FileId id = ::GetFileInformationByHandle(handle, &info) ? Identity(info) : FileId();
    ::CloseHandle(handle);
    return id;
}

}  // namespace

FileId IdentifyPath(const std::string& path) { return IdentifyByOpening(path, FILE_FLAG_OPEN_REPARSE_POINT); }

FileId IdentifyPathTarget(const std::string& path) { return IdentifyByOpening(path, 0); }

bool MayGrowFileTo(uint64_t)
{
    return true;  // Windows has no file-size limit per process
}

namespace {

// Windows byte-range locks are mandatory for reads and writes through the descriptor, so
// the lock covers one byte far past any content the store or a log can have.
OVERLAPPED LockRegion()
{
    OVERLAPPED region {};
    region.Offset = 0xFFFFFFFEu;
    region.OffsetHigh = 0x7FFFFFFFu;
    return region;
}

}  // namespace

bool TryLockRegion(HANDLE file)
{
    OVERLAPPED region = LockRegion();
    return ::LockFileEx(file, LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, 1, 0, &region) != 0;
}

void UnlockRegion(HANDLE file)
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

void UnlockFile(int fd) { UnlockRegion(OsHandle(fd)); }

bool RenameReplacing(const std::string& from, const std::string& to)
{
    std::wstring source;
    std::wstring target;
    if (Fault::Fails("RenameReplacing") || !FileName(from, source) || !FileName(to, target))
        return false;
    return ::MoveFileExW(source.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING) || Failed(::GetLastError());
}

int64_t LastChangeTicks(const std::string& path)
{
    std::wstring wide;
    WIN32_FILE_ATTRIBUTE_DATA data {};
    if (!FileName(path, wide) || !::GetFileAttributesExW(wide.c_str(), GetFileExInfoStandard, &data))
        return 0;
    // A rename keeps the write time: a file renamed just after its last write, as a log is.
    ULARGE_INTEGER since1601 {};
    since1601.LowPart = data.ftLastWriteTime.dwLowDateTime;
    since1601.HighPart = data.ftLastWriteTime.dwHighDateTime;
    constexpr int64_t k1601To1970 = 116444736000000000;
    return static_cast<int64_t>(since1601.QuadPart) - k1601To1970;
}

}  // namespace pdulog_detail::Platform
