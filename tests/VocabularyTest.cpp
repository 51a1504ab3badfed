// The level and subsystem vocabulary: texts, names and the parsers' fragments.
#include "Fixtures.h"

namespace {

using Vocabulary = LogTest;

TEST(VocabularyText, LevelTextsAreTheEightCharacterTags)
{
    const char* tags[]
        = {" ERROR  ", " WARN   ", " NOTICE ", " INFO   ", " DEBUG  ", " DEBUG1 ", " DEBUG2 ", " DEBUG3 "};
    for (int level = 0; level < kLogLevelCount; ++level)
        EXPECT_STREQ(CLog::LevelText(level), tags[level]);
    EXPECT_STREQ(CLog::LevelText(-1), "OFF");
    for (const int invalid : {8, -2, 100, INT32_MIN, INT32_MAX})
        EXPECT_STREQ(CLog::LevelText(invalid), "Invalid Level") << invalid;
}

TEST(VocabularyText, SubsystemNamesInTableOrder)
{
    const char* names[]
        = {"GENERAL", "APP",   "MODULE",   "CLL",        "COP",      "TSTRPRS", "COMPARAM", "COMMS", "VCI",  "VEHTX",
           "VEHRX",   "PRTCL", "PRTCLPHY", "PRTCLTRANS", "PRTCLAPP", "USER1",   "EXCEPT",   "DATA",  "TIMER"};
    for (int subsystem = 0; subsystem < kLogSubsystemCount; ++subsystem)
        EXPECT_STREQ(CLog::SubsystemText(subsystem), names[subsystem]);
    EXPECT_EQ(CLog::SubsystemText(19), nullptr);
    EXPECT_EQ(CLog::SubsystemText(-1), nullptr);
}

TEST_F(Vocabulary, LevelNameFragmentsResolveToTheFirstTagContainingThemElseToDebug)
{
    const auto sink = CaptureSink();
    const std::pair<std::string, int> cases[] = {
        {"ERROR", 0},  {"WARN", 1}, {"NOTICE", 2}, {"INFO", 3},     {"DEBUG", 4},  {"DEBUG1", 5},  {"DEBUG2", 6},
        {"DEBUG3", 7}, {"ERR", 0},  {"E", 0},      {"O", 0},        {" ", 0},      {"", 0},        {"N", 1},
        {"I", 2},      {"T", 2},    {"C", 2},      {"INFO ", 3},    {"INFO  ", 3}, {"INFO   ", 3}, {"BUG", 4},
        {"G", 4},      {"1", 5},    {"3", 7},      {" DEBUG3 ", 7},
    };
    for (const auto& [name, level] : cases)
        EXPECT_EQ(CLog::LevelFromName(name), level) << "'" << name << "'";
    EXPECT_EQ(test::ReadFile(sink), "") << "a recognised name makes no diagnostic";

    const char* unknown[] = {"debug", "WARNING", "OFF", "0", "DEBUG3  ", "  ERROR"};
    std::string expected;
    for (const char* name : unknown) {
        EXPECT_EQ(CLog::LevelFromName(name), LL_DEBUG) << name;
        expected += std::string("TT WARN   Unknown logging level '") + name + "'. Using DEBUG level as default.\n";
    }
    EXPECT_EQ(test::MaskTimes(test::ReadFile(sink)), expected);
}

TEST_F(Vocabulary, SubsystemNamesMatchExactly)
{
    const auto sink = CaptureSink();
    for (int subsystem = 0; subsystem < kLogSubsystemCount; ++subsystem)
        EXPECT_EQ(CLog::SubsystemFromName(CLog::SubsystemText(subsystem)), subsystem);
    EXPECT_EQ(test::ReadFile(sink), "");

    const std::string unknown[] = {"comms", "COMM", "COMMS ", " COMMS", "", "COMMSX"};
    std::string expected;
    for (const std::string& name : unknown) {
        EXPECT_EQ(CLog::SubsystemFromName(name), LS_GENERAL) << "'" << name << "'";
        expected += "TT WARN   Unknown subsystem '" + name + "'. Using GENERAL subsystem as default.\n";
    }
    EXPECT_EQ(test::MaskTimes(test::ReadFile(sink)), expected);
}

TEST_F(Vocabulary, DiagnosticsIgnoreTheGate)
{
    // No store at all, then a store whose GENERAL slot is OFF: the diagnostic still comes.
    const auto sink = CaptureSink();
    CLog::SubsystemFromName("FOO");
    UseLevels(LL_OFF);
    CLog::LevelFromName("BAR");
    const std::string text = test::ReadFile(sink);
    EXPECT_NE(text.find("Unknown subsystem 'FOO'"), std::string::npos);
    EXPECT_NE(text.find("Unknown logging level 'BAR'"), std::string::npos);
}

TEST_F(Vocabulary, FirstDiagnosticMakesStandardErrorTheSink)
{
    // With no sink yet, the record picks the stream it was made on: standard error.
    ::testing::internal::CaptureStderr();
    CLog::SubsystemFromName("FOO");
    EXPECT_EQ(test::MaskTimes(::testing::internal::GetCapturedStderr()),
              "TT WARN   Unknown subsystem 'FOO'. Using GENERAL subsystem as default.\n");
    CaptureSink();  // never let Shutdown close the real standard error stream
}

}  // namespace
