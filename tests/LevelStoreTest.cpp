// The shared level store: its file, its padding, its views, and its lifecycle in one process.
#include "Fixtures.h"

#include "Platform/FileSteps.h"
#include "Platform/Platform.h"

#include <atomic>
#include <csignal>
#include <cstring>
#include <thread>
#include <tuple>

#ifndef _WIN32
#include <sys/resource.h>
#endif

namespace {

namespace Platform = pdulog_detail::Platform;

using test::SlotBytes;

using LevelStore = LogTest;

const std::vector<int32_t> kDefaults(kLogSubsystemCount, 1);

TEST_F(LevelStore, FreshStoreCreatesTheFolderChainAndNineteenWarnSlots)
{
    ASSERT_TRUE(CLog::Init(false));
    ASSERT_NE(CLog::Levels(), nullptr);
    for (int slot = 0; slot < kLogSubsystemCount; ++slot)
        EXPECT_EQ(CLog::Levels()[slot], LL_WARN) << "slot " << slot;
    CLog::Shutdown();
    EXPECT_EQ(test::ReadFile(Store()), SlotBytes(kDefaults));
}

TEST_F(LevelStore, ExistingFileIsPaddedAtTheSizeItHad)
{
    const std::string forty = SlotBytes({7, 6, 5, 4, 3, 2, 1, 0, -1, 100});
    std::string hundred;
    for (int i = 0; i < 100; ++i)
        hundred += static_cast<char>(i);
    const std::tuple<const char*, std::string, std::string> cases[] = {
        // the file before and after
        {"empty", "", SlotBytes(kDefaults)},
        // A slot cut short is padded over from its first byte: no slot is shifted.
        {"6 bytes", "abcdef", "abcd" + SlotBytes(std::vector<int32_t>(18, 1))},
        {"10 bytes", forty.substr(0, 10), forty.substr(0, 8) + SlotBytes(std::vector<int32_t>(17, 1))},
        {"40 bytes", forty, forty + SlotBytes(std::vector<int32_t>(9, 1))},
        {"100 bytes", hundred, hundred},
    };
    for (const auto& [name, before, after] : cases) {
        SCOPED_TRACE(name);
        // A store of its own for each case: on Windows a view given up stays mapped for a
        // while, and a mapped file cannot be rewritten.
        const test::fs::path appData = m_dir.path() / name;
        test::ScopedEnv env("APPDATA", appData.string());
        test::fs::create_directories(test::StoreFolder(appData));
        test::WriteFile(test::StoreFileIn(appData), before);
        ASSERT_TRUE(CLog::Init(false));
        EXPECT_EQ(std::memcmp(CLog::Levels(), after.data(), 76), 0);
        CLog::Shutdown();
        EXPECT_EQ(test::ReadFile(test::StoreFileIn(appData)), after);
    }
}

TEST_F(LevelStore, LevelSetByOneProcessIsSeenInTheOthersExistingView)
{
    ASSERT_TRUE(CLog::Init(false));
    int32_t* view = CLog::Levels();

    ASSERT_EQ(test::Run(Peer("set", LS_CLL, LL_DEBUG)), 0);
    EXPECT_EQ(view[LS_CLL], LL_DEBUG);  // no reopen, no reread of the file

    view[LS_COMMS] = LL_DEBUG2;
    EXPECT_EQ(test::Run(Peer("expect", LS_COMMS, LL_DEBUG2)), 0);
    EXPECT_EQ(test::Run(Peer("expect", LS_COMMS, LL_WARN)), 1);

    CLog::Shutdown();
    const std::string bytes = test::ReadFile(Store());
    EXPECT_EQ(bytes.substr(12, 4), SlotBytes({LL_DEBUG}));
    EXPECT_EQ(bytes.substr(28, 4), SlotBytes({LL_DEBUG2}));
}

TEST_F(LevelStore, InitOnAnOpenStoreMapsAFurtherViewOfTheSameBytes)
{
    ASSERT_TRUE(CLog::Init(false));
    int32_t* first = CLog::Levels();
    ASSERT_TRUE(CLog::Init(false));
    int32_t* second = CLog::Levels();
    EXPECT_NE(first, second);
    second[LS_VCI] = LL_DEBUG3;
    EXPECT_EQ(first[LS_VCI], LL_DEBUG3);
}

TEST_F(LevelStore, CloseAndShutdownReleaseOnceAndAgainDoNothing)
{
    ASSERT_TRUE(CLog::Init(true));
    CLog::CloseLevelStore();
    CLog::CloseLevelStore();
    EXPECT_EQ(CLog::Levels(), nullptr);
    CLog::Shutdown();
    CLog::Shutdown();
    // Closed means closed: the next Init opens the file again. Nothing of the init log
    // outlives the shut-down: a stream that is the sink now goes back unclosed.
    ASSERT_TRUE(CLog::Init(false));
    EXPECT_EQ(CLog::Levels()[0], LL_WARN);
    std::FILE* file = std::fopen((m_dir.path() / "after.log").string().c_str(), "wb");
    CLog(file).Header(LL_ERROR, LS_GENERAL) << "after";
    EXPECT_EQ(CLog::SetPipe(stderr), file);
    std::fclose(file);
}

TEST_F(LevelStore, ExternalLevelsReplaceTheStoreUntilReleased)
{
    ASSERT_TRUE(CLog::Init(false));
    CLog::Levels()[LS_APP] = LL_INFO;

    int32_t host[kLogSubsystemCount] = {};
    CLog::UseExternalLevels(host);
    EXPECT_EQ(CLog::Levels(), host);

    // The store is closed, and nothing while external opens one, not even where there is
    // none yet. (Elsewhere: on Windows the closed store's view stays mapped for a while,
    // and a mapped file cannot be removed.)
    const test::fs::path elsewhere = m_dir.path() / "elsewhere";
    test::ScopedEnv appData("APPDATA", elsewhere.string());
    CLog::CloseLevelStore();
    EXPECT_EQ(CLog::Levels(), host);
    EXPECT_TRUE(CLog::Init(false));
    EXPECT_TRUE(CLog::OpenLevelStore());
    EXPECT_EQ(CLog::Levels(), host);
    EXPECT_FALSE(test::fs::exists(test::StoreFileIn(elsewhere)));

    int32_t other[kLogSubsystemCount] = {};
    CLog::UseExternalLevels(other);
    EXPECT_EQ(CLog::Levels(), other);

    CLog::ReleaseExternalLevels();
    EXPECT_EQ(CLog::Levels(), nullptr);
    ASSERT_TRUE(CLog::Init(false));
    EXPECT_TRUE(test::fs::exists(test::StoreFileIn(elsewhere)));
    EXPECT_EQ(CLog::Levels()[LS_APP], LL_WARN);
}

TEST_F(LevelStore, ExternalNullArrayIsNoStore)
{
    CLog::UseExternalLevels(nullptr);
    EXPECT_FALSE(CLog::Init(false));
    EXPECT_FALSE(test::fs::exists(Store()));
}

TEST_F(LevelStore, FileThatCannotBeCreatedIsReportedOnStandardError)
{
    // A regular file stands where a folder of the path must go.
    test::fs::create_directories(AppData());
    test::WriteFile(test::StoreTopFolder(AppData()), "not a folder");
    ::testing::internal::CaptureStderr();
    EXPECT_FALSE(CLog::Init(false));
    const std::string text = ::testing::internal::GetCapturedStderr();
    EXPECT_EQ(CLog::Levels(), nullptr);
    const std::string prefix = "CLog failed to initialise - ";
    ASSERT_GT(text.size(), prefix.size() + 1);
    EXPECT_EQ(text.substr(0, prefix.size()), prefix);
    EXPECT_EQ(text.back(), '\n');
    EXPECT_EQ(text.find('\n'), text.size() - 1);
}

TEST_F(LevelStore, ShutdownWritesTheClosingRecordOnlyForExternalLevels)
{
    // Own store at DEBUG3: released before the gate is asked, so no record.
    ASSERT_TRUE(CLog::Init(false));
    CLog::Levels()[LS_GENERAL] = LL_DEBUG3;
    const auto own = CaptureSink("own.log");
    CLog::Shutdown();
    EXPECT_EQ(test::ReadFile(own), "");
    EXPECT_EQ(CLog::Levels(), nullptr);

    UseLevels(LL_INFO);
    const auto external = CaptureSink("external.log");
    CLog::Shutdown();
    const std::string text = test::ReadFile(external);
    EXPECT_NE(text.find(":src\\External\\CLog.cpp:454:CLog::Shutdown:Closing log file\n"), std::string::npos) << text;

    // The sink was closed and reset: the next record picks a new one.
    const auto next = test::fs::path(m_dir.path() / "next.log");
    std::FILE* file = std::fopen(next.string().c_str(), "wb");
    CLog(file).Header(LL_ERROR, LS_GENERAL) << "after";
    CLog::Shutdown();  // closes it
    EXPECT_NE(test::ReadFile(next).find(" ERROR  after\n"), std::string::npos);
}

// ---- the store inside a host: closed descriptors, truncation, threads, locks, size ----

TEST_F(LevelStore, NoFileOfTheFacilityTakesAClosedStandardDescriptor)
{
    {
        const test::ClosedDescriptor closed(0);
        ASSERT_TRUE(CLog::Init(true));  // the store, its mapping and the init log
        EXPECT_FALSE(test::DescriptorIsOpen(0));
        CLog::Shutdown();
    }
    EXPECT_EQ(test::ReadFile(Store()), SlotBytes(kDefaults));
}

TEST_F(LevelStore, ShutdownKeepsTheHostsStandardErrorAndClosesItsOwnSinks)
{
    UseLevels(LL_DEBUG3);
    const auto path = m_dir.path() / "pipe.log";
    std::FILE* pipe = std::fopen(path.string().c_str(), "wb");
    ASSERT_NE(pipe, nullptr);
    ::testing::internal::CaptureStderr();
    CLog(stderr).Header(LL_ERROR, LS_GENERAL) << "to the host's stream";
    // Standard error is the host's: no move hands it back for the caller to close.
    EXPECT_EQ(CLog::SetInitLogFile(false), nullptr);
    CLog::SetPipe(stderr);
    EXPECT_EQ(CLog::SetPipe(pipe), nullptr);
    EXPECT_EQ(CLog::SetPipe(stderr), pipe);
    CLog::Shutdown();
    EXPECT_TRUE(test::DescriptorIsOpen(2));
    EXPECT_GE(std::fputs("still writable\n", stderr), 0);
    const std::string captured = ::testing::internal::GetCapturedStderr();
    EXPECT_NE(captured.find("to the host's stream\n"), std::string::npos);
    EXPECT_NE(captured.find("still writable\n"), std::string::npos);

    // A stream handed over is the facility's to close.
    CLog::SetPipe(pipe);
    const int pipeFd = fileno(pipe);
    CLog::Shutdown();
    EXPECT_FALSE(test::DescriptorIsOpen(pipeFd));
}

// A host reads the gate from three threads while the main thread shuts the facility down
// and starts it again: a reader that took the old pointer must still read valid memory.
TEST_F(LevelStore, ShutdownUnderReadingThreadsNeverFaults)
{
#ifdef _WIN32
    constexpr int kCycles = 2000;  // every cycle is an open and a mapping under wine
#else
    constexpr int kCycles = 20000;
#endif
    ASSERT_TRUE(CLog::Init(false));
    std::atomic<bool> stop {false};
    std::atomic<long> admitted {0};
    std::vector<std::thread> readers;
    for (int i = 0; i < 3; ++i)
        readers.emplace_back([&stop, &admitted] {
            long count = 0;
            while (!stop.load(std::memory_order_relaxed))
                count += CLog::Enabled(LL_WARN, LS_COMMS) ? 1 : 0;
            admitted += count;
        });
    for (int cycle = 0; cycle < kCycles; ++cycle) {
        CLog::Shutdown();
        ASSERT_TRUE(CLog::Init(false));
    }
    stop = true;
    for (std::thread& reader : readers)
        reader.join();
    EXPECT_TRUE(CLog::Enabled(LL_WARN, LS_COMMS));
}

TEST_F(LevelStore, ViewOutlivesItsFileBeingEmptied)
{
    ASSERT_TRUE(CLog::Init(false));  // a restart: the view below may take the address this one gives up
    CLog::Shutdown();
    ASSERT_TRUE(CLog::Init(false));
    CLog::Levels()[LS_COMMS] = LL_DEBUG;
    std::error_code error;
    test::fs::resize_file(Store(), 0, error);
#ifdef _WIN32
    // Windows refuses to shrink a file that a process has mapped.
    EXPECT_TRUE(error);
    EXPECT_EQ(test::ReadFile(Store()).size(), 76u);
    EXPECT_TRUE(CLog::Enabled(LL_DEBUG, LS_COMMS));
#else
    ASSERT_FALSE(error);
    // The next decision finds the file empty: it is padded again and the view follows it.
    EXPECT_TRUE(CLog::Enabled(LL_WARN, LS_COMMS));
    EXPECT_FALSE(CLog::Enabled(LL_NOTICE, LS_COMMS));
    EXPECT_EQ(test::ReadFile(Store()), SlotBytes(kDefaults));
    ASSERT_EQ(test::Run(Peer("set", LS_COMMS, LL_DEBUG2)), 0);
    EXPECT_TRUE(CLog::Enabled(LL_DEBUG2, LS_COMMS));

    // When the file cannot grow, the view reads the defaults instead, and the process lives.
    test::fs::resize_file(Store(), 0);
    struct rlimit saved {};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
    struct rlimit none = saved;
    none.rlim_cur = 0;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &none), 0);
    const bool warn = CLog::Enabled(LL_WARN, LS_COMMS);
    const bool notice = CLog::Enabled(LL_NOTICE, LS_COMMS);
    CLog::Shutdown();
    test::WriteFile(Store(), "");  // and a start on a store it cannot pad fails instead of growing it
    const bool started = CLog::Init(false);
    setrlimit(RLIMIT_FSIZE, &saved);
    EXPECT_TRUE(warn);
    EXPECT_FALSE(notice);
    EXPECT_FALSE(started);
    EXPECT_EQ(test::ReadFile(Store()), "");
#endif
}

#ifndef _WIN32
TEST_F(LevelStore, HandlerLeavesEveryOtherSignalToTheHost)
{
    // Sent, not a fault of ours: the default ends the process, an ignoring host lives on,
    // whatever flags it ignores with. A real fault elsewhere ends it as it would without us.
    const int bySigbus = 128 + SIGBUS;  // as the shell reports it
    const struct {
        const char* peer;
        int status;
    } cases[] = {
        {"raise 0 0", bySigbus},
        {"raise 0 1", 0},
        {"fault 0 0", bySigbus},
        {"fault 0 1", bySigbus},
    };
    for (const auto& c : cases) {
        const int status = test::Run("exec " + test::Quote(STORE_PEER) + " " + c.peer);
        EXPECT_TRUE(status == c.status || (status == -1 && c.status == bySigbus)) << c.peer << ": " << status;
    }
    EXPECT_EQ(test::Run("trap '' BUS; exec " + test::Quote(STORE_PEER) + " raise 0 0"), 0);
}

TEST_F(LevelStore, EveryViewOfARepeatedStartSurvivesTheFileBeingEmptied)
{
    std::vector<int32_t*> views;
    for (int start = 0; start < 100; ++start) {
        ASSERT_TRUE(CLog::Init(false));
        views.push_back(CLog::Levels());
    }
    test::fs::resize_file(Store(), 0);
    for (int32_t* view : views)
        EXPECT_EQ(static_cast<volatile int32_t*>(view)[LS_TIMER], LL_WARN);
    CLog::Shutdown();  // gives every one of them up: none reads the store any more
    for (int32_t* view : views)
        EXPECT_EQ(static_cast<volatile int32_t*>(view)[LS_TIMER], LL_OFF);
}
#endif

TEST_F(LevelStore, LockHeldByAnotherProcessDelaysAStartOnlyBriefly)
{
    // Another open file description stands for another process holding the padding lock.
    const std::vector<int32_t> set = {0, 2, 3, 4};
    PlaceStore(SlotBytes(set));
    const int holder = Platform::OpenExisting(Store().string());
    ASSERT_NE(holder, -1);
    ASSERT_TRUE(Platform::TryLockFile(holder));

    // A short store is not padded without the lock: no level can be lost, and no view.
    EXPECT_FALSE(CLog::Init(false));
    EXPECT_EQ(test::ReadFile(Store()), SlotBytes(set));
    CLog::Shutdown();

    // A whole store needs no lock at all.
    std::vector<int32_t> whole(19, 1);
    whole[LS_VCI] = LL_DEBUG1;
    ASSERT_TRUE(Platform::Seek(holder, 0));
    ASSERT_TRUE(Platform::Write(holder, SlotBytes(whole).data(), 76));
    EXPECT_TRUE(CLog::Init(false));
    EXPECT_TRUE(CLog::Enabled(LL_DEBUG1, LS_VCI));
    Platform::UnlockFile(holder);
    Platform::Close(holder);
}

TEST_F(LevelStore, StoreOverFourGigabytesKeepsItsLevels)
{
    PlaceStore(SlotBytes({LL_DEBUG, LL_INFO}));
    const std::uintmax_t size = (std::uintmax_t(1) << 32) + 8;  // 8 in its low 32 bits
    std::error_code error;
    test::fs::resize_file(Store(), size, error);
    if (error)
        GTEST_SKIP() << "no room for a sparse file here: " << error.message();
    ASSERT_TRUE(CLog::Init(false));
    CLog::Shutdown();
    EXPECT_EQ(test::fs::file_size(Store()), size);
    EXPECT_EQ(test::ReadPrefix(Store(), 76), SlotBytes({LL_DEBUG, LL_INFO}) + std::string(68, '\0'));
}

}  // namespace
