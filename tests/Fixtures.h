// The tests' fixtures. StoreTest: a private per-user data folder and temporary folder, the
// store's paths in them, and another process on the store. LogTest: for tests of the logging
// facility, also closed before and after each test, with the log sink readable as text.
// Command: the built pdu-loglevel run on that store (the programs that have the command).
#pragma once

#include "CLog.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

class StoreTest : public ::testing::Test {
protected:
    test::fs::path AppData() const { return m_dir.path() / "appdata"; }
    test::fs::path Store() const { return test::StoreFileIn(AppData()); }
    std::string StoreBytes() const { return test::ReadFile(Store()); }

    // The store as these bytes, whatever was there before; no store at all for none.
    void PlaceStore(const std::string& bytes)
    {
        test::fs::remove_all(AppData());
        if (bytes.empty())
            return;
        test::fs::create_directories(test::StoreFolder(AppData()));
        test::WriteFile(Store(), bytes);
    }

    // The command line of another process on the store (tests/store_peer.cpp).
    static std::string Peer(const std::string& verb, int slot, int32_t value)
    {
        return test::Quote(STORE_PEER) + " " + verb + " " + std::to_string(slot) + " " + std::to_string(value);
    }

    test::TempDir m_dir;
    test::ScopedEnv m_appData {"APPDATA", AppData().string()};
    test::ScopedEnv m_temp {"TEMP", m_dir.path().string()};
};

class LogTest : public StoreTest {
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

    int32_t m_levels[kLogSubsystemCount] = {};
};

#ifdef PDU_LOGLEVEL
inline const std::string kProgram = PDU_LOGLEVEL;
inline const std::vector<int32_t> kFresh(19, 1);

class Command : public StoreTest {
protected:
    void SetUp() override { test::UnsetEnv("POSIXLY_CORRECT"); }

    // Runs the command; its standard error with each leading timestamp made "TT".
    int Run(const std::vector<std::string>& args)
    {
        std::string raw;
        const int status = test::RunCapturing(kProgram, args, m_dir.path() / "stderr.txt", raw);
        m_stderr = test::MaskTimes(raw);
        return status;
    }

    std::string m_stderr;
};
#endif
