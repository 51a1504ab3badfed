// CLog::GetLevel and CLog::SetLevel: one slot at a time, in range or not at all.
#include "Fixtures.h"

#include <algorithm>
#include <climits>
#include <iterator>

namespace {

using LevelAccess = LogTest;

TEST_F(LevelAccess, SetsOnlyInRangeAndReadsBackWhatWasSet)
{
    int32_t none = 42;  // without a store: nothing set, nothing read
    EXPECT_FALSE(CLog::GetLevel(LS_GENERAL, none) || CLog::SetLevel(LS_GENERAL, LL_INFO) || none != 42);
    UseLevels(LL_WARN);
    const struct {
        int subsystem;
        int32_t level;
        bool accepted;
    } cases[] = {
        {LS_GENERAL, LL_OFF, true},
        {LS_TIMER, LL_DEBUG3, true},
        {LS_COMMS, LL_ERROR, true},
        {LS_APP, -2, false},
        {LS_APP, 8, false},
        {-1, LL_INFO, false},
        {kLogSubsystemCount, LL_INFO, false},
        {INT32_MIN, LL_INFO, false},
    };
    for (const auto& c : cases) {
        int32_t before[kLogSubsystemCount];
        std::copy(std::begin(m_levels), std::end(m_levels), before);
        EXPECT_EQ(CLog::SetLevel(c.subsystem, c.level), c.accepted) << c.subsystem << " " << c.level;
        int32_t level = 42;
        EXPECT_EQ(CLog::GetLevel(c.subsystem, level), c.accepted || (c.subsystem >= 0 && c.subsystem < 19));
        if (c.accepted) {
            before[c.subsystem] = c.level;
            EXPECT_EQ(level, c.level);
        }
        EXPECT_TRUE(std::equal(std::begin(before), std::end(before), std::begin(m_levels))) << c.subsystem;
    }
}

}  // namespace
