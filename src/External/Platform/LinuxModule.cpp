// The loaded object that holds the library, found through the GNU loader (dladdr1, link_map).
#include "LinuxModule.h"

#include <atomic>
#include <cstdlib>

#include <dlfcn.h>
#include <link.h>

// Weak: a static program is never unloaded, and needs no dynamic loader for it.
#pragma weak dladdr1
#pragma weak dlsym

namespace pdulog_detail::Platform::Module {

namespace {

// The loader's entry for the object this code belongs to; nullptr in a static program.
const link_map* Own()
{
    Dl_info info {};
    link_map* module = nullptr;
    if (dladdr1 == nullptr
        || dladdr1(reinterpret_cast<void*>(&InTheMainProgram), &info, reinterpret_cast<void**>(&module),
                   RTLD_DL_LINKMAP)
               == 0)
        return nullptr;
    return module;
}

// How an unload is told from the process's end. The static destructors are registered with
// the C library's exit handlers when the module is initialised; EndBegins is registered
// later, at the module's first use, so it runs before them wherever they run. Finishing
// is in the module's own list of finalisers, which the loader runs:
// - at dlclose: first Finishing, then the module's exit handlers (EndBegins, then the
//   static destructors), then the pages go;
// - at the process's end: the exit handlers registered after the program started run
//   first (EndBegins among them, and the static destructors of a module loaded later),
//   then the loader's finalisers, Finishing among them, then what modules loaded with the
//   program registered.
// So Finishing sees EndBegins not yet run only at dlclose. (A module loaded with the
// program whose first use comes before main() cannot be told: it counts as unloaded; the
// reliability notes (docs/reliability.md) say so.)
std::atomic<bool> g_endBegun {false};
std::atomic<bool> g_unloading {false};

void EndBegins() { g_endBegun.store(true); }

__attribute__((destructor)) void Finishing()
{
    if (!g_endBegun.load())
        g_unloading.store(true);
}

}  // namespace

void WatchForTheEnd()
{
    static const bool watched = std::atexit(EndBegins) == 0;
    (void)watched;
}

bool InTheMainProgram()
{
    const link_map* module = Own();
    return module == nullptr || module->l_name == nullptr || module->l_name[0] == '\0';
}

void KeepLoaded()
{
    // The loader is asked through dlsym: dlopen itself would pull the loader into a static
    // program, which has nothing to keep.
    if (InTheMainProgram() || dlsym == nullptr)
        return;
    using Open = void* (*)(const char*, int);
    if (const auto open = reinterpret_cast<Open>(dlsym(RTLD_DEFAULT, "dlopen")))
        open(Own()->l_name, RTLD_NOW | RTLD_NOLOAD | RTLD_NODELETE);
}

}  // namespace pdulog_detail::Platform::Module

namespace pdulog_detail::Platform {

bool Unloading() { return Module::g_unloading.load() && !Module::InTheMainProgram(); }

}  // namespace pdulog_detail::Platform
