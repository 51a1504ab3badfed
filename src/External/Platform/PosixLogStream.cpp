// POSIX log streams: the checked opening of a log, and records written without a signal.
#include "Platform.h"

#include "FaultInjection.h"
#include "LinuxCalls.h"
#include "PosixDescriptors.h"

#include <cerrno>
#include <climits>
#include <csignal>
#include <ctime>

#include <fcntl.h>
#include <pthread.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

namespace pdulog_detail::Platform {

std::FILE* OpenLogStream(const std::string& path, LogOpening opening)
{
    const bool truncate = opening == LogOpening::kEmptyFirst;
    if (Fault::Fails("OpenLogStream"))
        return nullptr;
    // Opened without following a link and without waiting for a FIFO's reader; nothing
    // is emptied before what was opened has passed the checks.
    // Readable too, so that a last line cut short can be seen (LogEndsLine).
    constexpr int kFlags = O_CREAT | O_APPEND | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC;
    int fd = ::open(path.c_str(), O_RDWR | kFlags, 0600);
    if (fd < 0 && errno == EACCES)
        fd = ::open(path.c_str(), O_WRONLY | kFlags, 0600);
    fd = AboveStandardStreams(fd);
    if (fd < 0)
        return nullptr;
    struct stat st {};
    const bool trusted = ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_uid == ::geteuid() && st.st_nlink == 1;
    // O_APPEND stays: every record lands at the end of the file as it is then, even when
    // another process has the same log open.
    if (!trusted)
        errno = EPERM;
    if (!trusted || (truncate && ::ftruncate(fd, 0) != 0) || ::fcntl(fd, F_SETFL, O_APPEND) != 0) {
        CloseKeepingError(fd);
        return nullptr;
    }
    std::FILE* stream = ::fdopen(fd, "a");
    if (stream == nullptr)
        CloseKeepingError(fd);
    return stream;
}

bool LogEndsLine(std::FILE* stream)
{
    const int fd = ::fileno(stream);
    struct stat st {};
    char last = '\n';
    if (fd >= 0 && ::fstat(fd, &st) == 0 && st.st_size > 0)
        ::pread(fd, &last, 1, st.st_size - 1);
    return last == '\n';
}

bool OtherThreadsGone()
{
    return false;  // at exit() the other threads run on until the process is gone
}

bool DeletedFileMayHoldItsPath()
{
    return false;  // a deleted file's name is gone at once, open or not
}

StreamRisk RiskOf(std::FILE* stream)
{
    struct stat st {};
    const int fd = stream != nullptr ? ::fileno(stream) : -1;
    if (fd < 0 || ::fstat(fd, &st) != 0)
        return StreamRisk::kNone;
    if (S_ISSOCK(st.st_mode))
        return StreamRisk::kSocket;
    if (S_ISFIFO(st.st_mode))
        return StreamRisk::kBrokenPipe;
    struct rlimit limit {};
    if (S_ISREG(st.st_mode) && ::getrlimit(RLIMIT_FSIZE, &limit) == 0 && limit.rlim_cur != RLIM_INFINITY)
        return StreamRisk::kSizeLimit;
    return StreamRisk::kNone;
}

int StreamDescriptor(std::FILE* stream) { return ::fileno(stream); }

namespace {

// How many bytes reached the file.
std::size_t WriteAll(int fd, const char* text, std::size_t length)
{
    std::size_t done = 0;
    while (done < length) {
        const ssize_t n = ::write(fd, text + done, length - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        done += static_cast<std::size_t>(n);
    }
    return done;
}

// A write cut short after `first` bytes, or interrupted: the rest of it. Kept out of the
// straight path, whose every record would otherwise save the registers it needs.
__attribute__((noinline)) std::size_t WriteRest(int fd, const char* text, std::size_t length, ssize_t first)
{
    if (first == 0 || (first < 0 && errno != EINTR))
        return 0;
    const std::size_t done = first > 0 ? static_cast<std::size_t>(first) : 0;
    return done + WriteAll(fd, text + done, length - done);
}

// A socket's write that raises no signal: how many bytes it took. The host's errno stays.
std::size_t SendAll(int fd, const char* text, std::size_t length)
{
    const int error = errno;
    struct PutBack {
        int error;
        ~PutBack()
        {
            if (errno != error)
                errno = error;
        }
    } putBack {error};
    std::size_t done = 0;
    while (done < length) {
        const ssize_t n = ::send(fd, text + done, length - done, MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        done += static_cast<std::size_t>(n);
    }
    return done;
}

// Whether the record would carry the file past the process's size limit. Only a whole
// record is written: a piece of one would be glued to whatever comes next. A log of the
// library's own is known to append.
bool PastSizeLimit(int fd, std::size_t length, bool appends)
{
    struct rlimit limit {};
    struct stat st {};
    if (::getrlimit(RLIMIT_FSIZE, &limit) != 0 || limit.rlim_cur == RLIM_INFINITY || ::fstat(fd, &st) != 0)
        return false;
    off_t at = st.st_size;
    if (!appends && (::fcntl(fd, F_GETFL) & O_APPEND) == 0)
        at = ::lseek(fd, 0, SEEK_CUR);
    return at < 0 || static_cast<uint64_t>(at) + length > static_cast<uint64_t>(limit.rlim_cur);
}

// A set of one signal, made once.
struct OneSignal {
    explicit OneSignal(int number) : signal(number)
    {
        sigemptyset(&set);
        sigaddset(&set, number);
    }
    int signal;
    sigset_t set;
};
const OneSignal g_pipeSignal(SIGPIPE);
const OneSignal g_sizeSignal(SIGXFSZ);

// `write` with the signal blocked in this thread; a signal that it raised is taken back
// before the mask is restored, so the host never sees it. One that a host blocking the
// signal had pending already is left to it (a host that does not block it has had it
// delivered). A thread that blocks the signal already needs one call to the mask, not two;
// one that does not needs both: Linux has no way to write to a pipe without the signal.
template <typename Write>
std::size_t HoldingBack(const OneSignal& only, std::size_t length, Write write)
{
    // The mask comes back however the write ends, a cancellation included.
    struct Restore {
        sigset_t saved;
        bool masked;
        ~Restore()
        {
            if (masked)
                ::pthread_sigmask(SIG_SETMASK, &saved, nullptr);
        }
    };
    Restore restore {{}, false};
    if (::pthread_sigmask(SIG_BLOCK, &only.set, &restore.saved) != 0)
        return 0;
    const bool blockedBefore = sigismember(&restore.saved, only.signal) == 1;
    restore.masked = !blockedBefore;  // a block that changed nothing has nothing to undo
    sigset_t pending;
    const bool hostsOwn = blockedBefore && ::sigpending(&pending) == 0 && sigismember(&pending, only.signal) == 1;
    const int error = errno;
    const std::size_t written = write();
    if (written != length && !hostsOwn) {
        const timespec now {};
        while (::sigtimedwait(&only.set, nullptr, &now) < 0 && errno == EINTR) {}
    }
    if (errno != error)  // the host's errno, whatever the write met
        errno = error;
    return written;
}

// The stream's lock, held from here until the write ends, a cancellation included.
class StreamLock {
public:
    explicit StreamLock(std::FILE* stream) : m_stream(stream) { ::flockfile(m_stream); }
    ~StreamLock() { ::funlockfile(m_stream); }
    StreamLock(const StreamLock&) = delete;
    StreamLock& operator=(const StreamLock&) = delete;

private:
    std::FILE* m_stream;
};

// Whether what the stream holds went out first, under its lock: a stream that holds
// nothing (the usual: the host does not write through it) and was not last read from has
// nothing to flush.
bool Flushed(std::FILE* stream) { return Linux::HoldsNothing(stream) || Linux::FlushHeld(stream); }

// WriteRecord to a stream that may raise a signal (a pipe, a socket, a file under a size
// limit) or that has no descriptor. Out of the file's straight path: its frame is large.
// Under the stream's lock too: a pipe takes a record of up to PIPE_BUF bytes whole, but one
// record or host's line that is longer goes in several writes, which a record that did not
// wait for the lock would come between.
__attribute__((noinline)) std::size_t WriteAtRisk(std::FILE* stream, int fd, const char* text, std::size_t length,
                                                  StreamRisk risk, StreamOrigin origin)
{
    const StreamLock lock(stream);
    const auto write = [&]() -> std::size_t {
        if (fd < 0)  // a stream of the host's with no file behind it
            return Linux::FlushHeld(stream) ? Linux::WriteHeld(text, length, stream) : 0;
        return Flushed(stream) ? WriteAll(fd, text, length) : 0;
    };
    std::size_t written = 0;
    if (risk == StreamRisk::kSocket && fd >= 0 && Linux::HoldsNoOutput(stream)) {  // nothing to flush: no mask
        written = SendAll(fd, text, length);
    } else if (risk == StreamRisk::kBrokenPipe || risk == StreamRisk::kSocket) {
        written = HoldingBack(g_pipeSignal, length, write);
    } else if (risk == StreamRisk::kSizeLimit) {
        written = fd >= 0 && !PastSizeLimit(fd, length, origin == StreamOrigin::kOwnLog)
                      ? HoldingBack(g_sizeSignal, length, write)
                      : 0;
    } else {
        written = write();
    }
    if (fd < 0 && written == length && !Linux::FlushHeld(stream))
        written = 0;
    return written;
}

}  // namespace

// What the stream still buffers goes first, then the record in one write, past the
// stream's buffer: a record that fails leaves nothing behind in the stream.
// Every record takes the stream's lock: for its buffer, and for what is too long to stay
// whole in one write (a record, or a line of the host's, of more than PIPE_BUF bytes on a
// pipe; any send to a socket whose buffer is small). Threads that share a file stream then
// also wait their turn in the lock, asleep, instead of contending for the file's position
// in the kernel (eight threads on one file ran 1.35 times slower than fprintf and fflush
// without it).
// Never inlined into WriteOwnLog, whose straight path would save its registers.
__attribute__((noinline)) std::size_t WriteRecord(std::FILE* stream, const char* text, std::size_t length,
                                                  StreamRisk risk, StreamOrigin origin)
{
    const int fd = ::fileno(stream);
    if (risk != StreamRisk::kNone || fd < 0)
        return WriteAtRisk(stream, fd, text, length, risk, origin);
    const StreamLock lock(stream);
    return Flushed(stream) ? WriteAll(fd, text, length) : 0;
}

// Nobody writes the library's own log through its stream: nothing waits in the stream's
// buffer, and a record that fits in one write needs no lock.
std::size_t WriteOwnLog(std::FILE* stream, int fd, const char* text, std::size_t length)
{
    if (length > PIPE_BUF || fd < 0)
        return WriteRecord(stream, text, length, StreamRisk::kNone, StreamOrigin::kOwnLog);
    const ssize_t n = ::write(fd, text, length);
    return n == static_cast<ssize_t>(length) ? length : WriteRest(fd, text, length, n);
}

void ReportWriteFailuresAsErrors()
{
    ::signal(SIGPIPE, SIG_IGN);
    ::signal(SIGXFSZ, SIG_IGN);
}

}  // namespace pdulog_detail::Platform
