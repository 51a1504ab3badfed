// POSIX (Linux) implementation of Platform.h.
#include "Platform.h"

#include "FaultInjection.h"
#include "FileSteps.h"

#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <ctime>

#include <fcntl.h>
#include <pthread.h>
#include <stdio_ext.h>
#include <sched.h>
#include <sys/file.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace Platform {

// A descriptor that landed on 0, 1 or 2 (the host had closed a standard stream) is moved
// above them.
static int AboveStandardStreams(int fd)
{
    if (fd < 0 || fd > 2)
        return fd;
    const int moved = ::fcntl(fd, F_DUPFD_CLOEXEC, 3);
    const int error = errno;
    ::close(fd);
    errno = error;
    return moved;
}

// A store is a regular file: what else stands at its path (a FIFO, a device) is refused,
// opened without waiting for a peer that may never come (O_NONBLOCK, which a regular
// file's reads and writes ignore).
static int RegularFileOnly(int fd)
{
    struct stat st {};
    if (fd < 0 || (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode)))
        return fd;
    ::close(fd);
    errno = S_ISDIR(st.st_mode) ? EISDIR : EINVAL;
    return -1;
}

// Opened for reading and writing, an interrupted open made again.
static int OpenReadWrite(const std::string& path, int flags)
{
    int fd;
    do {
        fd = Fault::Fails("OpenShared") ? -1
                                        : ::open(path.c_str(), O_RDWR | O_CLOEXEC | O_NOCTTY | O_NONBLOCK | flags, 0600);
    } while (fd < 0 && errno == EINTR);
    return AboveStandardStreams(RegularFileOnly(fd));
}

int OpenExisting(const std::string& path)
{
    return OpenReadWrite(path, 0);
}

int OpenCreating(const std::string& path)
{
    return OpenReadWrite(path, O_CREAT);
}

int OpenForReading(const std::string& path)
{
    if (Fault::Fails("OpenForReading"))
        return -1;
    int fd;
    do {
        fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
    } while (fd < 0 && errno == EINTR);
    return AboveStandardStreams(RegularFileOnly(fd));
}

// How a store written beside its path came into place.
enum class Linked {
    kWhole,      // linked: it appeared whole
    kNoLinks,    // written, but this file system has no hard links (FAT, a network share)
    kNot,        // errno says why; EEXIST: another process made the store meanwhile
};

// Written under a name of its own beside the path, then linked into place: link() never
// replaces what another process created meanwhile.
static Linked CreateWhole(const std::string& path, const void* data, uint32_t size)
{
    if (Fault::Fails("CreateWhole"))
        return Linked::kNot;
    if (!MayGrowFileTo(size)) {  // the write would raise SIGXFSZ in a host
        errno = EFBIG;
        return Linked::kNot;
    }
    const std::string draft = path + "." + std::to_string(::getpid()) + ".new";
    const int fd = AboveStandardStreams(
        ::open(draft.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC | O_NOCTTY, 0600));
    if (fd < 0)
        return Linked::kNot;
    const bool written = Write(fd, data, size);
    ::close(fd);
    const bool linked = written && ::link(draft.c_str(), path.c_str()) == 0;
    const int error = errno;
    ::unlink(draft.c_str());
    errno = error;
    if (linked)
        return Linked::kWhole;
    return written && error != EEXIST ? Linked::kNoLinks : Linked::kNot;
}

// Where no file can appear whole, the store is created plainly and padded by its opener.
int CreateStoreFile(const std::string& path, const void* data, uint32_t size)
{
    switch (CreateWhole(path, data, size)) {
    case Linked::kWhole:
        return OpenExisting(path);
    case Linked::kNoLinks:
        return OpenCreating(path);
    case Linked::kNot:
        break;
    }
    return errno == EEXIST ? OpenExisting(path) : -1;
}

bool FileSize(int fd, uint64_t& size)
{
    struct stat st {};
    if (Fault::Fails("FileSize") || ::fstat(fd, &st) != 0)
        return false;
    size = static_cast<uint64_t>(st.st_size);
    return true;
}

bool Seek(int fd, uint64_t offset)
{
    if (Fault::Fails("Seek"))
        return false;
    return ::lseek(fd, static_cast<off_t>(offset), SEEK_SET) != static_cast<off_t>(-1);
}

bool Write(int fd, const void* data, uint32_t size)
{
    const Fault::Outcome fault = Fault::Inject("Write");
    if (fault == Fault::Outcome::kFail)
        return false;
    bool partial = fault == Fault::Outcome::kShort;
    const char* p = static_cast<const char*>(data);
    while (size > 0) {
        const ssize_t n = ::write(fd, p, partial ? (size + 1) / 2 : size);
        partial = false;
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        p += n;
        size -= static_cast<uint32_t>(n);
    }
    return true;
}

int64_t ReadStart(int fd, void* data, uint32_t size)
{
    if (Fault::Fails("ReadAt"))
        return -1;
    char* p = static_cast<char*>(data);
    uint32_t got = 0;
    while (got < size) {
        const ssize_t n = ::pread(fd, p + got, size - got, static_cast<off_t>(got));
        if (n < 0 && errno == EINTR)
            continue;
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
    ::close(fd);
}

static FileId Identity(bool known, const struct stat& st)
{
    FileId id;
    if (known) {
        id.known = true;
        id.device = static_cast<uint64_t>(st.st_dev);
        id.node = static_cast<uint64_t>(st.st_ino);
    }
    return id;
}

FileId IdentifyFile(int fd)
{
    struct stat st {};
    return Identity(fd >= 0 && ::fstat(fd, &st) == 0, st);
}

FileId IdentifyPath(const std::string& path)
{
    struct stat st {};
    return Identity(::lstat(path.c_str(), &st) == 0, st);
}

FileId IdentifyPathTarget(const std::string& path)
{
    struct stat st {};
    return Identity(::stat(path.c_str(), &st) == 0, st);
}

bool MayGrowFileTo(uint64_t size)
{
    struct rlimit limit {};
    if (::getrlimit(RLIMIT_FSIZE, &limit) != 0)
        return true;
    return limit.rlim_cur == RLIM_INFINITY || size <= static_cast<uint64_t>(limit.rlim_cur);
}

bool TryLockFile(int fd)
{
    if (Fault::Fails("TryLockFile"))
        return false;
    int rc;
    do {
        rc = ::flock(fd, LOCK_EX | LOCK_NB);
    } while (rc != 0 && errno == EINTR);
    return rc == 0;
}

void UnlockFile(int fd)
{
    ::flock(fd, LOCK_UN);
}

bool CreateFolderChain(const std::string& path)
{
    if (Fault::Fails("CreateFolderChain"))
        return false;
    if (path.empty()) {
        errno = ENOENT;
        return false;
    }
    std::string prefix;
    prefix.reserve(path.size());
    for (std::size_t i = 0; i < path.size(); ++i) {
        if (path[i] == '/' && !prefix.empty() && prefix.back() != '/')
            ::mkdir(prefix.c_str(), 0700);
        prefix += path[i];
    }
    if (prefix.back() != '/')
        ::mkdir(prefix.c_str(), 0700);
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0)
        return false;
    if (!S_ISDIR(st.st_mode))
        errno = ENOTDIR;
    return S_ISDIR(st.st_mode);
}

// An empty value counts as unset, as it does on Windows, where setting a variable to
// nothing removes it.
static const char* Variable(const char* name)
{
    const char* value = std::getenv(name);
    return value != nullptr && *value != '\0' ? value : nullptr;
}

// Per-user folders follow the XDG base-directory rule: a relative value is ignored like an
// unset one, or the store would land below whatever folder happens to be current.
static const char* AbsoluteFolder(const char* name)
{
    const char* value = Variable(name);
    return value != nullptr && value[0] == '/' ? value : nullptr;
}

// The per-user data folder and the temporary folder have conventional homes on POSIX
// when the Windows variables are not set.
static bool Lookup(const std::string& name, std::string& value)
{
    if (name == "APPDATA") {
        if (const char* appData = AbsoluteFolder("APPDATA"))
            value = appData;
        else if (const char* xdg = AbsoluteFolder("XDG_CONFIG_HOME"))
            value = xdg;
        else if (const char* home = AbsoluteFolder("HOME"))
            value = std::string(home) + "/.config";
        else
            return false;
        return true;
    }
    if (const char* v = Variable(name.c_str())) {
        value = v;
        return true;
    }
    if (name == "TEMP") {
        const char* tmp = Variable("TMPDIR");
        value = tmp != nullptr ? tmp : "/tmp";
        return true;
    }
    return false;
}

// As ExpandEnvironmentStringsA does it: a reference to an undefined (or empty) name stays
// as it is, both signs included, and the text goes on after it.
std::size_t ExpandEnvironment(const char* text, char* buffer, std::size_t size)
{
    if (text == nullptr) {
        errno = EINVAL;
        return 0;
    }
    std::string out;
    const char* p = text;
    while (*p != '\0') {
        const char* percent = std::strchr(p, '%');
        const char* close = percent != nullptr ? std::strchr(percent + 1, '%') : nullptr;
        if (close == nullptr) {
            out += p;
            break;
        }
        out.append(p, percent);
        std::string value;
        if (close > percent + 1 && Lookup(std::string(percent + 1, close), value))
            out += value;
        else
            out.append(percent, close + 1);
        p = close + 1;
    }
    const std::size_t needed = out.size() + 1;
    if (buffer != nullptr && size >= needed)
        std::memcpy(buffer, out.c_str(), needed);
    return needed;
}

bool ExpandPath(const std::string& configured, std::string& path)
{
    std::string text = configured;
    for (char& c : text)
        if (c == '\\')
            c = '/';
    path.clear();
    const std::size_t needed = ExpandEnvironment(text.c_str(), nullptr, 0);
    if (needed == 0)
        return false;
    std::string buffer(needed, '\0');
    if (ExpandEnvironment(text.c_str(), &buffer[0], buffer.size()) != 0)
        path.assign(buffer.c_str());  // up to the first NUL
    if (path.empty())
        errno = EINVAL;
    return !path.empty();
}

std::string PublicText(const std::string& path)
{
    return path;
}

static void CloseKeepingError(int fd)
{
    const int error = errno;
    ::close(fd);
    errno = error;
}

std::FILE* OpenLogStream(const std::string& path, LogOpening opening)
{
    const bool truncate = opening == LogOpening::kEmptyFirst;
    if (Fault::Fails("OpenLogStream"))
        return nullptr;
    // Opened without following a link and without waiting for a FIFO's reader; nothing
    // is emptied before what was opened has passed the checks.
    int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC,
                    0600);
    fd = AboveStandardStreams(fd);
    if (fd < 0)
        return nullptr;
    struct stat st {};
    const bool trusted = ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_uid == ::geteuid()
                         && st.st_nlink == 1;
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
    if (S_ISFIFO(st.st_mode) || S_ISSOCK(st.st_mode))
        return StreamRisk::kBrokenPipe;
    struct rlimit limit {};
    if (S_ISREG(st.st_mode) && ::getrlimit(RLIMIT_FSIZE, &limit) == 0 && limit.rlim_cur != RLIM_INFINITY)
        return StreamRisk::kSizeLimit;
    return StreamRisk::kNone;
}

int StreamDescriptor(std::FILE* stream)
{
    return ::fileno(stream);
}

// How many bytes reached the file.
static std::size_t WriteAll(int fd, const char* text, std::size_t length)
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

// Whether the record would carry the file past the process's size limit. Only a whole
// record is written: a piece of one would be glued to whatever comes next.
static bool PastSizeLimit(int fd, std::size_t length)
{
    struct rlimit limit {};
    struct stat st {};
    if (::getrlimit(RLIMIT_FSIZE, &limit) != 0 || limit.rlim_cur == RLIM_INFINITY || ::fstat(fd, &st) != 0)
        return false;
    off_t at = st.st_size;
    if ((::fcntl(fd, F_GETFL) & O_APPEND) == 0)
        at = ::lseek(fd, 0, SEEK_CUR);
    return at < 0 || static_cast<uint64_t>(at) + length > static_cast<uint64_t>(limit.rlim_cur);
}

// `write` with `signal` blocked in this thread; a signal that it raised is taken back before
// the mask is restored, so the host never sees it. One that a host blocking the signal had
// pending already is left to it (a host that does not block it has had it delivered).
template <typename Write>
static std::size_t HoldingBack(int signal, std::size_t length, Write write)
{
    sigset_t only;
    sigset_t saved;
    sigemptyset(&only);
    sigaddset(&only, signal);
    if (::pthread_sigmask(SIG_BLOCK, &only, &saved) != 0)
        return 0;
    sigset_t pending;
    const bool hostsOwn = sigismember(&saved, signal) == 1 && ::sigpending(&pending) == 0
                          && sigismember(&pending, signal) == 1;
    const int error = errno;
    const std::size_t written = write();
    if (written != length && !hostsOwn) {
        const struct timespec now {};
        while (::sigtimedwait(&only, nullptr, &now) < 0 && errno == EINTR) {
        }
    }
    ::pthread_sigmask(SIG_SETMASK, &saved, nullptr);
    errno = error;
    return written;
}

// A log of our own needs nothing more: one write() to a file opened with O_APPEND lands at
// its end whole.
std::size_t WriteRecord(std::FILE* stream, const char* text, std::size_t length, StreamRisk risk, bool)
{
    const int fd = ::fileno(stream);
    // What the stream still buffers goes first, then the record in one write, past the
    // stream's buffer: a record that fails leaves nothing behind in the stream.
    // The stream's lock is needed for its buffer, and for a record too long to stay whole in
    // one write: up to PIPE_BUF bytes reach a file, pipe or terminal in one piece.
    const bool locked = fd < 0 || length > PIPE_BUF || ::__fpending(stream) != 0;
    if (locked)
        ::flockfile(stream);
    const auto write = [&]() -> std::size_t {
        if (fd < 0)  // a stream of the host's with no file behind it
            return ::fflush_unlocked(stream) == 0 ? ::fwrite_unlocked(text, 1, length, stream) : 0;
        return !locked || ::fflush_unlocked(stream) == 0 ? WriteAll(fd, text, length) : 0;
    };
    std::size_t written = 0;
    if (risk == StreamRisk::kBrokenPipe)
        written = HoldingBack(SIGPIPE, length, write);
    else if (risk == StreamRisk::kSizeLimit)
        written = fd >= 0 && !PastSizeLimit(fd, length) ? HoldingBack(SIGXFSZ, length, write) : 0;
    else
        written = write();
    if (fd < 0 && written == length && ::fflush_unlocked(stream) != 0)
        written = 0;
    if (locked)
        ::funlockfile(stream);
    return written;
}

void ReportWriteFailuresAsErrors()
{
    ::signal(SIGPIPE, SIG_IGN);
    ::signal(SIGXFSZ, SIG_IGN);
}

// The thread id is asked of the kernel once per thread. A child made by fork() inherits
// the parent's cache, so the child clears it.
static thread_local uint32_t t_threadId = 0;

static void ForgetThreadId()
{
    t_threadId = 0;
}

uint32_t CurrentThreadId()
{
    if (t_threadId == 0) {
        static const bool registered = (::pthread_atfork(nullptr, nullptr, ForgetThreadId), true);
        (void)registered;
        t_threadId = static_cast<uint32_t>(::syscall(SYS_gettid));
    }
    return t_threadId;
}

int64_t WallClockTicks()
{
    struct timespec ts {};
    ::clock_gettime(CLOCK_REALTIME, &ts);
    return static_cast<int64_t>(ts.tv_sec) * 10000000 + ts.tv_nsec / 100;
}

bool LocalTimeOfDay(int64_t seconds, int& hour, int& minute, int& second)
{
    const std::time_t t = static_cast<std::time_t>(seconds);
    std::tm local {};
    if (::localtime_r(&t, &local) == nullptr)
        return false;
    hour = local.tm_hour;
    minute = local.tm_min;
    second = local.tm_sec;
    return true;
}

uint64_t TickCountMs()
{
    struct timespec ts {};
    ::clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<uint64_t>(ts.tv_sec) * 1000u + static_cast<uint64_t>(ts.tv_nsec) / 1000000u;
}

bool SetThreadPriority(std::thread& thread, int priority, uint32_t& error)
{
    if (!thread.joinable()) {  // no thread behind the object: nothing to hand the system
        error = ESRCH;
        return false;
    }
    sched_param param {};
    int policy = SCHED_OTHER;
    if (priority == kPriorityTimeCritical) {
        policy = SCHED_FIFO;
        param.sched_priority = ::sched_get_priority_max(SCHED_FIFO);
    }
    const int rc = ::pthread_setschedparam(thread.native_handle(), policy, &param);
    error = static_cast<uint32_t>(rc);
    return rc == 0;
}

}  // namespace Platform
