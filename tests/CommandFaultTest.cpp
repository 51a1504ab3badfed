// pdu-loglevel from the outside when its platform calls fail, its output cannot be written
// or another start holds the padding lock (POSIX: the shell, signals and the faulty build).
#include "Fixtures.h"

#ifndef _WIN32
#include <csignal>
#include <cstring>
#include <sstream>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

using test::SlotBytes;

// Runs the command with standard error on a pipe whose reader is gone and SIGPIPE at its
// default action, which a shell cannot restore; the exit status, or -1 when a signal ended it.
int RunIntoClosedPipe(std::vector<std::string> args)
{
    int fds[2];
    if (pipe(fds) != 0)
        return -2;
    close(fds[0]);
    args.insert(args.begin(), kProgram);
    std::vector<char*> argv;
    for (std::string& arg : args)
        argv.push_back(&arg[0]);
    argv.push_back(nullptr);
    const pid_t pid = fork();
    if (pid == 0) {  // only calls that are safe between fork and exec
        signal(SIGPIPE, SIG_DFL);
        dup2(fds[1], 2);
        execv(argv[0], argv.data());
        _exit(127);
    }
    close(fds[1]);
    int status = 0;
    if (pid == -1 || waitpid(pid, &status, 0) != pid)
        return -2;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

TEST_F(Command, OutputThatCannotBeWrittenNeverStopsASetAndFailsAReport)
{
    std::vector<int32_t> set = kFresh;
    set[7] = 4;  // COMMS at DEBUG
    const std::vector<std::string> setArgs = {"-s", "COMMS", "-l", "DEBUG"};
    struct Case {
        const char* redirection;  // "" for a pipe nobody reads
        std::vector<std::string> args;
        int status;
        const std::vector<int32_t>* slots;
    };
    const Case cases[] = {
        {"2>&-", {}, 1, &kFresh},
        {"0<&- 1>&- 2>&-", setArgs, 0, &set},
        {"2>/dev/full", {}, 1, &kFresh},
        {"2>/dev/full", {"-s", "APP"}, 1, &kFresh},
        {"2>/dev/full", setArgs, 0, &set},
        {"", {}, 1, &kFresh},
        {"", setArgs, 0, &set},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.redirection) + " " + std::to_string(c.args.size()));
        test::fs::remove_all(AppData());  // a first start: the store is created on the way
        int status;
        if (*c.redirection == '\0') {
            status = RunIntoClosedPipe(c.args);
        } else {
            std::string line = test::Quote(kProgram);
            for (const std::string& arg : c.args)
                line += " " + arg;
            status = test::Run(line + " " + c.redirection);
        }
        EXPECT_EQ(status, c.status);
        EXPECT_EQ(test::ReadFile(Store()), SlotBytes(*c.slots)) << "the store, never the output";
    }
}

// A folder of the store's that cannot be made (a home the user may not write) is the cause
// reported, not what the open of a file in it then says (no such file).
TEST_F(Command, AFolderThatCannotBeMadeIsTheCauseReported)
{
    const std::string faulty = test::Quote(PDU_LOGLEVEL_FAULTY);
    const std::string err = test::Quote((m_dir.path() / "stderr.txt").string());
    ASSERT_EQ(test::Run("PDULOG_FAULT_TRACE=1 " + faulty + " > " + err + " 2> /dev/null"), 0);
    std::istringstream trace(test::ReadFile(m_dir.path() / "stderr.txt"));
    int at = 1;
    for (std::string call; std::getline(trace, call) && call != "CreateFolderChain";)
        ++at;
    test::fs::remove_all(AppData());
    EXPECT_EQ(test::Run("PDULOG_FAULT_AT=" + std::to_string(at) + " PDULOG_FAULT_ERRNO=13 " + faulty + " 2> " + err),
              1);
    const std::string folder = test::StoreFolder(AppData()).string() + "/";
    EXPECT_EQ(test::ReadFile(m_dir.path() / "stderr.txt"),
              "CLog failed to initialise - " + std::string(std::strerror(EACCES)) + ": " + folder
                  + "\n\n\tFailed to access/create log levels\n\n\t" + PDU_LOGLEVEL_FAULTY + ": exiting with [1]\n");
}

TEST_F(Command, AStartThatFindsTheStoreShortWaitsForThePaddingLockThenLooksAgain)
{
    // This process stands for one that found the store short and is padding it: it holds
    // the padding lock.
    PlaceStore(SlotBytes({1, 1}));
    const int fd = open(Store().c_str(), O_RDWR);
    ASSERT_NE(fd, -1);
    ASSERT_EQ(flock(fd, LOCK_EX), 0);

    // The second start tells each platform call it makes (the faulty build, with no fault).
    test::Child second("PDULOG_FAULT_TRACE=1 " + test::Quote(PDU_LOGLEVEL_FAULTY) + " -s CLL -l DEBUG 2> "
                       + test::Quote((m_dir.path() / "second.txt").string()));
    // Asked twice: it found the lock held, and waits for it rather than giving up.
    std::string call;
    int asked = 0;
    while (asked < 2 && second.ReadLine(call))
        asked += call == "TryLockFile" ? 1 : 0;
    ASSERT_EQ(asked, 2) << "the second start did not wait for the padding lock";

    // Meanwhile the first completes the store and sets a level in what the second saw missing.
    std::vector<int32_t> levels(19, 1);
    levels[7] = 7;  // COMMS at DEBUG3
    ASSERT_EQ(pwrite(fd, SlotBytes(levels).data(), 76, 0), 76);
    flock(fd, LOCK_UN);
    while (second.ReadLine(call)) {}
    EXPECT_EQ(second.Wait(), 0);
    close(fd);
    levels[3] = 4;  // CLL at DEBUG
    EXPECT_EQ(StoreBytes(), SlotBytes(levels));
}

// The levels of the fault walk's stores, and what a whole store holds after a start from
// `before` (its whole slots kept, WARN for the rest), VCI at `vci`: WARN unless a set changed it.
const std::vector<int32_t> kWalkLevels = {0, 2, 3, 4, 5, 6, 7, -1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1};

std::string Whole(const std::string& before, int32_t vci = LL_WARN)
{
    std::vector<int32_t> expected(19, 1);
    for (std::size_t slot = 0; slot < before.size() / 4; ++slot)
        expected[slot] = kWalkLevels[slot];
    expected[LS_VCI] = vci;
    return SlotBytes(expected);
}

// One case of the fault walk: the platform call `call` of a list, show or set fails with
// `error` on a start from the store `before` (empty: none).
struct Fault {
    const std::string& before;
    bool set;
    std::string error;
    std::string call;
};

// Whether the command's exit status and the store it left (`after`, when it `exists`) are
// what the fault allows.
bool HeldUp(const Fault& f, int status, bool exists, const std::string& after)
{
    const bool asBefore = exists == !f.before.empty() && after == f.before;
    // An interrupted open is made again, a store that a racing start created is opened, a
    // short write goes on: none of them may fail the command.
    const bool recovers = f.error.rfind("short", 0) == 0 || (f.error == "4" && f.call == "OpenShared")
                          || (f.error == "17" && f.call == "CreateWhole");
    // A store that may not be written is read: it lists and shows, and refuses a set.
    if ((f.error == "13" || f.error == "1" || f.error == "30") && f.call == "OpenShared" && !f.before.empty())
        return asBefore && status == (f.set ? 1 : 0);
    if (status == 0)
        return after == Whole(f.before, f.set ? LL_DEBUG2 : LL_WARN);
    return status == 1 && !recovers && (asBefore || after == Whole(f.before));
}

// Every platform call of every command path, made to fail (once, or from then on) with each
// error a file system gives, then the command killed at each call of a first start.
TEST_F(Command, EveryFailingPlatformCallLeavesTheStoreWholeOrAsItWas)
{
    const std::string faulty = test::Quote(PDU_LOGLEVEL_FAULTY);
    const auto runFaulty = [&](const std::string& environment, const std::string& args, const char* output) {
        return test::Run(environment + " " + faulty + " " + args + " > " + test::Quote((m_dir.path() / output).string())
                         + " 2> " + test::Quote((m_dir.path() / "stderr.txt").string()));
    };
    const std::pair<const char*, std::string> starts[] = {// no store, a short and a whole one
                                                          {"missing", ""},
                                                          {"short", SlotBytes({0, 2, 3}) + "\x05"},
                                                          {"whole", SlotBytes(kWalkLevels)}};
    const std::pair<const char*, std::string> paths[] = {{"list", ""}, {"show", "-s VCI"}, {"set", "-s VCI -l DEBUG2"}};
    // ENOENT EACCES EPERM EROFS ENOSPC EIO EINTR EEXIST EFBIG; a lasting fault is a full disk
    const char* const errors[] = {"2",
                                  "13",
                                  "1",
                                  "30",
                                  "28",
                                  "5",
                                  "4",
                                  "17",
                                  "27",
                                  "short",
                                  "28 PDULOG_FAULT_LASTING=1",
                                  "short PDULOG_FAULT_LASTING=1"};
    int cases = 0, failures = 0;
    for (const auto& [name, before] : starts) {
        for (const auto& path : paths) {
            PlaceStore(before);
            ASSERT_EQ(runFaulty("PDULOG_FAULT_TRACE=1", path.second, "trace.txt"), 0);
            std::istringstream trace(test::ReadFile(m_dir.path() / "trace.txt"));
            std::vector<std::string> calls;
            for (std::string call; std::getline(trace, call);)
                calls.push_back(call);
            ASSERT_FALSE(calls.empty());
            for (const char* error : errors) {
                for (std::size_t at = 1; at <= calls.size(); ++at) {
                    PlaceStore(before);
                    const int status
                        = runFaulty("PDULOG_FAULT_AT=" + std::to_string(at) + " PDULOG_FAULT_ERRNO=" + error,
                                    path.second, "out.txt");
                    const bool exists = test::fs::exists(Store());
                    const std::string after = exists ? StoreBytes() : "";
                    ++cases;
                    if (!HeldUp({before, path.first == std::string("set"), error, calls[at - 1]}, status, exists, after)
                        && ++failures <= 5)
                        ADD_FAILURE() << name << " " << path.first << ": call " << at << " failing with " << error
                                      << " gave status " << status << " and a store of " << after.size() << " bytes";
                }
            }
            if (before.size() == 76)
                continue;
            for (std::size_t at = 1; at <= calls.size(); ++at) {  // killed during a first start
                PlaceStore(before);
                const int killed = runFaulty("PDULOG_FAULT_KILL=" + std::to_string(at), path.second, "out.txt");
                EXPECT_TRUE(killed == -1 || killed == 128 + 9) << killed;  // as the shell reports it
                ++cases;
                if (Run({}) != 0 || StoreBytes() != Whole(before)) {
                    if (++failures <= 5)
                        ADD_FAILURE() << name << " " << path.first << ": killed at call " << at
                                      << ", the next run left " << StoreBytes().size() << " bytes";
                }
            }
        }
    }
    std::cout << "fault walk: " << cases << " cases, " << failures << " failures" << std::endl;
    EXPECT_EQ(failures, 0);
}

}  // namespace
#endif
