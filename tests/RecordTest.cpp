// A log record: its fields, its bytes, its stream's state, and its threads.
#include "Fixtures.h"

#include <pdulog/detail/DecimalText.h>
#include "LogFormat.h"
#include "Platform/Platform.h"

#include <atomic>
#include <cstdio>
#include <ctime>
#include <thread>
#include <vector>
#include <algorithm>
#include <charconv>
#include <limits>
#include <random>
#include <iomanip>
#include <regex>
#include <sstream>
#include <string_view>
#include <locale>

#ifndef _WIN32
#include <pthread.h>
#include <malloc.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

namespace {

namespace Platform = pdulog_detail::Platform;
namespace LogFormat = pdulog_detail::LogFormat;

using Record = LogTest;

const char kPlace[] = "src\\External\\Here.cpp";

std::string TimeText(int64_t ticks)
{
    static LogFormat::LocalSecond cache;  // kept across readings, as a thread's composer keeps it
    char out[LogFormat::kTimeLength];
    LogFormat::TimeOfDay(ticks / 10000000, static_cast<uint32_t>(ticks % 10000000) * 100, cache, out);
    return std::string(out, sizeof out);
}

std::string LocalHms(int64_t seconds)
{
    const std::time_t t = static_cast<std::time_t>(seconds);
    char text[16];
    std::strftime(text, sizeof text, "%H:%M:%S", std::localtime(&t));
    return text;
}

TEST(RecordTime, MillisecondsComeFromTheSameReadingAsTheSeconds)
{
    const int64_t second = 1767225599;  // a second before a new year, UTC
    const int64_t tick = 10000000;
    struct {
        int64_t ticks;
        const char* millis;
    } cases[] = {
        {second * tick, "000"},
        {second * tick + 70000 + 9999, "007"},
        {second * tick + 9990000, "999"},
        {second * tick + 9999999, "999"},  // never carries into the seconds
    };
    for (const auto& c : cases) {
        EXPECT_EQ(TimeText(c.ticks), LocalHms(second) + "." + c.millis);
    }
    EXPECT_EQ(TimeText((second + 1) * tick + 420000), LocalHms(second + 1) + ".042");
    EXPECT_EQ(TimeText(second * tick + 10000), LocalHms(second) + ".001");  // back again
}

// The record's integers are to_chars' to the byte: at both ends of every type, at every
// power of ten and either side of it, and on a seeded sample over the whole range.
template <typename T>
void ExpectDecimalAsToChars(T value)
{
    char ours[pdulog_detail::DecimalText::kMaxLength + 1];
    char theirs[pdulog_detail::DecimalText::kMaxLength + 1];
    const char* end = pdulog_detail::DecimalText::Write(static_cast<char*>(ours), value);
    const char* theirsEnd = std::to_chars(theirs, theirs + sizeof theirs, value).ptr;
    ASSERT_EQ(std::string(static_cast<const char*>(ours), end),
              std::string(static_cast<const char*>(theirs), theirsEnd));
}

template <typename T>
void ExpectDecimalsAsToChars(std::mt19937_64& random)
{
    for (const T edge : {std::numeric_limits<T>::min(), std::numeric_limits<T>::max(), T {0}})
        ExpectDecimalAsToChars(edge);
    for (T power = 1; power <= std::numeric_limits<T>::max() / 10; power = static_cast<T>(power * 10))
        for (const T near :
             {static_cast<T>(power - 1), power, static_cast<T>(power + 1), static_cast<T>(power * 10 - 1),
              static_cast<T>(power * 10), static_cast<T>(power * 10 + 1)}) {
            ExpectDecimalAsToChars(near);
            if (std::is_signed_v<T>)
                ExpectDecimalAsToChars(static_cast<T>(-near));
        }
    for (int i = 0; i < 1000000 / 6; ++i)  // every width of number alike: a random bit length
        ExpectDecimalAsToChars(static_cast<T>(random() >> (random() % 64)));
}

TEST(RecordNumbers, DecimalsAreToCharsByteForByte)
{
    std::mt19937_64 random(20261208);
    ExpectDecimalsAsToChars<int>(random);
    ExpectDecimalsAsToChars<unsigned>(random);
    ExpectDecimalsAsToChars<long>(random);
    ExpectDecimalsAsToChars<unsigned long>(random);
    ExpectDecimalsAsToChars<long long>(random);
    ExpectDecimalsAsToChars<unsigned long long>(random);
}

TEST(RecordThread, LowercaseHexRightAlignedInFive)
{
    struct {
        uint32_t id;
        const char* text;
    } cases[] = {
        {0, "    0"},       {42, "   2a"},          {0x1f3c, " 1f3c"},
        {0xABCDE, "abcde"}, {0x1234567, "1234567"}, {0xFFFFFFFF, "ffffffff"},
    };
    for (const auto& c : cases) {
        char out[8];
        EXPECT_EQ(std::string(out, LogFormat::ThreadField(c.id, out)), c.text);
    }
}

#ifndef _WIN32
TEST_F(Record, ForkedChildHasAThreadIdOfItsOwn)
{
    UseLevels(LL_DEBUG3);
    const auto sink = CaptureSink();
    CLOG_RECORD(LL_ERROR, LS_APP, kPlace, 1, "f") << "parent";  // the thread's field is kept from now on
    const uint32_t parent = Platform::CurrentThreadId();
    const pid_t child = fork();
    if (child == 0) {
        const uint32_t own = Platform::CurrentThreadId();
        CLOG_RECORD(LL_ERROR, LS_APP, kPlace, 2, "f") << "child";
        _exit(own == static_cast<uint32_t>(getpid()) && own != parent ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    char field[8];
    const std::string childs(field, LogFormat::ThreadField(static_cast<uint32_t>(child), field));
    EXPECT_NE(test::ReadFile(sink).find(childs + ":src\\External\\Here.cpp:2:f:child\n"), std::string::npos);
}
#endif

TEST_F(Record, HeaderIsTimeThenLevelTextWithNothingBetween)
{
    const auto sink = CaptureSink();
    for (const int level : {0, 3, 7, -1, 8, -2})
        CLog(stderr).Header(level, LS_APP) << "|";
    EXPECT_EQ(test::MaskTimes(test::ReadFile(sink)),
              "TT ERROR  |\nTT INFO   |\nTT DEBUG3 |\nTTOFF|\nTTInvalid Level|\nTTInvalid Level|\n");
}

TEST_F(Record, LocatedRecordFieldsInOrder)
{
    UseLevels(LL_DEBUG3);
    const auto sink = CaptureSink();
    CLOG_RECORD(LL_NOTICE, LS_APP, kPlace, 302, "CLog::SetInitLogFile") << "value " << 42 << ' ' << std::hex << 255;
    const std::string text = test::ReadFile(sink);
    EXPECT_NE(Platform::CurrentThreadId(), 0u);  // and read again, the one the record took
    char thread[8];
    const std::string threadField(thread, LogFormat::ThreadField(Platform::CurrentThreadId(), thread));
    const std::string expected = threadField + ":src\\External\\Here.cpp:302:CLog::SetInitLogFile:value 42 ff\n";
    ASSERT_EQ(text.size(), 20 + expected.size()) << text;
    EXPECT_EQ(text.substr(12, 8), " NOTICE ");
    EXPECT_EQ(text.substr(20), expected);
}

TEST_F(Record, OneLineSiteFillsInPlaceLineAndFunction)
{
    UseLevels(LL_DEBUG3);
    const auto sink = CaptureSink();
    const int line = __LINE__ + 1;
    PDULOG(LL_NOTICE, LS_APP) << "value " << 42;
    const std::string text = test::ReadFile(sink);
    char thread[8];
    const std::string threadField(thread, LogFormat::ThreadField(Platform::CurrentThreadId(), thread));
    // Named relative to the project (tests/RecordTest.cpp): no src folder, wherever the
    // checkout lives, so its place is its bare name.
    EXPECT_EQ(text.substr(12), " NOTICE " + threadField + ":RecordTest.cpp:" + std::to_string(line)
                                   + ":Record_OneLineSiteFillsInPlaceLineAndFunction_Test::TestBody:value 42\n");
}

TEST_F(Record, GateAdmitsUpToTheSlotValue)
{
    const auto sink = CaptureSink();
    UseLevels(LL_INFO);
    m_levels[LS_COMMS] = LL_DEBUG;
    CLOG_RECORD(LL_INFO, LS_GENERAL, kPlace, 1, "f") << "info at info";
    CLOG_RECORD(LL_DEBUG, LS_GENERAL, kPlace, 2, "f") << "debug at info";
    CLOG_RECORD(LL_DEBUG, LS_COMMS, kPlace, 3, "f") << "debug at debug";
    m_levels[LS_GENERAL] = LL_OFF;
    CLOG_RECORD(LL_ERROR, LS_GENERAL, kPlace, 4, "f") << "error at off";
    m_levels[LS_GENERAL] = 100;  // above DEBUG3 admits everything
    CLOG_RECORD(LL_DEBUG3, LS_GENERAL, kPlace, 5, "f") << "debug3 at 100";
    m_levels[LS_GENERAL] = -5;  // below OFF admits nothing
    CLOG_RECORD(LL_ERROR, LS_GENERAL, kPlace, 6, "f") << "error at -5";

    const std::string text = test::ReadFile(sink);
    EXPECT_NE(text.find("info at info"), std::string::npos);
    EXPECT_EQ(text.find("debug at info"), std::string::npos);
    EXPECT_NE(text.find("debug at debug"), std::string::npos);
    EXPECT_EQ(text.find("error at off"), std::string::npos);
    EXPECT_NE(text.find("debug3 at 100"), std::string::npos);
    EXPECT_EQ(text.find("error at -5"), std::string::npos);
}

TEST_F(Record, GateRefusesSubsystemsOutsideTheStore)
{
    UseLevels(LL_DEBUG3);
    for (const int subsystem : {-1, 19, 1000, INT32_MIN, INT32_MAX})
        EXPECT_FALSE(CLog::Enabled(LL_ERROR, subsystem)) << subsystem;
    EXPECT_TRUE(CLog::Enabled(LL_DEBUG3, LS_TIMER));
}

TEST_F(Record, FailingGateEvaluatesNothingAndLeavesANullSinkNull)
{
    int evaluated = 0;
    auto field = [&evaluated] { return ++evaluated; };
    CLOG_RECORD(LL_ERROR, LS_GENERAL, kPlace, 1, "f") << field();  // no store at all
    UseLevels(LL_ERROR);
    CLOG_RECORD(LL_WARN, LS_GENERAL, kPlace, 1, "f") << field();
    PDULOG(LL_WARN, LS_GENERAL) << field();
    EXPECT_EQ(evaluated, 0);

    // Had the gate set the sink, this record would not go to its own stream.
    const auto path = m_dir.path() / "first.log";
    std::FILE* file = std::fopen(path.string().c_str(), "wb");
    CLog(file).Header(LL_ERROR, LS_GENERAL) << "first";
    CLog::Shutdown();
    EXPECT_NE(test::ReadFile(path).find(" ERROR  first\n"), std::string::npos);
}

TEST_F(Record, FirstRecordSetsTheSinkForGood)
{
    const auto firstPath = m_dir.path() / "first.log";
    const auto secondPath = m_dir.path() / "second.log";
    std::FILE* first = std::fopen(firstPath.string().c_str(), "wb");
    std::FILE* second = std::fopen(secondPath.string().c_str(), "wb");
    CLog(first).Header(LL_ERROR, LS_GENERAL) << "one";
    CLog(second).Header(LL_ERROR, LS_GENERAL) << "two";
    CLog::Shutdown();  // closes the sink, the first stream
    std::fclose(second);
    const std::string text = test::ReadFile(firstPath);
    EXPECT_NE(text.find("one\n"), std::string::npos);
    EXPECT_NE(text.find("two\n"), std::string::npos);
    EXPECT_EQ(test::ReadFile(secondPath), "");

    // First records racing to set it: whichever sets it, every one of them is written there
    // (a record that found no sink, while another set one meanwhile, was lost now and then).
    constexpr int kRounds = 1000;
    constexpr int kThreads = 4;
    const auto racedPath = m_dir.path() / "raced.log";
    for (int round = 0; round < kRounds; ++round) {
        std::FILE* raced = std::fopen(racedPath.string().c_str(), "ab");
        std::atomic<int> ready {0};
        std::vector<std::thread> threads;
        for (int t = 0; t < kThreads; ++t)
            threads.emplace_back([&] {
                for (++ready; ready < kThreads;)
                    std::this_thread::yield();
                CLog(raced).Header(LL_ERROR, LS_GENERAL) << "raced";
            });
        for (std::thread& thread : threads)
            thread.join();
        CLog::Shutdown();  // closes the sink, the raced stream
    }
    const std::string raced = test::ReadFile(racedPath);
    EXPECT_EQ(std::count(raced.begin(), raced.end(), '\n'), kRounds * kThreads);
}

TEST_F(Record, NulIsWrittenAndTheLineEndKept)
{
    const auto sink = CaptureSink();
    CLog(stderr).Header(LL_ERROR, LS_GENERAL) << std::string("ab\0cd", 5);
    CLog(stderr).Header(LL_ERROR, LS_GENERAL) << "next";
    EXPECT_EQ(test::MaskTimes(test::ReadFile(sink)), std::string("TT ERROR  ab\0cd\nTT ERROR  next\n", 31));
}

// A field whose output makes a record of its own while the outer one is being composed.
struct Chatty {};
std::ostream& operator<<(std::ostream& out, Chatty)
{
    CLog(stderr).Header(LL_ERROR, LS_GENERAL) << "inner";
    return out << "outer-field";
}

TEST_F(Record, RecordsMadeWhileComposingStayWhole)
{
    const auto sink = CaptureSink();
    const std::string longText(5000, 'x');
    CLog(stderr).Header(LL_ERROR, LS_GENERAL) << "outer " << Chatty() << ' ' << longText;
    EXPECT_EQ(test::MaskTimes(test::ReadFile(sink)), "TT ERROR  inner\nTT ERROR  outer outer-field " + longText + "\n");
}

// Texts that end just before, at and just past each size the record buffer grows through.
TEST_F(Record, RecordsOfEveryLengthAroundTheBufferEdgesStayWhole)
{
    const auto sink = CaptureSink();
    std::string expected;
    for (std::size_t length = 200; length < 1100; ++length) {
        CLog(stderr).Header(LL_ERROR, LS_GENERAL) << std::string(length, 'x');
        expected += "TT ERROR  " + std::string(length, 'x') + "\n";
    }
    EXPECT_EQ(test::MaskTimes(test::ReadFile(sink)), expected);
}

// What a site's stream makes of any insertion is what a std::ostream makes of it: the types
// that go straight into the text and those that do not (a short, a bool, an enumeration, a
// signed char, a host's own operator<<, a manipulator in the line).
enum Colour { kRed = 3 };
struct HostType {
    int id;
};
std::ostream& operator<<(std::ostream& out, const HostType& value) { return out << "host#" << value.id; }

TEST_F(Record, EveryInsertionWritesWhatAStdStreamWrites)
{
    UseLevels(LL_DEBUG3);
    const auto sink = CaptureSink();
    char buffer[8] = "buf";
    const std::string text = std::string("st\0r", 4);
    std::ostringstream expected;
    const auto insert = [&](auto&& line) {
        line(expected);
        expected << '\n';
        CLog record(stderr, LL_ERROR, ":", 1);
        line(record.Stream());
    };
    insert([&](auto& s) { s << static_cast<short>(-7) << true << kRed << static_cast<signed char>('x') << 'c'; });
    insert([&](auto& s) { s << 0u << -1L << 42UL << -5LL << 6ULL << HostType {9} << 10 << "lit" << buffer; });
    insert([&](auto& s) { s << text << std::string_view("sv") << std::setw(6) << 12 << 13 << std::hex << 255; });
    insert([&](auto& s) { s << 1.5 << ' ' << static_cast<const void*>(nullptr) << std::boolalpha << false; });
    insert([&](auto& s) { s << std::left << std::setfill('.') << std::setw(5) << "ab" << 'z' << std::endl; });
    // A format copied over the stream, and the stream's format copied to a host's stream that
    // outlives the record; then a record of the thread as every record starts.
    struct Thousands : std::numpunct<char> {
        char do_thousands_sep() const override { return ','; }
        std::string do_grouping() const override { return "\3"; }
    };
    std::ostringstream grouped;
    grouped.imbue(std::locale(std::locale::classic(), new Thousands));
    std::ostringstream host;
    insert([&](auto& s) { s.copyfmt(grouped), s << 1234567 << ' ' << static_cast<short>(12345); });
    insert([&](auto& s) {
        host.str(""), host.copyfmt(s), host << 12 << '.' << 34;
        s << '[' << host.str() << ']';
    });
    insert([&](auto& s) {
        if constexpr (std::is_same_v<std::decay_t<decltype(s)>, std::ostringstream>)
            s.imbue(std::locale::classic());  // what a new record starts with
        s << 7654321 << ' ';
        s.imbue(grouped.getloc());  // still heard of
        s << 1111;
    });
    host << 99;  // after the record: nothing of it reaches the record's buffer
    const std::regex start("[0-9:.]{12} ERROR  +[0-9a-f]+:");  // each record's time, level and thread
    EXPECT_EQ(std::regex_replace(test::ReadFile(sink), start, ""), expected.str());
}

TEST_F(Record, StreamStateStartsFreshForEveryRecord)
{
    const auto sink = CaptureSink();
    CLog(stderr).Header(LL_ERROR, LS_GENERAL) << std::hex << std::setfill('*') << std::setprecision(2) << 255;
    CLog(stderr).Header(LL_ERROR, LS_GENERAL) << std::showpos << 42 << ' ' << 42LL << ' ' << 0.5;
    CLog(stderr).Header(LL_ERROR, LS_GENERAL) << std::setw(4) << 255 << ' ' << 42 << ' ' << 3.14159;
    {
        std::ostringstream other;  // a buffer of the site's own, gone before the next record
        CLog(stderr).Header(LL_ERROR, LS_GENERAL).rdbuf(other.rdbuf());
    }
    CLog(stderr).Header(LL_ERROR, LS_GENERAL) << std::hex << 4095;
    // A site's own stream, kept across insertions: what goes straight into the text honours
    // whatever state the stream is in, as the std::ostream would.
    {
        CLog record(stderr, LL_ERROR, ":p:1:f:", 7);
        pdulog_detail::RecordStream& site = record.Stream();
        site << -42 << ' ' << 18446744073709551615ULL << ' ' << -9223372036854775807LL - 1 << ' ';
        site.setf(std::ios_base::hex, std::ios_base::basefield);
        site << 255 << ' ' << -1 << ' ';
        site.setf(std::ios_base::dec | std::ios_base::showpos, std::ios_base::basefield | std::ios_base::showpos);
        site << 42 << ' ';
        site.flags(std::ios_base::dec);
        site.width(4);
        site << "ab" << 'c';
        site.width(3);
        site << 'd' << ' ';
        site.width(3);
        site << 7 << ' ' << std::string("s\0t", 3) << ' ' << std::string_view("v");
        site << static_cast<const char*>(nullptr) << "after a null is not written";
    }
    const std::string text = test::ReadFile(sink);
    EXPECT_NE(text.find(" ERROR  ff\n"), std::string::npos);
    EXPECT_NE(text.find(" ERROR  +42 +42 +0.5\n"), std::string::npos) << text;
    EXPECT_NE(text.find(" ERROR   255 42 3.14159\n"), std::string::npos) << text;
    EXPECT_NE(text.find(" ERROR  fff\n"), std::string::npos) << text;
    EXPECT_NE(text.find(std::string(
                  ":p:1:f:-42 18446744073709551615 -9223372036854775808 ff ffffffff +42   abc  d   7 s\0t v\n", 88)),
              std::string::npos)
        << text;
}

TEST_F(Record, ThreadsWritingToOneSinkNeverInterleave)
{
    constexpr int kThreads = 8;
    constexpr int kRecords = 10000;
    const auto sink = CaptureSink();
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t)
        threads.emplace_back([t] {
            for (int n = 0; n < kRecords; ++n)
                CLog(stderr).Header(LL_ERROR, LS_GENERAL) << "thread " << t << " record " << n;
        });
    for (std::thread& thread : threads)
        thread.join();

    const std::string text = test::ReadFile(sink);
    int next[kThreads] = {};
    int lines = 0;
    std::size_t at = 0;
    while (at < text.size()) {
        const std::size_t end = text.find('\n', at);
        ASSERT_NE(end, std::string::npos) << "unterminated last line";
        const std::string line = text.substr(at, end - at);
        at = end + 1;
        ++lines;
        ASSERT_GT(line.size(), 20u) << line;
        ASSERT_TRUE(line[2] == ':' && line[5] == ':' && line[8] == '.') << line;
        ASSERT_EQ(line.substr(12, 15), " ERROR  thread ") << line;
        int t = -1, n = -1;
        ASSERT_EQ(std::sscanf(line.c_str() + 27, "%d record %d", &t, &n), 2) << line;
        ASSERT_TRUE(t >= 0 && t < kThreads) << line;
        ASSERT_EQ(n, next[t]) << "records of one thread arrive in order, none lost: " << line;
        ++next[t];
        ASSERT_EQ(line, line.substr(0, 27) + std::to_string(t) + " record " + std::to_string(n));
    }
    EXPECT_EQ(lines, kThreads * kRecords);
}

TEST_F(Record, ThreadsThatEndReleaseWhatTheyKeptForRecords)
{
    // Each thread keeps its composer for its records and releases it when it ends, while
    // others still log: a leak under the sanitizers if it never does, a crash where a
    // thread's end runs into storage already freed.
    const auto sink = CaptureSink();
    constexpr int kRounds = 25;
    constexpr int kThreads = 8;
    constexpr int kRecords = 100;
    for (int round = 0; round < kRounds; ++round) {
        std::vector<std::thread> threads;
        for (int t = 0; t < kThreads; ++t)
            threads.emplace_back([t] {
                for (int n = 0; n < kRecords * (t + 1); ++n)  // they end one after another
                    CLog(stderr).Header(LL_ERROR, LS_GENERAL) << "record";
            });
        for (std::thread& thread : threads)
            thread.join();
    }
    int late = 0;
#ifndef _WIN32
    // A thread-end destructor of the host's that runs after the library's logs on a composer
    // of its own, not on the one just released.
    static pthread_key_t hostKey;
    ASSERT_EQ(pthread_key_create(&hostKey, [](void*) { CLog(stderr).Header(LL_ERROR, LS_GENERAL) << "late"; }), 0);
    std::thread([] {
        CLog(stderr).Header(LL_ERROR, LS_GENERAL) << "late";
        pthread_setspecific(hostKey, &hostKey);
    }).join();
    pthread_key_delete(hostKey);
    late = 2;
#endif
    const std::string text = test::ReadFile(sink);
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), kRounds * kRecords * kThreads * (kThreads + 1) / 2 + late);
#ifdef __GLIBC__
    // A live thread keeps at most 64 KiB of its largest record: a pooled thread lives for ever.
    CLog(stderr).Header(LL_ERROR, LS_GENERAL) << "its composer made";
    const auto held = [] { return mallinfo2().uordblks + mallinfo2().hblkhd; };  // heap and mmapped
    const std::size_t before = held();
    CLog(stderr).Header(LL_ERROR, LS_GENERAL) << std::string(96 << 10, 'x');
    EXPECT_LT(held(), before + (64 << 10));
#endif
}

TEST_F(Record, EveryRecordStartsInTheClassicLocale)
{
    struct Grouping : std::numpunct<char> {
        char do_thousands_sep() const override { return '\''; }
        std::string do_grouping() const override { return "\3"; }
    };
    const auto sink = CaptureSink();
    CLog(stderr).Header(LL_ERROR, LS_GENERAL) << 1234567;
    CLog(stderr).Header(LL_ERROR, LS_GENERAL).imbue(std::locale(std::locale::classic(), new Grouping));
    CLog(stderr).Header(LL_ERROR, LS_GENERAL) << 1234567;
    {
        CLog record(stderr, LL_ERROR, ":p:1:f:", 7);  // a site's own stream: its integers take its locale
        pdulog_detail::RecordStream& out = record.Stream();
        out.imbue(std::locale(std::locale::classic(), new Grouping));
        out << 1234567;
    }
    CLog(stderr).Header(LL_ERROR, LS_GENERAL) << 1234567;
    const std::string text = test::ReadFile(sink);
    EXPECT_EQ(std::count(text.begin(), text.end(), '\''), 2) << text;  // only the imbued record
    EXPECT_NE(text.find("1'234'567\n"), std::string::npos) << text;
    EXPECT_EQ(text.substr(text.size() - 9), " 1234567\n") << text;
}

}  // namespace
