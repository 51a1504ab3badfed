// The loaded object that holds the library, as the POSIX parts of the platform layer need
// to know it: a plugin is unloaded while its host goes on, a program is not.
#pragma once

namespace Platform::Module {

// True in the main program (or a static one), false in a shared object loaded into it.
bool InTheMainProgram();
// Keeps this shared object mapped for the rest of the process, whoever unloads it.
void KeepLoaded();

}  // namespace Platform::Module
