// The scenarios of guest_host that only a POSIX host stages: a store replaced under it,
// writers stuck in pipes, writes that cannot be made, descriptors it gives to its own files.
#include "GuestHost.h"

#include "CLog.h"
#include "TestSupport.h"

#ifndef _WIN32
#include <cerrno>
#include <atomic>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <pthread.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

namespace fs = std::filesystem;
using test::ReadFile;

namespace {

// Until the thread sleeps in a system call (its write).
void UntilAsleep(pid_t id)
{
    for (char state = 0; state != 'S';) {
        const std::string stat = ReadFile("/proc/self/task/" + std::to_string(id) + "/stat");
        state = stat.find(") ") != std::string::npos ? stat[stat.find(") ") + 2] : 0;
    }
}

}  // namespace

// A store saved through a new file and a rename, as tools and installers save, while the
// host runs: its records follow the new file, at the address the gate already reads.
void ReplacedStore()
{
    Check(CLog::Init(false), "start");
    const int32_t* view = CLog::Levels();
    std::vector<int32_t> levels(kLogSubsystemCount, LL_WARN);
    levels[LS_COMMS] = LL_DEBUG2;
    test::WriteFile(Store().string() + ".new", test::SlotBytes(levels));
    int32_t level = 0;
    CLog::GetLevel(LS_COMMS, level);  // followed now: the next time is a second away
    fs::rename(Store().string() + ".new", Store());
    Check(test::Eventually([] { return Tick(), CLog::Enabled(LL_DEBUG2, LS_COMMS); }), "records follow the new file");
    Check(CLog::Levels() == view, "at the same address");
    test::WriteFile(Store().string() + ".new", test::SlotBytes(levels));
    fs::rename(Store().string() + ".new", Store());
    const auto inTheFile = [] { return ReadFile(Store()).substr(4 * LS_VCI, 4) == test::SlotBytes({LL_DEBUG1}); };
    Check(CLog::SetLevel(LS_VCI, LL_DEBUG1) && inTheFile(), "a set right after a rename reaches the new file");
    Check(CLog::SetLevel(LS_VCI, LL_DEBUG1) && inTheFile(), "a set reaches the new file");
    fs::remove(Store());
    Check(!CLog::SetLevel(LS_VCI, LL_DEBUG3) && CLog::GetLevel(LS_VCI, level) && level == LL_DEBUG1,
          "no file at the path: no level set, nothing written");
    CLog::Shutdown();
}

// A writer stuck in a pipe nobody reads, one of the library's or the host's own on its
// standard error: the shut-down comes back, and leaves the pipe to the writer until it is
// done; a later move closes a pipe of the library's.
void BlockedWriter(bool hostsStream)
{
    int fds[2];
    Check(pipe(fds) == 0 && (!hostsStream || dup2(fds[1], 2) == 2), "pipe");
    if (hostsStream)
        Tick();  // standard error becomes the sink
    const std::string chunk(4096, 'x');
    for (fcntl(fds[1], F_SETFL, O_NONBLOCK); write(fds[1], chunk.data(), chunk.size()) > 0;) {}
    fcntl(fds[1], F_SETFL, 0);
    if (!hostsStream)
        CLog::SetPipe(fdopen(fds[1], "w"));
    std::atomic<pid_t> id {0};
    std::thread writer([&id, hostsStream] {
        id = gettid();
        hostsStream ? void(std::fputs("tick!\n", stderr)) : Tick();
    });
    while (id == 0) {}
    UntilAsleep(id);
    CLog::Shutdown();
    std::string drained;
    char buffer[4096];
    for (int n; drained.find("tick!") == std::string::npos && (n = read(fds[0], buffer, sizeof buffer)) > 0;)
        drained.append(buffer, static_cast<std::size_t>(n));
    writer.join();
    CLog::SetPipe(nullptr);  // a later move: a pipe of ours is closed now that its writer is out
    while (!hostsStream && read(fds[0], buffer, sizeof buffer) > 0) {}
    CLog::Shutdown();
}

// Records into a pipe or socket whose reader has gone and past a file-size limit: dropped,
// never a signal, and a SIGPIPE that the host holds pending stays the host's.
void WritesThatCannotBeMade()
{
    std::signal(SIGPIPE, SIG_DFL);
    std::signal(SIGXFSZ, SIG_DFL);
    int fds[2], peerGone[2];
    Check(pipe(fds) == 0 && dup2(fds[1], 2) == 2, "pipe");
    close(fds[0]);
    Tick();
    sigset_t only, pending, mask;
    Check(pthread_sigmask(SIG_BLOCK, nullptr, &mask) == 0 && sigismember(&mask, SIGPIPE) == 0, "the mask as it was");
    Check(sigemptyset(&only) == 0 && sigaddset(&only, SIGPIPE) == 0 && pthread_sigmask(SIG_BLOCK, &only, nullptr) == 0
              && raise(SIGPIPE) == 0,
          "a SIGPIPE the host holds pending");
    Tick();
    Check(sigpending(&pending) == 0 && sigismember(&pending, SIGPIPE) == 1, "is left to the host");
    const timespec now {};
    sigtimedwait(&only, nullptr, &now);
    pthread_sigmask(SIG_UNBLOCK, &only, nullptr);
    Check(socketpair(AF_UNIX, SOCK_STREAM, 0, peerGone) == 0 && close(peerGone[1]) == 0, "socket");
    CLog::SetPipe(fdopen(peerGone[0], "w"));
    errno = 4321;
    Tick();
    Check(errno == 4321, "the host's errno as it was");
    CLog::Shutdown();
    const std::size_t record = std::strlen("hh:mm:ss.mmm ERROR  tick!\n");
    const rlimit limit {157 * record + 10, RLIM_INFINITY};  // room for 157 records and a piece of one
    Check(setrlimit(RLIMIT_FSIZE, &limit) == 0 && CLog::Init(true), "start");
    for (int i = 0; i < 300; ++i)
        Tick();
    CLog::Shutdown();
    const std::string text = ReadFile(InitLog());
    Check(text.size() == 157 * record && WholeRecords(text), "whole records up to the limit, none cut at it");
    // A pipe set not to wait takes only part of a long record: the next record starts a line.
    int full[2];
    Check(pipe(full) == 0 && fcntl(full[0], F_SETFL, O_NONBLOCK) == 0 && fcntl(full[1], F_SETFL, O_NONBLOCK) == 0,
          "pipe");
    CLog::SetPipe(fdopen(full[1], "w"));
    CLog(stderr).Header(LL_ERROR, LS_GENERAL) << std::string(200000, 'x');
    char buffer[65536];
    while (read(full[0], buffer, sizeof buffer) > 0) {}
    Tick();
    const ssize_t n = read(full[0], buffer, sizeof buffer);
    Check(n > 1 && buffer[0] == '\n' && WholeRecords(std::string(buffer + 1, n - 1)), "a cut record's line is ended");
    CLog::Shutdown();
}

namespace {

void* TickOnce(void* id)
{
    *static_cast<std::atomic<pid_t>*>(id) = gettid();
    Tick();
    return nullptr;
}

void* TickOn(void* logged)
{
    for (;; ++*static_cast<std::atomic<int>*>(logged))
        Tick();
}

}  // namespace

// A host cancels threads: one stuck in a record to a pipe nobody reads, and threads at any
// point of their records to a file. Each ends, and leaves nothing held: its record is not
// written, no writer stays counted (Shutdown closes the pipe), and Init, records and
// Shutdown go on.
void CancelledWriters()
{
    int fds[2];
    Check(pipe(fds) == 0 && CLog::Init(false), "start");
    const std::string chunk(4096, 'x');
    for (fcntl(fds[1], F_SETFL, O_NONBLOCK); write(fds[1], chunk.data(), chunk.size()) > 0;) {}
    fcntl(fds[1], F_SETFL, 0);
    CLog::SetPipe(fdopen(fds[1], "w"));
    std::atomic<pid_t> id {0};
    pthread_t stuck;
    void* result = nullptr;
    Check(pthread_create(&stuck, nullptr, TickOnce, &id) == 0, "a writer");
    while (id == 0) {}
    UntilAsleep(id);
    Check(pthread_cancel(stuck) == 0 && pthread_join(stuck, &result) == 0 && result == PTHREAD_CANCELED,
          "the writer stuck in its record ends");
    CLog::Shutdown();
    std::string drained;
    char buffer[4096];
    fcntl(fds[0], F_SETFL, O_NONBLOCK);
    for (ssize_t n; (n = read(fds[0], buffer, sizeof buffer)) > 0;)
        drained.append(buffer, static_cast<std::size_t>(n));
    Check(read(fds[0], buffer, 1) == 0, "the shut-down closed the pipe: no writer left in it");
    Check(drained.find("tick!") == std::string::npos, "the cancelled record is not written, not even in part");
    for (int round = 0; round < 20; ++round) {
        Check(CLog::Init(true), "a start after the cancellations");
        std::atomic<int> logged {0};
        pthread_t threads[4];
        for (pthread_t& thread : threads)
            pthread_create(&thread, nullptr, TickOn, &logged);
        for (int target = 50 * (round % 5 + 1); logged < target;) {}
        for (pthread_t& thread : threads)
            Check(pthread_cancel(thread) == 0 && pthread_join(thread, &result) == 0 && result == PTHREAD_CANCELED,
                  "a thread cancelled while it logs ends");
        Tick();
        CLog::Shutdown();
        const std::string text = ReadFile(InitLog());
        Check(WholeRecords(text) && text.size() >= 50 * std::strlen("hh:mm:ss.mmm ERROR  tick!\n"),
              "every record whole, the host's own last one too");
    }
}

// A host forks from one thread while others start and stop the library, log, set levels
// and move the sink: every child can do all of that too, at once (a lock copied into it
// held would stop it; an alarm ends it then).
void Forks()
{
    Check(CLog::Init(false), "start");
    std::atomic<bool> stop {false};
    std::vector<std::thread> threads;
    threads.emplace_back([&stop] {
        for (int i = 0; !stop; ++i)
            CLog::Init(i % 2 == 0), Tick(), CLog::Shutdown();
    });
    threads.emplace_back([&stop] {
        for (int i = 0; !stop; ++i)
            if (std::FILE* previous = i % 2 == 0 ? CLog::SetPipe(stderr) : CLog::SetInitLogFile(false))
                std::fclose(previous);
    });
    threads.emplace_back([&stop] {
        for (int i = 0; !stop; ++i)
            CLog::SetLevel(LS_VCI, i % 8), Tick();
    });
    for (int child = 0; child < 40; ++child) {
        const pid_t pid = fork();
        if (pid == 0) {
            alarm(10);
            const bool ok = CLog::Init(true) && CLog::SetLevel(LS_COMMS, LL_INFO) && CLog::SetPipe(stderr) == nullptr;
            Tick();
            CLog::Shutdown();
            _exit(ok && CLog::Init(false) ? 0 : 1);
        }
        int status = -1;
        const bool held = pid > 0 && waitpid(pid, &status, 0) == pid && WIFEXITED(status) && WEXITSTATUS(status) == 0;
        Check(held, "a child forked while other threads are in the library starts, logs, sets and stops");
        if (!held)
            break;
    }
    stop = true;
    for (std::thread& thread : threads)
        thread.join();
    CLog::Shutdown();
}

// A host out of descriptors: a start fails, at the store's open or at its mapping (which
// needs one more), and works again once the limit is raised.
void OutOfDescriptors()
{
    Check(CLog::Init(false), "the store made");
    CLog::Shutdown();
    rlimit saved {};
    getrlimit(RLIMIT_NOFILE, &saved);
    rlimit limit = saved;
    limit.rlim_cur = 64;
    std::vector<int> held;
    Check(setrlimit(RLIMIT_NOFILE, &limit) == 0, "a limit");
    for (int fd; (fd = open("/dev/null", O_RDONLY | O_CLOEXEC)) >= 0;)
        held.push_back(fd);
    for (int free = 0; free < 2; ++free) {  // none free; one, for the open but not the mapping
        Check(!CLog::Init(false), "no start without descriptors");
        close(held.back());
        held.pop_back();
    }
    limit.rlim_cur = 66;
    Check(setrlimit(RLIMIT_NOFILE, &limit) == 0 && CLog::Init(false) && CLog::SetLevel(LS_VCI, LL_DEBUG),
          "a start works again once descriptors are free");
    for (int fd : held)
        close(fd);
    std::error_code error, unread;
    for (fs::directory_iterator it("/proc/self/fd", error), end; !error && it != end; it.increment(error))
        if (fs::read_symlink(it->path(), unread).filename() == "DEBUG.CFG")  // the store's file and mapping
            Check((fcntl(std::stoi(it->path().filename().string()), F_GETFD) & FD_CLOEXEC) != 0,
                  "no descriptor of the store leaks into the host's children");
    Check(!error, "the descriptors listed");
    CLog::Shutdown();
    setrlimit(RLIMIT_NOFILE, &saved);
}

// A daemon-style host closes what it did not open, then opens files of its own, which take
// the numbers of the store and the init log.
void ForeignDescriptors()
{
    Check(CLog::Init(true), "start");
    Tick();  // the init log's path checked: not again for a second
    for (int fd = 3; fd < 1024; ++fd)
        close(fd);
    std::vector<int> own;
    const std::string hosts(100, 'h');  // long enough to be mapped as a store
    for (int i = 0; i < 16; ++i) {      // over every number the library had
        own.push_back(open((InitLog().parent_path() / ("host" + std::to_string(i))).c_str(), O_RDWR | O_CREAT, 0600));
        Check(write(own.back(), hosts.data(), hosts.size()) == 100, "the host's file written");
    }
    // Started again: the store is opened afresh, never the host's file in its place.
    Check(CLog::Init(true) && CLog::SetLevel(LS_VCI, LL_DEBUG1), "a second start sets a level");
    Tick();  // into the init log opened again, never into the host's file at its old number
    Check(ReadFile(Store()).substr(4 * LS_VCI, 4) == test::SlotBytes({LL_DEBUG1}), "the level reaches the store");
    Check(truncate(Store().c_str(), 0) == 0, "the store emptied");
    Check(CLog::Enabled(LL_WARN, LS_COMMS), "the view reads its defaults");
    CLog::Shutdown();
    for (int fd : own) {
        char text[128];
        Check(pread(fd, text, sizeof text, 0) == 100 && std::string(text, 100) == hosts,
              "the host's file untouched and open");
    }
}
#endif
