#pragma once

#include <string>
#include <sys/types.h>
#include <vector>

namespace testsupport {

// Runs a shell command; returns its exit status (-1 when it could not run or
// was killed) and appends its standard output to *out when given.
int runCommand(const std::string& command, std::string* out = nullptr);

// Which sound server a PulseDaemon runs. Both speak the PulseAudio protocol;
// PipeWire is what most desktops run now (pipewire, wireplumber and
// pipewire-pulse on a private D-Bus session bus), with float32 48 kHz devices.
enum class SoundServer { PulseAudio, PipeWire };

// The server a default-constructed PulseDaemon runs: PipeWire when the
// environment variable TUNECAP_TEST_SOUND_SERVER is "pipewire", else
// PulseAudio. Lets the whole suite run once on each.
SoundServer defaultSoundServer();

// A sound server private to one test program: its own runtime, home and
// configuration folders under a fresh temporary folder, a socket of its own
// and one null sink "speakers" (description "Speakers", the default sink)
// whose monitor source is "Monitor of Speakers". The host's sound server is
// never touched.
//
// The constructor starts the server, waits until it answers and points
// PULSE_SERVER of this process (and so of its children) at it; the
// destructor restores PULSE_SERVER, stops every process of the server by its
// process id (SIGTERM, then SIGKILL) and removes the folder. Create it on
// the test's main thread before any thread of the code under test connects.
class PulseDaemon {
public:
    explicit PulseDaemon(SoundServer kind = defaultSoundServer());
    ~PulseDaemon();
    PulseDaemon(const PulseDaemon&) = delete;
    PulseDaemon& operator=(const PulseDaemon&) = delete;

    // True when the daemon runs and answered; error() says why not.
    bool ok() const { return m_pid > 0 && m_error.empty(); }
    SoundServer kind() const { return m_kind; }
    const std::string& error() const { return m_error; }
    // "unix:/.../native": what PULSE_SERVER is set to.
    const std::string& server() const { return m_server; }
    // The process that serves the PulseAudio protocol (pulseaudio, or
    // pipewire-pulse).
    pid_t pid() const { return m_pid; }
    // The server's own logs (stderr), for failure messages.
    std::string log() const;

    // Runs "pactl <args>" against this daemon; returns its exit status and
    // stores its standard output in *out when given.
    int pactl(const std::string& args, std::string* out = nullptr) const;
    // Runs a shell command with PULSE_SERVER pointing at this daemon.
    int shell(const std::string& command, std::string* out = nullptr) const;
    // Name of the source that the first record stream of this daemon reads
    // from; empty when no stream records.
    std::string recordingSource() const;

    // Stops the daemon now (as the destructor does). Safe to call twice.
    void stop();

private:
    void startPulseAudio();
    void startPipeWire();
    // Starts one process of the server with the private environment; its
    // output goes to <folder>/<log>. Returns its pid, or -1.
    pid_t spawn(const std::vector<std::string>& args, const std::string& log);
    bool waitUntilReady();
    // Waits up to 10 s for a socket file; false (with the error set) when
    // it does not appear.
    bool waitForSocket(const std::string& path, const char* what);

    SoundServer m_kind;
    std::vector<std::string> m_env;
    // Every process of the server in start order; stopped in reverse.
    std::vector<pid_t> m_pids;
    std::string m_dir;
    std::string m_server;
    std::string m_error;
    std::string m_savedServer;
    bool m_hadServer = false;
    pid_t m_pid = -1;
};

}  // namespace testsupport
