// The command's level and subsystem names, as its listing and its sets show them.
#include "LevelNames.h"

#include <gtest/gtest.h>

namespace {

TEST(LevelNames, NumbersAsTheCommandShowsThem)
{
    EXPECT_EQ(LevelName(-1), "OFF");
    EXPECT_EQ(LevelName(4), " DEBUG  ");
    EXPECT_EQ(LevelName(0), " ERROR  ");
    EXPECT_EQ(LevelName(8), "Invalid Level");
    EXPECT_EQ(LevelName(-2), "Invalid Level");
    EXPECT_EQ(SubsystemName(0), "GENERAL");
    EXPECT_EQ(SubsystemName(18), "TIMER");
    EXPECT_EQ(SubsystemName(19), "Invalid SubSys");
    EXPECT_EQ(SubsystemName(-1), "Invalid SubSys");
}

}  // namespace
