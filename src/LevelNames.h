// Level and subsystem numbers as the command shows them.
#pragma once

#include <string>

// "OFF" for -1, the 8-character level tag for 0 to 7, "Invalid Level" otherwise.
std::string LevelName(int level);
// LevelName, with OFF padded as a tag is (" OFF    "): the echo of a set.
std::string LevelTag(int level);
// The subsystem's name for 0 to 18, "Invalid SubSys" otherwise.
std::string SubsystemName(int subsystem);
// The names a set takes, in table order, a blank between them: the level names end
// with OFF.
std::string LevelNameList();
std::string SubsystemNameList();
