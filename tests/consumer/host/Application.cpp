// A diagnostic application: loads the driver at run time and polls it until its COMMS
// records appear (exit 0) or a minute has passed (exit 2). It says "ready" on standard
// output after a first poll that made no record.
//   diagnostic-app DRIVER
#include <chrono>
#include <cstdio>
#include <thread>

#ifdef _WIN32
#include <windows.h>
#define LOAD(path) LoadLibraryA(path)
#define SYMBOL(module, name) reinterpret_cast<void*>(GetProcAddress(module, name))
#define UNLOAD(module) FreeLibrary(module)
using Module = HMODULE;
#else
#include <dlfcn.h>
#define LOAD(path) dlopen(path, RTLD_NOW | RTLD_LOCAL)
#define SYMBOL(module, name) dlsym(module, name)
#define UNLOAD(module) dlclose(module)
using Module = void*;
#endif

int main(int argc, char** argv)
{
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
