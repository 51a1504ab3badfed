// The command line of pdu-loglevel parsed into a subsystem, a level and a count.
#include "Options.h"

#include <pdulog/CLog.h>

#include <getopt.h>

#include <string>
#include <vector>

namespace {

const char kShortOptions[] = "hs:l:";

const struct option kLongOptions[] = {
    {"help", no_argument, nullptr, 'h'},
    {"system", required_argument, nullptr, 's'},
    {"level", required_argument, nullptr, 'l'},
    {nullptr, 0, nullptr, 0},
};

// The level that the listing shows for a slot at -1: the command takes the texts it prints.
constexpr char kOff[] = "OFF";

// One scan of the command line from its start: `name` gets each -s or -l with its text in
// command-line order. Returns what ParseOptions returns.
template <typename Name>
int Scan(int argc, char** argv, bool* help, Name name)
{
    *help = false;
    int count = 0;
    optind = 0;  // from the start again, the environment (POSIXLY_CORRECT) read again
    for (;;) {
        int index = 0;
        const int option = getopt_long(argc, argv, kShortOptions, kLongOptions, &index);
        switch (option) {
        case 's':
        case 'l':
            name(static_cast<char>(option), std::string(optarg));
            ++count;
            break;
        case 'h': *help = true; return 0;
        case -1: return count;
        default: return -1;
        }
    }
}

}  // namespace

int ParseOptions(int argc, char** argv, int* subsystem, int* level, bool* help)
{
    return Scan(argc, argv, help, [subsystem, level](char option, const std::string& name) {
        if (option == 's')
            *subsystem = CLog::SubsystemFromName(name);
        else
            *level = name == kOff ? LL_OFF : CLog::LevelFromName(name);
    });
}

command::Request command::PreviewRequest(int argc, char** argv)
{
    // getopt_long moves the words that are no options: the copy takes that, not argv.
    std::vector<char*> copy(argv, argv + argc);
    copy.push_back(nullptr);
    const int reported = opterr;
    opterr = 0;  // the scan that counts says nothing; ParseOptions' scan reports the errors
    int systems = 0;
    int levels = 0;
    bool help = false;
    const int count = Scan(argc, copy.data(), &help, [&systems, &levels](char option, const std::string&) {
        ++(option == 's' ? systems : levels);
    });
    opterr = reported;
    if (count == -1 || help)
        return command::Request::kUsage;
    if (systems > 0 && levels > 0)
        return command::Request::kSet;
    if (count >= 2)
        return command::Request::kUnclear;
    return count == 0 ? command::Request::kList : command::Request::kShow;
}

command::SetRequest command::ReadSetRequest(int argc, char** argv)
{
    command::SetRequest request;
    bool help = false;
    Scan(argc, argv, &help, [&request](char option, const std::string& name) {
        LogSubsystem subsystem = LS_GENERAL;
        LogLevel level = LL_DEBUG;
        if (request.refusedKind != nullptr)
            return;
        if (option == 's' && CLog::FindSubsystem(name, subsystem))
            request.subsystem = subsystem;
        else if (option == 'l' && name == kOff)
            request.level = LL_OFF;
        // Every tag contains the empty text: an unset shell variable would set ERROR.
        else if (option == 'l' && !name.empty() && CLog::FindLevel(name, level))
            request.level = level;
        else {
            request.refusedKind = option == 's' ? "subsystem" : "level";
            request.refused = name;
        }
    });
    return request;
}
