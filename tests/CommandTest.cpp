// pdu-loglevel from the outside: the built binary in a child process, its own per-user
// data folder, standard error compared byte for byte (timestamps matched by pattern).
#include "Fixtures.h"

#include <cerrno>
#include <cstring>
#include <functional>
#include <sstream>

#ifndef _WIN32
#include <fcntl.h>
#include <spawn.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

namespace {

using test::SlotBytes;

const std::string kProgram = PDU_LOGLEVEL;

// What the C library's getopt_long says, which differs between the C libraries.
struct GetoptText {
    std::vector<std::string> args;
    const char* glibc;
    const char* mingw;
};
const GetoptText kGetoptErrors[] = {
    {{"-s", "COMMS", "-x", "-l", "DEBUG"}, "invalid option -- 'x'", "unknown option -- x"},
    {{"-s", "COMMS", "--bogus", "-h"}, "unrecognized option '--bogus'", "unknown option -- bogus"},
    {{"-l", "INFO", "-s"}, "option requires an argument -- 's'", "option requires an argument -- s"},
    {{"-l", "INFO", "--system"}, "option '--system' requires an argument", "option requires an argument -- system"},
    {{"--help=yes"}, "option '--help' doesn't allow an argument", "option doesn't take an argument -- help"},
};

std::string Native(std::string text)
{
#ifdef _WIN32
    // Standard error is a text-mode stream on Windows.
    std::string crlf;
    for (const char c : text)
        crlf += c == '\n' ? std::string("\r\n") : std::string(1, c);
    text = crlf;
#endif
    return text;
}

std::string Banner()
{
    return "\n\t" + kProgram + " - version 6.0.0\n\t==============================\n";
}

std::string Usage()
{
    return "\nD-PDU API log level control\n\nUsage: " + kProgram
           + " [-s|--system <subsystem> [-l|--level <level>]]\n"
             "\t-s --system\tShow or set level for subsystem\n"
             "\t-l --level\tSet level\n"
             "\tNo argument\tShow level for all subsystems\n\n";
}

std::string ExitLine()
{
    return "\n\t" + kProgram + ": exiting with [1]\n";
}

std::string Line(int subsystem, const std::string& level)
{
    const std::string name = CLog::SubsystemText(subsystem);
    return "\t" + name + std::string(name.size() < 10 ? 10 - name.size() : 0, ' ') + " :" + level + "\n";
}

std::string UnknownSubsystem(const std::string& name)
{
    return "TT WARN   Unknown subsystem '" + name + "'. Using GENERAL subsystem as default.\n";
}

std::string UnknownLevel(const std::string& name)
{
    return "TT WARN   Unknown logging level '" + name + "'. Using DEBUG level as default.\n";
}

class Command : public StoreTest {
protected:
    void SetUp() override { test::UnsetEnv("POSIXLY_CORRECT"); }

    // Runs the command; its standard error with each leading timestamp made "TT".
    int Run(const std::vector<std::string>& args)
    {
        std::string raw;
        const int status = test::RunCapturing(kProgram, args, m_dir.path() / "stderr.txt", raw);
        m_stderr = test::MaskTimes(raw);
        return status;
    }

    std::string m_stderr;
};

std::string AllLines(const std::vector<int32_t>& slots)
{
    std::string lines;
    for (int s = 0; s < 19; ++s)
        lines += Line(s, CLog::LevelText(slots[s]));
    return lines;
}

const std::vector<int32_t> kFresh(19, 1);

TEST_F(Command, NoArgumentsListsEveryLevelOfAFreshStore)
{
#ifndef _WIN32
    const mode_t mask = umask(0);  // the store and its folders are private whatever the umask
#endif
    EXPECT_EQ(Run({}), 0);
#ifndef _WIN32
    umask(mask);
    for (const test::fs::path& made : {test::StoreTopFolder(AppData()), test::StoreFolder(AppData()), Store()})
        EXPECT_EQ(test::fs::status(made).permissions() & (test::fs::perms::group_all | test::fs::perms::others_all),
                  test::fs::perms::none) << made;
#endif
    EXPECT_EQ(m_stderr, Native(Banner() + AllLines(kFresh)));
    EXPECT_EQ(StoreBytes(), SlotBytes(kFresh));
}

TEST_F(Command, ReportShowsWhatTheSlotsHold)
{
    std::vector<int32_t> slots = {-1, 7, 8, 100, -5, 0, 1, 2, 3, 4, 5, 6, 7, -1, 1, 1, 1, 1, INT32_MIN};
    PlaceStore(SlotBytes(slots));
    EXPECT_EQ(Run({}), 0);
    EXPECT_EQ(m_stderr, Native(Banner() + AllLines(slots)));
    EXPECT_EQ(StoreBytes(), SlotBytes(slots));  // listing writes nothing
}

struct FlowCase {
    std::vector<std::string> args;
    std::string afterBanner;    // timestamps as TT
    std::vector<int32_t> slots;  // the store afterwards
};

TEST_F(Command, OptionsShowOrSetAsTheirCountSays)
{
    std::vector<int32_t> start(19, 1);
    start[8] = 7;  // VCI, so that setting it to WARN shows
    auto with = [&start](std::initializer_list<std::pair<int, int32_t>> changes) {
        std::vector<int32_t> slots = start;
        for (const auto& c : changes)
            slots[c.first] = c.second;
        return slots;
    };
    const FlowCase cases[] = {
        {{"-s", "APP"}, Line(1, " WARN   "), start},
        {{"--system=PRTCLTRANS"}, Line(13, " WARN   "), start},
        {{"-sVCI"}, Line(8, " DEBUG3 "), start},
        {{"-l", "DEBUG"}, Line(0, " WARN   "), start},  // one option: show GENERAL
        {{"-s", "COMMS", "-l", "DEBUG"}, "System: COMMS Level: DEBUG  requested\n", with({{7, 4}})},
        {{"--system=COMMS", "--level=INFO"}, "System: COMMS Level: INFO   requested\n", with({{7, 3}})},
        {{"--sys", "TIMER", "--l", "DEBUG1"}, "System: TIMER Level: DEBUG1 requested\n", with({{18, 5}})},
        {{"-sAPP", "-lDEBUG2"}, "System: APP Level: DEBUG2 requested\n", with({{1, 6}})},
        {{"-s", "APP", "-s", "VCI"}, "System: VCI Level: WARN   requested\n", with({{8, 1}})},
        {{"-l", "INFO", "-l", "ERROR"}, "System: GENERAL Level: ERROR  requested\n", with({{0, 0}})},
        {{"-s", "COMMS", "-l", "DEBUG", "-l", "INFO"}, "System: COMMS Level: INFO   requested\n", with({{7, 3}})},
        {{"-s", "APP", "-l", ""}, "System: APP Level: ERROR  requested\n", with({{1, 0}})},
        {{"-l", "I", "-s", "DATA"}, "System: DATA Level: NOTICE requested\n", with({{17, 2}})},
        {{"stray", "-s", "APP"}, Line(1, " WARN   "), start},
        {{"stray"}, AllLines(start), start},
        {{"-s", "FOO", "-l", "BAR"},
         UnknownSubsystem("FOO") + UnknownLevel("BAR") + "System: GENERAL Level: DEBUG  requested\n",
         with({{0, 4}})},
        {{"-s", "COMMS ", "-l", "debug"},
         UnknownSubsystem("COMMS ") + UnknownLevel("debug") + "System: GENERAL Level: DEBUG  requested\n",
         with({{0, 4}})},
        {{"-l", "-s"}, UnknownLevel("-s") + Line(0, " WARN   "), start},
    };
    for (const FlowCase& c : cases) {
        std::string label;
        for (const std::string& a : c.args)
            label += "[" + a + "]";
        SCOPED_TRACE(label);
        PlaceStore(SlotBytes(start));
        EXPECT_EQ(Run(c.args), 0);
        EXPECT_EQ(m_stderr, Native(Banner() + c.afterBanner));
        EXPECT_EQ(StoreBytes(), SlotBytes(c.slots));
    }
}

TEST_F(Command, PosixlyCorrectStopsAtTheFirstWordThatIsNoOption)
{
    test::ScopedEnv posixlyCorrect("POSIXLY_CORRECT", "1");
    EXPECT_EQ(Run({"stray", "-s", "APP", "-l", "DEBUG"}), 0);
    EXPECT_EQ(m_stderr, Native(Banner() + AllLines(kFresh)));
    EXPECT_EQ(StoreBytes(), SlotBytes(kFresh));
}

TEST_F(Command, HelpPrintsUsageAndSucceeds)
{
    const FlowCase cases[] = {
        {{"-h"}, Usage(), kFresh},
        {{"--help"}, Usage(), kFresh},
        {{"--h"}, Usage(), kFresh},
        {{"-h", "-s", "FOO"}, Usage(), kFresh},  // FOO is never read
        {{"-s", "FOO", "-h", "-l", "DEBUG"}, UnknownSubsystem("FOO") + Usage(), kFresh},
        {{"-s", "APP", "-l", "DEBUG", "--help"}, Usage(), kFresh},
    };
    for (const FlowCase& c : cases) {
        SCOPED_TRACE(c.args.back());
        EXPECT_EQ(Run(c.args), 0);
        EXPECT_EQ(m_stderr, Native(Banner() + c.afterBanner));
        EXPECT_EQ(StoreBytes(), SlotBytes(c.slots));
    }
}

TEST_F(Command, OptionErrorsPrintTheLibrarysDiagnosticUsageAndFail)
{
    for (const GetoptText& e : kGetoptErrors) {
        SCOPED_TRACE(e.args.back());
#ifdef _WIN32
        const std::string diagnostic = kProgram + ": " + e.mingw + "\n";
#else
        const std::string diagnostic = kProgram + ": " + e.glibc + "\n";
#endif
        EXPECT_EQ(Run(e.args), 1);
        EXPECT_EQ(m_stderr, Native(Banner() + diagnostic + Usage() + ExitLine()));
        EXPECT_EQ(StoreBytes(), SlotBytes(kFresh));
    }
}

TEST_F(Command, StoreThatCannotBeOpenedFailsWithoutBanner)
{
    const std::pair<const char*, std::function<void()>> causes[] = {
        {"a folder at the store's path", [&] { test::fs::create_directories(Store()); }},
        {"an overlong data folder", [&] { test::SetEnv("APPDATA", (AppData() / std::string(5000, 'a')).string()); }},
#ifndef _WIN32  // a FIFO (no writer ever comes) or a device where the store goes: refused, never waited on
        {"a FIFO at the store's path", [&] { test::fs::create_directories(Store().parent_path()), mkfifo(Store().c_str(), 0444); }},
        {"a device at the store's path", [&] { test::fs::create_directories(Store().parent_path()), test::fs::create_symlink("/dev/zero", Store()); }},
#endif
        {"a file where the store's folder goes", [&] { test::WriteFile(test::StoreTopFolder(AppData()), "in the way"); }},
    };
    for (const auto& cause : causes) {
        SCOPED_TRACE(cause.first);
        test::fs::remove_all(AppData());
        test::fs::create_directories(AppData());
        cause.second();
        EXPECT_EQ(Run({"-s", "COMMS", "-l", "DEBUG"}), 1);
        test::SetEnv("APPDATA", AppData().string());
        const std::string prefix = Native("CLog failed to initialise - ");
        ASSERT_EQ(m_stderr.compare(0, prefix.size(), prefix), 0) << m_stderr;
        const std::size_t lineEnd = m_stderr.find('\n');
        ASSERT_NE(lineEnd, std::string::npos);
        EXPECT_GT(lineEnd, prefix.size() + 1);  // an error text follows
        EXPECT_EQ(m_stderr.substr(lineEnd + 1), Native("\n\tFailed to access/create log levels\n" + ExitLine()));
    }
    EXPECT_EQ(test::ReadFile(test::StoreTopFolder(AppData())), "in the way");  // the last cause's file, left as it was
}

TEST_F(Command, NoPerUserDataFolderFailsRatherThanUseTheCurrentFolder)
{
    test::UnsetEnv("APPDATA");
    test::ScopedEnv xdg("XDG_CONFIG_HOME", "");
    test::ScopedEnv home("HOME", "");
    // Run in the scratch folder: whatever a fault made there goes with it.
    const std::string program = test::fs::absolute(kProgram).string();
    const test::fs::path saved = test::fs::current_path();
    test::fs::current_path(m_dir.path());
    std::string text;
    const int status = test::RunCapturing(program, {}, m_dir.path() / "stderr.txt", text);
    test::fs::current_path(saved);
    test::SetEnv("APPDATA", AppData().string());
    EXPECT_EQ(status, 1);
    EXPECT_EQ(text, Native("CLog failed to initialise - " + std::string(std::strerror(ENOENT)) + "\n"
                           "\n\tFailed to access/create log levels\n\n\t" + program + ": exiting with [1]\n"));
    EXPECT_FALSE(test::fs::exists(m_dir.path() / "%APPDATA%"));
}

TEST_F(Command, TruncatedStoreIsPaddedAgainOnTheNextRun)
{
    PlaceStore(SlotBytes({1, 7}));  // GENERAL and APP survive
    EXPECT_EQ(Run({}), 0);
    std::vector<int32_t> expected(19, 1);
    expected[1] = 7;
    EXPECT_EQ(m_stderr, Native(Banner() + AllLines(expected)));
    EXPECT_EQ(StoreBytes(), SlotBytes(expected));
}

#ifndef _WIN32
TEST_F(Command, PaddingThatCannotCompleteFailsWithoutMappingAShortFile)
{
    // A file-size limit of 0 blocks the padding: a failure the command reports, never the
    // SIGXFSZ that a write past the limit raises.
    for (const std::string& before : {std::string("abcdef"), std::string()}) {
        SCOPED_TRACE(before.size());
        test::fs::remove_all(AppData());
        if (!before.empty()) {
            PlaceStore(before);
        }
        // Standard error goes to a pipe: the limit would stop a file from taking it.
        test::Child child("ulimit -f 0; exec " + test::Quote(kProgram) + " -s APP 2>&1");
        std::string output, line;
        while (child.ReadLine(line))
            output += line + "\n";
        EXPECT_EQ(child.Wait(), 1) << "never killed by a signal";
        // A store that cannot be created whole is not created at all.
        const std::string cause = before.empty() ? "CLog failed to initialise - " + std::string(std::strerror(EFBIG)) + "\n" : "";
        EXPECT_EQ(output, cause + "\n\tFailed to access/create log levels\n" + ExitLine());
        EXPECT_EQ(test::fs::exists(Store()), !before.empty());
        EXPECT_EQ(test::ReadFile(Store()), before);
    }
    // Without the limit the next run pads the file and goes on.
    EXPECT_EQ(Run({"-s", "APP"}), 0);
    EXPECT_EQ(m_stderr, Banner() + Line(1, " WARN   "));
}
#endif

TEST_F(Command, SetInOneProcessIsListedByTheNext)
{
    EXPECT_EQ(Run({"-s", "COMMS", "-l", "DEBUG"}), 0);
    EXPECT_EQ(Run({"-s", "COMMS"}), 0);
    EXPECT_EQ(m_stderr, Native(Banner() + Line(7, " DEBUG  ")));
    EXPECT_EQ(StoreBytes().substr(28, 4), SlotBytes({4}));
}

}  // namespace

#ifndef _WIN32
namespace {

extern "C" char** environ;

// Runs the command with standard error on a pipe whose reader is gone, SIGPIPE at its
// default action; the exit status, or -1 when a signal ended it.
int RunIntoClosedPipe(const std::vector<std::string>& args)
{
    int fds[2];
    if (pipe(fds) != 0)
        return -2;
    close(fds[0]);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, fds[1], 2);
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    sigset_t defaults;
    sigemptyset(&defaults);
    sigaddset(&defaults, SIGPIPE);
    posix_spawnattr_setsigdefault(&attributes, &defaults);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGDEF);
    std::vector<std::string> words = {kProgram};
    words.insert(words.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (std::string& word : words)
        argv.push_back(&word[0]);
    argv.push_back(nullptr);
    pid_t pid = -1;
    const int rc = posix_spawn(&pid, kProgram.c_str(), &actions, &attributes, argv.data(), environ);
    close(fds[1]);
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attributes);
    int status = 0;
    if (rc != 0 || waitpid(pid, &status, 0) != pid)
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
    std::string call;
    while (second.ReadLine(call) && call != "TryLockFile") {
    }
    ASSERT_EQ(call, "TryLockFile") << "the second start never asked for the padding lock";

    // Meanwhile the first completes the store and sets a level in what the second saw missing.
    std::vector<int32_t> levels(19, 1);
    levels[7] = 7;  // COMMS at DEBUG3
    ASSERT_EQ(pwrite(fd, SlotBytes(levels).data(), 76, 0), 76);
    flock(fd, LOCK_UN);
    while (second.ReadLine(call)) {
    }
    EXPECT_EQ(second.Wait(), 0);
    close(fd);
    levels[3] = 4;  // CLL at DEBUG
    EXPECT_EQ(StoreBytes(), SlotBytes(levels));
}

// The levels of the fault walk's stores, and what a whole store holds after a start from
// `before` (its whole slots kept, WARN for the rest), and after a set of VCI to DEBUG2 too.
const std::vector<int32_t> kWalkLevels = {0, 2, 3, 4, 5, 6, 7, -1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1};

std::string Whole(const std::string& before, bool set)
{
    std::vector<int32_t> expected(19, 1);
    for (std::size_t slot = 0; slot < before.size() / 4; ++slot)
        expected[slot] = kWalkLevels[slot];
    if (set)
        expected[8] = 6;
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
        return after == Whole(f.before, f.set);
    return status == 1 && !recovers && (asBefore || after == Whole(f.before, false));
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
    const std::pair<const char*, std::string> starts[] = {  // no store, a short and a whole one
        {"missing", ""}, {"short", SlotBytes({0, 2, 3}) + "\x05"}, {"whole", SlotBytes(kWalkLevels)}};
    const std::pair<const char*, std::string> paths[] = {
        {"list", ""}, {"show", "-s VCI"}, {"set", "-s VCI -l DEBUG2"}};
    // ENOENT EACCES EPERM EROFS ENOSPC EIO EINTR EEXIST EFBIG; a lasting fault is a full disk
    const char* const errors[] = {"2", "13", "1", "30", "28", "5", "4", "17", "27", "short",
                                  "28 PDULOG_FAULT_LASTING=1", "short PDULOG_FAULT_LASTING=1"};
    const auto place = [&](const std::string& bytes) {
        test::fs::remove_all(AppData());
        if (!bytes.empty())
            PlaceStore(bytes);
    };
    int cases = 0, failures = 0;
    for (const auto& [name, before] : starts) {
        for (const auto& path : paths) {
            place(before);
            ASSERT_EQ(runFaulty("PDULOG_FAULT_TRACE=1", path.second, "trace.txt"), 0);
            std::istringstream trace(test::ReadFile(m_dir.path() / "trace.txt"));
            std::vector<std::string> calls;
            for (std::string call; std::getline(trace, call);)
                calls.push_back(call);
            ASSERT_FALSE(calls.empty());
            for (const char* error : errors) {
                for (std::size_t at = 1; at <= calls.size(); ++at) {
                    place(before);
                    const int status = runFaulty("PDULOG_FAULT_AT=" + std::to_string(at) + " PDULOG_FAULT_ERRNO=" + error,
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
                place(before);
                const int killed = runFaulty("PDULOG_FAULT_KILL=" + std::to_string(at), path.second, "out.txt");
                EXPECT_TRUE(killed == -1 || killed == 128 + 9) << killed;  // as the shell reports it
                ++cases;
                if (Run({}) != 0 || StoreBytes() != Whole(before, false)) {
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
