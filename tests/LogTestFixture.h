// A fixture for tests of the logging facility: a private per-user data folder, the
// facility closed before and after each test, and the log sink readable as text.
#pragma once

#include "CLog.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

class LogTest : public ::testing::Test {
protected:
    void SetUp() override { Reset(); }

    void TearDown() override { Reset(); }

    static void Reset()
    {
        CLog::ReleaseExternalLevels();
        CLog::Shutdown();
    }

    // Makes a fresh file of this test's folder the log sink and returns its path.
    test::fs::path CaptureSink(const std::string& name = "sink.log")
    {
        const test::fs::path path = m_dir.path() / name;
        std::FILE* file = std::fopen(path.string().c_str(), "wb");
        EXPECT_NE(file, nullptr);
        CLog::SetPipe(file);
        return path;
    }

    // Levels supplied by the test instead of the store: every slot at `level`.
    void UseLevels(int32_t level)
    {
        for (int32_t& slot : m_levels)
            slot = level;
        CLog::UseExternalLevels(m_levels);
    }

    test::TempDir m_dir;
    test::ScopedEnv m_appData {"APPDATA", m_dir.path().string()};
    int32_t m_levels[kLogSubsystemCount] = {};
};
