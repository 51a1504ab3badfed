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

TEST(PlatformEnvironment, ExpansionReportsTheSizeItNeeds)
{
    test::SetEnv("PDULOG_TEST_VAR", "value");
    test::UnsetEnv("PDULOG_TEST_UNDEFINED");
    const char* text = "[%PDULOG_TEST_VAR%|%PDULOG_TEST_UNDEFINED%|%PDULOG_TEST_VAR%]";
    const std::string expected = "[value|%PDULOG_TEST_UNDEFINED%|value]";
    const std::size_t needed = Platform::ExpandEnvironment(text, nullptr, 0);
    ASSERT_EQ(needed, expected.size() + 1);
    std::string buffer(needed, '#');
    EXPECT_EQ(Platform::ExpandEnvironment(text, &buffer[0], buffer.size()), needed);
    EXPECT_STREQ(buffer.c_str(), expected.c_str());
}

TEST(PlatformClocks, TickCountNeverGoesBack)
{
    const uint64_t first = Platform::TickCountMs();
    const uint64_t second = Platform::TickCountMs();
    EXPECT_LE(first, second);
    EXPECT_NE(Platform::CurrentThreadId(), 0u);
    EXPECT_EQ(Platform::CurrentThreadId(), Platform::CurrentThreadId());
}

}  // namespace
