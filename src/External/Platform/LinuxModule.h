// The loaded object that holds the library, as the POSIX files of this folder need to know it.
#pragma once

// A plugin is unloaded while its host goes on (Platform.h, Unloading); a program is not.

namespace pdulog_detail::Platform::Module {

// True in the main program (or a static one), false in a shared object loaded into it.
bool InTheMainProgram();
// Keeps this shared object mapped for the rest of the process, whoever unloads it.
void KeepLoaded();

// Platform::Unloading can tell an unload from the process's end only when this is called
// before the module first hands out anything its static destructors release.
void WatchForTheEnd();

}  // namespace pdulog_detail::Platform::Module
