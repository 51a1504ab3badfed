// A running host sees a level that pdu-loglevel sets, at its next logging decision.
#include "Fixtures.h"

#include <algorithm>
#include <regex>

namespace {

// A host of its own folders; a guest case plays the scenario of the guest_host program it names.
class Host : public StoreTest, public ::testing::WithParamInterface<const char*> {};

// Also when the store is emptied under it, as editors, scripts and users empty files: the
// host lives on and follows the store again.
TEST_F(Host, SeesALevelChangeWithoutRestart)
{
    const std::string command = test::Quote(PDU_LOGLEVEL);
    const std::string quiet = " 2> " + test::Quote((m_dir.path() / "set.txt").string());
    for (const bool emptied : {false, true}) {
#ifdef _WIN32
        if (emptied)
            break;  // Windows refuses to shrink a file that a process has mapped
#endif
        SCOPED_TRACE(emptied ? "emptied under it" : "as it is");
        PlaceStore("");
        ASSERT_EQ(test::Run(command + " -s GENERAL -l ERROR" + quiet), 0);

        // Stops by itself after its first COMMS record, or after 20 s without one.
        test::Child host(test::Quote(PDULOG_HOST) + " --interval-ms 10 --seconds 20 --until COMMS 2>&1");
        std::string line;
        ASSERT_TRUE(host.ReadLine(line));
        ASSERT_EQ(line, "pdulog-host: running, levels from the shared store");
        if (emptied) {
            test::fs::resize_file(Store(), 0);
            // The host's next decision finds the file empty and writes the default levels back.
            ASSERT_TRUE(test::Eventually([this] { return test::fs::file_size(Store()) == 76; }))
                << "the host never made a decision on the emptied store";
        }

        ASSERT_EQ(test::Run(command + " -s COMMS -l INFO" + quiet), 0);
        std::vector<std::string> lines;
        while (host.ReadLine(line))
            lines.push_back(line);
        EXPECT_EQ(host.Wait(), 0) << "never killed by SIGBUS";
        ASSERT_FALSE(lines.empty());
        EXPECT_TRUE(std::regex_match(
            lines.back(),
            std::regex(std::string(test::kTime) + " INFO   [ 0-9a-f]{5,}:main\\.cpp:\\d+:main:COMMS tick \\d+")))
            << lines.back();
        for (const std::string& earlier : lines)
            EXPECT_TRUE(emptied || earlier.find("GENERAL tick") == std::string::npos) << "GENERAL is at ERROR";
    }
}

// What real hosts do to their guest, a case per scenario (guest_host checks itself).
TEST_P(Host, GuestHoldsUpToWhatHostsDo)
{
    const std::string output = test::Quote((m_dir.path() / "stderr.txt").string());
    EXPECT_EQ(test::Run(test::Quote(GUEST_HOST) + " " + GetParam() + " 2> " + output), 0);
}

const char* const kScenarios[] = {
    "shutdown-while-logging-to-a-file",
    "shutdown-while-logging-to-a-pipe",
    "pipe-after-restart",
    "read-only-store",
    "three-hosts-on-one-init-log",
    "three-hosts-on-a-capped-init-log",
    "end-while-logging",
#ifndef _WIN32
    "blocked-writer",
    "blocked-host-writer",
    "writes-that-cannot-be-made",
    "foreign-descriptors",
    "replaced-store",
    "cancelled-writers",
    "forks",
    "out-of-descriptors",
#endif
};
INSTANTIATE_TEST_SUITE_P(Scenario, Host, ::testing::ValuesIn(kScenarios), [](const auto& scenario) {
    std::string name = scenario.param;
    std::replace(name.begin(), name.end(), '-', '_');
    return name;
});

}  // namespace
