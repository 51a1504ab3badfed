// The command line of pdu-loglevel.
#pragma once

#include <string>

// Reads -s/--system, -l/--level and -h/--help with getopt_long. Returns -1 on an option
// error (the C library has reported it), 0 when help was asked for or no -s/-l was given,
// otherwise the number of -s and -l options, repeats included. Each name goes through the
// library's parser as it is read, which reports an unknown one and gives its default; a
// level named OFF is -1, and no parser sees it.
int ParseOptions(int argc, char** argv, int* subsystem, int* level, bool* help);

// The command's own helpers, beside the names its manual gives (ParseOptions above).
namespace command {

// What a run of the command does, decided from the whole command line before any name is
// read, so that a set never reads a name it is going to refuse through the parsers.
enum class Request {
    kList,     // no -s or -l: every subsystem's level
    kShow,     // one of them: one subsystem's level
    kSet,      // at least one -s and at least one -l: the subsystem set to the level
    kUnclear,  // two or more of one kind and none of the other: neither a show nor a set
    kUsage,    // -h, or an option error
};
// The scan of ParseOptions on a copy of the command line, with nothing written and no name
// read; ParseOptions then scans the command line from its start again.
Request PreviewRequest(int argc, char** argv);

// The names of a set, looked up by the parsers' rules with nothing reported. An unknown
// subsystem or level, and an empty level name, are refused: `refusedKind` is "subsystem" or
// "level" and `refused` the first such name in command-line order; nothing else is set.
struct SetRequest {
    int subsystem = 0;  // GENERAL
    int level = 1;      // WARN
    const char* refusedKind = nullptr;
    std::string refused;
};
SetRequest ReadSetRequest(int argc, char** argv);

}  // namespace command
