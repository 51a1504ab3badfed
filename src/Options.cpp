// The command line of pdu-loglevel parsed into a subsystem, a level and a count.
#include "Options.h"

#include "CLog.h"

#include <getopt.h>

#include <string>

namespace {

const char kShortOptions[] = "hs:l:";

const struct option kLongOptions[] = {
    {"help", no_argument, nullptr, 'h'},
    {"system", required_argument, nullptr, 's'},
    {"level", required_argument, nullptr, 'l'},
    {nullptr, 0, nullptr, 0},
};

}  // namespace

int ParseOptions(int argc, char** argv, int* subsystem, int* level, bool* help)
{
    *help = false;
    int count = 0;
    for (;;) {
        int index = 0;
        switch (getopt_long(argc, argv, kShortOptions, kLongOptions, &index)) {
        case 's':
            *subsystem = CLog::SubsystemFromName(std::string(optarg));
            ++count;
            break;
        case 'l':
            *level = CLog::LevelFromName(std::string(optarg));
            ++count;
            break;
        case 'h': *help = true; return 0;
        case -1: return count;
        default: return -1;
        }
    }
}

Request RequestOf(int count, bool help)
{
    if (count == -1 || help)
        return Request::kUsage;
    if (count >= 2)
        return Request::kSet;
    return count == 0 ? Request::kList : Request::kShow;
}
