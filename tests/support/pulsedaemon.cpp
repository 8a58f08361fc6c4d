#include "pulsedaemon.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <fstream>
#include <iterator>
#include <sstream>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

#include "privatehome.h"

extern char** environ;

namespace testsupport {
namespace {

void writeFile(const std::string& path, const std::string& text) {
    std::ofstream f(path, std::ios::binary | std::ios::trunc);
    f << text;
}

// Waits up to `timeout` for `pid` to end; true when it has been reaped.
bool reapWithin(pid_t pid, std::chrono::milliseconds timeout) {
    const auto until = std::chrono::steady_clock::now() + timeout;
    for (;;) {
        int status = 0;
        const pid_t r = waitpid(pid, &status, WNOHANG);
        if (r == pid || (r < 0 && errno == ECHILD)) return true;
        if (std::chrono::steady_clock::now() >= until) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
}

}  // namespace

SoundServer defaultSoundServer() {
    const char* kind = std::getenv("TUNECAP_TEST_SOUND_SERVER");
    return kind && std::string(kind) == "pipewire" ? SoundServer::PipeWire
                                                   : SoundServer::PulseAudio;
}

PulseDaemon::PulseDaemon(SoundServer kind) : m_kind(kind) {
    m_dir = makeTempDir(kind == SoundServer::PipeWire ? "tunecap-pipewire" : "tunecap-pulse");
    const std::string runtime = m_dir + "/run";
    const std::string home = m_dir + "/home";
    const std::string config = m_dir + "/config";
    for (const std::string& d : {runtime, home, config, config + "/pulse", m_dir + "/state"})
        mkdir(d.c_str(), 0700);
    m_env = {"HOME=" + home,
             "XDG_RUNTIME_DIR=" + runtime,
             "XDG_CONFIG_HOME=" + config,
             "XDG_STATE_HOME=" + m_dir + "/state",
             "PULSE_RUNTIME_PATH=" + runtime + "/pulse",
             "PULSE_STATE_PATH=" + runtime + "/state",
             "PATH=/usr/bin:/bin:/usr/sbin:/sbin",
             "LANG=C"};
    writeFile(config + "/pulse/client.conf", "autospawn = no\n");

    const char* old = std::getenv("PULSE_SERVER");
    m_hadServer = old != nullptr;
    if (old) m_savedServer = old;

    if (kind == SoundServer::PipeWire)
        startPipeWire();
    else
        startPulseAudio();
    if (m_pid <= 0) {
        if (m_error.empty()) m_error = "the server did not start: " + log();
        return;
    }
    setenv("PULSE_SERVER", m_server.c_str(), 1);
    if (!waitUntilReady()) {
        if (m_error.empty()) m_error = "the server did not answer: " + log();
        return;
    }
    if (kind == SoundServer::PipeWire) {
        // pipewire-pulse starts with a dummy output only; the null sink is
        // loaded through the protocol, as a user's module would be.
        std::string out;
        bool made = shell("pactl load-module module-null-sink sink_name=speakers "
                          "sink_properties=device.description=Speakers 2>&1",
                          &out) == 0;
        // The sink appears a moment after the module was loaded; until then
        // it cannot become the default. Even once the request is taken, the
        // session manager settles the default a moment later: the server is
        // ready when it names "speakers" itself.
        bool isDefault = false;
        for (int attempt = 0; made && !isDefault && attempt < 200; ++attempt) {
            std::string now;
            isDefault = shell("pactl set-default-sink speakers 2>&1", &out) == 0 &&
                        shell("pactl get-default-sink 2>&1", &now) == 0 &&
                        now.substr(0, now.find_last_not_of("\n") + 1) == "speakers";
            if (!isDefault) std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
        if (!made || !isDefault)
            m_error = "the speakers sink could not be made (" + out + "): " + log();
    }
}

void PulseDaemon::startPulseAudio() {
    const std::string socket = m_dir + "/run/native";
    m_server = "unix:" + socket;
    // Only what the tests need: a private socket and one null sink standing
    // in for the speakers. No D-Bus, udev, suspend-on-idle or autospawn.
    writeFile(m_dir + "/default.pa",
              "load-module module-native-protocol-unix auth-anonymous=1 socket=" + socket + "\n"
              "load-module module-null-sink sink_name=speakers "
              "sink_properties=device.description=Speakers\n"
              "set-default-sink speakers\n");
    writeFile(m_dir + "/config/pulse/daemon.conf",
              "exit-idle-time = -1\nflat-volumes = no\nrealtime-scheduling = no\n"
              "high-priority = no\n");
    m_pid = spawn({"/usr/bin/pulseaudio", "-n", "-F", m_dir + "/default.pa", "--daemonize=no",
                   "--disallow-exit", "--exit-idle-time=-1", "--use-pid-file=false",
                   "--log-target=stderr", "--realtime=no", "--high-priority=no",
                   "--no-cpu-limit"},
                  "daemon.log");
}

void PulseDaemon::startPipeWire() {
    const std::string runtime = m_dir + "/run";
    m_server = "unix:" + runtime + "/pulse/native";
    // wireplumber and pipewire-pulse talk over a session bus; a private one
    // keeps them away from the host's.
    const std::string bus = "unix:path=" + runtime + "/bus";
    if (spawn({"/usr/bin/dbus-daemon", "--session", "--nofork", "--nopidfile", "--address=" + bus},
              "dbus.log") < 0)
        return;
    m_env.push_back("DBUS_SESSION_BUS_ADDRESS=" + bus);
    // Each waits for the socket of the one before: wireplumber gives up at
    // once (status 69) when pipewire does not answer yet.
    if (!waitForSocket(runtime + "/bus", "the private session bus")) return;
    if (spawn({"/usr/bin/pipewire"}, "pipewire.log") < 0) return;
    if (!waitForSocket(runtime + "/pipewire-0", "pipewire")) return;
    if (spawn({"/usr/bin/wireplumber"}, "wireplumber.log") < 0) return;
    m_pid = spawn({"/usr/bin/pipewire-pulse"}, "daemon.log");
}

bool PulseDaemon::waitForSocket(const std::string& path, const char* what) {
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    struct stat st {};
    while (stat(path.c_str(), &st) != 0) {
        if (std::chrono::steady_clock::now() >= until) {
            m_error = std::string(what) + " did not start: " + log();
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return true;
}

pid_t PulseDaemon::spawn(const std::vector<std::string>& args, const std::string& log) {
    std::vector<std::string> argStore = args, envStore = m_env;
    std::vector<char*> argv, envp;
    for (auto& a : argStore) argv.push_back(a.data());
    argv.push_back(nullptr);
    for (auto& e : envStore) envp.push_back(e.data());
    envp.push_back(nullptr);
    const std::string logPath = m_dir + "/" + log;

    const pid_t pid = fork();
    if (pid < 0) {
        m_error = "fork failed";
        return -1;
    }
    if (pid == 0) {
        const int fd = open(logPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        if (fd >= 0) {
            dup2(fd, 1);
            dup2(fd, 2);
            close(fd);
        }
        const int nul = open("/dev/null", O_RDONLY);
        if (nul >= 0) dup2(nul, 0);
        execve(argv[0], argv.data(), envp.data());
        _exit(127);
    }
    m_pids.push_back(pid);
    return pid;
}

PulseDaemon::~PulseDaemon() {
    stop();
    removeTree(m_dir);
}

void PulseDaemon::stop() {
    for (auto it = m_pids.rbegin(); it != m_pids.rend(); ++it) {
        kill(*it, SIGTERM);
        if (!reapWithin(*it, std::chrono::seconds(3))) {
            kill(*it, SIGKILL);
            reapWithin(*it, std::chrono::seconds(3));
        }
    }
    const bool wasRunning = !m_pids.empty();
    m_pids.clear();
    m_pid = -1;
    if (wasRunning) {
        if (m_hadServer)
            setenv("PULSE_SERVER", m_savedServer.c_str(), 1);
        else
            unsetenv("PULSE_SERVER");
    }
}

bool PulseDaemon::waitUntilReady() {
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(15);
    while (std::chrono::steady_clock::now() < until) {
        int status = 0;
        for (const pid_t pid : m_pids) {
            if (waitpid(pid, &status, WNOHANG) == pid) {
                m_error = "server process " + std::to_string(pid) + " ended with status " +
                          std::to_string(status) + ": " + log();
                m_pids.erase(std::find(m_pids.begin(), m_pids.end(), pid));
                stop();
                return false;
            }
        }
        if (pactl("info") == 0) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return false;
}

std::string PulseDaemon::log() const {
    std::stringstream s;
    for (const char* name : {"dbus.log", "pipewire.log", "wireplumber.log", "daemon.log"}) {
        std::ifstream f(m_dir + "/" + name);
        // (An empty file would leave s failed, hiding the logs after it.)
        if (f) s << "[" << name << "]\n" << std::string(std::istreambuf_iterator<char>(f), {}) << "\n";
    }
    return s.str();
}

int runCommand(const std::string& command, std::string* out) {
    FILE* p = popen(command.c_str(), "r");
    if (!p) return -1;
    char buf[4096];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, p)) > 0)
        if (out) out->append(buf, n);
    const int status = pclose(p);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

int PulseDaemon::shell(const std::string& command, std::string* out) const {
    return runCommand("PULSE_SERVER='" + m_server + "' " + command + (out ? "" : " >/dev/null") +
                          " 2>/dev/null",
                      out);
}

int PulseDaemon::pactl(const std::string& args, std::string* out) const {
    return shell("pactl " + args, out);
}

std::string PulseDaemon::recordingSource() const {
    std::string outputs, sources;
    pactl("list short source-outputs", &outputs);
    pactl("list short sources", &sources);
    std::istringstream streams(outputs);
    std::string stream, sourceIndex;
    if (!(streams >> stream >> sourceIndex)) return {};
    std::istringstream list(sources);
    for (std::string line; std::getline(list, line);) {
        std::istringstream fields(line);
        std::string index, name;
        if (fields >> index >> name && index == sourceIndex) return name;
    }
    return {};
}

}  // namespace testsupport
