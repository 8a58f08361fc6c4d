#include "pulsedaemon.h"

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <fstream>
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

PulseDaemon::PulseDaemon() {
    m_dir = makeTempDir("tunecap-pulse");
    const std::string runtime = m_dir + "/run";
    const std::string home = m_dir + "/home";
    const std::string config = m_dir + "/config";
    for (const std::string& d : {runtime, home, config, config + "/pulse"}) mkdir(d.c_str(), 0700);
    const std::string socket = runtime + "/native";
    m_server = "unix:" + socket;

    // Only what the tests need: a private socket and one null sink standing
    // in for the speakers. No D-Bus, udev, suspend-on-idle or autospawn.
    writeFile(m_dir + "/default.pa",
              "load-module module-native-protocol-unix auth-anonymous=1 socket=" + socket + "\n"
              "load-module module-null-sink sink_name=speakers "
              "sink_properties=device.description=Speakers\n"
              "set-default-sink speakers\n");
    writeFile(config + "/pulse/daemon.conf",
              "exit-idle-time = -1\nflat-volumes = no\nrealtime-scheduling = no\n"
              "high-priority = no\n");
    writeFile(config + "/pulse/client.conf", "autospawn = no\n");

    std::vector<std::string> env = {"HOME=" + home, "XDG_RUNTIME_DIR=" + runtime,
                                    "XDG_CONFIG_HOME=" + config,
                                    "PULSE_RUNTIME_PATH=" + runtime + "/pulse",
                                    "PULSE_STATE_PATH=" + runtime + "/state",
                                    "PATH=/usr/bin:/bin:/usr/sbin:/sbin", "LANG=C"};
    std::vector<std::string> args = {"pulseaudio",
                                     "-n",
                                     "-F",
                                     m_dir + "/default.pa",
                                     "--daemonize=no",
                                     "--disallow-exit",
                                     "--exit-idle-time=-1",
                                     "--use-pid-file=false",
                                     "--log-target=stderr",
                                     "--realtime=no",
                                     "--high-priority=no",
                                     "--no-cpu-limit"};
    std::vector<char*> argv, envp;
    for (auto& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    for (auto& e : env) envp.push_back(e.data());
    envp.push_back(nullptr);
    const std::string logPath = m_dir + "/daemon.log";

    const pid_t pid = fork();
    if (pid < 0) {
        m_error = "fork failed";
        return;
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
        execve("/usr/bin/pulseaudio", argv.data(), envp.data());
        _exit(127);
    }
    m_pid = pid;

    const char* old = std::getenv("PULSE_SERVER");
    m_hadServer = old != nullptr;
    if (old) m_savedServer = old;
    setenv("PULSE_SERVER", m_server.c_str(), 1);
    if (!waitUntilReady() && m_error.empty()) m_error = "the daemon did not answer: " + log();
}

PulseDaemon::~PulseDaemon() {
    stop();
    removeTree(m_dir);
}

void PulseDaemon::stop() {
    if (m_pid > 0) {
        kill(m_pid, SIGTERM);
        if (!reapWithin(m_pid, std::chrono::seconds(3))) {
            kill(m_pid, SIGKILL);
            reapWithin(m_pid, std::chrono::seconds(3));
        }
        m_pid = -1;
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
        if (waitpid(m_pid, &status, WNOHANG) == m_pid) {
            m_pid = -1;
            m_error = "the daemon exited: " + log();
            return false;
        }
        if (pactl("info") == 0) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return false;
}

std::string PulseDaemon::log() const {
    std::ifstream f(m_dir + "/daemon.log");
    std::stringstream s;
    s << f.rdbuf();
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
