// How long a level change takes to reach another process (Linux): two processes ping-pong
// one value, and half the round trip is the one-way latency. Three ways side by side:
//   floor    a raw MAP_SHARED mapping of the same file in both, written and polled by hand
//   pdulog   the level store through the library: CLog::SetLevel, as pdu-loglevel sets a level,
//            seen by the other process's level gate
//   inotify  pwrite of the file, seen by a watcher that wakes on IN_MODIFY and re-reads it
// Prints "<way> <one-way ns>" per line.
#include "BenchStore.h"
#include "CLog.h"

#include <sys/inotify.h>
#include <sys/mman.h>
#include <sys/wait.h>
#include <fcntl.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

using Clock = std::chrono::steady_clock;

std::string g_store;

volatile int32_t* MapStore()
{
    const int fd = ::open(g_store.c_str(), O_RDWR | O_CLOEXEC);
    void* view = ::mmap(nullptr, 76, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
    ::close(fd);
    return view == MAP_FAILED ? nullptr : static_cast<volatile int32_t*>(view);
}

// Runs `child` in a forked process and `parent` here; returns the parent's elapsed time.
// The slots used start at 0, below every value the rounds write.
template <typename Parent, typename Child>
double PingPong(Parent parent, Child child)
{
    volatile int32_t* slots = MapStore();
    for (int i = 0; i < 4; ++i)
        slots[i] = 0;
    ::munmap(const_cast<int32_t*>(slots), 76);
    const pid_t pid = ::fork();
    if (pid == 0) {
        child();
        ::_exit(0);
    }
    const auto start = Clock::now();
    parent();
    const double ns = std::chrono::duration<double, std::nano>(Clock::now() - start).count();
    int status = 0;
    ::waitpid(pid, &status, 0);
    return ns;
}

double Floor(int rounds)
{
    return PingPong(
               [rounds] {
                   volatile int32_t* s = MapStore();
                   for (int k = 1; k <= rounds; ++k) {
                       s[0] = k;
                       while (s[1] != k) {}
                   }
               },
               [rounds] {
                   volatile int32_t* s = MapStore();
                   for (int k = 1; k <= rounds; ++k) {
                       while (s[0] != k) {}
                       s[1] = k;
                   }
               })
           / rounds / 2;
}

// The parent sets COMMS as pdu-loglevel does; the child's gate for COMMS sees it and
// answers through APP, whose change the parent's gate sees in turn.
double Pdulog(int rounds)
{
    // COMMS and APP are slots 7 and 1; they start at WARN.
    return PingPong(
               [rounds] {
                   CLog::Init(false);
                   for (int k = 1; k <= rounds; ++k) {
                       const int32_t level = k % 2 != 0 ? LL_DEBUG3 : LL_ERROR;
                       CLog::SetLevel(LS_COMMS, level);
                       if (level == LL_DEBUG3)
                           while (!CLog::Enabled(LL_DEBUG3, LS_APP)) {}
                       else
                           while (CLog::Enabled(LL_WARN, LS_APP)) {}
                   }
                   CLog::Shutdown();
               },
               [rounds] {
                   CLog::Init(false);
                   for (int k = 1; k <= rounds; ++k) {
                       if (k % 2 != 0) {
                           while (!CLog::Enabled(LL_DEBUG3, LS_COMMS)) {}
                           CLog::SetLevel(LS_APP, LL_DEBUG3);
                       } else {
                           while (CLog::Enabled(LL_WARN, LS_COMMS)) {}
                           CLog::SetLevel(LS_APP, LL_ERROR);
                       }
                   }
                   CLog::Shutdown();
               })
           / rounds / 2;
}

// Waits for a modification of the file that shows `value` at `slot`.
void AwaitWrite(int watch, int fd, int slot, int32_t value)
{
    for (;;) {
        int32_t seen = 0;
        if (::pread(fd, &seen, sizeof seen, slot * 4) == sizeof seen && seen == value)
            return;
        char events[4096];
        if (::read(watch, events, sizeof events) <= 0)
            return;
    }
}

double Inotify(int rounds)
{
    auto side = [rounds](int mine, int theirs, bool first) {
        const int fd = ::open(g_store.c_str(), O_RDWR | O_CLOEXEC);
        const int watch = ::inotify_init1(IN_CLOEXEC);
        ::inotify_add_watch(watch, g_store.c_str(), IN_MODIFY);
        for (int32_t k = 1; k <= rounds; ++k) {
            if (!first)
                AwaitWrite(watch, fd, theirs, k);
            ::pwrite(fd, &k, sizeof k, mine * 4);
            if (first)
                AwaitWrite(watch, fd, theirs, k);
        }
        ::close(watch);
        ::close(fd);
    };
    return PingPong([&] { side(2, 3, true); }, [&] { side(3, 2, false); }) / rounds / 2;
}

}  // namespace

int main(int argc, char** argv)
{
    const int rounds = argc > 1 ? std::atoi(argv[1]) : 20000;
    const std::string folder = bench::PrivateAppData();
    CLog::Init(false);  // creates the store file
    CLog::Shutdown();
    g_store = folder + "/Krelt/PDUAPI/DEBUG.CFG";

    std::printf("floor %.0f\n", Floor(rounds));
    std::printf("pdulog %.0f\n", Pdulog(rounds));
    std::printf("inotify %.0f\n", Inotify(rounds / 10 > 0 ? rounds / 10 : 1));
    std::string cleanup = "rm -rf '" + folder + "'";
    return std::system(cleanup.c_str()) == 0 ? 0 : 1;
}
