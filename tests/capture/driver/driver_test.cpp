// The "Tavra Audio" installer scripts against a private PulseAudio daemon,
// with configuration written only under the test's private HOME.

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>

#include "privatehome.h"
#include "pulsedaemon.h"

namespace {

struct Result {
    int status = -1;
    std::string out;
    std::string err;
};

std::string ReadText(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

bool Exists(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0;
}

// Runs a shell command with this process's environment (PULSE_SERVER
// included); standard error is collected through a file.
Result Shell(const std::string& command) {
    Result r;
    char errPath[] = "/tmp/drivertest-err-XXXXXX";
    const int fd = ::mkstemp(errPath);
    if (fd < 0) {
        return r;
    }
    ::close(fd);
    FILE* pipe = ::popen((command + " 2>" + errPath).c_str(), "r");
    if (pipe != nullptr) {
        char buffer[4096];
        std::size_t n = 0;
        while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) {
            r.out.append(buffer, n);
        }
        const int status = ::pclose(pipe);
        r.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
    r.err = ReadText(errPath);
    ::unlink(errPath);
    return r;
}

std::string Script(const char* name) {
    return std::string(std::getenv("TUNECAP_BIN_DIR")) + "/driver/" + name;
}

std::string ConfigHome() { return std::getenv("XDG_CONFIG_HOME"); }
std::string PulseFile() { return ConfigHome() + "/pulse/default.pa"; }

// Description of source `name` in "pactl list sources", or "".
std::string SourceDescription(const std::string& name) {
    const Result r = Shell("LC_ALL=C pactl list sources");
    std::stringstream lines(r.out);
    std::string line;
    bool inSource = false;
    while (std::getline(lines, line)) {
        const auto start = line.find_first_not_of(" \t");
        const std::string text = start == std::string::npos ? "" : line.substr(start);
        if (text.rfind("Name: ", 0) == 0) {
            inSource = text.substr(6) == name;
        } else if (inSource && text.rfind("Description: ", 0) == 0) {
            return text.substr(13);
        }
    }
    return "";
}

class DriverTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(m_pulse.ok()) << m_pulse.error();
        const std::string home = std::getenv("HOME");
        ASSERT_EQ(ConfigHome().rfind(home, 0), 0u) << "config home is not the private HOME";
    }
    void TearDown() override {
        testsupport::removeTree(ConfigHome() + "/pulse");
        testsupport::removeTree(ConfigHome() + "/pipewire");
    }

    std::string Modules() { return Shell("pactl list short modules").out; }
    std::string Sources() { return Shell("pactl list short sources").out; }

    testsupport::PulseDaemon m_pulse;
};

TEST_F(DriverTest, InstallLoadsTheSinkNowAndForEveryStart) {
    const Result r = Shell(Script("tavra-audio-install"));
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(Sources().find("tavra_audio.monitor"), std::string::npos) << Sources();
    EXPECT_EQ(SourceDescription("tavra_audio.monitor"), "Monitor of Tavra Audio");

    // The user had no start-up file: the system one is included first.
    const std::string config = ReadText(PulseFile());
    const auto include = config.find(".include /etc/pulse/default.pa\n");
    const auto load = config.find("\nload-module module-null-sink sink_name=tavra_audio ");
    ASSERT_NE(include, std::string::npos) << config;
    ASSERT_NE(load, std::string::npos) << config;
    EXPECT_LT(include, load);

    // The stored line loads a sink that keeps its description with its space.
    const std::string line = config.substr(load + 1, config.find('\n', load + 1) - load - 1);
    ASSERT_EQ(Shell("pactl unload-module module-null-sink").status, 0);
    ASSERT_EQ(Sources().find("tavra_audio"), std::string::npos);
    std::string args = line.substr(std::string("load-module module-null-sink ").size());
    std::string quoted = "'";
    for (char c : args) {
        quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    }
    ASSERT_EQ(Shell("pactl load-module module-null-sink " + quoted + "'").status, 0) << line;
    EXPECT_EQ(SourceDescription("tavra_audio.monitor"), "Monitor of Tavra Audio");
}

TEST_F(DriverTest, SecondInstallChangesNothing) {
    ASSERT_EQ(Shell(Script("tavra-audio-install")).status, 0);
    const std::string modules = Modules();
    const std::string config = ReadText(PulseFile());
    const Result again = Shell(Script("tavra-audio-install"));
    EXPECT_EQ(again.status, 0) << again.err;
    EXPECT_EQ(Modules(), modules);
    EXPECT_EQ(ReadText(PulseFile()), config);
}

TEST_F(DriverTest, UninstallRemovesWhatInstallAdded) {
    ASSERT_EQ(Shell(Script("tavra-audio-install")).status, 0);
    const Result r = Shell(Script("tavra-audio-uninstall"));
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(Sources().find("tavra_audio"), std::string::npos) << Sources();
    EXPECT_EQ(Modules().find("tavra_audio"), std::string::npos);
    EXPECT_FALSE(Exists(PulseFile())) << ReadText(PulseFile());
    EXPECT_NE(Sources().find("speakers.monitor"), std::string::npos);
}

TEST_F(DriverTest, UserLinesSurviveInstallAndUninstall) {
    const std::string mine =
        ".include /etc/pulse/default.pa\nload-module module-echo-cancel\n# my own setting";
    ASSERT_EQ(Shell("mkdir -p '" + ConfigHome() + "/pulse'").status, 0);
    {
        std::ofstream(PulseFile()) << mine;  // no newline at the end
    }
    ASSERT_EQ(Shell(Script("tavra-audio-install")).status, 0);
    const std::string installed = ReadText(PulseFile());
    EXPECT_EQ(installed.rfind(mine + "\n", 0), 0u) << installed;
    EXPECT_EQ(installed.find(".include", 1), std::string::npos) << "system file included twice";
    EXPECT_NE(installed.find("sink_name=tavra_audio"), std::string::npos);

    ASSERT_EQ(Shell(Script("tavra-audio-uninstall")).status, 0);
    EXPECT_EQ(ReadText(PulseFile()), mine + "\n");
    EXPECT_EQ(Shell(Script("tavra-audio-uninstall")).status, 0);
    EXPECT_EQ(ReadText(PulseFile()), mine + "\n");
}

TEST_F(DriverTest, InstallWithoutAServerFailsAndWritesNothing) {
    // A server address where nothing listens; never the host's server.
    const Result r = Shell("PULSE_SERVER=\"unix:$HOME/no-server/native\" " +
                         Script("tavra-audio-install"));
    EXPECT_NE(r.status, 0);
    EXPECT_NE(r.err.find("tavra-audio-install:"), std::string::npos) << r.err;
    EXPECT_FALSE(Exists(PulseFile()));
    EXPECT_FALSE(Exists(ConfigHome() + "/pipewire"));
}

// A stand-in for pactl that answers as pipewire-pulse does and keeps the
// loaded modules in a file, so the PipeWire branch runs without PipeWire.
TEST(DriverPipeWire, InstallWritesADropInAndUninstallRemovesIt) {
    const std::string bin = testsupport::makeTempDir("fakepactl");
    const std::string state = bin + "/modules";
    {
        std::ofstream fake(bin + "/pactl");
        fake << "#!/bin/sh\n"
                "state='" << state << "'\n"
                "touch \"$state\"\n"
                "case \"$1 $2\" in\n"
                "'info '*) echo 'Server Name: PulseAudio (on PipeWire 0.3.65)' ;;\n"
                "'list short') if [ \"$3\" = modules ]; then cat \"$state\"; "
                "elif grep -q tavra_audio \"$state\"; then printf '7\\ttavra_audio\\tx\\n'; fi ;;\n"
                "'load-module '*) shift; printf '536870913\\t%s\\t%s\\n' \"$1\" \"$2\" >>\"$state\"; "
                "echo 536870913 ;;\n"
                "'unload-module '*) grep -v \"^$2\t\" \"$state\" >\"$state.new\"; "
                "mv \"$state.new\" \"$state\" ;;\n"
                "*) exit 1 ;;\n"
                "esac\n";
    }
    ASSERT_EQ(::chmod((bin + "/pactl").c_str(), 0755), 0);
    const std::string path = "PATH='" + bin + "':\"$PATH\" ";
    const std::string dropIn = ConfigHome() + "/pipewire/pipewire-pulse.conf.d/tavra-audio.conf";

    Result r = Shell(path + Script("tavra-audio-install"));
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(ReadText(state).find("module-null-sink\tsink_name=tavra_audio sink_properties="
                                   "'device.description=\"Tavra Audio\"'"),
              std::string::npos)
        << ReadText(state);
    const std::string conf = ReadText(dropIn);
    EXPECT_NE(conf.find("cmd = \"load-module\" args = \"module-null-sink sink_name=tavra_audio "
                        "sink_properties='device.description=\\\"Tavra Audio\\\"'\""),
              std::string::npos)
        << conf;
    EXPECT_FALSE(Exists(PulseFile()));

    const std::string modules = ReadText(state);
    ASSERT_EQ(Shell(path + Script("tavra-audio-install")).status, 0);
    EXPECT_EQ(ReadText(state), modules);
    EXPECT_EQ(ReadText(dropIn), conf);

    r = Shell(path + Script("tavra-audio-uninstall"));
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(ReadText(state), "");
    EXPECT_FALSE(Exists(dropIn));
    testsupport::removeTree(bin);
}

}  // namespace
