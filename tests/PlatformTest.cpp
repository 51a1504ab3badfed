#include "Platform/Platform.h"

#include "TestSupport.h"

#include <gtest/gtest.h>

#include <cstring>

namespace {

TEST(PlatformMapping, FileShorterThanTheViewIsNeverMapped)
{
    test::TempDir dir;
    const auto path = dir.path() / "short.bin";
    test::WriteFile(path, std::string(40, '\1'));
    const int fd = Platform::OpenShared(path.string(), false);
    ASSERT_NE(fd, -1);
    Platform::MappingHandle mapping = Platform::CreateMapping(fd);
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
    const int fd = Platform::OpenShared(path.string(), false);
    ASSERT_NE(fd, -1);
    Platform::MappingHandle mapping = Platform::CreateMapping(fd);
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
    EXPECT_EQ(Platform::OpenShared(path, false), -1);
    const int fd = Platform::OpenShared(path, true);
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

TEST(PlatformFolders, ChainIsCreatedAndAnExistingOneIsFine)
{
    test::TempDir dir;
    const auto deep = dir.path() / "a" / "b" / "c";
    EXPECT_TRUE(Platform::CreateFolderChain(deep.string()));
    EXPECT_TRUE(test::fs::is_directory(deep));
    EXPECT_TRUE(Platform::CreateFolderChain(deep.string()));
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
    const auto check = [](const char* const (&names)[3], const Case& c, const char* reference) {
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

TEST(PlatformClocks, TickCountNeverGoesBack)
{
    const uint64_t first = Platform::TickCountMs();
    const uint64_t second = Platform::TickCountMs();
    EXPECT_LE(first, second);
    EXPECT_NE(Platform::CurrentThreadId(), 0u);
    EXPECT_EQ(Platform::CurrentThreadId(), Platform::CurrentThreadId());
}

}  // namespace
