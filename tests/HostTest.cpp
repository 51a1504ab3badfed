// A running host sees a level that pdu-loglevel sets, at its next logging decision.
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <regex>

namespace {

TEST(Host, SeesALevelChangeWithoutRestart)
{
    test::TempDir dir;
    test::ScopedEnv appData("APPDATA", (dir.path() / "appdata").string());
    const std::string command = test::Quote(PDU_LOGLEVEL);
    ASSERT_EQ(test::Run(command + " -s GENERAL -l ERROR 2> " + test::Quote((dir.path() / "set.txt").string())), 0);

    // Stops by itself after its first COMMS record, or after a minute without one.
    test::Child host(test::Quote(PDULOG_HOST) + " --interval-ms 10 --seconds 60 --until COMMS 2>&1");
    std::string line;
    ASSERT_TRUE(host.ReadLine(line));
    ASSERT_EQ(line, "pdulog-host: running, levels from the shared store");

    ASSERT_EQ(test::Run(command + " -s COMMS -l INFO 2> " + test::Quote((dir.path() / "set.txt").string())), 0);

    std::vector<std::string> lines;
    while (host.ReadLine(line))
        lines.push_back(line);
    EXPECT_EQ(host.Wait(), 0);
    ASSERT_FALSE(lines.empty());
    EXPECT_TRUE(std::regex_match(lines.back(), std::regex(
        "\\d\\d:\\d\\d:\\d\\d\\.\\d{3} INFO   [ 0-9a-f]{5,}:examples\\\\host\\\\main\\.cpp:3:main:COMMS tick \\d+")))
        << lines.back();
    for (const std::string& earlier : lines)
        EXPECT_EQ(earlier.find("GENERAL tick"), std::string::npos) << "GENERAL is at ERROR";
}

}  // namespace
