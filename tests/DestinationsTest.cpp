// The moves of the log sink: init log file, pipe and back, and what each move records.
#include "Fixtures.h"

#include "LogRollover.h"
#include "Platform/Platform.h"

#include <fstream>
#include <functional>
#include <iterator>
#include <memory>
#include <regex>
#include <sstream>
#include <thread>
#include <tuple>

#ifndef _WIN32
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace {

namespace Platform = pdulog_detail::Platform;

class Destinations : public LogTest {
protected:
    test::fs::path Temp() const { return m_dir.path() / "temp"; }
    test::fs::path InitLog() const { return test::InitLog(Temp()); }
    std::string InitLogPath() const { return InitLog().string(); }

    // The file's records with times and thread fields made uniform.
    static std::string Records(const test::fs::path& path)
    {
        std::string text = test::ReadFile(path);
        text = std::regex_replace(text, std::regex("\r\n"), "\n");
        return std::regex_replace(test::MaskTimes(text), std::regex(" INFO   [ 0-9a-f]{5,}:"), " INFO   tid:");
    }

    test::ScopedEnv m_ownTemp {"TEMP", Temp().string()};
    const std::string m_prefix = "TT INFO   tid:src\\External\\CLog.cpp:";

    void SetUp() override
    {
        LogTest::SetUp();
        test::fs::create_directories(Temp());
    }
};

TEST_F(Destinations, LogFileNameIsInTheTemporaryFolder)
{
    std::string path;
    EXPECT_TRUE(CLog::GetLogFileName(path));
    EXPECT_EQ(test::fs::path(path), test::LogFile(Temp()));
    EXPECT_FALSE(test::fs::exists(path)) << "nothing is created";
#ifndef _WIN32
    // Only the configured path's separators become '/': the folder's name is used as it is.
    const std::string odd = (m_dir.path() / "a\\b").string();
    test::ScopedEnv temp("TEMP", odd);
    EXPECT_TRUE(CLog::GetLogFileName(path));
    EXPECT_EQ(path, test::LogFile(odd).string());
#endif
}

TEST_F(Destinations, InitLogFileBecomesTheSinkOnce)
{
    UseLevels(LL_INFO);
    test::WriteFile(InitLog(), "old content\n");
    ::testing::internal::CaptureStderr();
    EXPECT_EQ(CLog::SetInitLogFile(true), nullptr);  // no previous sink: no redirection to record
    EXPECT_EQ(::testing::internal::GetCapturedStderr(), "");
    CLog(stderr).Header(LL_ERROR, LS_GENERAL) << "one";
    EXPECT_EQ(CLog::SetInitLogFile(true), nullptr);  // already the sink: not truncated again
    CLog(stderr).Header(LL_ERROR, LS_GENERAL) << "two";
    CLog::Shutdown();
    EXPECT_EQ(Records(InitLog()),
              "TT ERROR  one\nTT ERROR  two\n" + m_prefix + "452:CLog::Shutdown:Closing init log file\n");
}

// A 32-bit build keeps 64-bit file offsets: a log past 2 GiB opens and takes records.
TEST_F(Destinations, InitLogPastTwoGigabytesTakesRecords)
{
    UseLevels(LL_INFO);
    const std::uintmax_t size = (std::uintmax_t(1) << 31) + 8;
    test::WriteFile(InitLog(), "");
    std::error_code error;
    test::fs::resize_file(InitLog(), size, error);
    if (error)
        GTEST_SKIP() << "no room for a sparse file here: " << error.message();
    EXPECT_EQ(CLog::SetInitLogFile(false), nullptr);
    CLog(stderr).Header(LL_ERROR, LS_GENERAL) << "past two gigabytes";
    CLog::Shutdown();
    std::ifstream log(InitLog(), std::ios::binary);
    log.seekg(-256, std::ios::end);
    const std::string tail((std::istreambuf_iterator<char>(log)), std::istreambuf_iterator<char>());
    EXPECT_GT(test::fs::file_size(InitLog()), size);
    EXPECT_TRUE(std::regex_search(test::MaskTimes(tail), std::regex("\nTT ERROR  past two gigabytes\r?\n"))) << tail;
}

TEST_F(Destinations, RedirectionIsRecordedInThePreviousSink)
{
    UseLevels(LL_INFO);
    const auto first = CaptureSink("first.log");
    std::FILE* previous = CLog::SetInitLogFile(false);
    EXPECT_NE(previous, nullptr);
    std::fclose(previous);  // the caller's from now on
    EXPECT_EQ(Records(first),
              m_prefix + "302:CLog::SetInitLogFile:Re-directing to init log file: " + InitLogPath() + "\n");
}

TEST_F(Destinations, PipeAndBack)
{
    UseLevels(LL_INFO);
    ASSERT_EQ(CLog::SetInitLogFile(true), nullptr);
    const auto pipePath = m_dir.path() / "pipe.log";
    std::FILE* pipe = std::fopen(pipePath.string().c_str(), "wb");
    EXPECT_EQ(CLog::SetPipe(pipe), nullptr);  // the init log file was the sink: closed, not returned
    std::fputs("host's text\n", pipe);        // still in the stream's buffer: before the next record
    CLog(stderr).Header(LL_ERROR, LS_GENERAL) << "in the pipe";

    const auto otherPath = m_dir.path() / "other.log";
    std::FILE* other = std::fopen(otherPath.string().c_str(), "wb");
    for (int move = 0; move < 10; ++move) {  // a pipe goes back unclosed, with no record, however often
        ASSERT_EQ(CLog::SetPipe(other), pipe);
        ASSERT_EQ(CLog::SetPipe(pipe), other);
    }
    std::fclose(other);

    EXPECT_EQ(CLog::SetPipe(nullptr), pipe);  // back to the init log file, appending
    std::fclose(pipe);
    CLog(stderr).Header(LL_ERROR, LS_GENERAL) << "appended";
    EXPECT_EQ(CLog::SetPipe(nullptr), nullptr);  // already there
    CLog::Shutdown();

    EXPECT_EQ(Records(InitLog()), m_prefix
                                      + "481:CLog::SetPipe:Leaving initial log file\n"
                                        "TT ERROR  appended\n"
                                      + m_prefix + "452:CLog::Shutdown:Closing init log file\n");
    EXPECT_EQ(Records(pipePath),
              "host's text\nTT ERROR  in the pipe\n" + m_prefix + "491:CLog::SetPipe:Returning to initial log file\n"
                  + m_prefix + "302:CLog::SetInitLogFile:Re-directing to init log file: " + InitLogPath() + "\n");
    EXPECT_EQ(test::ReadFile(otherPath), "");
}

#ifndef _WIN32
// A pipe takes up to PIPE_BUF bytes in one piece; a longer record, or a longer line the host
// writes through the same stream, goes in several writes, and no short record comes between.
TEST_F(Destinations, LongLinesOnAPipeAreNotTornByShortRecords)
{
    UseLevels(LL_ERROR);  // no closing record
    int fds[2] = {-1, -1};
    ASSERT_EQ(::pipe(fds), 0);
    std::string received;
    std::thread reader([&received, fd = fds[0]] {
        char buffer[65536];
        for (ssize_t n = 0; (n = ::read(fd, buffer, sizeof buffer)) > 0;)
            received.append(buffer, static_cast<std::size_t>(n));
        ::close(fd);
    });
    std::FILE* pipe = ::fdopen(fds[1], "w");
    CLog::SetPipe(pipe);
    const std::string longText(100000, 'L');
    std::thread longRecords([&] {
        for (int n = 0; n < 10; ++n)
            CLog(stderr).Header(LL_ERROR, LS_GENERAL) << longText;
    });
    std::thread hostLines([&] {
        for (int n = 0; n < 10; ++n)
            std::fprintf(pipe, "%s\n", std::string(10000, 'h').c_str());
    });
    for (int n = 0; n < 2000; ++n)
        CLog(stderr).Header(LL_ERROR, LS_GENERAL) << "short";
    longRecords.join();
    hostLines.join();
    CLog::Shutdown();  // closes the pipe: its reader ends
    reader.join();
    std::istringstream lines(test::MaskTimes(received));
    int counts[4] = {};  // short records, long records, host lines, torn lines
    for (std::string line; std::getline(lines, line);)
        ++counts[line == "TT ERROR  short"         ? 0
                 : line == "TT ERROR  " + longText ? 1
                 : line == std::string(10000, 'h') ? 2
                                                   : 3];
    EXPECT_EQ(std::vector<int>(counts, counts + 4), (std::vector<int> {2000, 10, 10, 0}));
}

// A stream the host read from before handing it over: the record goes where the host's next
// write would, not where the stream's reading ahead left the file. With and without a
// file-size limit, which takes the record another way.
TEST_F(Destinations, ARecordGoesWhereTheHostsStreamStands)
{
    UseLevels(LL_ERROR);
    rlimit saved {};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
    for (const rlim_t limit : {saved.rlim_cur, rlim_t {1} << 30}) {
        const auto path = m_dir.path() / "read.log";
        test::WriteFile(path, "AAAA\nBBBB\nCCCC\n");
        rlimit lower = saved;
        lower.rlim_cur = limit;
        ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &lower), 0);
        std::FILE* read = std::fopen(path.string().c_str(), "r+");
        char line[8] = {};
        ASSERT_NE(std::fgets(line, sizeof line, read), nullptr);
        CLog::SetPipe(read);
        CLog(stderr).Header(LL_ERROR, LS_GENERAL) << "here";
        CLog::Shutdown();
        setrlimit(RLIMIT_FSIZE, &saved);
        EXPECT_EQ(test::MaskTimes(test::ReadFile(path)), "AAAA\nTT ERROR  here\n") << limit;
    }
}
#endif

TEST_F(Destinations, InitStartsTheInitLogOnlyWhenTheStoreOpens)
{
#ifndef _WIN32
    const auto inheritable = [] {  // what a program that the host starts would be given
        std::vector<int> fds;
        for (int fd = 0; fd < 1024; ++fd)
            if ((fcntl(fd, F_GETFD) & FD_CLOEXEC) == 0)
                fds.push_back(fd);
        return fds;
    };
    const test::ClosedDescriptor closed(0);  // what lands on it is moved above 2, and stays private
    const std::vector<int> before = inheritable();
    ASSERT_TRUE(CLog::Init(true));
    EXPECT_EQ(inheritable(), before) << "the store, its mapping or the init log";
    const auto perms = test::fs::status(InitLog()).permissions();
    EXPECT_EQ(perms & (test::fs::perms::group_all | test::fs::perms::others_all), test::fs::perms::none);
#else
    ASSERT_TRUE(CLog::Init(true));
#endif
    CLog(stderr).Header(LL_ERROR, LS_GENERAL) << "into the init log";
    CLog::Shutdown();  // the own store is released first: no closing record
    EXPECT_EQ(Records(InitLog()), "TT ERROR  into the init log\n");

    test::fs::remove(InitLog());
    test::WriteFile(m_dir.path() / "blocked", "");
    test::ScopedEnv blocked("APPDATA", (m_dir.path() / "blocked").string());
    ::testing::internal::CaptureStderr();
    EXPECT_FALSE(CLog::Init(true));
    ::testing::internal::GetCapturedStderr();
    EXPECT_FALSE(test::fs::exists(InitLog()));
}

TEST_F(Destinations, TwoHostsOnOneInitLogLoseNoRecord)
{
    UseLevels(LL_INFO);
    ASSERT_EQ(CLog::SetInitLogFile(true), nullptr);
    CLog(stderr).Header(LL_ERROR, LS_GENERAL) << "first host, before the second started";
    std::FILE* second
        = Platform::OpenLogStream(InitLogPath(), Platform::LogOpening::kEmptyFirst);  // another host's start
    ASSERT_NE(second, nullptr);
    std::fputs("second host\n", second);
    std::fflush(second);
    CLog(stderr).Header(LL_ERROR, LS_GENERAL) << "first host, after";
    std::fclose(second);
    CLog::Shutdown();
    EXPECT_EQ(Records(InitLog()),
              "second host\nTT ERROR  first host, after\n" + m_prefix + "452:CLog::Shutdown:Closing init log file\n");
}

// A log deleted or rotated under a running host: later records follow the path into a new
// file, and nothing that someone put in its place meanwhile is written through.
TEST_F(Destinations, RecordsFollowTheInitLogPathIntoANewFile)
{
    const auto rotated = Temp() / "rotated.log";
    const auto victim = m_dir.path() / "victim.txt";
    // What happens at the path, and whether what then stands there is refused.
    const std::tuple<const char*, std::function<void()>, bool> changes[] = {
        {"rotated", [&] { test::fs::rename(InitLog(), rotated); }, false},
        {"rotated, an empty log made in its place (logrotate's create)",
         [&] { test::fs::rename(InitLog(), rotated), test::WriteFile(InitLog(), ""); }, false},
#ifndef _WIN32  // wine shows a deleted file at its path, unchanged, until its last handle closes
        {"deleted", [&] { test::fs::remove(InitLog()); }, false},
        {"symbolic link", [&] { test::fs::rename(InitLog(), rotated), test::fs::create_symlink(victim, InitLog()); },
         true},
#endif
        {"hard link", [&] { test::fs::rename(InitLog(), rotated), test::fs::create_hard_link(victim, InitLog()); },
         true},
    };
    int made = 0;
    const auto tick = [&made] {
        CLog(stderr).Header(LL_ERROR, LS_GENERAL) << "record " << made++;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));  // paces the records; nothing waits on it
    };
    const auto records = [](int from, int to) {
        std::string text;
        for (; from < to; ++from)
            text += "TT ERROR  record " + std::to_string(from) + "\n";
        return text;
    };
    ASSERT_EQ(CLog::SetInitLogFile(true), nullptr);
    tick();
    int kept = 0;  // the first record of the file at the path
    for (const auto& [what, change, planted] : changes) {
        SCOPED_TRACE(what);
        test::WriteFile(victim, "precious");
        change();
        if (planted) {  // refused at every check, at most a second apart on the records' clock
            for (const int64_t at = Platform::WallClockTicks(); Platform::WallClockTicks() - at <= 10000000;)
                tick();
            tick();
            EXPECT_EQ(test::ReadFile(victim), "precious");
            test::fs::remove(InitLog());
        }
        ASSERT_TRUE(test::Eventually([&] { return tick(), !test::ReadFile(InitLog()).empty(); }))
            << "records never followed the path";
        const std::string now = Records(InitLog());
        const int first = now.size() > 17 ? std::atoi(now.c_str() + 17) : -1;  // "TT ERROR  record N"
        EXPECT_EQ(now, records(first, made));
        // Rotated: kept in the old file up to the new one; while something was refused at the
        // path they went on into the old file, or were dropped (Windows).
        const std::string old = Records(rotated), before = records(kept, first);
        if (test::fs::exists(rotated)) {
            EXPECT_EQ(planted ? before.substr(0, old.size()) : before, old);
        }
        test::fs::remove(rotated);
        kept = first;
    }
    CLog::Shutdown();
}

// In a shared temporary folder another user may have put anything at the init log's path.
TEST_F(Destinations, WhatStandsAtTheInitLogPathIsCheckedBeforeAnyWrite)
{
    const auto victim = m_dir.path() / "victim.txt";
    std::unique_ptr<std::FILE, int (*)(std::FILE*)> reader(nullptr, std::fclose);
    const std::pair<const char*, std::function<bool()>> planted[] = {
        {"folder", [&] { return test::fs::create_directories(InitLog()); }},  // cannot be opened at all
        {"hard link to another file",
         [&] {
             std::error_code error;
             test::fs::create_hard_link(victim, InitLog(), error);
             return !error;
         }},
#ifndef _WIN32
        {"symbolic link",
         [&] {
             test::fs::create_symlink(victim, InitLog());
             return true;
         }},
        {"FIFO without a reader", [&] { return mkfifo(InitLogPath().c_str(), 0600) == 0; }},  // never waited for
        {"FIFO with a reader",
         [&] {  // without one, the open would fail before any check
             const std::string path = InitLogPath();
             const int fd = mkfifo(path.c_str(), 0600) == 0 ? open(path.c_str(), O_RDONLY | O_NONBLOCK) : -1;
             reader.reset(fd != -1 ? fdopen(fd, "r") : nullptr);
             return reader != nullptr;
         }},
        {"another user's file",
         [&] {
             test::WriteFile(InitLog(), "precious");
             return chown(InitLog().string().c_str(), 65534, 65534) == 0;  // only root may
         }},
#endif
    };
    for (const auto& plant : planted) {
        SCOPED_TRACE(plant.first);
        test::fs::remove(InitLog());
        test::WriteFile(victim, "precious");
        if (!plant.second()) {
            // Hard links are there on every file system the tests run on; only the
            // change of owner needs privileges the run may lack.
            EXPECT_EQ(std::string(plant.first), "another user's file");
            continue;
        }
        UseLevels(LL_NOTICE);
        const auto sink = CaptureSink();
        EXPECT_EQ(CLog::SetInitLogFile(true), nullptr);
        EXPECT_EQ(CLog::SetInitLogFile(false), nullptr);  // nor when it would only be appended to
        CLog(stderr).Header(LL_ERROR, LS_GENERAL) << "still here";
        CLog::Shutdown();
        EXPECT_EQ(test::ReadFile(victim), "precious");
        if (test::fs::is_regular_file(test::fs::symlink_status(InitLog()))) {
            EXPECT_EQ(test::ReadFile(InitLog()), "precious");
        }
        const std::string text = Records(sink);
        EXPECT_NE(text.find(":309:CLog::SetInitLogFile:Failed to re-direct to init log file: " + InitLogPath() + "\n"),
                  std::string::npos)
            << text;
        EXPECT_NE(text.find("TT ERROR  still here\n"), std::string::npos);
    }
}

// A capped log rolls over into "<name>.1" only when it is still past its cap under the lock,
// still at its path, and the rolled file has been quiet for a while; otherwise it stays,
// and grows, as it is.
TEST_F(Destinations, ACappedLogRollsOverOnlyWhenNothingCanBeLost)
{
    const std::string path = InitLogPath();
    const std::string rolled = path + ".1";
    const int64_t quiet = 20000000;
    struct Case {
        const char* name;
        std::function<void()> plant;
        uint64_t limit;
        int64_t sinceRolled;  // from the last change of "<name>.1" to the rollover
        bool rolls;
    };
    const Case cases[] = {
        {"past its cap", [] {}, 4, 0, true},
        {"within its cap", [] {}, 64, 0, false},
        {"the rolled file just written", [&] { test::WriteFile(rolled, "older"); }, 4, quiet - 1, false},
        {"the rolled file quiet", [&] { test::WriteFile(rolled, "older"); }, 4, quiet, true},
        {"the rolled name a folder", [&] { test::fs::create_directories(test::fs::path(rolled) / "in"); }, 4, quiet,
         false},
        {"rolled over by another", [&] { test::fs::rename(path, path + ".old"), test::WriteFile(path, ""); }, 4, quiet,
         false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        test::fs::remove_all(Temp());
        test::fs::create_directories(Temp());
        std::FILE* log = Platform::OpenLogStream(path, Platform::LogOpening::kAppend);
        ASSERT_NE(log, nullptr);
        const Platform::FileId file = Platform::IdentifyFile(Platform::StreamDescriptor(log));
        ASSERT_EQ(
            Platform::WriteRecord(log, "a record\n", 9, Platform::StreamRisk::kNone, Platform::StreamOrigin::kOwnLog),
            9u);
        c.plant();
        const int64_t changed = Platform::LastChangeTicks(rolled);
        const int64_t now = (changed != 0 ? changed : Platform::WallClockTicks()) + c.sinceRolled;
        bool busy = true;
        std::FILE* next = pdulog_detail::LogRollover::RollOver(log, file, path, c.limit, now, quiet, busy);
        EXPECT_FALSE(busy);
        EXPECT_EQ(next != nullptr, c.rolls);
        if (next != nullptr) {
            EXPECT_EQ(Records(rolled), "a record\n");
            EXPECT_EQ(test::ReadFile(path), "");
            std::fclose(next);
        } else {
            EXPECT_FALSE(test::fs::is_regular_file(rolled) && Records(rolled) == "a record\n");
        }
        std::fclose(log);
    }
}

}  // namespace
