// POSIX views of the store's file, and the private pages that take a given-up view's place.
#include "Platform.h"

#include "FaultInjection.h"
#include "LinuxModule.h"
#include "PosixViews.h"

#include <atomic>
#include <cerrno>

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

namespace pdulog_detail::Platform {

namespace {

// A view given up is replaced, in one step, by private pages, so that a thread still
// holding its address reads valid memory: a spare address, used again by the next view of
// the same span.
struct Spare {
    std::atomic<uintptr_t> address {0};
    std::atomic<std::size_t> span {0};
};
Spare g_spare[kWatched];

uintptr_t TakeSpare(std::size_t span)
{
    for (Spare& spare : g_spare)
        if (spare.span.load() == span)
            if (uintptr_t address = spare.address.exchange(0))
                return address;
    return 0;
}

void KeepSpare(uintptr_t address, std::size_t span)
{
    for (Spare& spare : g_spare) {
        uintptr_t expected = 0;
        if (spare.address.compare_exchange_strong(expected, address)) {
            spare.span.store(span);
            return;
        }
    }
    // No room: the pages stay mapped for the life of the process, never unmapped under a
    // reader.
}

// POSIX has no mapping object: a duplicate of the descriptor stands for it, so that the
// mapping's lifetime is independent of the descriptor, as on Windows.
struct Mapping {
    int fd;
    MapAccess access;
    FileId file;
};

// A module that links the library is unloaded with its host still running (Platform.h,
// Unloading): what it mapped goes with it, or every load and unload would leave pages
// behind, and the host's own SIGBUS action comes back when ours is the one installed. (At
// the process's end the pages stay to the last: other threads may still read them.)
struct ModuleRelease {
    ~ModuleRelease()
    {
        GiveBackHostAction();
        if (!Unloading())
            return;
        for (Spare& spare : g_spare)
            if (const uintptr_t address = spare.address.exchange(0))
                ::munmap(reinterpret_cast<void*>(address), spare.span.load());
        for (Watched& entry : g_watched)
            if (const uintptr_t start = entry.start.exchange(0))
                ::munmap(reinterpret_cast<void*>(start), Span(entry.length.load()));
    }
} g_moduleRelease;

// Whether the mapping's file may be mapped for `size` bytes. Touching a mapped page past the
// end of the file raises SIGBUS: a file shorter than the view is a failed view, never a
// mapping. Nor is a file that the descriptor no longer refers to (a host that closed it and
// opened a file of its own) ever mapped as the store.
bool Mappable(const Mapping& mapping, std::size_t size)
{
    struct stat st {};
    if (::fstat(mapping.fd, &st) != 0)
        return false;
    if (st.st_size >= static_cast<off_t>(size) && mapping.file.known
        && st.st_dev == static_cast<dev_t>(mapping.file.device) && st.st_ino == static_cast<ino_t>(mapping.file.node))
        return true;
    errno = EINVAL;
    return false;
}

// A file the user may only read is mapped copy-on-write: it still shows what others write
// to it, and a write through the view stays in this process.
int Sharing(const Mapping& mapping) { return mapping.access == MapAccess::kWrite ? MAP_SHARED : MAP_PRIVATE; }

// A view at a spare address, which threads that held it may still read: it is watched
// before the file's page takes its place, so that even their first read is safe.
void* MapAtSpare(const Mapping& mapping, uintptr_t spare, std::size_t size, const void* padding)
{
    if (!Watch(spare, size, mapping.fd, mapping.file, padding)) {
        KeepSpare(spare, Span(size));
        errno = ENOMEM;
        return nullptr;
    }
    if (::mmap(reinterpret_cast<void*>(spare), size, PROT_READ | PROT_WRITE, Sharing(mapping) | MAP_FIXED, mapping.fd,
               0)
        == MAP_FAILED) {
        // A failed fixed mapping may have taken the spare page with it.
        const int error = errno;
        ReplaceWithPrivate(spare, size, padding);
        Unwatch(spare);
        KeepSpare(spare, Span(size));
        errno = error;
        return nullptr;
    }
    return reinterpret_cast<void*>(spare);
}

}  // namespace

MappingHandle CreateMapping(int fd, MapAccess access)
{
    if (Fault::Fails("CreateMapping"))
        return nullptr;
    const int copy = ::fcntl(fd, F_DUPFD_CLOEXEC, 3);
    if (copy < 0)
        return nullptr;
    return new Mapping {copy, access, IdentifyFile(copy)};
}

void* MapView(MappingHandle handle, std::size_t size, const void* padding)
{
    if (Fault::Fails("MapView"))
        return nullptr;
    Module::WatchForTheEnd();  // before the first view that ModuleRelease would unmap
    const Mapping& mapping = *static_cast<const Mapping*>(handle);
    const int fd = mapping.fd;
    const int sharing = Sharing(mapping);
    if (!Mappable(mapping, size))
        return nullptr;
    InstallHandler();
    // A view that no handler would know is one truncation away from killing the host:
    // none is made.
    if (const uintptr_t spare = TakeSpare(Span(size)))
        return MapAtSpare(mapping, spare, size, padding);
    void* view = ::mmap(nullptr, size, PROT_READ | PROT_WRITE, sharing, fd, 0);
    if (view == MAP_FAILED)
        return nullptr;
    if (!Watch(reinterpret_cast<uintptr_t>(view), size, fd, mapping.file, padding)) {
        ::munmap(view, size);  // a fresh address: nobody else holds it yet
        errno = ENOMEM;
        return nullptr;
    }
    return view;
}

void* MapViewAt(MappingHandle handle, std::size_t size, const void* padding, void* at)
{
    if (Fault::Fails("MapView"))
        return nullptr;
    const Mapping& mapping = *static_cast<const Mapping*>(handle);
    const uintptr_t address = reinterpret_cast<uintptr_t>(at);
    Watched* entry = nullptr;
    for (Watched& watched : g_watched)
        if (watched.start.load() == address)
            entry = &watched;
    if (entry == nullptr || entry->length.load() != size) {
        errno = EINVAL;
        return nullptr;
    }
    if (!Mappable(mapping, size))
        return nullptr;
    if (::mmap(at, size, PROT_READ | PROT_WRITE, Sharing(mapping) | MAP_FIXED, mapping.fd, 0) == MAP_FAILED) {
        // A failed fixed mapping may have taken the old pages with it: the defaults stand in.
        const int error = errno;
        Detach(*entry, address, size, padding);
        errno = error;
        return nullptr;
    }
    // The handler pads the new file from now on.
    entry->device = static_cast<dev_t>(mapping.file.device);
    entry->node = static_cast<ino_t>(mapping.file.node);
    entry->strikes.store(0);
    entry->fd.store(mapping.fd);
    return at;
}

bool ViewFollowsFile(const void* view)
{
    if (!g_anyDetached.load(std::memory_order_relaxed))
        return true;
    for (const Watched& entry : g_watched)
        if (entry.start.load() == reinterpret_cast<uintptr_t>(view))
            return entry.fd.load() >= 0;
    return true;
}

void RetireView(void* view, std::size_t size, const void* contents)
{
    const uintptr_t address = reinterpret_cast<uintptr_t>(view);
    if (!ReplaceWithPrivate(address, size, contents))
        return;  // still the file's: watched until the process ends
    Unwatch(address);
    KeepSpare(address, Span(size));
}

void CloseMapping(MappingHandle handle)
{
    const Mapping* mapping = static_cast<const Mapping*>(handle);
    const int fd = mapping->fd;
    int expected = fd;
    for (Watched& entry : g_watched) {
        expected = fd;
        entry.fd.compare_exchange_strong(expected, -1);
    }
    if (StillRefersTo(fd, mapping->file))
        ::close(fd);
    delete mapping;
}

}  // namespace pdulog_detail::Platform
