// A compile-time floor: sites more verbose than PDULOG_ACTIVE_LEVEL are compiled out,
// whatever the store admits.
#define PDULOG_ACTIVE_LEVEL LL_INFO
#include "Fixtures.h"

namespace {

using RecordFloor = LogTest;

TEST_F(RecordFloor, SitesAboveTheFloorAreGoneAndTheRestAreGated)
{
    UseLevels(LL_DEBUG3);
    const auto sink = CaptureSink();
    int evaluated = 0;
    auto field = [&evaluated] { return ++evaluated; };
    PDULOG(LL_DEBUG, LS_GENERAL) << "debug " << field();
    PDULOG(LL_DEBUG3, LS_GENERAL) << "debug3 " << field();
    PDULOG(LL_INFO, LS_GENERAL) << "info " << field();
    EXPECT_EQ(evaluated, 1);
    const std::string text = test::ReadFile(sink);
    EXPECT_EQ(text.find("debug"), std::string::npos) << text;
    EXPECT_NE(text.find(":info 1\n"), std::string::npos) << text;
}

}  // namespace
