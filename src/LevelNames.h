// Level and subsystem numbers as the command shows them.
#pragma once

#include <string>

// "OFF" for -1, the 8-character level tag for 0 to 7, "Invalid Level" otherwise.
std::string LevelName(int level);
// The subsystem's name for 0 to 18, "Invalid SubSys" otherwise.
std::string SubsystemName(int subsystem);
