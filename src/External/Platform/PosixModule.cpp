// The loaded object that holds the library, found through the dynamic loader.
#include "PosixModule.h"

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

}  // namespace

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
