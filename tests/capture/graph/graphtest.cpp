#include "graphtest.h"

#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>

#include "../writers/pcmtest.h"
#include "pulse/pulseconnection.h"
#include "waitfor.h"

extern char** environ;

namespace graphtest {

namespace {

void Put16(std::ofstream& out, uint16_t v) { out.write(reinterpret_cast<const char*>(&v), 2); }
void Put32(std::ofstream& out, uint32_t v) { out.write(reinterpret_cast<const char*>(&v), 4); }

}  // namespace

void WriteToneWav(const std::string& path, int rate, double seconds, double amplitude, double hz) {
    const auto frames = static_cast<size_t>(rate * seconds);
    const std::vector<int16_t> pcm = pcmtest::sine(hz, rate, 2, frames, amplitude);
    const auto bytes = static_cast<uint32_t>(pcm.size() * 2);
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write("RIFF", 4);
    Put32(out, 36 + bytes);
    out.write("WAVEfmt ", 8);
    Put32(out, 16);
    Put16(out, 1);
    Put16(out, 2);
    Put32(out, static_cast<uint32_t>(rate));
    Put32(out, static_cast<uint32_t>(rate) * 4);
    Put16(out, 4);
    Put16(out, 16);
    out.write("data", 4);
    Put32(out, bytes);
    out.write(reinterpret_cast<const char*>(pcm.data()), bytes);
}

int SourceTap::Start(const std::string& sourceName) {
    capdev::PulseConnection pulse;
    std::vector<capdev::PulseSource> sources;
    if (const int err = pulse.connect("graph test", 5000)) return err;
    if (const int err = pulse.listSources(&sources, 5000)) return err;
    for (unsigned i = 0; i < sources.size(); ++i) {
        if (sources[i].name == sourceName) {
            m_input.SetSink(&SourceTap::Sink, this);
            const int err = m_input.Open(i);
            return err != 0 ? err : m_input.Start();
        }
    }
    return PA_ERR_NOENTITY;
}

std::vector<int16_t> SourceTap::Take() {
    std::lock_guard<std::mutex> lock(m_mutex);
    std::vector<int16_t> out;
    out.swap(m_pcm);
    return out;
}

std::vector<int16_t> SourceTap::Peek() {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_pcm;
}

size_t SourceTap::Size() {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_pcm.size();
}

bool SourceTap::Listen(double seconds) {
    const size_t until = Size() + static_cast<size_t>(seconds * m_rate) * 2;
    return testsupport::WaitFor([&] { return Size() >= until; });
}

void SourceTap::Sink(int code, unsigned bytes, const void* data, void* owner) {
    if (code != capdev::kSinkAudio) return;
    auto* me = static_cast<SourceTap*>(owner);
    const auto* p = static_cast<const int16_t*>(data);
    std::lock_guard<std::mutex> lock(me->m_mutex);
    me->m_pcm.insert(me->m_pcm.end(), p, p + bytes / 2);
}

void GraphTest::SetUp() {
    ASSERT_TRUE(m_pulse.ok()) << m_pulse.error();
    m_tonePath = std::string(std::getenv("HOME")) + "/tone.wav";
}

void GraphTest::TearDown() { std::remove(m_tonePath.c_str()); }

void GraphTest::InstallTavra() {
    const std::string installer = std::string(std::getenv("TUNECAP_BIN_DIR")) + "/driver/tavra-audio-install";
    std::string out;
    ASSERT_EQ(m_pulse.shell("'" + installer + "' 2>&1", &out), 0) << out;
}

std::string GraphTest::ServerDefault() {
    std::string out;
    EXPECT_EQ(m_pulse.pactl("get-default-sink", &out), 0);
    while (!out.empty() && (out.back() == '\n' || out.back() == ' ')) out.pop_back();
    return out;
}

void GraphTest::PlayTone(double seconds) {
    WriteToneWav(m_tonePath, 44100, seconds);
    std::string out;
    EXPECT_EQ(m_pulse.shell("paplay '" + m_tonePath + "' 2>&1", &out), 0) << out;
}

std::string RunAndKillCrashChild(const std::string& folder, const std::string& application) {
    const std::string child = std::string(std::getenv("TUNECAP_BIN_DIR")) + "/graphcrashchild";
    int out[2];
    if (::pipe(out) != 0) return "pipe failed";
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
    posix_spawn_file_actions_addclose(&actions, out[0]);
    char* argv[] = {const_cast<char*>(child.c_str()), const_cast<char*>(folder.c_str()),
                    application.empty() ? nullptr : const_cast<char*>(application.c_str()), nullptr};
    pid_t pid = -1;
    const int spawned = ::posix_spawn(&pid, child.c_str(), &actions, nullptr, argv, environ);
    posix_spawn_file_actions_destroy(&actions);
    ::close(out[1]);
    if (spawned != 0) {
        ::close(out[0]);
        return "spawn failed";
    }
    char line[64] = {};
    const ssize_t got = ::read(out[0], line, sizeof line - 1);
    ::close(out[0]);
    ::kill(pid, SIGKILL);
    int status = 0;
    ::waitpid(pid, &status, 0);
    return got > 0 ? std::string(line, static_cast<size_t>(got)) : std::string();
}

int UnloadSink(const testsupport::PulseDaemon& pulse, const std::string& sinkName) {
    std::string modules;
    if (pulse.pactl("list short modules", &modules) != 0) return -1;
    const auto found = modules.find("sink_name=" + sinkName);
    if (found == std::string::npos) return -1;
    const auto line = modules.rfind('\n', found);
    const auto start = line == std::string::npos ? 0 : line + 1;
    return pulse.pactl("unload-module " + modules.substr(start, modules.find('\t', start) - start));
}

::testing::AssertionResult HasTone(const std::vector<int16_t>& pcm, int rate) {
    const int peak = Peak(pcm);
    if (peak < 4000) return ::testing::AssertionFailure() << "peak only " << peak << " in " << pcm.size() << " samples";
    const double hz = pcmtest::frequency(pcm.data(), pcm.size() / 2, 2, rate);
    if (std::fabs(hz - kToneHz) > 20) return ::testing::AssertionFailure() << "frequency " << hz;
    return ::testing::AssertionSuccess();
}

int Peak(const std::vector<int16_t>& pcm) { return pcmtest::peak(pcm.data(), pcm.size()); }

bool PlayedOut(const std::vector<int16_t>& pcm, int rate) {
    size_t loud = pcm.size();
    while (loud > 0 && std::abs(pcm[loud - 1]) < 2000) --loud;
    return loud > 0 && pcm.size() - loud >= static_cast<size_t>(rate / 10) * 2;
}

}  // namespace graphtest
