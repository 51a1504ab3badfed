// A diagnostic application: loads the driver at run time and polls it until its COMMS
// records appear (exit 0) or a minute has passed (exit 2). It says "ready" on standard
// output after a first poll that made no record. "cycles" loads, uses and unloads a driver
// many times; "orders" unloads two copies of it (Linux) both ways under a SIGBUS handler of
// the application's own. "modules" starts the driver as two modules of one process do (the
// second with the init log) and stops it twice: on a shared pdulog, COMMS at INFO, the
// driver must still log after the first stop and no longer after the last. "vendors" loads
// two vendors' drivers, each on a shared pdulog of its own name, in both orders: each must
// follow its own store, where COMMS admits INFO for the first and not for the second. "ends"
// exits while four threads log through a driver that is never unloaded ("kept") or that
// was unloaded but pinned in memory ("pinned", Linux): exit 0 and only whole records.
//   diagnostic-app DRIVER | cycles DRIVER COUNT | orders DRIVER_A DRIVER_B | modules DRIVER
//                  | vendors global|local DRIVER_INFO DRIVER_WARN | ends DRIVER kept|pinned
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <thread>

#ifdef _WIN32
#include <windows.h>
#define LOAD(path) LoadLibraryA(path)
#define SYMBOL(module, name) reinterpret_cast<void*>(GetProcAddress(module, name))
#define UNLOAD(module) FreeLibrary(module)
using Module = HMODULE;
#else
#include <dlfcn.h>
int g_loadMode = RTLD_LOCAL;
#define LOAD(path) dlopen(path, RTLD_NOW | g_loadMode)
#define SYMBOL(module, name) dlsym(module, name)
#define UNLOAD(module) dlclose(module)
using Module = void*;
#include <csignal>
#include <pthread.h>
#include <sys/mman.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

namespace {

// Loads and starts the driver twice, which makes a record from this thread and one from a
// thread that has ended.
Module Start(const char* path)
{
    const Module driver = LOAD(path);
    auto start = driver ? reinterpret_cast<int (*)()>(SYMBOL(driver, "DriverStart")) : nullptr;
    auto report = driver ? reinterpret_cast<void (*)(int)>(SYMBOL(driver, "DriverReport")) : nullptr;
    if (start == nullptr || report == nullptr || !start() || !start())  // a second start maps a second view
        return nullptr;
    report(1);
    return driver;
}

void Stop(Module driver)
{
    reinterpret_cast<void (*)()>(SYMBOL(driver, "DriverStop"))();
    UNLOAD(driver);
}

// Windows: not counted, the cycles must only hold.
std::ptrdiff_t Mappings()
{
#ifndef _WIN32
    std::ifstream maps("/proc/self/maps");
    return std::count(std::istreambuf_iterator<char>(maps), {}, '\n');
#endif
    return 0;
}

// A thread-local key of the application's own: a driver that leaks one per load shows here.
int NextKey()
{
#ifndef _WIN32
    pthread_key_t key;
    if (pthread_key_create(&key, nullptr) != 0)
        return 1 << 20;
    pthread_key_delete(key);
    return static_cast<int>(key);
#endif
    return 0;
}

// A fork after an unload: a fork handler of the driver's left behind would run unloaded code.
bool ForkHolds()
{
#ifndef _WIN32
    const pid_t child = fork();
    if (child == 0)
        _exit(0);
    int status = -1;
    return child > 0 && waitpid(child, &status, 0) == child && status == 0;
#endif
    return true;
}

int Cycles(const char* path, int cycles)
{
    std::ptrdiff_t before = 0;  // after the first cycle's once-only thread stack and arena
    const int key = NextKey();
    for (int i = 0; i < cycles; ++i) {
        before = i == 1 ? Mappings() : before;
        bool started = false;
        // Every tenth cycle on a thread of the application's that logged through the driver
        // and ends after the unload.
        const auto cycle = [path, &started] {
            const Module driver = Start(path);
            if ((started = driver != nullptr))
                Stop(driver);
        };
        i % 10 == 0 ? std::thread(cycle).join() : cycle();
        if (!started)
            return 1;
        if (!ForkHolds())
            return 9;
    }
    const std::ptrdiff_t grown = Mappings() - before;
    std::printf("diagnostic-app: %td more mappings, %d more keys after %d cycles\n", grown, NextKey() - key, cycles);
    return grown <= 4 && NextKey() - key <= 2 ? 0 : 2;
}

// The process ends while four threads log through the driver.
int Ends(const char* path, const char* how)
{
#ifndef _WIN32
    if (std::strcmp(how, "pinned") == 0)
        g_loadMode |= RTLD_NODELETE;
#endif
    const Module driver = LOAD(path);
    auto start = driver ? reinterpret_cast<int (*)()>(SYMBOL(driver, "DriverStart")) : nullptr;
    auto poll = driver ? reinterpret_cast<int (*)(int)>(SYMBOL(driver, "DriverPoll")) : nullptr;
    if (start == nullptr || poll == nullptr || !start())
        return 1;
    if (std::strcmp(how, "pinned") == 0)
        UNLOAD(driver);  // stays mapped, and its threads go on
    static std::atomic<int> polled {0};
    for (int thread = 0; thread < 4; ++thread)
        std::thread([poll] {
            for (int id = 0; id < 5000; ++id, ++polled)
                poll(id);  // a record while COMMS admits INFO
        }).detach();
    while (polled < 200)
        std::this_thread::yield();
    std::exit(0);
}

int Modules(const char* path)
{
    const Module driver = LOAD(path);
    if (driver == nullptr)
        return 1;
    auto start = reinterpret_cast<int (*)()>(SYMBOL(driver, "DriverStart"));
    auto startWithInitLog = reinterpret_cast<int (*)()>(SYMBOL(driver, "DriverStartWithInitLog"));
    auto poll = reinterpret_cast<int (*)(int)>(SYMBOL(driver, "DriverPoll"));
    auto stop = reinterpret_cast<void (*)()>(SYMBOL(driver, "DriverStop"));
    if (start == nullptr || startWithInitLog == nullptr || poll == nullptr || stop == nullptr || !start()
        || !startWithInitLog())
        return 1;
    stop();
    const bool othersLog = poll(1);
    stop();
    const bool released = !poll(2);
    UNLOAD(driver);
    return !othersLog ? 6 : !released ? 7 : 0;
}

// Exit 8: a driver followed the other vendor's store.
int Vendors(const char* informing, const char* warning)
{
    for (const bool informingFirst : {true, false}) {
        const Module first = LOAD(informingFirst ? informing : warning);
        const Module second = LOAD(informingFirst ? warning : informing);
        if (first == nullptr || second == nullptr)
            return 1;
        const Module drivers[2] = {informingFirst ? first : second, informingFirst ? second : first};
        int polled[2] = {};
        for (int i = 0; i < 2; ++i) {
            auto start = reinterpret_cast<int (*)()>(SYMBOL(drivers[i], "DriverStart"));
            auto poll = reinterpret_cast<int (*)(int)>(SYMBOL(drivers[i], "DriverPoll"));
            if (start == nullptr || poll == nullptr || !start())
                return 1;
            polled[i] = poll(i + 1);
        }
        Stop(second);
        Stop(first);
        if (polled[0] != 1 || polled[1] != 0)
            return 8;
    }
    return 0;
}

#ifndef _WIN32
int g_fd;
volatile char* g_page;
volatile sig_atomic_t g_faults = 0;

// A fault on the application's own page: its file gets its byte back and the read goes on.
void OnBusError(int, siginfo_t* info, void*)
{
    if (info->si_addr != g_page || ftruncate(g_fd, 1) != 0)
        _exit(3);
    g_faults = g_faults + 1;
}

bool Gone(const char* path)
{
    void* still = dlopen(path, RTLD_LAZY | RTLD_NOLOAD);
    return still == nullptr || dlclose(still) != 0;
}

int Orders(const char* first, const char* second)
{
    std::FILE* file = std::tmpfile();
    g_fd = file != nullptr ? fileno(file) : -1;
    if (g_fd < 0 || ftruncate(g_fd, 1) != 0)
        return 1;
    g_page = static_cast<char*>(mmap(nullptr, 1, PROT_READ, MAP_SHARED, g_fd, 0));
    struct sigaction action {};
    action.sa_sigaction = OnBusError;
    action.sa_flags = SA_SIGINFO;
    if (g_page == MAP_FAILED || sigaction(SIGBUS, &action, nullptr) != 0)
        return 1;
    // Unloaded last-loaded-first, then first-loaded-first. A driver whose handler another
    // one covered may stay mapped, but the one unloaded last must be gone.
    for (const int last : {0, 1}) {
        const char* paths[2] = {first, second};
        Module drivers[2] = {Start(first), nullptr};
        if (drivers[0] == nullptr || (drivers[1] = Start(second)) == nullptr)
            return 1;
        Stop(drivers[1 - last]);
        Stop(drivers[last]);
        if (!Gone(paths[last]) || (last == 0 && !Gone(paths[1]))) {
            std::printf("diagnostic-app: a driver is still mapped after its unload\n");
            return 4;
        }
        const int faults = g_faults;
        if (ftruncate(g_fd, 0) != 0 || *g_page != 0 || g_faults != faults + 1)
            return 5;
    }
    return 0;
}
#endif

}  // namespace

int main(int argc, char** argv)
{
    if (argc == 4 && std::strcmp(argv[1], "cycles") == 0)
        return Cycles(argv[2], std::atoi(argv[3]));
    if (argc == 3 && std::strcmp(argv[1], "modules") == 0)
        return Modules(argv[2]);
    if (argc == 4 && std::strcmp(argv[1], "ends") == 0)
        return Ends(argv[2], argv[3]);
    if (argc == 5 && std::strcmp(argv[1], "vendors") == 0) {
#ifndef _WIN32
        g_loadMode = std::strcmp(argv[2], "global") == 0 ? RTLD_GLOBAL : RTLD_LOCAL;
#endif
        return Vendors(argv[3], argv[4]);
    }
#ifndef _WIN32
    if (argc == 4 && std::strcmp(argv[1], "orders") == 0)
        return Orders(argv[2], argv[3]);
#endif
    if (argc != 2)
        return 1;
    const Module driver = LOAD(argv[1]);
    if (driver == nullptr) {
        std::fprintf(stderr, "diagnostic-app: cannot load %s\n", argv[1]);
        return 1;
    }
    auto start = reinterpret_cast<int (*)()>(SYMBOL(driver, "DriverStart"));
    auto poll = reinterpret_cast<int (*)(int)>(SYMBOL(driver, "DriverPoll"));
    auto stop = reinterpret_cast<void (*)()>(SYMBOL(driver, "DriverStop"));
    if (start == nullptr || poll == nullptr || stop == nullptr || !start())
        return 1;
    int status = 2;
    for (int id = 1; id <= 6000; ++id) {
        if (poll(id)) {
            status = 0;
            break;
        }
        if (id == 1) {  // the driver has made its first decision: someone may change the level now
            std::printf("ready\n");
            std::fflush(stdout);
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    stop();
    UNLOAD(driver);
    return status;
}
