// The loaded module that holds the library, as the Windows files of this folder need to know it.
#pragma once

namespace pdulog_detail::Platform::Module {

// True in the .exe, false in a DLL that its host may free while it goes on running. A
// module that cannot be told counts as the .exe: nothing is released under its readers.
bool InTheMainProgram();

}  // namespace pdulog_detail::Platform::Module
