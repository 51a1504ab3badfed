// The whole command: the input split at NUL bytes into arguments, run through option
// handling and the entry flow against a store of its own. The first byte chooses whether
// POSIXLY_CORRECT is set.
#include "CLog.h"
#include "Command.h"
#include "FuzzSupport.h"

#include <getopt.h>

#include <cstdlib>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    fuzz::Setup();
    if (size > 0 && (data[0] & 1) != 0)
        setenv("POSIXLY_CORRECT", "1", 1);
    else
        unsetenv("POSIXLY_CORRECT");

    std::vector<std::string> words {"pdu-loglevel"};
    std::string word;
    for (size_t i = size > 0 ? 1 : 0; i < size; ++i) {
        if (data[i] == '\0') {
            words.push_back(word);
            word.clear();
        } else {
            word += static_cast<char>(data[i]);
        }
    }
    if (!word.empty() || size > 1)
        words.push_back(word);
    std::vector<char*> argv;
    for (std::string& w : words)
        argv.push_back(&w[0]);
    argv.push_back(nullptr);

    optind = 0;  // a fresh scan, as in a new process
    opterr = 0;  // the fuzzer's output stays readable
    fuzz::QuietSink();
    const int status = RunCommand(static_cast<int>(argv.size() - 1), argv.data());
    if (status != 0 && status != 1)
        std::abort();
    if (CLog::Levels() != nullptr)  // every way out shuts the facility down
        std::abort();
    return 0;
}
