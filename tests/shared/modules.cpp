// Modules of one process on one shared pdulog, as independent vendors' plugins meet:
//   shared_modules threads    modules start, log, move the sink and stop on threads of
//                             their own: no descriptor of the store survives the last stop
//   shared_modules fallback   a module whose start fails falls back to levels of its own,
//                             another starts, the first goes: the other lives on, and its
//                             last stop releases the store (a failed start does not count)
// APPDATA and TEMP are set to a fresh folder of its own. Exits 0 when the library held up.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include <dlfcn.h>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;

struct Module {
    explicit Module(const char* path) : handle(dlopen(path, RTLD_NOW | RTLD_LOCAL)) {}
    template <typename F>
    F* Get(const char* name) const
    {
        return handle ? reinterpret_cast<F*>(dlsym(handle, name)) : nullptr;
    }
    void* handle;
};

// Descriptors of the process that refer to the store.
int StoreDescriptors()
{
    int count = 0;
    for (const auto& entry : fs::directory_iterator("/proc/self/fd")) {
        std::error_code error;
        count += fs::read_symlink(entry.path(), error).filename() == "DEBUG.CFG" ? 1 : 0;
    }
    return count;
}

int Threads(const Module& a, const Module& b)
{
    std::vector<std::thread> threads;
    for (const Module* module : {&a, &b})
        for (int t = 0; t < 3; ++t)
            threads.emplace_back([module, t] {
                for (int i = 0; i < 200; ++i) {
                    if (module->Get<int(int)>("Init")((i + t) % 2) == 0)
                        std::printf("failed: a start\n");
                    module->Get<int(int)>("Log")(i);
                    module->Get<void(int)>("Move")(i + t);
                    module->Get<void()>("Shutdown")();
                }
            });
    for (std::thread& thread : threads)
        thread.join();
    return a.Get<int(int)>("Log")(0) == 0 && StoreDescriptors() == 0 ? 0 : 1;
}

int Fallback(const Module& a, const Module& b, const char* module_a)
{
    const std::string appData = std::getenv("APPDATA");
    fs::create_directories(appData);
    const std::string blocked = appData + "/file";
    std::fclose(std::fopen(blocked.c_str(), "w"));
    setenv("APPDATA", (blocked + "/below").c_str(), 1);  // no store can be made there
    const int aStarted = a.Get<int()>("Start")();
    setenv("APPDATA", appData.c_str(), 1);
    const int bStarted = b.Get<int()>("Start")();
    a.Get<void()>("Stop")();
    dlclose(a.handle);
    if (aStarted != 0 || bStarted != 1 || dlopen(module_a, RTLD_NOW | RTLD_NOLOAD) != nullptr)  // a really gone
        return 2;
    b.Get<int(int)>("Log")(1);  // never a read of the array that left with module a
    b.Get<void()>("Stop")();
    const int bAgain = b.Get<int()>("Start")();  // the store this time
    b.Get<void()>("Stop")();
    return bAgain == 1 && StoreDescriptors() == 0 ? 0 : 3;
}

}  // namespace

int Run(const char* scenario, const char* module_a, const char* module_b)
{
    const Module a(module_a);
    const Module b(module_b);
    if (a.handle == nullptr || b.handle == nullptr)
        return 2;
    if (std::strcmp(scenario, "threads") == 0)
        return Threads(a, b);
    if (std::strcmp(scenario, "fallback") == 0)
        return Fallback(a, b, module_a);
    return 2;
}

int main(int argc, char** argv)
{
    // Named as the tests' folders are (pdulog-test-PID-...): one left behind is removed later.
    std::string folder = "/tmp/pdulog-test-" + std::to_string(getpid()) + "-modules-XXXXXX";
    if (argc != 4 || mkdtemp(&folder[0]) == nullptr)
        return 2;
    setenv("APPDATA", (std::string(folder) + "/appdata").c_str(), 1);
    setenv("TEMP", folder.c_str(), 1);
    std::freopen("/dev/null", "w", stderr);  // the records: what counts is that they are made
    const int status = Run(argv[1], argv[2], argv[3]);
    fs::remove_all(folder);
    return status;
}
