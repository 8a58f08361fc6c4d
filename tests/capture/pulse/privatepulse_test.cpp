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

namespace {

// The PipeWire flavour: four processes on a private session bus, a default
// "Speakers" sink at PipeWire's float32 48 kHz, and nothing left running once
// it is stopped.
TEST(PrivatePipeWireTest, ServesThePulseProtocolAndStopsEveryProcess) {
    std::string socket;
    {
        testsupport::PulseDaemon server(testsupport::SoundServer::PipeWire);
        ASSERT_TRUE(server.ok()) << server.error();
        const pid_t pid = server.pid();
        socket = server.server().substr(5);

        std::string info;
        ASSERT_EQ(server.pactl("info", &info), 0);
        EXPECT_NE(info.find("on PipeWire"), std::string::npos) << info;
        EXPECT_NE(info.find("Default Sink: speakers"), std::string::npos) << info;
        std::string sinks;
        server.pactl("list short sinks", &sinks);
        EXPECT_NE(sinks.find("float32le 2ch 48000Hz"), std::string::npos) << sinks;

        server.stop();
        EXPECT_NE(kill(pid, 0), 0) << "pipewire-pulse still runs";
        const char* now = std::getenv("PULSE_SERVER");
        EXPECT_TRUE(now == nullptr || std::string(now) != "unix:" + socket);
    }
    EXPECT_FALSE(std::filesystem::exists(socket));
}

}  // namespace
