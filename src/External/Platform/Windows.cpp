// Windows (mingw-w64) implementation of Platform.h.
#include "Platform.h"

#include <cerrno>
#include <cstdio>
#include <ctime>

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

int OpenShared(const std::string& path, bool create)
{
    int fd = -1;
    const int flags = _O_RDWR | _O_BINARY | (create ? _O_CREAT : 0);
    if (::_sopen_s(&fd, path.c_str(), flags, _SH_DENYNO, _S_IREAD | _S_IWRITE) != 0)
        return -1;
    return fd;
}

bool FileSize(int fd, uint32_t& size)
{
    const DWORD low = ::GetFileSize(OsHandle(fd), nullptr);
    if (low == INVALID_FILE_SIZE && ::GetLastError() != NO_ERROR)
        return false;
    size = low;
    return true;
}

bool Seek(int fd, uint32_t offset)
{
    return ::_lseeki64(fd, static_cast<__int64>(offset), SEEK_SET) != -1;
}

bool Write(int fd, const void* data, uint32_t size)
{
    const char* p = static_cast<const char*>(data);
    while (size > 0) {
        const int n = ::_write(fd, p, size);
        if (n <= 0)
            return false;
        p += n;
        size -= static_cast<uint32_t>(n);
    }
    return true;
}

void Close(int fd)
{
    ::_close(fd);
}

// Windows byte-range locks are mandatory for reads and writes through the descriptor, so
// the lock covers one byte far past any content the store can have.
static OVERLAPPED LockRegion()
{
    OVERLAPPED region {};
    region.Offset = 0xFFFFFFFEu;
    region.OffsetHigh = 0x7FFFFFFFu;
    return region;
}

bool LockFile(int fd)
{
    OVERLAPPED region = LockRegion();
    return ::LockFileEx(OsHandle(fd), LOCKFILE_EXCLUSIVE_LOCK, 0, 1, 0, &region) != 0;
}

void UnlockFile(int fd)
{
    OVERLAPPED region = LockRegion();
    ::UnlockFileEx(OsHandle(fd), 0, 1, 0, &region);
}

MappingHandle CreateMapping(int fd)
{
    return ::CreateFileMappingA(OsHandle(fd), nullptr, PAGE_READWRITE, 0, 0, nullptr);
}

void* MapView(MappingHandle mapping, std::size_t size)
{
    return ::MapViewOfFile(static_cast<HANDLE>(mapping), FILE_MAP_ALL_ACCESS, 0, 0, size);
}

void UnmapView(void* view, std::size_t)
{
    ::UnmapViewOfFile(view);
}

void CloseMapping(MappingHandle mapping)
{
    ::CloseHandle(static_cast<HANDLE>(mapping));
}

bool CreateFolderChain(const std::string& path)
{
    const int rc = ::SHCreateDirectoryExA(nullptr, path.c_str(), nullptr);
    return rc == ERROR_SUCCESS || rc == ERROR_ALREADY_EXISTS || rc == ERROR_FILE_EXISTS;
}

std::size_t ExpandEnvironment(const char* text, char* buffer, std::size_t size)
{
    const DWORD capacity = size > 0xFFFFFFFFu ? 0xFFFFFFFFu : static_cast<DWORD>(size);
    return ::ExpandEnvironmentStringsA(text, buffer, capacity);
}

void NativeSeparators(std::string&)
{
}

std::FILE* OpenLogStream(const std::string& path, bool truncate)
{
    return std::fopen(path.c_str(), truncate ? "w" : "a");
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
    if (::localtime_s(&local, &t) != 0)
        return false;
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
