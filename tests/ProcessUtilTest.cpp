// The process helpers: environment references, the tick count and the build date's parts.
#ifdef _WIN32
#include <windows.h>
#include <pthread.h>
#else
#include <pthread.h>
#include <sched.h>
#endif
#include "CUtil.h"
#include "Fixtures.h"
#include "Platform/Platform.h"

#include <algorithm>
#include <future>
#include <tuple>

namespace {

namespace Platform = pdulog_detail::Platform;

using ProcessUtil = LogTest;

TEST(Expand, ReplacesDefinedReferencesAndKeepsUndefinedOnes)
{
    test::ScopedEnv temp("TEMP", "C:\\T");
    std::string result = "old";
    EXPECT_TRUE(Util::Env::Expand("%TEMP%\\", result));
    EXPECT_EQ(result, "C:\\T\\");
    test::UnsetEnv("PDULOG_UNDEFINED");
    EXPECT_TRUE(Util::Env::Expand("%PDULOG_UNDEFINED%\\x", result));
    EXPECT_EQ(result, "%PDULOG_UNDEFINED%\\x");
    EXPECT_FALSE(Util::Env::Expand("", result));
    EXPECT_EQ(result, "");
    const std::string longValue(5000, 'v');
    test::ScopedEnv big("PDULOG_BIG", longValue);
    EXPECT_TRUE(Util::Env::Expand("<%PDULOG_BIG%>", result));
    EXPECT_EQ(result, "<" + longValue + ">");
}

TEST(TickCount, ThePlatformMillisecondsInMicrosecondsBetweenTwoReadings)
{
    const uint64_t before = Platform::TickCountMs();
    const uint64_t ticks = Util::Time::GetTickCountUs();
    const uint64_t after = Platform::TickCountMs();
    EXPECT_EQ(ticks % 1000, 0u);
    EXPECT_GE(ticks, before * 1000);
    EXPECT_LE(ticks, after * 1000);
}

TEST(BuildDate, MonthFromTheThirdLetterOrZeroWithAMessage)
{
    const std::tuple<const char*, unsigned, int> cases[] = {
        {"Jan", 0, 1}, {"Feb", 0, 2},  {"Mar", 0, 3},           {"Apr", 0, 4},          {"May", 0, 5},  {"Jun", 0, 6},
        {"Jul", 0, 7}, {"Aug", 0, 8},  {"Sep", 0, 9},           {"Oct", 0, 10},         {"Nov", 0, 11}, {"Dec", 0, 12},
        {"Hey", 0, 5}, {"Abc", 0, 12}, {"xxJun", 2, 6},         {"Dec 31 2026", 0, 12}, {"Foo", 0, 0},  {"Ja", 0, 0},
        {"", 0, 0},    {"Jan", 1, 0},  {"Jan", 4000000000u, 0},
    };
    for (const auto& [text, pos, month] : cases) {
        ::testing::internal::CaptureStderr();
        EXPECT_EQ(Util::Date::MonthFromName(text, pos), month) << text;
        EXPECT_EQ(::testing::internal::GetCapturedStderr(), month == 0 ? "Unknown month\n" : "") << text;
    }
}

TEST(BuildDate, WeekOfYearInACommonYear)
{
    EXPECT_EQ(Util::Date::WeekOfYear("Jan  1 2026", 0, 4), 0);
    EXPECT_EQ(Util::Date::WeekOfYear("Jan  6 2026", 0, 4), 0);
    EXPECT_EQ(Util::Date::WeekOfYear("Jan  7 2026", 0, 4), 1);
    EXPECT_EQ(Util::Date::WeekOfYear("Sep 13 2026", 0, 4), 36);
    EXPECT_EQ(Util::Date::WeekOfYear("Dec 31 2024", 0, 4), 52);
    EXPECT_EQ(Util::Date::WeekOfYear("Mar  1 2024", 0, 4), 8);  // February counts 28 days
    EXPECT_EQ(Util::Date::WeekOfYear("Dec", 0, 4), 47);         // no day field: day 0 (334 / 7)
}

TEST_F(ProcessUtil, PriorityRecordsBehindTheAppGate)
{
    const auto sink = CaptureSink();
    std::thread none;  // no thread behind it: refused by the system, never a crash
    EXPECT_FALSE(Util::Thread::SetPriority(none, 7));
    EXPECT_EQ(test::ReadFile(sink), "") << "no store: no records";

    UseLevels(LL_ERROR);
    m_levels[LS_APP] = LL_INFO;
    EXPECT_FALSE(Util::Thread::SetPriority(none, 0));
    EXPECT_EQ(test::ReadFile(sink), "") << "APP below DEBUG: no records";

    m_levels[LS_APP] = LL_DEBUG;
    EXPECT_FALSE(Util::Thread::SetPriority(none, 7));
    EXPECT_FALSE(Util::Thread::SetPriority(none, -3));
    const std::string text = test::ReadFile(sink);
    const std::string at = ":src\\External\\CUtil.cpp:";
#ifdef _WIN32
    const std::string error = "Error=0x6\n";  // ERROR_INVALID_HANDLE
#else
    const std::string error = "Error=0x3\n";  // ESRCH
#endif
    std::string tails;  // each record from its place field on, in order
    for (std::size_t from = text.find(at); from != std::string::npos; from = text.find(at, from + 1))
        tails += text.substr(from, text.find('\n', from) + 1 - from);
    const std::string refused = at + "652:Util::Thread::SetPriority:" + error;
    EXPECT_EQ(tails, at + "647:Util::Thread::SetPriority:Not handled:7\n" + refused + at
                         + "647:Util::Thread::SetPriority:Not handled:-3\n" + refused);
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 4);
}

TEST_F(ProcessUtil, PriorityOfARealThread)
{
    const auto sink = CaptureSink();
    UseLevels(LL_DEBUG);
    std::promise<void> release;
    std::thread worker([done = release.get_future()]() mutable { done.wait(); });
    EXPECT_TRUE(Util::Thread::SetPriority(worker, 0));
    // Time-critical needs privileges that a test may or may not have: either the system
    // accepts it, or it refuses and the refusal is recorded with the system's error code.
    const bool critical = Util::Thread::SetPriority(worker, 1);
    if (critical) {  // the mapping onto the platform's scheduling: its highest class
#ifdef _WIN32
        EXPECT_EQ(GetThreadPriority(pthread_gethandle(worker.native_handle())), THREAD_PRIORITY_TIME_CRITICAL);
#else
        int policy = -1;
        sched_param param {};
        EXPECT_EQ(pthread_getschedparam(worker.native_handle(), &policy, &param), 0);  // no ASSERT: join first
        EXPECT_EQ(policy, SCHED_FIFO);
        EXPECT_EQ(param.sched_priority, sched_get_priority_max(SCHED_FIFO));
#endif
    }
    release.set_value();
    worker.join();
    const std::string text = test::ReadFile(sink);
    if (critical)
        EXPECT_EQ(text, "");
    else
        EXPECT_NE(text.find(":652:Util::Thread::SetPriority:Error=0x"), std::string::npos) << text;
}

}  // namespace
