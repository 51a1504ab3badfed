// POSIX files: the store's descriptors, their identities, sizes, reads, writes and locks.
#include "Platform.h"

#include "FaultInjection.h"
#include "FileSteps.h"
#include "LinuxCalls.h"
#include "PosixDescriptors.h"

#include <cerrno>
#include <string>

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

namespace pdulog_detail::Platform {

int AboveStandardStreams(int fd)
{
    if (fd < 0 || fd > 2)
        return fd;
    const int moved = ::fcntl(fd, F_DUPFD_CLOEXEC, 3);
    CloseKeepingError(fd);
    return moved;
}

void CloseKeepingError(int fd)
{
    const int error = errno;
    ::close(fd);
    errno = error;
}

namespace {

// A store is a regular file: what else stands at its path (a FIFO, a device) is refused,
// opened without waiting for a peer that may never come (O_NONBLOCK, which a regular
// file's reads and writes ignore).
int RegularFileOnly(int fd)
{
    struct stat st {};
    if (fd < 0 || (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode)))
        return fd;
    ::close(fd);
    errno = S_ISDIR(st.st_mode) ? EISDIR : EINVAL;
    return -1;
}

// Opened for reading and writing, an interrupted open made again.
int OpenReadWrite(const std::string& path, int flags)
{
    int fd;
    do {
        fd = Fault::Fails("OpenShared")
                 ? -1
                 : ::open(path.c_str(), O_RDWR | O_CLOEXEC | O_NOCTTY | O_NONBLOCK | flags, 0600);
    } while (fd < 0 && errno == EINTR);
    return AboveStandardStreams(RegularFileOnly(fd));
}

}  // namespace

int OpenExisting(const std::string& path) { return OpenReadWrite(path, 0); }

int OpenCreating(const std::string& path) { return OpenReadWrite(path, O_CREAT); }

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

namespace {

// How a store written beside its path came into place.
enum class Linked {
    kWhole,    // linked: it appeared whole
    kNoLinks,  // written, but this file system has no hard links (FAT, a network share)
    kNot,      // errno says why; EEXIST: another process made the store meanwhile
};

// Written under a name of its own beside the path, then linked into place: link() never
// replaces what another process created meanwhile.
Linked CreateWhole(const std::string& path, const void* data, uint32_t size)
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

}  // namespace

// Where no file can appear whole, the store is created plainly and padded by its opener.
int CreateStoreFile(const std::string& path, const void* data, uint32_t size)
{
    switch (CreateWhole(path, data, size)) {
    case Linked::kWhole: return OpenExisting(path);
    case Linked::kNoLinks: return OpenCreating(path);
    case Linked::kNot: break;
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

void Close(int fd) { ::close(fd); }

namespace {

FileId Identity(const struct stat& st)
{
    return FileId {true, static_cast<uint64_t>(st.st_dev), static_cast<uint64_t>(st.st_ino)};
}

}  // namespace

FileId IdentifyFile(int fd)
{
    struct stat st {};
    return fd >= 0 && ::fstat(fd, &st) == 0 ? Identity(st) : FileId();
}

FileId IdentifyPath(const std::string& path)
{
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0 ? Identity(st) : FileId();
}

FileId IdentifyPathTarget(const std::string& path)
{
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 ? Identity(st) : FileId();
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
        rc = Linux::LockWholeFile(fd);
    } while (rc != 0 && errno == EINTR);
    return rc == 0;
}

void UnlockFile(int fd) { Linux::UnlockWholeFile(fd); }

bool RenameReplacing(const std::string& from, const std::string& to)
{
    return !Fault::Fails("RenameReplacing") && ::rename(from.c_str(), to.c_str()) == 0;
}

int64_t LastChangeTicks(const std::string& path)
{
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0)
        return 0;
    // A rename changes the status time only.
    const struct timespec& last
        = st.st_ctim.tv_sec > st.st_mtim.tv_sec
                  || (st.st_ctim.tv_sec == st.st_mtim.tv_sec && st.st_ctim.tv_nsec > st.st_mtim.tv_nsec)
              ? st.st_ctim
              : st.st_mtim;
    return static_cast<int64_t>(last.tv_sec) * 10000000 + last.tv_nsec / 100;
}

}  // namespace pdulog_detail::Platform
