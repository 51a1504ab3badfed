// POSIX views of shared files, made safe for the host process around them:
// - a view whose file is truncated to nothing would kill the process with SIGBUS at its
//   next read; a handler scoped to our views pads the file again (or, when it cannot,
//   puts default contents in the view's place) and lets the read go on. A fault at any
//   other address goes to the handler the host had, or ends the process as before;
// - a view given up is replaced, in one step, by a private page, so that a thread still
//   holding its address reads valid memory. The address is used again by the next view;
// - a module that links the library may be unloaded: the handler goes back to the host's
//   when no view needs it, and what the module mapped goes with the module.
#include "Platform.h"

#include "FaultInjection.h"
#include "PosixModule.h"

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstring>

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

namespace Platform {

namespace {

constexpr int kWatched = 64;
// A fault on a file that is not empty has another cause (a hole the file system cannot
// fill, an I/O error): after this many, the view stops following the file rather than
// fault for ever.
constexpr int kStrikes = 8;

// What the fault handler needs of a view. Written by the threads that make and give up
// views, read by the handler: every field is atomic, and `start` is set last and
// cleared first.
struct Watched {
    std::atomic<uintptr_t> start {0};  // 0: a free entry
    std::atomic<std::size_t> length {0};
    std::atomic<int> fd {-1};          // reaches the view's file; -1 once it is closed
    std::atomic<const void*> padding {nullptr};  // the file's default contents
    std::atomic<int> strikes {0};  // faults in a row that padding could not explain
    // Set before `start` is published, read after it: what `fd` must still refer to before
    // the handler writes through it.
    dev_t device = 0;
    ino_t node = 0;
};
Watched g_watched[kWatched];

// Addresses of views given up, each holding private pages until a view of the same span
// takes it again.
struct Spare {
    std::atomic<uintptr_t> address {0};
    std::atomic<std::size_t> span {0};
};
Spare g_spare[kWatched];

std::atomic<bool> g_anyDetached {false};  // some view reads its defaults, not its file
std::size_t g_page = 4096;
struct sigaction g_hostAction;  // what SIGBUS did before our handler came
std::atomic<bool> g_handlerInstalled {false};

std::size_t Span(std::size_t size)
{
    return (size + g_page - 1) / g_page * g_page;
}

// Puts private pages filled from `contents` (size bytes, the rest zero) at `address`, in
// one step: a reader sees the old pages or the new ones, never a hole.
bool ReplaceWithPrivate(uintptr_t address, std::size_t size, const void* contents)
{
    const std::size_t span = Span(size);
    void* pages = ::mmap(nullptr, span, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (pages == MAP_FAILED)
        return false;
    std::memcpy(pages, contents, size);
    if (::mremap(pages, span, span, MREMAP_MAYMOVE | MREMAP_FIXED, reinterpret_cast<void*>(address))
        == MAP_FAILED) {
        ::munmap(pages, span);
        return false;
    }
    return true;
}

// A file that was emptied under its view gets its default contents back, written where
// the view expects them. Only calls that are safe in a signal handler. True when the
// read can be made again.
bool PadAgain(Watched& view, int fd, std::size_t size, const void* padding)
{
    struct stat st {};
    if (::fstat(fd, &st) != 0 || st.st_dev != view.device || st.st_ino != view.node)
        return false;  // the host has given the descriptor's number to a file of its own
    if (st.st_size > 0)  // made whole again meanwhile, or a fault of another cause
        return view.strikes.fetch_add(1) < kStrikes;
    if (!MayGrowFileTo(size))
        return false;  // the write would raise SIGXFSZ in the host
    if (::pwrite(fd, padding, size, 0) != static_cast<ssize_t>(size))
        return false;
    view.strikes.store(0);
    return true;
}

void HandToTheHost(int signal, siginfo_t* info, void* context)
{
    const struct sigaction& host = g_hostAction;
    // The disposition comes first: SIG_IGN and SIG_DFL share the union with the handler
    // function, whatever SA_SIGINFO says, and neither may be called.
    const bool ignored = host.sa_handler == SIG_IGN;
    if (!ignored && host.sa_handler != SIG_DFL) {
        if ((host.sa_flags & SA_SIGINFO) != 0)
            host.sa_sigaction(signal, info, context);
        else
            host.sa_handler(signal);
        return;
    }
    const bool sent = info == nullptr || info->si_code <= 0;
    if (sent && ignored)
        return;  // the host ignores a sent SIGBUS
    // The default action: back to it. A fault happens again on return and ends the
    // process as it would have without us (the system never lets a fault be ignored);
    // a sent signal is sent again.
    struct sigaction fallback {};
    fallback.sa_handler = SIG_DFL;
    sigemptyset(&fallback.sa_mask);
    ::sigaction(signal, &fallback, nullptr);
    if (sent)
        ::raise(signal);
}

void OnBusError(int signal, siginfo_t* info, void* context)
{
    const uintptr_t address = info != nullptr ? reinterpret_cast<uintptr_t>(info->si_addr) : 0;
    for (Watched& view : g_watched) {
        const uintptr_t start = view.start.load();
        const std::size_t length = view.length.load();
        if (start == 0 || address < start || address - start >= Span(length))
            continue;
        const int saved = errno;
        const int fd = view.fd.load();
        const void* padding = view.padding.load();
        if (fd < 0 || !PadAgain(view, fd, length, padding)) {
            // The file cannot be made whole: the view reads the defaults from now on,
            // and no longer follows the file.
            ReplaceWithPrivate(start, length, padding);
            view.fd.store(-1);
            g_anyDetached.store(true);
        }
        errno = saved;
        return;  // the read is made again
    }
    HandToTheHost(signal, info, context);
}

void InstallHandler()
{
    if (g_handlerInstalled.exchange(true))
        return;
    const long page = ::sysconf(_SC_PAGESIZE);
    if (page > 0)
        g_page = static_cast<std::size_t>(page);
    struct sigaction action {};
    action.sa_sigaction = OnBusError;
    action.sa_flags = SA_SIGINFO | SA_ONSTACK | SA_RESTART;
    sigemptyset(&action.sa_mask);
    ::sigaction(SIGBUS, &action, &g_hostAction);
}

// Claims a free entry for the view; false when all are taken.
bool Watch(uintptr_t view, std::size_t size, int fd, const FileId& file, const void* padding)
{
    for (Watched& entry : g_watched) {
        uintptr_t expected = 0;
        if (entry.start.load() != 0 || entry.length.load() != 0)
            continue;
        entry.length.store(size);
        entry.fd.store(fd);
        entry.device = static_cast<dev_t>(file.device);
        entry.node = static_cast<ino_t>(file.node);
        entry.padding.store(padding);
        entry.strikes.store(0);
        if (entry.start.compare_exchange_strong(expected, view))
            return true;
    }
    return false;
}

void Unwatch(uintptr_t view)
{
    for (Watched& entry : g_watched)
        if (entry.start.load() == view) {
            entry.start.store(0);
            entry.length.store(0);
        }
}

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

bool IsOurHandler(const struct sigaction& action)
{
    return (action.sa_flags & SA_SIGINFO) != 0 && action.sa_sigaction == OnBusError;
}

// A module that links the library is unloaded with its host still running: what it mapped
// goes with it, or every load and unload would leave pages behind, and the host's own
// SIGBUS action comes back when ours is the one installed. (The main program leaves its
// pages to the end of the process: other threads may still read them while it exits.)
struct ModuleRelease {
    ~ModuleRelease()
    {
        struct sigaction current {};
        if (g_handlerInstalled.load() && ::sigaction(SIGBUS, nullptr, &current) == 0 && IsOurHandler(current))
            ::sigaction(SIGBUS, &g_hostAction, nullptr);
        if (Module::InTheMainProgram())
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
int Sharing(const Mapping& mapping)
{
    return mapping.access == MapAccess::kWrite ? MAP_SHARED : MAP_PRIVATE;
}

// A view at a spare address, which threads that held it may still read: it is watched
// before the file's page takes its place, so that even their first read is safe.
void* MapAtSpare(const Mapping& mapping, uintptr_t spare, std::size_t size, const void* padding)
{
    if (!Watch(spare, size, mapping.fd, mapping.file, padding)) {
        KeepSpare(spare, Span(size));
        errno = ENOMEM;
        return nullptr;
    }
    if (::mmap(reinterpret_cast<void*>(spare), size, PROT_READ | PROT_WRITE, Sharing(mapping) | MAP_FIXED, mapping.fd, 0)
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
        ReplaceWithPrivate(address, size, padding);
        entry->fd.store(-1);
        g_anyDetached.store(true);
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

void ReleaseFaultHandler()
{
    struct sigaction current {};
    if (!g_handlerInstalled.load() || ::sigaction(SIGBUS, nullptr, &current) != 0)
        return;
    if (IsOurHandler(current)) {
        for (const Watched& entry : g_watched)
            if (entry.start.load() != 0)
                return;  // a view still needs it; the module's unload gives it back
        ::sigaction(SIGBUS, &g_hostAction, nullptr);
        g_handlerInstalled.store(false);
        return;
    }
    // Another handler is on top and may hand faults on to ours: this module stays loaded.
    Module::KeepLoaded();
}

}  // namespace Platform
