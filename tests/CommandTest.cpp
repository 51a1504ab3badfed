// pdu-loglevel from the outside: the built binary in a child process, its own per-user
// data folder, standard error compared byte for byte (timestamps matched by pattern).
#include "Fixtures.h"

#include <cerrno>
#include <cstring>
#include <fstream>
#include <functional>

#ifndef _WIN32
#include <sys/stat.h>
#endif

namespace {

using test::SlotBytes;

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

std::string Banner() { return "\n\t" + kProgram + " - version 6.0.0\n\t==============================\n"; }

std::string Usage()
{
    return "\nD-PDU API log level control\n\nUsage: " + kProgram
           + " [-s|--system <subsystem> [-l|--level <level>]]\n"
             "\t-s --system\tShow or set level for subsystem\n"
             "\t-l --level\tSet level\n"
             "\tNo argument\tShow level for all subsystems\n\n";
}

std::string ExitLine() { return "\n\t" + kProgram + ": exiting with [1]\n"; }

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

std::string AllLines(const std::vector<int32_t>& slots)
{
    std::string lines;
    for (int s = 0; s < 19; ++s)
        lines += Line(s, CLog::LevelText(slots[s]));
    return lines;
}

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
                  test::fs::perms::none)
            << made;
#endif
    EXPECT_EQ(m_stderr, Native(Banner() + AllLines(kFresh)));
    EXPECT_EQ(StoreBytes(), SlotBytes(kFresh));
}

// A listing shows the slots as they are, a truncated store padded again first.
TEST_F(Command, ReportShowsWhatTheSlotsHold)
{
    const std::vector<int32_t> odd = {-1, 7, 8, 100, -5, 0, 1, 2, 3, 4, 5, 6, 7, -1, 1, 1, 1, 1, INT32_MIN};
    std::vector<int32_t> padded(19, 1);  // GENERAL and APP survive
    padded[1] = 7;
    const std::pair<std::vector<int32_t>, std::vector<int32_t>> cases[] = {{odd, odd}, {{1, 7}, padded}};
    for (const auto& [placed, listed] : cases) {
        PlaceStore(SlotBytes(placed));
        EXPECT_EQ(Run({}), 0);
        EXPECT_EQ(m_stderr, Native(Banner() + AllLines(listed)));
        EXPECT_EQ(StoreBytes(), SlotBytes(listed));  // listing writes nothing but the padding
    }
}

struct FlowCase {
    std::vector<std::string> args;
    std::string afterBanner;     // timestamps as TT
    std::vector<int32_t> slots;  // the store afterwards
    int status = 0;
};

std::string Refused(const std::string& kind, const std::string& name)
{
    const bool level = kind == "level";
    return "\tUnknown " + kind + " '" + name + "': nothing was changed. "
           + (level ? "Levels: ERROR WARN NOTICE INFO DEBUG DEBUG1 DEBUG2 DEBUG3 OFF"
                    : "Subsystems: GENERAL APP MODULE CLL COP TSTRPRS COMPARAM COMMS VCI VEHTX VEHRX PRTCL "
                      "PRTCLPHY PRTCLTRANS PRTCLAPP USER1 EXCEPT DATA TIMER")
           + "\n" + ExitLine();
}

TEST_F(Command, OptionsListShowSetOrRefuse)
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
        {{"-s", "COMMS", "-l", "DEBUG", "-l", "INFO"}, "System: COMMS Level: INFO   requested\n", with({{7, 3}})},
        {{"-l", "BUG", "-s", "APP", "-s", "DATA"}, "System: DATA Level: DEBUG  requested\n", with({{17, 4}})},
        {{"-l", "I", "-s", "DATA"}, "System: DATA Level: NOTICE requested\n", with({{17, 2}})},
        {{"-s", "VCI", "-l", "OFF"}, "System: VCI Level: OFF    requested\n", with({{8, -1}})},
        {{"stray", "-s", "APP"}, Line(1, " WARN   "), start},
        {{"stray"}, AllLines(start), start},
        {{"-l", "-s"}, UnknownLevel("-s") + Line(0, " WARN   "), start},
        {{"-l", "OFF"}, Line(0, " WARN   "), start},  // a name now: no diagnostic
        {{"-s", "FOO"}, UnknownSubsystem("FOO") + Line(0, " WARN   "), start},
        // A set writes what was typed or nothing: no name stands in for one it does not know.
        {{"-s", "COMM", "-l", "DEBUG"}, Refused("subsystem", "COMM"), start, 1},
        {{"-s", "COMMS", "-l", "warn"}, Refused("level", "warn"), start, 1},
        {{"-s", "COMMS", "-l", "WARNING"}, Refused("level", "WARNING"), start, 1},
        {{"-s", "APP", "-l", ""}, Refused("level", ""), start, 1},
        {{"-s", "FOO", "-l", "BAR"}, Refused("subsystem", "FOO"), start, 1},
        {{"-l", "debug", "-s", "COMMS "}, Refused("level", "debug"), start, 1},
        {{"-s", "FOO", "-s", "VCI", "-l", "DEBUG"}, Refused("subsystem", "FOO"), start, 1},
        // Two of one kind and none of the other is neither a show nor a set.
        {{"-s", "APP", "-s", "VCI"}, Usage() + ExitLine(), start, 1},
        {{"-l", "INFO", "-l", "ERROR"}, Usage() + ExitLine(), start, 1},
        {{"-s", "FOO", "-s", "BAR"}, Usage() + ExitLine(), start, 1},
    };
    for (const FlowCase& c : cases) {
        std::string label;
        for (const std::string& a : c.args)
            label += "[" + a + "]";
        SCOPED_TRACE(label);
        PlaceStore(SlotBytes(start));
        EXPECT_EQ(Run(c.args), c.status);
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

TEST_F(Command, StoreThatCannotBeOpenedFailsWithoutBannerNamingCauseAndPath)
{
    const test::fs::path overlong = AppData() / std::string(5000, 'a');
    struct Cause {
        const char* name;
        std::function<void()> make;
        test::fs::path path;  // the step that failed concerns it
        int error;
    };
    const Cause causes[] = {
#ifdef _WIN32
        {"a folder at the store's path", [&] { test::fs::create_directories(Store()); }, Store(), EACCES},
#else
        {"a folder at the store's path", [&] { test::fs::create_directories(Store()); }, Store(), EISDIR},
#endif
#ifdef _WIN32  // the name is refused before the system is asked, the whole folder with it
        {"an overlong data folder", [&] { test::SetEnv("APPDATA", overlong.string()); },
         test::StoreFolder(overlong) / "", ENAMETOOLONG},
#else
        {"an overlong data folder", [&] { test::SetEnv("APPDATA", overlong.string()); }, overlong, ENAMETOOLONG},
        // A FIFO (no writer ever comes) or a device where the store goes: refused, never waited on
        {"a FIFO at the store's path",
         [&] { test::fs::create_directories(Store().parent_path()), mkfifo(Store().c_str(), 0444); }, Store(), 0},
        {"a device at the store's path",
         [&] { test::fs::create_directories(Store().parent_path()), test::fs::create_symlink("/dev/zero", Store()); },
         Store(), 0},
#endif
        {"a file where the store's folder goes",
         [&] { test::WriteFile(test::StoreTopFolder(AppData()), "in the way"); }, test::StoreTopFolder(AppData()), 0},
    };
    for (const Cause& cause : causes) {
        SCOPED_TRACE(cause.name);
        test::fs::remove_all(AppData());
        test::fs::create_directories(AppData());
        cause.make();
        EXPECT_EQ(Run({"-s", "COMMS", "-l", "DEBUG"}), 1);
        test::SetEnv("APPDATA", AppData().string());
        const std::string prefix = Native("CLog failed to initialise - ");
        ASSERT_EQ(m_stderr.compare(0, prefix.size(), prefix), 0) << m_stderr;
        const std::size_t lineEnd = m_stderr.find(Native("\n"));
        const std::size_t pathAt = m_stderr.find(": ", prefix.size());
        ASSERT_LT(pathAt, lineEnd) << m_stderr;
        if (cause.error != 0) {
            EXPECT_EQ(m_stderr.substr(prefix.size(), pathAt - prefix.size()), std::strerror(cause.error));
        }
        EXPECT_EQ(test::fs::path(m_stderr.substr(pathAt + 2, lineEnd - pathAt - 2)), cause.path);
        EXPECT_EQ(m_stderr.substr(lineEnd), Native("\n\n\tFailed to access/create log levels\n" + ExitLine()));
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
    EXPECT_EQ(text, Native("CLog failed to initialise - " + std::string(std::strerror(ENOENT))
                           + ": %APPDATA%\n"
                             "\n\tFailed to access/create log levels\n\n\t"
                           + program + ": exiting with [1]\n"));
    EXPECT_FALSE(test::fs::exists(m_dir.path() / "%APPDATA%"));
}

#ifndef _WIN32
TEST_F(Command, PaddingThatCannotCompleteFailsWithoutMappingAShortFile)
{
    // A file-size limit of 0 blocks the padding: a failure the command reports, never the
    // SIGXFSZ that a write past the limit raises.
    for (const std::string& before : {std::string("abcdef"), std::string()}) {
        SCOPED_TRACE(before.size());
        PlaceStore(before);
        // Standard error goes to a pipe: the limit would stop a file from taking it.
        test::Child child("ulimit -f 0; exec " + test::Quote(kProgram) + " -s APP 2>&1");
        std::string output, line;
        while (child.ReadLine(line))
            output += line + "\n";
        EXPECT_EQ(child.Wait(), 1) << "never killed by a signal";
        // A store that cannot be created whole is not created at all; one that stays short is
        // not mapped. Either way the cause is the limit.
        const std::string cause
            = "CLog failed to initialise - " + std::string(std::strerror(EFBIG)) + ": " + Store().string() + "\n";
        EXPECT_EQ(output, cause + "\n\tFailed to access/create log levels\n" + ExitLine());
        EXPECT_EQ(test::fs::exists(Store()), !before.empty());
        EXPECT_EQ(test::ReadFile(Store()), before);
    }
    // Without the limit the next run pads the file and goes on.
    EXPECT_EQ(Run({"-s", "APP"}), 0);
    EXPECT_EQ(m_stderr, Banner() + Line(1, " WARN   "));
}
#endif

// The README's loop back to the defaults, as the platform's shell runs it, with the tool
// where the loop names it.
TEST_F(Command, TheReadmeLoopPutsEveryLevelBackToWarn)
{
#ifdef _WIN32
    const std::string shell = "cmd.exe /c ", loopStart = "for %s in (";
#else
    const std::string shell = "", loopStart = "for s in ";
#endif
    std::ifstream readme(PDULOG_README);
    std::string loop;
    while (std::getline(readme, loop) && loop.rfind(loopStart, 0) != 0) {}
    const std::size_t tool = loop.find(" do pdu-loglevel ");
    ASSERT_NE(tool, std::string::npos) << loop;
    loop.replace(tool + 4, 12, test::Quote(kProgram));
    PlaceStore(SlotBytes(std::vector<int32_t>(19, LL_DEBUG3)));
    EXPECT_EQ(test::Run(shell + loop + " 2> " + test::Quote((m_dir.path() / "loop.txt").string())), 0);
    EXPECT_EQ(StoreBytes(), SlotBytes(kFresh));
}

TEST_F(Command, SetInOneProcessIsListedByTheNext)
{
    EXPECT_EQ(Run({"-s", "COMMS", "-l", "DEBUG"}), 0);
    EXPECT_EQ(Run({"-s", "COMMS"}), 0);
    EXPECT_EQ(m_stderr, Native(Banner() + Line(7, " DEBUG  ")));
    EXPECT_EQ(StoreBytes().substr(28, 4), SlotBytes({4}));
}

}  // namespace
