// Windows log streams: the checked opening of a log, and records appended whole.
#include "Platform.h"

#include "BoundedWait.h"
#include "FaultInjection.h"
#include "WindowsDescriptors.h"
#include "WindowsText.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <string>

#include <fcntl.h>
#include <io.h>

#include <windows.h>

namespace pdulog_detail::Platform {

namespace {

// The temporary folder is the user's own on Windows, but what stands at the path is still
// checked before anything is written: a reparse point (symbolic link, junction) is not
// followed, a device or pipe is refused, and so is a file with a second name (a hard link
// to another file of the user's). Returns the handle and what it refers to.
HANDLE OpenTrusted(const std::wstring& path, DWORD access, DWORD disposition, FileId& file)
{
    const HANDLE handle
        = ::CreateFileW(path.c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                        disposition, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        Failed(::GetLastError());
        return handle;
    }
    BY_HANDLE_FILE_INFORMATION info {};
    const bool trusted = ::GetFileType(handle) == FILE_TYPE_DISK && ::GetFileInformationByHandle(handle, &info)
                         && (info.dwFileAttributes & (FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DIRECTORY)) == 0
                         && info.nNumberOfLinks == 1;
    file = trusted ? Identity(info) : FileId();
    if (trusted)
        return handle;
    ::CloseHandle(handle);
    errno = EPERM;
    return INVALID_HANDLE_VALUE;
}

// Empties the log through a handle that may write anywhere, on the file just checked only.
bool EmptyLog(const std::wstring& path, const FileId& file)
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

}  // namespace

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

int StreamDescriptor(std::FILE* stream) { return ::_fileno(stream); }

namespace {

// Where the system finds the end of the file and then writes there, two steps (wine does so
// for an appending handle), another process's record could land between them: processes that
// share a log take turns through a lock on one byte far past its end, held around the write.
// A record waits a second at most for a holder (a process stopped in a debugger), then is
// written without the lock.
constexpr std::chrono::milliseconds kAppendLockWait {1000};

bool LockForAppend(HANDLE file)
{
    return WaitUntil(kAppendLockWait, std::chrono::microseconds(0), [file] {
        if (TryLockRegion(file))
            return Attempt::kDone;
        return ::GetLastError() == ERROR_LOCK_VIOLATION ? Attempt::kBusy : Attempt::kFailed;
    });
}

// The record with every LF turned into CRLF, as the C runtime's text mode writes it, in one
// WriteFile: the text mode would split it into several, between which another process's
// record could land.
std::size_t AppendLines(HANDLE file, const char* text, std::size_t length)
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

}  // namespace

std::size_t WriteRecord(std::FILE* stream, const char* text, std::size_t length, StreamRisk, StreamOrigin origin)
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
    } else if (origin == StreamOrigin::kOwnLog) {
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

std::size_t WriteOwnLog(std::FILE* stream, int, const char* text, std::size_t length)
{
    return WriteRecord(stream, text, length, StreamRisk::kNone, StreamOrigin::kOwnLog);
}

void ReportWriteFailuresAsErrors()
{
    // Windows raises no signal for either.
}

bool LogEndsLine(std::FILE* stream)
{
    const int fd = ::_fileno(stream);
    const HANDLE handle = fd >= 0 ? OsHandle(fd) : INVALID_HANDLE_VALUE;
    LARGE_INTEGER size {};
    if (handle == INVALID_HANDLE_VALUE || !::GetFileSizeEx(handle, &size) || size.QuadPart == 0)
        return true;
    OVERLAPPED at {};
    at.Offset = static_cast<DWORD>(size.QuadPart - 1);
    at.OffsetHigh = static_cast<DWORD>((size.QuadPart - 1) >> 32);
    char last = '\n';
    DWORD got = 0;
    ::ReadFile(handle, &last, 1, &got, &at);  // the log's handle may read (LockForAppend)
    return got != 1 || last == '\n';
}

}  // namespace pdulog_detail::Platform
