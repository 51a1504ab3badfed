// The command line of pdu-loglevel.
#pragma once

// Reads -s/--system, -l/--level and -h/--help with getopt_long. Returns -1 on an option
// error (the C library has reported it), 0 when help was asked for or no -s/-l was given,
// otherwise the number of -s and -l options, repeats included.
int ParseOptions(int argc, char** argv, int* subsystem, int* level, bool* help);

// What a run of the command does, as the count and the help flag of ParseOptions say.
enum class Request {
    kList,   // no -s or -l: every subsystem's level
    kShow,   // one of them: one subsystem's level
    kSet,    // two or more: the subsystem set to the level
    kUsage,  // -h, or an option error
};
Request RequestOf(int count, bool help);
