// The Windows module that holds the library, found from the address of its own code.
#include "WindowsModule.h"

#include "Platform.h"

#include <atomic>

#include <windows.h>

namespace pdulog_detail::Platform {

namespace {

std::atomic<bool> g_processEnds {false};

// Windows tells every module's TLS callbacks, before its entry point, why it is detached:
// `reserved` is non-null when the process ends. A static pdulog inside a vendor's DLL cannot
// own the DLL's entry point, but it can have a TLS callback of its own.
void NTAPI ModuleEvent(PVOID, DWORD reason, PVOID reserved)
{
    if (reason == DLL_PROCESS_DETACH && reserved != nullptr)
        g_processEnds.store(true);
}

}  // namespace

}  // namespace pdulog_detail::Platform

// The callback's entry in the image's list of TLS callbacks (between .CRT$XLA and .CRT$XLZ).
#ifdef _MSC_VER
#ifdef _WIN64
#pragma comment(linker, "/INCLUDE:_tls_used")
#pragma comment(linker, "/INCLUDE:pdulog_tls_callback")
#else
#pragma comment(linker, "/INCLUDE:__tls_used")
#pragma comment(linker, "/INCLUDE:_pdulog_tls_callback")
#endif
#pragma const_seg(".CRT$XLP")
// extern "C" and not just const: a const object would be the file's own, unseen by /INCLUDE.
extern "C" const PIMAGE_TLS_CALLBACK pdulog_tls_callback = pdulog_detail::Platform::ModuleEvent;
#pragma const_seg()
#else
extern "C" {
__attribute__((section(".CRT$XLP"), used)) PIMAGE_TLS_CALLBACK pdulog_tls_callback
    = pdulog_detail::Platform::ModuleEvent;
}
#endif

namespace pdulog_detail::Platform {

bool OtherThreadsGone() { return g_processEnds.load(); }

// exit() in an .exe runs the static destructors as the process ends; in a DLL the detach
// at the process's end comes with `reserved` set, which the TLS callback saw first.
bool Unloading() { return !Module::InTheMainProgram() && !g_processEnds.load(); }

}  // namespace pdulog_detail::Platform

namespace pdulog_detail::Platform::Module {

bool InTheMainProgram()
{
    HMODULE own = nullptr;
    const DWORD flags = GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT;
    return !::GetModuleHandleExA(flags, reinterpret_cast<LPCSTR>(&InTheMainProgram), &own)
           || own == ::GetModuleHandleA(nullptr);
}

}  // namespace pdulog_detail::Platform::Module
