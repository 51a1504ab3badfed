// A host that does to the library what real hosts do to a guest: shuts it down while its
// threads log, hands it pipes nobody reads or that nobody will read again, limits file
// sizes, closes descriptors it does not own, keeps the store read-only.
//   guest_host SCENARIO     (APPDATA and TEMP name fresh folders)
// Exits 0 when the library held up; each failed check is a line on standard output.
#include "CLog.h"
#include "Command.h"
#include "TestSupport.h"

#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <memory>
#include <sstream>
#include <thread>

#include <fcntl.h>
#ifdef _WIN32
#include <io.h>
#include <share.h>
#include <windows.h>
#define pipe(fds) _pipe(fds, 65536, _O_BINARY)
#define read _read
#else
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

namespace {

namespace fs = std::filesystem;
#ifdef _WIN32
constexpr char kNullDevice[] = "NUL";
#else
constexpr char kNullDevice[] = "/dev/null";
#endif
using test::ReadFile;
int g_failures = 0;
char** g_argv;

void Check(bool ok, const char* what)
{
    if (!ok && ++g_failures > 0)
        std::printf("failed: %s\n", what);
}

fs::path InitLog() { return test::InitLog(std::getenv("TEMP")); }
fs::path Store() { return test::StoreFile(std::getenv("APPDATA")); }
void Tick() { CLog(stderr).Header(LL_ERROR, LS_GENERAL) << "tick!"; }

// Calls `done` until it holds, 10 s at most: the library follows its store once a second.
template <typename Done>
bool Eventually(Done done)
{
    const auto giveUp = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (!done())
        if (std::chrono::steady_clock::now() >= giveUp)
            return false;
    return true;
}

// Every record whole: nothing but lines that each end in one record's text.
bool WholeRecords(const std::string& text)
{
    std::istringstream lines(text);
    std::string line;
    while (std::getline(lines, line))  // a CR before the line end on Windows
        if (line.erase(line.find_last_not_of('\r') + 1).find("tick!") + 5 != line.size())
            return false;
    return text.empty() || text.back() == '\n';
}

// 16 threads log on while the facility is shut down under them, 20 times over.
void ShutdownWhileLogging(bool toPipe)
{
    int moves = 0;
    for (int round = 0; round < 20; ++round) {
        Check(CLog::Init(!toPipe), "start");
        int fds[2] = {-1, -1};
        std::string piped;
        std::thread reader;
        if (toPipe && pipe(fds) == 0) {
            CLog::SetPipe(fdopen(fds[1], "w"));
            reader = std::thread([&] {
                char buffer[4096];
                for (int n; (n = read(fds[0], buffer, sizeof buffer)) > 0;)
                    piped.append(buffer, static_cast<std::size_t>(n));
            });
        }
        std::atomic<int> started {0};
        std::atomic<bool> stop {false};
        std::vector<std::thread> threads;
        for (int i = 0; i < 16; ++i)
            threads.emplace_back([&] {
                for (Tick(), ++started; !stop;)
                    Tick();
            });
        while (started < 16)
            std::this_thread::yield();
        // The init log's slot taken by other streams under the writers, and back.
        for (std::FILE* spare = toPipe ? nullptr : std::fopen(kNullDevice, "w"); spare != nullptr;) {
            CLog::SetPipe(stderr);
            CLog::SetPipe(spare);
            spare = CLog::SetPipe(nullptr);  // handed back, for the next move
            if (++moves % 200 == 0)
                std::fclose(spare), spare = nullptr;
        }
        CLog::Shutdown();
        stop = true;
        for (std::thread& thread : threads)
            thread.join();
        if (toPipe)
            reader.join();  // ends only when Shutdown closed the pipe
        Check(WholeRecords(toPipe ? piped : ReadFile(InitLog())), "every record whole");
        CLog::Shutdown();
    }
}

// A pipe handed over, then a restart of the plugin: the pipe is closed, its reader sees the end.
void PipeAfterRestart()
{
    int fds[2];
    Check(pipe(fds) == 0 && CLog::Init(false), "start");
    std::FILE* handed = fdopen(fds[1], "w");
    CLog::SetPipe(handed);
    Check(CLog::SetPipe(handed) == nullptr, "the sink is never handed back while it is the sink");
    Check(CLog::Init(true), "restart");
#ifdef _WIN32
    const bool closed = !PeekNamedPipe(reinterpret_cast<HANDLE>(_get_osfhandle(fds[0])), nullptr, 0, nullptr, nullptr, nullptr)
                        && GetLastError() == ERROR_BROKEN_PIPE;
#else
    char c;
    const bool closed = fcntl(fds[0], F_SETFL, O_NONBLOCK) == 0 && read(fds[0], &c, 1) == 0;
#endif
    Check(closed, "the handed pipe is closed at the restart");
    CLog::Shutdown();
}

// A store the user may only read, and someone who may write it (another process, on POSIX).
void ReadOnlyStore()
{
    fs::create_directories(Store().parent_path());
    std::vector<int32_t> levels(kLogSubsystemCount, LL_WARN);
    levels[LS_COMMS] = LL_DEBUG;
    levels[LS_VEHRX] = LL_DEBUG;  // cut by the 42 bytes below: WARN
    const std::string slots = test::SlotBytes(levels);
    levels[LS_TIMER] = LL_DEBUG1;
    const std::string whole = test::SlotBytes(levels);
    levels[LS_VCI] = LL_DEBUG2;
    const std::string changes[] = {whole, test::SlotBytes(levels)};
    int applied = 0;
#ifdef _WIN32
    // Root ignores a read-only attribute under wine: another handle that denies writes
    // makes the store one that may be read but not written.
    int holder = -1;
    const auto readOnly = [&holder](bool only) {
        if (!only)
            _close(holder);
        else
            _sopen_s(&holder, Store().string().c_str(), _O_RDONLY, _SH_DENYWR, 0);
    };
#else
    const auto readOnly = [](bool only) {
        fs::permissions(Store(), only ? fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read
                                      : fs::perms::owner_read | fs::perms::owner_write);
    };
#endif
    const auto change = [&] {  // in place: a reader keeps its view of the file
        readOnly(false);
        std::fstream(Store(), std::ios::binary | std::ios::in | std::ios::out).write(changes[applied].data(), 76);
        readOnly(true);
        ++applied;
    };
    test::WriteFile(Store(), slots.substr(0, 42));  // too short to map: whole slots and WARN, never padded
    readOnly(true);
#ifdef _WIN32
    const auto next = change;
#else
    fs::path folder = Store();
    for (int up = 0; up < 4; ++up)  // the store's folders and the scratch folder around them
        fs::permissions(folder = folder.parent_path(), fs::perms::others_exec, fs::perm_options::add);
    int up[2], down[2];
    Check(pipe(up) == 0 && pipe(down) == 0, "pipes");
    const pid_t child = fork();
    if (child == 0) {
        if (geteuid() == 0 && (setgid(65534) != 0 || setuid(65534) != 0))
            _exit(99);  // root may write any file: the reader must be an ordinary user
        const auto next = [&] {
            char c;
            Check(write(up[1], "w", 1) == 1 && read(down[0], &c, 1) == 1, "the writer's change");
        };
#endif
        const auto warn = [](int s) { int32_t level = -2; return CLog::GetLevel(s, level) && level == LL_WARN; };
        Check(CLog::Init(false) && CLog::Enabled(LL_DEBUG, LS_COMMS) && warn(LS_VEHRX) && warn(LS_TIMER),
              "a short read-only store gives its whole slots and WARN for the rest");
        Check(fs::file_size(Store()) == 42, "a read-only store is not padded");
        next();  // its writer makes it whole
        int32_t level = 0;
        Check(Eventually([&level] { return CLog::GetLevel(LS_TIMER, level) && level == LL_DEBUG1; }),
              "a short store's writer is followed");
        CLog::Shutdown();
        Check(CLog::Init(false) && CLog::Enabled(LL_DEBUG, LS_COMMS), "a read-only store gives its levels");
        Check(!CLog::SetLevel(LS_COMMS, LL_ERROR), "no level is set through a read-only store");
#ifndef _WIN32
        next();
        Check(CLog::Enabled(LL_DEBUG2, LS_VCI), "the writer's change is followed");
#endif
        CLog::Levels()[LS_APP] = LL_DEBUG3;  // as hosts may: stays in this process
        Check(CLog::Enabled(LL_DEBUG3, LS_APP), "a host's own write to a slot");
        CLog::Shutdown();
        char name[] = "pdu-loglevel", s[] = "-s", comms[] = "COMMS", l[] = "-l", error[] = "ERROR";
        char* list[] = {name, nullptr};
        char* set[] = {name, s, comms, l, error, nullptr};
        Check(RunCommand(1, list) == 0, "the command lists a read-only store");
        Check(RunCommand(5, set) == 1, "the command fails to set a level in a read-only store");
#ifndef _WIN32
        _exit(g_failures);
    }
    close(up[1]);
    for (char c; read(up[0], &c, 1) == 1 && applied < 2;)
        change(), Check(write(down[1], "c", 1) == 1, "handshake");
    int status = -1;
    Check(waitpid(child, &status, 0) == child && status == 0, "the reader held up");
#endif
    readOnly(false);
    Check(ReadFile(Store()) == changes[applied - 1], "the store is as its writer left it");
}

// Three hosts of four threads each append to one init log at once (this program three times
// over, each started as "one-of-three-hosts N"): every record whole, none lost.
void ThreeHostsOnOneInitLog()
{
    fs::create_directory(InitLog().parent_path() / "ready");
    std::unique_ptr<test::Child> hosts[3];
    for (int host = 0; host < 3; ++host)
        hosts[host] = std::make_unique<test::Child>(test::Quote(g_argv[0]) + " one-of-three-hosts " + std::to_string(host));
    for (auto& host : hosts)
        Check(host->Wait() == 0, "each host held up");
    std::istringstream lines(ReadFile(InitLog()));
    int next[3][4] = {}, whole = 0;
    for (std::string line; std::getline(lines, line); ) {
        int host = -1, thread = -1, record = -1, end = 0;
        line.erase(line.find_last_not_of('\r') + 1);
        std::sscanf(line.c_str(), "%*2d:%*2d:%*2d.%*3d ERROR  %d %d %d tick!%n", &host, &thread, &record, &end);
        whole += end == static_cast<int>(line.size()) && host >= 0 && host < 3 && thread >= 0 && thread < 4
                 && record == next[host][thread]++;
    }
    Check(whole == 3 * 4 * 1000, "every record of three hosts whole and in its place, none lost");
}

void OneOfThreeHosts()
{
    CLog::SetInitLogFile(false);
    const fs::path ready = InitLog().parent_path() / "ready";
    test::WriteFile(ready / g_argv[2], "");
    const auto started = [&ready] { return std::distance(fs::directory_iterator(ready), fs::directory_iterator()) == 3; };
    for (const auto giveUp = std::chrono::steady_clock::now() + std::chrono::seconds(10);
         !started() && std::chrono::steady_clock::now() < giveUp;)
        std::this_thread::yield();
    Check(started(), "the three hosts run at once");
    std::vector<std::thread> threads;
    for (int thread = 0; thread < 4; ++thread)
        threads.emplace_back([thread] {
            for (int record = 0; record < 1000; ++record)
                CLog(stderr).Header(LL_ERROR, LS_GENERAL) << g_argv[2] << ' ' << thread << ' ' << record << " tick!";
        });
    for (std::thread& thread : threads)
        thread.join();
    CLog::Shutdown();
}

#ifndef _WIN32
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
    const auto inTheFile = [] { return ReadFile(Store()).substr(4 * LS_VCI, 4) == test::SlotBytes({LL_DEBUG1}); };
    Check(CLog::SetLevel(LS_VCI, LL_DEBUG1) == inTheFile(), "a set reaches the file at the path, or fails");
    Check(Eventually([] { return Tick(), CLog::Enabled(LL_DEBUG2, LS_COMMS); }), "records follow the new file");
    Check(CLog::Levels() == view, "at the same address");
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
    for (fcntl(fds[1], F_SETFL, O_NONBLOCK); write(fds[1], chunk.data(), chunk.size()) > 0;) {
    }
    fcntl(fds[1], F_SETFL, 0);
    if (!hostsStream)
        CLog::SetPipe(fdopen(fds[1], "w"));
    std::atomic<pid_t> id {0};
    std::thread writer([&id, hostsStream] {
        id = gettid();
        hostsStream ? void(std::fputs("tick!\n", stderr)) : Tick();
    });
    for (char state = 0; state != 'S';) {  // until the writer sleeps in its write
        const std::string stat = id != 0 ? ReadFile("/proc/self/task/" + std::to_string(id) + "/stat") : "";
        state = stat.find(") ") != std::string::npos ? stat[stat.find(") ") + 2] : 0;
    }
    CLog::Shutdown();
    std::string drained;
    char buffer[4096];
    for (int n; drained.find("tick!") == std::string::npos && (n = read(fds[0], buffer, sizeof buffer)) > 0;)
        drained.append(buffer, static_cast<std::size_t>(n));
    writer.join();
    CLog::SetPipe(nullptr);  // a later move: a pipe of ours is closed now that its writer is out
    while (!hostsStream && read(fds[0], buffer, sizeof buffer) > 0) {
    }
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
    sigset_t only, pending;
    Check(sigemptyset(&only) == 0 && sigaddset(&only, SIGPIPE) == 0 && pthread_sigmask(SIG_BLOCK, &only, nullptr) == 0
              && raise(SIGPIPE) == 0, "a SIGPIPE the host holds pending");
    Tick();
    Check(sigpending(&pending) == 0 && sigismember(&pending, SIGPIPE) == 1, "is left to the host");
    const timespec now {};
    sigtimedwait(&only, nullptr, &now);
    pthread_sigmask(SIG_UNBLOCK, &only, nullptr);
    Check(socketpair(AF_UNIX, SOCK_STREAM, 0, peerGone) == 0 && close(peerGone[1]) == 0, "socket");
    CLog::SetPipe(fdopen(peerGone[0], "w"));
    Tick();
    CLog::Shutdown();
    const rlimit limit {157 * std::strlen("hh:mm:ss.mmm ERROR  tick!\n"), RLIM_INFINITY};  // whole records fill it
    Check(setrlimit(RLIMIT_FSIZE, &limit) == 0 && CLog::Init(true), "start");
    for (int i = 0; i < 300; ++i)
        Tick();
    CLog::Shutdown();
    const std::string text = ReadFile(InitLog());
    Check(text.size() == limit.rlim_cur && WholeRecords(text), "whole records up to the limit, the last right at it");
    // A pipe set not to wait takes only part of a long record: the next record starts a line.
    int full[2];
    Check(pipe(full) == 0 && fcntl(full[0], F_SETFL, O_NONBLOCK) == 0 && fcntl(full[1], F_SETFL, O_NONBLOCK) == 0, "pipe");
    CLog::SetPipe(fdopen(full[1], "w"));
    CLog(stderr).Header(LL_ERROR, LS_GENERAL) << std::string(200000, 'x');
    char buffer[65536];
    while (read(full[0], buffer, sizeof buffer) > 0) {
    }
    Tick();
    const ssize_t n = read(full[0], buffer, sizeof buffer);
    Check(n > 1 && buffer[0] == '\n' && WholeRecords(std::string(buffer + 1, n - 1)), "a cut record's line is ended");
    CLog::Shutdown();
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
    for (int i = 0; i < 16; ++i) {  // over every number the library had
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
        Check(pread(fd, text, sizeof text, 0) == 100 && std::string(text, 100) == hosts, "the host's file untouched and open");
    }
}
#endif

}  // namespace

int main(int argc, char** argv)
{
    const std::pair<std::string, void (*)()> scenarios[] = {
        {"shutdown-while-logging-to-a-file", [] { ShutdownWhileLogging(false); }},
        {"shutdown-while-logging-to-a-pipe", [] { ShutdownWhileLogging(true); }},
        {"pipe-after-restart", PipeAfterRestart},
        {"read-only-store", ReadOnlyStore},
        {"three-hosts-on-one-init-log", ThreeHostsOnOneInitLog},
        {"one-of-three-hosts", OneOfThreeHosts},
#ifndef _WIN32
        {"blocked-writer", [] { BlockedWriter(false); }},
        {"blocked-host-writer", [] { BlockedWriter(true); }},
        {"writes-that-cannot-be-made", WritesThatCannotBeMade},
        {"foreign-descriptors", ForeignDescriptors},
        {"replaced-store", ReplacedStore},
#endif
    };
    g_argv = argv;
    for (const auto& [name, run] : scenarios)
        if (argc > 1 && name == argv[1])
            return run(), g_failures == 0 ? 0 : 1;
    return 2;
}
