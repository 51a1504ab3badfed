// The store file's tasks that are the same on every platform, over each platform's steps.
#include "Platform.h"

#include "BoundedWait.h"
#include "FileSteps.h"

#include <cerrno>

namespace pdulog_detail::Platform {

namespace {

// Whether the file exists but may not be written by this user.
bool WriteRefused(int error) { return error == EACCES || error == EPERM || error == EROFS; }

// The file opened for reading when it may not be written; -1 with the refusal's errno.
int OpenRefused(const std::string& path, StoreAccess& access)
{
    const int error = errno;
    const int fd = OpenForReading(path);
    if (fd == -1)
        errno = error;
    else
        access = StoreAccess::kReadOnly;
    return fd;
}

// Pads a short store under its lock: the size is read again, as another process may have
// padded it or set a level meanwhile.
bool PadLocked(int fd, const void* defaults, uint32_t size, uint32_t unit)
{
    uint64_t length = 0;
    if (!FileSize(fd, length))
        return false;
    if (length >= size)
        return true;
    if (!MayGrowFileTo(size)) {
        errno = EFBIG;
        return false;
    }
    // A unit cut short holds nothing: it is padded over from its first byte.
    const uint64_t whole = length / unit * unit;
    return Seek(fd, whole)
           && Write(fd, static_cast<const uint8_t*>(defaults) + whole, static_cast<uint32_t>(size - whole));
}

// The padding lock, waited for a bounded time: a holder that takes longer is not padding.
bool LockStore(int fd, std::chrono::milliseconds wait)
{
    return WaitUntil(wait, std::chrono::milliseconds(2),
                     [fd] { return TryLockFile(fd) ? Attempt::kDone : Attempt::kBusy; });
}

}  // namespace

int OpenOrCreateStore(const std::string& path, const void* defaults, uint32_t size, StoreAccess& access)
{
    access = StoreAccess::kReadWrite;
    int fd = OpenExisting(path);
    if (fd == -1 && WriteRefused(errno))
        fd = OpenRefused(path, access);
    if (fd == -1)
        fd = CreateStoreFile(path, defaults, size);
    if (fd == -1 && errno == ENOENT)  // removed again between the two
        fd = OpenCreating(path);
    return fd;
}

bool PadStore(int fd, const void* defaults, uint32_t size, uint32_t unit, std::chrono::milliseconds wait)
{
    uint64_t length = 0;
    if (!FileSize(fd, length))
        return false;  // unknown size: padding could overwrite levels
    // Whatever is written later through this descriptor lands past the size seen now.
    Seek(fd, length);
    if (length >= size)
        return true;
    if (!LockStore(fd, wait))
        return false;
    const bool padded = PadLocked(fd, defaults, size, unit);
    const int error = errno;
    UnlockFile(fd);
    errno = error;
    return padded;
}

}  // namespace pdulog_detail::Platform
