#pragma once

#include <string>
#include <sys/types.h>

namespace testsupport {

// Runs a shell command; returns its exit status (-1 when it could not run or
// was killed) and appends its standard output to *out when given.
int runCommand(const std::string& command, std::string* out = nullptr);

// A PulseAudio daemon private to one test program: its own runtime, home and
// configuration folders under a fresh temporary folder, a socket of its own
// and one null sink "speakers" (description "Speakers") whose monitor
// source is "Monitor of Speakers". The host's sound server is never
// touched.
//
// The constructor starts the daemon, waits until it answers and points
// PULSE_SERVER of this process (and so of its children) at it; the
// destructor restores PULSE_SERVER, stops the daemon by its process id
// (SIGTERM, then SIGKILL) and removes the folder. Create it on the test's
// main thread before any thread of the code under test connects.
class PulseDaemon {
public:
    PulseDaemon();
    ~PulseDaemon();
    PulseDaemon(const PulseDaemon&) = delete;
    PulseDaemon& operator=(const PulseDaemon&) = delete;

    // True when the daemon runs and answered; error() says why not.
    bool ok() const { return m_pid > 0 && m_error.empty(); }
    const std::string& error() const { return m_error; }
    // "unix:/.../native": what PULSE_SERVER is set to.
    const std::string& server() const { return m_server; }
    pid_t pid() const { return m_pid; }
    // The daemon's own log (stderr), for failure messages.
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
    bool waitUntilReady();

    std::string m_dir;
    std::string m_server;
    std::string m_error;
    std::string m_savedServer;
    bool m_hadServer = false;
    pid_t m_pid = -1;
};

}  // namespace testsupport
