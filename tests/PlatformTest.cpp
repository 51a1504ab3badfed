// The platform layer alone: store files, mappings and views, and what each failure reports.
#include "Platform/FileSteps.h"
#include "Platform/Platform.h"

#include "Fixtures.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <functional>
#include <iterator>
#include <tuple>

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#include <share.h>
#include <stdlib.h>
#define WIN32_LEAN_AND_MEAN
#define NOGDI
#include <windows.h>
#endif

namespace {

namespace Platform = pdulog_detail::Platform;

TEST(PlatformMapping, FileShorterThanTheViewIsNeverMapped)
{
    test::TempDir dir;
    const auto path = dir.path() / "short.bin";
    test::WriteFile(path, std::string(40, '\1'));
    const int fd = Platform::OpenExisting(path.string());
    ASSERT_NE(fd, -1);
    Platform::MappingHandle mapping = Platform::CreateMapping(fd, Platform::MapAccess::kWrite);
    const std::string padding(76, '\0');
    if (mapping != nullptr) {
        EXPECT_EQ(Platform::MapView(mapping, 76, padding.data()), nullptr);
        void* view = Platform::MapView(mapping, 40, padding.data());
        ASSERT_NE(view, nullptr);
        EXPECT_EQ(static_cast<unsigned char*>(view)[39], 1);
        Platform::RetireView(view, 40, padding.data());
        Platform::CloseMapping(mapping);
    }
    Platform::Close(fd);
}

#ifndef _WIN32
// A fault that no padding explains (here: a page past the end of a file that is not
// empty; elsewhere a hole a full disk cannot fill) must not be retried for ever.
TEST(PlatformMapping, FaultThatPaddingCannotMendEndsInTheDefaults)
{
    test::TempDir dir;
    const auto path = dir.path() / "two-pages.bin";
    const std::size_t size = 2 * 65536;  // two pages on every page size in use
    test::WriteFile(path, std::string(size, '\1'));
    const std::string padding(size, '\7');
    const int fd = Platform::OpenExisting(path.string());
    ASSERT_NE(fd, -1);
    Platform::MappingHandle mapping = Platform::CreateMapping(fd, Platform::MapAccess::kWrite);
    ASSERT_NE(mapping, nullptr);
    void* view = Platform::MapView(mapping, size, padding.data());
    ASSERT_NE(view, nullptr);
    EXPECT_TRUE(Platform::ViewFollowsFile(view));
    test::fs::resize_file(path, 100);
    EXPECT_EQ(static_cast<volatile char*>(view)[size - 1], '\7');
    EXPECT_FALSE(Platform::ViewFollowsFile(view));
    Platform::RetireView(view, size, padding.data());
    Platform::CloseMapping(mapping);
    Platform::Close(fd);
}
#endif

TEST(PlatformFiles, OpenWithoutCreateFailsOnAMissingFile)
{
    test::TempDir dir;
    const auto path = (dir.path() / "missing.bin").string();
    EXPECT_EQ(Platform::OpenExisting(path), -1);
    const int fd = Platform::OpenCreating(path);
    ASSERT_NE(fd, -1);
    uint64_t size = 99;
    EXPECT_TRUE(Platform::FileSize(fd, size));
    EXPECT_EQ(size, 0u);
    EXPECT_TRUE(Platform::Write(fd, "abcd", 4));
    EXPECT_TRUE(Platform::Seek(fd, 1));
    EXPECT_TRUE(Platform::Write(fd, "Z", 1));
    Platform::Close(fd);
    EXPECT_EQ(test::ReadFile(path), "aZcd");
}

// A caller tells the causes apart by errno: the same number on every platform.
TEST(PlatformFiles, FailuresSetTheErrorNumberOfTheirCause)
{
    test::TempDir dir;
    const std::string existing = (dir.path() / "existing").string();
    test::WriteFile(existing, "x");
    const std::string tooLong = (dir.path() / std::string(300, 'n')).string();
    const std::string inMissingFolder = (dir.path() / "none" / "file").string();
    std::string failed;
    struct Case {
        const char* name;
        std::function<bool()> fails;
        int error;
    };
    const Case cases[] = {
        {"missing file", [&] { return Platform::OpenExisting(existing + "2") == -1; }, ENOENT},
        {"missing folder", [&] { return Platform::OpenForReading(inMissingFolder) == -1; }, ENOENT},
        {"name too long", [&] { return Platform::OpenCreating(tooLong) == -1; }, ENAMETOOLONG},
        {"folder name too long", [&] { return !Platform::CreateFolderChain(tooLong, failed); }, ENAMETOOLONG},
        {"whole file too long", [&] { return Platform::CreateStoreFile(tooLong, "y", 1) == -1; }, ENAMETOOLONG},
    };
    for (const Case& c : cases) {
        errno = 0;
        EXPECT_TRUE(c.fails()) << c.name;
        EXPECT_EQ(errno, c.error) << c.name;
    }
#ifdef _WIN32
    // Another program holds the file and lets no one else in.
    int holder = -1;
    ASSERT_EQ(::_sopen_s(&holder, existing.c_str(), _O_RDONLY, _SH_DENYRW, 0), 0);
    errno = 0;
    EXPECT_EQ(Platform::OpenExisting(existing), -1);
    EXPECT_EQ(errno, EACCES);
    ::_close(holder);
#endif
}

// A store another process made meanwhile is opened as it is, never replaced; a new one
// appears with its contents, and no draft of it stays beside it.
TEST(PlatformFiles, StoreIsOpenedAsItIsOrMadeWhole)
{
    test::TempDir dir;
    const std::string existing = (dir.path() / "existing").string();
    test::WriteFile(existing, "x");
    const std::string missing = (dir.path() / "missing").string();
    for (const std::string& path : {existing, missing}) {
        Platform::StoreAccess access = Platform::StoreAccess::kReadOnly;
        const int fd = Platform::OpenOrCreateStore(path, "defaults", 8, access);
        ASSERT_NE(fd, -1) << path;
        EXPECT_EQ(access, Platform::StoreAccess::kReadWrite) << path;
        Platform::Close(fd);
    }
    EXPECT_EQ(test::ReadFile(existing), "x");
    EXPECT_EQ(test::ReadFile(missing), "defaults");
    EXPECT_EQ(std::distance(test::fs::directory_iterator(dir.path()), test::fs::directory_iterator()), 2);
}

TEST(PlatformFolders, ChainIsCreatedAndAnExistingOneIsFine)
{
    test::TempDir dir;
    const auto deep = dir.path() / "a" / "b" / "c";
    std::string failed;
    EXPECT_TRUE(Platform::CreateFolderChain(deep.string(), failed));
    EXPECT_TRUE(test::fs::is_directory(deep));
    EXPECT_TRUE(Platform::CreateFolderChain(deep.string(), failed));
    // A file in the chain's way is the folder that could not be made, not the one asked for.
    test::WriteFile(dir.path() / "a" / "file", "in the way");
    EXPECT_FALSE(Platform::CreateFolderChain((dir.path() / "a" / "file" / "d" / "e").string(), failed));
    EXPECT_EQ(test::fs::path(failed), dir.path() / "a" / "file");
}

std::string Expanded(const char* text)
{
    const std::size_t needed = Platform::ExpandEnvironment(text, nullptr, 0);
    std::string buffer(needed, '#');
    EXPECT_EQ(Platform::ExpandEnvironment(text, &buffer[0], buffer.size()), needed);
    EXPECT_EQ(buffer.back(), '\0');
    return buffer.substr(0, needed - 1);
}

// The POSIX expansion gives what ExpandEnvironmentStringsA gives: both builds run this table.
TEST(PlatformEnvironment, ExpansionAsWindowsDoesIt)
{
    test::ScopedEnv value("PDULOG_TEST_VAR", "v\\w");
    test::UnsetEnv("PDULOG_TEST_UNDEFINED");
    const std::pair<const char*, const char*> cases[] = {
        {"[%PDULOG_TEST_VAR%|%PDULOG_TEST_UNDEFINED%|%PDULOG_TEST_VAR%]", "[v\\w|%PDULOG_TEST_UNDEFINED%|v\\w]"},
        {"%PDULOG_TEST_UNDEFINED%PDULOG_TEST_VAR%", "%PDULOG_TEST_UNDEFINED%PDULOG_TEST_VAR%"},
        {"%%PDULOG_TEST_VAR%", "%%PDULOG_TEST_VAR%"},
        {"%PDULOG_TEST_VAR%%PDULOG_TEST_VAR%", "v\\wv\\w"},
        {"100% %PDULOG_TEST_VAR", "100% %PDULOG_TEST_VAR"},
        {"", ""},
    };
    for (const auto& c : cases)
        EXPECT_EQ(Expanded(c.first), c.second) << c.first;
}

#ifndef _WIN32
// Unset, empty and relative values are passed over alike, in the order the README gives.
TEST(PlatformEnvironment, FoldersFallBackInOrder)
{
    struct Case {
        const char* values[3];
        const char* expected;
    };
    const char* const perUser[] = {"APPDATA", "XDG_CONFIG_HOME", "HOME"};
    const Case perUserCases[] = {
        {{"/a", "/x", "/h"}, "/a"},
        {{nullptr, "/x", "/h"}, "/x"},
        {{"rel", "/x", "/h"}, "/x"},
        {{"", "rel", "/h"}, "/h/.config"},
        {{"rel", nullptr, "rel"}, "%APPDATA%"},
        {{nullptr, nullptr, nullptr}, "%APPDATA%"},
    };
    const char* const temporary[] = {"TEMP", "TMPDIR", "PDULOG_TEST_UNUSED"};
    const Case temporaryCases[] = {
        {{"/t", "/d", nullptr}, "/t"},
        {{nullptr, "/d", nullptr}, "/d"},
        {{"", "", nullptr}, "/tmp"},
    };
    const auto check = [](const char* const(&names)[3], const Case& c, const char* reference) {
        test::ScopedEnv saved[] = {{names[0], ""}, {names[1], ""}, {names[2], ""}};
        for (int i = 0; i < 3; ++i) {
            if (c.values[i] != nullptr)
                test::SetEnv(names[i], c.values[i]);
            else
                test::UnsetEnv(names[i]);
        }
        EXPECT_EQ(Expanded(reference), c.expected) << reference << " " << (c.values[0] ? c.values[0] : "-");
    };
    for (const Case& c : perUserCases)
        check(perUser, c, "%APPDATA%");
    for (const Case& c : temporaryCases)
        check(temporary, c, "%TEMP%");
}
#endif

// A per-user folder or TEMP that the ANSI code page cannot name (a user name in Chinese on
// a Western Windows) holds the store and the init log all the same.
class NonAnsiFolders : public LogTest {
protected:
    static void SetFolder(const char* name, const test::fs::path& folder)
    {
#ifdef _WIN32
        ASSERT_EQ(::_wputenv_s(test::fs::path(name).wstring().c_str(), folder.wstring().c_str()), 0);
#else
        test::SetEnv(name, folder.string());
#endif
    }
};

TEST_F(NonAnsiFolders, HoldTheStoreAndTheInitLog)
{
    const test::fs::path folder = m_dir.path() / test::fs::u8path(u8"\u6e29\u5ea6");
    test::fs::create_directory(folder);
    test::ScopedEnv temp("TEMP", "");
    SetFolder("APPDATA", folder);
    SetFolder("TEMP", folder);
    ASSERT_TRUE(CLog::Init(true));
    CLog::Levels()[LS_COMMS] = LL_DEBUG;
    CLog(stderr).Header(LL_ERROR, LS_GENERAL) << "in the init log";
    CLog::Shutdown();
    EXPECT_EQ(test::ReadFile(test::StoreFileIn(folder)).substr(28, 4), test::SlotBytes({LL_DEBUG}));
    EXPECT_NE(test::ReadFile(test::InitLog(folder)).find(" ERROR  in the init log"), std::string::npos);

    // The public name stays in the ANSI code page, as it always was.
    std::string name;
    ASSERT_TRUE(CLog::GetLogFileName(name));
#ifdef _WIN32
    const std::wstring wide = test::LogFile(folder).wstring();
    char ansi[1024] = {};
    const bool exact = ::GetACP() == CP_UTF8;
    ::WideCharToMultiByte(CP_ACP, exact ? 0 : WC_NO_BEST_FIT_CHARS, wide.c_str(), -1, ansi, sizeof ansi,
                          exact ? nullptr : "?", nullptr);
    EXPECT_EQ(name, ansi);
#else
    EXPECT_EQ(name, test::LogFile(folder).string());
#endif
}

// A 32-bit build keeps a 64-bit time: a record's time of day past 2038 is the one a 64-bit
// build shows. Both instants are 12:00 UTC in January, so any zone gives both one time of day.
TEST(PlatformClock, TimeOfDayPastTheYear2038)
{
    int hour[2] = {}, minute[2] = {}, second[2] = {};
    ASSERT_TRUE(Platform::LocalTimeOfDay(1768478400, hour[0], minute[0], second[0]));  // 2026-01-15
    ASSERT_TRUE(Platform::LocalTimeOfDay(4293000000, hour[1], minute[1], second[1]));  // 2106-01-15
    EXPECT_EQ(std::make_tuple(hour[1], minute[1], second[1]), std::make_tuple(hour[0], minute[0], second[0]));
}

}  // namespace
