// The private-pulse script that shell-driven tests use.
#include <gtest/gtest.h>

#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <sstream>

#include "pulsedaemon.h"

namespace {

TEST(PrivatePulseScriptTest, StartsAPrivateDaemonAndStopsItByPid) {
    const std::string script = std::string(std::getenv("TUNECAP_TEST_SUPPORT_DIR")) + "/private-pulse";
    std::string out;
    ASSERT_EQ(testsupport::runCommand("'" + script + "' start", &out), 0) << out;
    std::istringstream words(out);
    std::string server;
    pid_t pid = 0;
    words >> server >> pid;
    ASSERT_EQ(server.rfind("unix:", 0), 0u) << out;
    ASSERT_GT(pid, 0);
    const std::string socket = server.substr(5);
    EXPECT_TRUE(std::filesystem::exists(socket));

    std::string sources;
    EXPECT_EQ(testsupport::runCommand("PULSE_SERVER='" + server + "' pactl list short sinks", &sources), 0);
    EXPECT_NE(sources.find("speakers"), std::string::npos) << sources;

    // Only a daemon the script started is stopped.
    EXPECT_NE(testsupport::runCommand("'" + script + "' stop " + std::to_string(getpid()) + " 2>/dev/null"), 0);
    EXPECT_EQ(kill(getpid(), 0), 0);

    ASSERT_EQ(testsupport::runCommand("'" + script + "' stop " + std::to_string(pid)), 0);
    EXPECT_NE(testsupport::runCommand("PULSE_SERVER='" + server + "' pactl info >/dev/null 2>&1"), 0);
    EXPECT_FALSE(std::filesystem::exists(socket));
}

}  // namespace
