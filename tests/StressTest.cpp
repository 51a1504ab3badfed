// Crowds of processes on one store: first starts racing each other, writers racing
// readers. Each process is a real child; nothing sleeps, every child is waited for.
#include "Fixtures.h"

#include <algorithm>
#include <iterator>
#include <memory>

namespace {

using test::SlotBytes;

#ifdef _WIN32
constexpr int kRounds = 1;  // every process is a wine start: one round says enough there
#else
constexpr int kRounds = 5;
#endif

using Stress = StoreTest;

TEST_F(Stress, RacingFirstStartsNeverLoseALevelThatWasSet)
{
    const int32_t values[8] = {0, 2, 3, 4, 5, 6, 7, -1};
    for (int round = 0; round < kRounds; ++round) {
        test::fs::remove_all(AppData());
        std::vector<std::unique_ptr<test::Child>> children;
        for (int i = 0; i < 40; ++i) {
            // The setters are spread among the openers.
            const bool setter = i % 5 == 4;
            const int slot = 10 + i / 5;
            children.push_back(
                std::make_unique<test::Child>(setter ? Peer("set", slot, values[i / 5]) : Peer("open", 0, 0)));
        }
        for (std::size_t i = 0; i < children.size(); ++i)
            ASSERT_EQ(children[i]->Wait(), 0) << "round " << round;

        std::vector<int32_t> expected(19, 1);
        for (int s = 0; s < 8; ++s)
            expected[10 + s] = values[s];
        EXPECT_EQ(StoreBytes(), SlotBytes(expected)) << "round " << round;
    }
}

TEST_F(Stress, WritersAndListersNeverSeeATornOrLostLevel)
{
    ASSERT_EQ(test::Run(Peer("open", 0, 0)), 0);
    const std::string list = test::Quote(PDU_LOGLEVEL) + " 2>&1";
    std::vector<std::unique_ptr<test::Child>> writers, listers;
    for (int slot = 0; slot < 16; ++slot)
        writers.push_back(std::make_unique<test::Child>(Peer("loop", slot, 1000)));
    for (int i = 0; i < 8; ++i)
        listers.push_back(std::make_unique<test::Child>(list));

    const std::string valid[]
        = {" ERROR  ", " WARN   ", " NOTICE ", " INFO   ", " DEBUG  ", " DEBUG1 ", " DEBUG2 ", " DEBUG3 "};
    for (auto& lister : listers) {
        std::vector<std::string> levels;
        std::string line;
        while (lister->ReadLine(line)) {
            const std::size_t colon = line.find(" :");
            if (!line.empty() && line[0] == '\t' && colon != std::string::npos)
                levels.push_back(line.substr(colon + 2));
        }
        const int status = lister->Wait();
        EXPECT_EQ(status, 0);
        EXPECT_EQ(levels.size(), 19u);
        for (const std::string& level : levels)
            EXPECT_NE(std::find(std::begin(valid), std::end(valid), level), std::end(valid)) << level;
    }
    for (int slot = 0; slot < 16; ++slot)
        ASSERT_EQ(writers[slot]->Wait(), 0);

    std::vector<int32_t> expected(19, 1);
    for (int slot = 0; slot < 16; ++slot)
        expected[slot] = (1000 - 1) % 8;
    EXPECT_EQ(StoreBytes(), SlotBytes(expected));
}

}  // namespace
