// Another process on the level store, for the tests:
//   set SLOT VALUE     stores a level through its own view
//   expect SLOT VALUE  exits 0 only when its view shows that value
//   loop SLOT COUNT    stores 0, 1, ..., 7, 0, ... COUNT times (the last is (COUNT-1) % 8)
//   open SLOT 0        opens and closes the store, nothing else
//   raise SLOT HOW     sends itself SIGBUS with the store open, then exits 0
//   fault SLOT HOW     reads past the end of a mapped file of its own (POSIX)
// HOW 1: the process ignores SIGBUS, with SA_SIGINFO in its flags, before the store opens.
#include "CLog.h"

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#ifndef _WIN32
#include <sys/mman.h>
#endif

int main(int argc, char** argv)
{
    if (argc != 4)
        return 2;
#ifndef _WIN32
    const bool hostIgnores = std::strcmp(argv[3], "1") == 0;
    if (hostIgnores) {
        struct sigaction ignore {};
        ignore.sa_handler = SIG_IGN;
        ignore.sa_flags = SA_SIGINFO;
        sigaction(SIGBUS, &ignore, nullptr);
    }
#endif
    if (!CLog::Init(false))
        return 2;
    const int slot = std::atoi(argv[2]);
    const int32_t value = static_cast<int32_t>(std::atol(argv[3]));
    if (slot < 0 || slot >= kLogSubsystemCount)
        return 2;
    int status = 2;
    if (std::strcmp(argv[1], "set") == 0) {
        CLog::Levels()[slot] = value;
        status = 0;
    } else if (std::strcmp(argv[1], "expect") == 0) {
        status = CLog::Levels()[slot] == value ? 0 : 1;
    } else if (std::strcmp(argv[1], "loop") == 0) {
        volatile int32_t* levels = CLog::Levels();
        for (int32_t i = 0; i < value; ++i)
            levels[slot] = i % kLogLevelCount;
        status = 0;
    } else if (std::strcmp(argv[1], "open") == 0) {
        status = 0;
    } else if (std::strcmp(argv[1], "raise") == 0) {
#ifdef SIGBUS
        std::raise(SIGBUS);  // the library's handler must treat it as the process would
#endif
        status = 0;
#ifndef _WIN32
    } else if (std::strcmp(argv[1], "fault") == 0) {
        std::FILE* empty = std::tmpfile();
        void* page = empty != nullptr ? mmap(nullptr, 4096, PROT_READ, MAP_SHARED, fileno(empty), 0) : MAP_FAILED;
        status = page != MAP_FAILED ? *static_cast<volatile char*>(page) : 3;  // ends the process
#endif
    }
    CLog::Shutdown();
    return status;
}
