// pdu-loglevel from the outside: the built binary in a child process, its own per-user
// data folder, standard error compared byte for byte (timestamps matched by pattern).
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <regex>

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

const char* const kNames[] = {"GENERAL", "APP", "MODULE", "CLL", "COP", "TSTRPRS", "COMPARAM",
                              "COMMS", "VCI", "VEHTX", "VEHRX", "PRTCL", "PRTCLPHY", "PRTCLTRANS",
                              "PRTCLAPP", "USER1", "EXCEPT", "DATA", "TIMER"};

std::string Line(int subsystem, const std::string& level)
{
    std::string name = kNames[subsystem];
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

class Command : public ::testing::Test {
protected:
    void SetUp() override { test::UnsetEnv("POSIXLY_CORRECT"); }

    test::fs::path AppData() const { return m_dir.path() / "appdata"; }
    test::fs::path Store() const { return test::StoreFile(AppData()); }

    void PlaceStore(const std::vector<int32_t>& slots)
    {
        test::fs::create_directories(test::StoreFolder(AppData()));
        test::WriteFile(Store(), SlotBytes(slots));
    }

    std::vector<int32_t> Slots() const
    {
        const std::string bytes = test::ReadFile(Store());
        std::vector<int32_t> slots;
        for (std::size_t at = 0; at + 4 <= bytes.size() && slots.size() < 19; at += 4) {
            uint32_t v = 0;
            for (int i = 3; i >= 0; --i)
                v = (v << 8) | static_cast<unsigned char>(bytes[at + i]);
            slots.push_back(static_cast<int32_t>(v));
        }
        return slots;
    }

    // Runs the command; its standard error with each leading timestamp made "TT".
    int Run(const std::vector<std::string>& args)
    {
        std::string raw;
        const int status = test::RunCapturing(kProgram, args, m_dir.path() / "stderr.txt", raw);
        m_stderr = std::regex_replace(raw, std::regex("(^|\n)\\d\\d:\\d\\d:\\d\\d\\.\\d{3}"), "$1TT");
        return status;
    }

    test::TempDir m_dir;
    test::ScopedEnv m_appData {"APPDATA", AppData().string()};
    test::ScopedEnv m_temp {"TEMP", m_dir.path().string()};
    std::string m_stderr;
};

std::string AllLines(const std::vector<int32_t>& slots)
{
    static const char* const kTags[] = {" ERROR  ", " WARN   ", " NOTICE ", " INFO   ",
                                        " DEBUG  ", " DEBUG1 ", " DEBUG2 ", " DEBUG3 "};
    std::string lines;
    for (int s = 0; s < 19; ++s) {
        const int32_t v = slots[s];
        lines += Line(s, v == -1 ? "OFF" : (v >= 0 && v <= 7) ? kTags[v] : "Invalid Level");
    }
    return lines;
}

const std::vector<int32_t> kFresh(19, 1);

TEST_F(Command, NoArgumentsListsEveryLevelOfAFreshStore)
{
    EXPECT_EQ(Run({}), 0);
    EXPECT_EQ(m_stderr, Native(Banner() + AllLines(kFresh)));
    EXPECT_EQ(Slots(), kFresh);
    EXPECT_EQ(test::ReadFile(Store()).size(), 76u);
}

TEST_F(Command, ReportShowsWhatTheSlotsHold)
{
    std::vector<int32_t> slots = {-1, 7, 8, 100, -5, 0, 1, 2, 3, 4, 5, 6, 7, -1, 1, 1, 1, 1, INT32_MIN};
    PlaceStore(slots);
    EXPECT_EQ(Run({}), 0);
    EXPECT_EQ(m_stderr, Native(Banner() + AllLines(slots)));
    EXPECT_EQ(Slots(), slots);  // listing writes nothing
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
        PlaceStore(start);
        EXPECT_EQ(Run(c.args), 0);
        EXPECT_EQ(m_stderr, Native(Banner() + c.afterBanner));
        EXPECT_EQ(Slots(), c.slots);
    }
}

TEST_F(Command, StrayWordAloneListsEverything)
{
    EXPECT_EQ(Run({"stray"}), 0);
    EXPECT_EQ(m_stderr, Native(Banner() + AllLines(kFresh)));
}

TEST_F(Command, PosixlyCorrectStopsAtTheFirstWordThatIsNoOption)
{
    test::SetEnv("POSIXLY_CORRECT", "1");
    EXPECT_EQ(Run({"stray", "-s", "APP", "-l", "DEBUG"}), 0);
    test::UnsetEnv("POSIXLY_CORRECT");
    EXPECT_EQ(m_stderr, Native(Banner() + AllLines(kFresh)));
    EXPECT_EQ(Slots(), kFresh);
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
        EXPECT_EQ(Slots(), c.slots);
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
        EXPECT_EQ(Slots(), kFresh);
    }
}

TEST_F(Command, StoreThatCannotBeCreatedFailsWithoutBanner)
{
    // A regular file stands where the store's folder must go.
    test::fs::create_directories(AppData());
    test::WriteFile(AppData() / "Krelt", "in the way");
    EXPECT_EQ(Run({"-s", "COMMS", "-l", "DEBUG"}), 1);
    const std::string prefix = Native("CLog failed to initialise - ");
    ASSERT_EQ(m_stderr.compare(0, prefix.size(), prefix), 0) << m_stderr;
    const std::size_t lineEnd = m_stderr.find('\n');
    ASSERT_NE(lineEnd, std::string::npos);
    EXPECT_GT(lineEnd, prefix.size() + 1);  // an error text follows
    EXPECT_EQ(m_stderr.substr(lineEnd + 1), Native("\n\tFailed to access/create log levels\n" + ExitLine()));
    EXPECT_EQ(test::ReadFile(AppData() / "Krelt"), "in the way");
}

TEST_F(Command, StorePathThatIsAFolderFails)
{
    test::fs::create_directories(Store());
    EXPECT_EQ(Run({}), 1);
    EXPECT_EQ(m_stderr.find(Native("CLog failed to initialise - ")), 0u) << m_stderr;
    EXPECT_NE(m_stderr.find(Native("\n\tFailed to access/create log levels\n" + ExitLine())), std::string::npos);
    EXPECT_EQ(m_stderr.find("version"), std::string::npos);
}

TEST_F(Command, NoPerUserDataFolderFailsRatherThanUseTheCurrentFolder)
{
    test::UnsetEnv("APPDATA");
    test::ScopedEnv xdg("XDG_CONFIG_HOME", "");
    test::ScopedEnv home("HOME", "");
    EXPECT_EQ(Run({}), 1);
    test::SetEnv("APPDATA", AppData().string());
    EXPECT_EQ(m_stderr, Native("CLog failed to initialise - " + std::string(std::strerror(ENOENT)) + "\n"
                               "\n\tFailed to access/create log levels\n" + ExitLine()));
    EXPECT_FALSE(test::fs::exists("%APPDATA%"));
}

TEST_F(Command, OverlongPerUserDataFolderFails)
{
    test::ScopedEnv appData("APPDATA", (m_dir.path() / std::string(5000, 'a')).string());
    EXPECT_EQ(Run({"-s", "APP"}), 1);
    EXPECT_EQ(m_stderr.rfind(Native("CLog failed to initialise - "), 0), 0u) << m_stderr;
    EXPECT_NE(m_stderr.find(Native("\n\tFailed to access/create log levels\n" + ExitLine())), std::string::npos);
}

TEST_F(Command, TruncatedStoreIsPaddedAgainOnTheNextRun)
{
    EXPECT_EQ(Run({"-s", "APP", "-l", "DEBUG3"}), 0);
    std::string bytes = test::ReadFile(Store());
    test::WriteFile(Store(), bytes.substr(0, 8));  // GENERAL and APP survive
    EXPECT_EQ(Run({}), 0);
    std::vector<int32_t> expected(19, 1);
    expected[1] = 7;
    EXPECT_EQ(m_stderr, Native(Banner() + AllLines(expected)));
    EXPECT_EQ(test::ReadFile(Store()).size(), 76u);
}

#ifndef _WIN32
TEST_F(Command, PaddingThatCannotCompleteFailsWithoutMappingAShortFile)
{
    // A file-size limit of 0 blocks the padding; the signal it would raise is ignored, as
    // a process that sets such limits does.
    for (const std::string& before : {std::string("abcdef"), std::string()}) {
        SCOPED_TRACE(before.size());
        test::fs::remove_all(AppData());
        if (!before.empty()) {
            test::fs::create_directories(test::StoreFolder(AppData()));
            test::WriteFile(Store(), before);
        }
        // Standard error goes to a pipe: the limit would stop a file from taking it.
        test::Child child("trap '' XFSZ; ulimit -f 0; exec " + test::Quote(kProgram) + " -s APP 2>&1");
        std::string output, line;
        while (child.ReadLine(line))
            output += line + "\n";
        EXPECT_EQ(child.Wait(), 1) << "never killed by a signal";
        EXPECT_EQ(output, "\n\tFailed to access/create log levels\n" + ExitLine());
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
    const std::string bytes = test::ReadFile(Store());
    EXPECT_EQ(bytes.substr(28, 4), SlotBytes({4}));
}

}  // namespace
