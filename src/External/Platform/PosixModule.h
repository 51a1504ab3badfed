// The loaded object that holds the library, as the POSIX files of this folder need to know it.
#pragma once

// A plugin is unloaded while its host goes on (Platform.h, Unloading); a program is not.

namespace pdulog_detail::Platform::Module {

// True in the main program (or a static one), false in a shared object loaded into it.
bool InTheMainProgram();
// Keeps this shared object mapped for the rest of the process, whoever unloads it.
void KeepLoaded();

// Whether the module's static destructors run because it is being unloaded (dlclose), not
// because the process ends while other threads may still log. Call WatchForTheEnd before
// this module first hands out anything those destructors release.
void WatchForTheEnd();
bool Unloading();

}  // namespace pdulog_detail::Platform::Module
