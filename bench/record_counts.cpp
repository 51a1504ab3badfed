// One kind of record, written N times: the program that bench/counts.sh runs under callgrind
// (instructions per record) and strace (system calls per record).
//   record_counts KIND N
// KIND: suppressed (a PDULOG site its level turns away), gate (the floor of that: a null test, a
// load and a compare around a call), initlog, file (a stream of the host's on a regular
// file), pipe, blocked (a pipe, written by a thread that blocks SIGPIPE), socket,
// sizelimit (pdulog's PDULOG site to that sink), or one of the
// floors, each writing the same line to a file: fputs (fputs + fflush of the finished line),
// fprintf (fprintf of each field + fflush), hand (the fields composed by hand into a char
// buffer, one write), write (a raw write of the finished bytes).
#include "CLog.h"

#include <charconv>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <time.h>
#include <string>
#include <thread>

#include <csignal>

#include <fcntl.h>
#include <pthread.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

struct Link {
    void Poll(int id) { PDULOG(LL_INFO, LS_COMMS) << "connected to " << id; }
};

// What the site above writes, for the floors: a line of the same fields and length.
const char kPlace[] = "src\\bench\\record_counts.cpp";
const char kFunction[] = "Link::Poll";

// The time of day as a record shows it, its text made again only when the second changes.
std::size_t TimeOfDay(char* out)
{
    static std::time_t cachedSecond = -1;
    static char cached[9];
    timespec now {};
    clock_gettime(CLOCK_REALTIME, &now);
    if (now.tv_sec != cachedSecond) {
        std::tm local {};
        localtime_r(&now.tv_sec, &local);
        std::strftime(cached, sizeof cached, "%H:%M:%S", &local);
        cached[8] = '.';
        cachedSecond = now.tv_sec;
    }
    std::memcpy(out, cached, 9);
    const long millis = now.tv_nsec / 1000000;
    out[9] = static_cast<char>('0' + millis / 100);
    out[10] = static_cast<char>('0' + millis / 10 % 10);
    out[11] = static_cast<char>('0' + millis % 10);
    return 12;
}

std::size_t Compose(char* out, int id)
{
    char* p = out + TimeOfDay(out);
    std::memcpy(p, " INFO    1a2b:", 14);
    p += 14;
    std::memcpy(p, kPlace, sizeof kPlace - 1);
    p += sizeof kPlace - 1;
    *p++ = ':';
    p = std::to_chars(p, p + 12, 22).ptr;
    *p++ = ':';
    std::memcpy(p, kFunction, sizeof kFunction - 1);
    p += sizeof kFunction - 1;
    std::memcpy(p, ":connected to ", 14);
    p += 14;
    p = std::to_chars(p, p + 12, id).ptr;
    *p++ = '\n';
    return static_cast<std::size_t>(p - out);
}

// A reader that takes everything written to the descriptor, until it is closed.
std::thread Drain(int fd)
{
    return std::thread([fd] {
        char buffer[65536];
        while (::read(fd, buffer, sizeof buffer) > 0) {}
        ::close(fd);
    });
}

// The suppressed site's floor: the gate written by hand, around a call it never makes.
__attribute__((noinline, cold)) void Made(int& made) { ++made; }
inline void HandGate(const int32_t* volatile& levels, int& made)
{
    const int32_t* slots = levels;
    if (slots != nullptr && reinterpret_cast<const volatile int32_t*>(slots)[LS_COMMS] >= LL_INFO)
        Made(made);
}

// Out of main, whose size would change what the compiler inlines into the other loops.
__attribute__((noinline)) int Gate(const std::string& kind, int n)
{
    if (!CLog::Init(false))
        return 1;
    CLog::SetLevel(LS_COMMS, LL_WARN);
    Link link;
    int made = 0;
    const int32_t* volatile levels = CLog::Levels();  // re-read, as the gate's pointer is
    if (kind == "suppressed") {
        for (int i = 0; i < n; ++i)
            link.Poll(i);
    } else {
        for (int i = 0; i < n; ++i)
            HandGate(levels, made);
    }
    CLog::Shutdown();
    return made;
}

int Pdulog(const std::string& kind, int n)
{
    if (!CLog::Init(kind == "initlog" || kind == "sizelimit"))
        return 1;
    CLog::SetLevel(LS_COMMS, LL_INFO);
    std::thread reader;
    int fds[2] = {-1, -1};
    if ((kind == "pipe" || kind == "blocked") && ::pipe(fds) == 0) {
        reader = Drain(fds[0]);
        CLog::SetPipe(::fdopen(fds[1], "w"));
    } else if (kind == "file") {
        CLog::SetPipe(std::fopen((std::string(std::getenv("TEMP")) + "/handed.log").c_str(), "w"));
    } else if (kind == "socket" && ::socketpair(AF_UNIX, SOCK_STREAM, 0, fds) == 0) {
        reader = Drain(fds[0]);
        CLog::SetPipe(::fdopen(fds[1], "w"));
    }
    Link link;
    for (int i = 0; i < n; ++i)
        link.Poll(i);
    CLog::Shutdown();  // closes a pipe or socket: its reader ends
    if (reader.joinable())
        reader.join();
    return 0;
}

int Floor(const std::string& kind, int n)
{
    const std::string path = std::string(std::getenv("TEMP")) + "/floor.log";
    std::FILE* file = std::fopen(path.c_str(), "w");
    const int fd = ::fileno(file);
    char line[256];
    const std::size_t length = Compose(line, 0);
    line[length] = '\0';
    // The kind is decided once: the loops hold nothing but the floor's own work.
    if (kind == "fputs") {
        for (int i = 0; i < n; ++i) {
            std::fputs(line, file);
            std::fflush(file);
        }
    } else if (kind == "fprintf") {
        for (int i = 0; i < n; ++i) {
            char time[13];
            TimeOfDay(time);
            time[12] = '\0';
            std::fprintf(file, "%s%s%s:%s:%d:%s:%s%d\n", time, " INFO   ", "  1a2b", kPlace, 22, kFunction,
                         "connected to ", i);
            std::fflush(file);
        }
    } else if (kind == "hand") {
        for (int i = 0; i < n; ++i)
            ::write(fd, line, Compose(line, i));
    } else {
        for (int i = 0; i < n; ++i)
            ::write(fd, line, length);
    }
    std::fclose(file);
    return 0;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc != 3)
        return 2;
    const std::string kind = argv[1];
    const int n = std::atoi(argv[2]);
    if (kind == "sizelimit") {
        rlimit limit {};
        getrlimit(RLIMIT_FSIZE, &limit);
        limit.rlim_cur = std::size_t {1} << 30;
        setrlimit(RLIMIT_FSIZE, &limit);
    }
    if (kind == "blocked") {
        sigset_t pipeSignal;
        sigemptyset(&pipeSignal);
        sigaddset(&pipeSignal, SIGPIPE);
        pthread_sigmask(SIG_BLOCK, &pipeSignal, nullptr);
    }
    if (kind == "suppressed" || kind == "gate")
        return Gate(kind, n);
    if (kind == "initlog" || kind == "file" || kind == "pipe" || kind == "blocked" || kind == "socket"
        || kind == "sizelimit")
        return Pdulog(kind, n);
    return Floor(kind, n);
}
