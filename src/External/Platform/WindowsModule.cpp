// The Windows module that holds the library, found from the address of its own code.
#include "WindowsModule.h"

#include <windows.h>

namespace pdulog_detail::Platform::Module {

bool InTheMainProgram()
{
    HMODULE own = nullptr;
    const DWORD flags = GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT;
    return !::GetModuleHandleExA(flags, reinterpret_cast<LPCSTR>(&InTheMainProgram), &own)
           || own == ::GetModuleHandleA(nullptr);
}

}  // namespace pdulog_detail::Platform::Module
