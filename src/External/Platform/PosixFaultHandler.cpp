// The POSIX SIGBUS handler that keeps the store's views readable when their file is emptied.
#include "Platform.h"

#include "LinuxCalls.h"
#include "LinuxModule.h"
#include "PosixViews.h"

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstring>

#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

namespace pdulog_detail::Platform {

Watched g_watched[kWatched];
std::atomic<bool> g_anyDetached {false};

namespace {

// A fault on a file that is not empty has another cause (a hole the file system cannot
// fill, an I/O error): after this many, the view stops following the file rather than
// fault for ever.
constexpr int kStrikes = 8;

std::size_t g_page = 4096;
struct sigaction g_hostAction;  // what SIGBUS did before our handler came
std::atomic<bool> g_handlerInstalled {false};

}  // namespace

std::size_t Span(std::size_t size) { return (size + g_page - 1) / g_page * g_page; }

bool ReplaceWithPrivate(uintptr_t address, std::size_t size, const void* contents)
{
    const std::size_t span = Span(size);
    void* pages = ::mmap(nullptr, span, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (pages == MAP_FAILED)
        return false;
    std::memcpy(pages, contents, size);
    if (!Linux::MovePagesOver(pages, span, reinterpret_cast<void*>(address))) {
        ::munmap(pages, span);
        return false;
    }
    return true;
}

void Detach(Watched& view, uintptr_t start, std::size_t length, const void* padding)
{
    ReplaceWithPrivate(start, length, padding);
    view.fd.store(-1);
    g_anyDetached.store(true);
}

namespace {

// A file that was emptied under its view gets its default contents back, written where
// the view expects them. Only calls that are safe in a signal handler. True when the
// read can be made again.
bool PadAgain(Watched& view, int fd, std::size_t size, const void* padding)
{
    struct stat st {};
    if (::fstat(fd, &st) != 0 || st.st_dev != view.device || st.st_ino != view.node)
        return false;    // the host has given the descriptor's number to a file of its own
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

// A view whose file is truncated to nothing would kill the process with SIGBUS at its next
// read: a fault inside one of our views pads the file again (or, when it cannot, puts the
// default contents in the view's place) and lets the read go on. A fault at any other
// address goes to the handler the host had, or ends the process as before.
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
            Detach(view, start, length, padding);
        }
        errno = saved;
        return;  // the read is made again
    }
    HandToTheHost(signal, info, context);
}

bool IsOurHandler(const struct sigaction& action)
{
    return (action.sa_flags & SA_SIGINFO) != 0 && action.sa_sigaction == OnBusError;
}

}  // namespace

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

void GiveBackHostAction()
{
    struct sigaction current {};
    if (g_handlerInstalled.load() && ::sigaction(SIGBUS, nullptr, &current) == 0 && IsOurHandler(current))
        ::sigaction(SIGBUS, &g_hostAction, nullptr);
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

}  // namespace pdulog_detail::Platform
