// POSIX (Linux) implementation of Platform.h.
#include "Platform.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <ctime>

#include <fcntl.h>
#include <pthread.h>
#include <sched.h>
#include <sys/file.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace Platform {

int OpenShared(const std::string& path, bool create)
{
    const int flags = O_RDWR | O_CLOEXEC | (create ? O_CREAT : 0);
    return ::open(path.c_str(), flags, 0600);
}

bool FileSize(int fd, uint32_t& size)
{
    struct stat st {};
    if (::fstat(fd, &st) != 0)
        return false;
    size = static_cast<uint32_t>(st.st_size);
    return true;
}

bool Seek(int fd, uint32_t offset)
{
    return ::lseek(fd, static_cast<off_t>(offset), SEEK_SET) != static_cast<off_t>(-1);
}

bool Write(int fd, const void* data, uint32_t size)
{
    const char* p = static_cast<const char*>(data);
    while (size > 0) {
        const ssize_t n = ::write(fd, p, size);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        p += n;
        size -= static_cast<uint32_t>(n);
    }
    return true;
}

void Close(int fd)
{
    ::close(fd);
}

bool LockFile(int fd)
{
    int rc;
    do {
        rc = ::flock(fd, LOCK_EX);
    } while (rc != 0 && errno == EINTR);
    return rc == 0;
}

void UnlockFile(int fd)
{
    ::flock(fd, LOCK_UN);
}

// POSIX has no mapping object: a duplicate of the descriptor stands for it, so that the
// mapping's lifetime is independent of the descriptor, as on Windows. The handle is the
// descriptor plus one, so that descriptor 0 is not mistaken for "no mapping".
MappingHandle CreateMapping(int fd)
{
    const int copy = ::fcntl(fd, F_DUPFD_CLOEXEC, 0);
    if (copy < 0)
        return nullptr;
    return reinterpret_cast<MappingHandle>(static_cast<intptr_t>(copy) + 1);
}

static int MappingFd(MappingHandle mapping)
{
    return static_cast<int>(reinterpret_cast<intptr_t>(mapping) - 1);
}

void* MapView(MappingHandle mapping, std::size_t size)
{
    const int fd = MappingFd(mapping);
    // Touching a mapped page past the end of the file raises SIGBUS: a file shorter than
    // the view is a failed view, never a mapping.
    struct stat st {};
    if (::fstat(fd, &st) != 0 || st.st_size < static_cast<off_t>(size))
        return nullptr;
    void* view = ::mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
    return view == MAP_FAILED ? nullptr : view;
}

void UnmapView(void* view, std::size_t size)
{
    ::munmap(view, size);
}

void CloseMapping(MappingHandle mapping)
{
    ::close(MappingFd(mapping));
}

bool CreateFolderChain(const std::string& path)
{
    if (path.empty())
        return false;
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
    return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

// An empty value counts as unset, as it does on Windows, where setting a variable to
// nothing removes it.
static const char* Variable(const char* name)
{
    const char* value = std::getenv(name);
    return value != nullptr && *value != '\0' ? value : nullptr;
}

// The per-user data folder and the temporary folder have conventional homes on POSIX
// when the Windows variables are not set.
static bool Lookup(const std::string& name, std::string& value)
{
    if (const char* v = Variable(name.c_str())) {
        value = v;
        return true;
    }
    if (name == "APPDATA") {
        if (const char* xdg = Variable("XDG_CONFIG_HOME")) {
            value = xdg;
            return true;
        }
        if (const char* home = Variable("HOME")) {
            value = std::string(home) + "/.config";
            return true;
        }
        return false;
    }
    if (name == "TEMP") {
        const char* tmp = Variable("TMPDIR");
        value = tmp != nullptr ? tmp : "/tmp";
        return true;
    }
    return false;
}

std::size_t ExpandEnvironment(const char* text, char* buffer, std::size_t size)
{
    if (text == nullptr)
        return 0;
    std::string out;
    const char* p = text;
    while (*p != '\0') {
        const char* percent = std::strchr(p, '%');
        if (percent == nullptr) {
            out += p;
            break;
        }
        out.append(p, percent);
        p = percent;
        const char* close = std::strchr(p + 1, '%');
        std::string value;
        if (close == nullptr) {
            out += p;
            break;
        }
        if (close > p + 1 && Lookup(std::string(p + 1, close), value)) {
            out += value;
            p = close + 1;
        } else {
            // Unknown reference: keep it, and let its closing '%' open the next one.
            out.append(p, close);
            p = close;
        }
    }
    const std::size_t needed = out.size() + 1;
    if (buffer != nullptr && size >= needed)
        std::memcpy(buffer, out.c_str(), needed);
    return needed;
}

void NativeSeparators(std::string& path)
{
    for (char& c : path)
        if (c == '\\')
            c = '/';
}

std::FILE* OpenLogStream(const std::string& path, bool truncate)
{
    const int flags = O_WRONLY | O_CREAT | O_NOFOLLOW | O_CLOEXEC | (truncate ? O_TRUNC : O_APPEND);
    const int fd = ::open(path.c_str(), flags, 0600);
    if (fd < 0)
        return nullptr;
    std::FILE* stream = ::fdopen(fd, truncate ? "w" : "a");
    if (stream == nullptr)
        ::close(fd);
    return stream;
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
