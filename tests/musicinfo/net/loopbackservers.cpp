#include "loopbackservers.h"

#include <arpa/inet.h>
#include <curl/curl.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <thread>

extern char** environ;

namespace nettest {

ChildProcess::~ChildProcess() {
    Stop();
}

bool ChildProcess::Start(const std::vector<std::string>& argv, bool captureStdout) {
    int fds[2] = {-1, -1};
    if (captureStdout && pipe2(fds, O_CLOEXEC) != 0) return false;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    if (captureStdout) posix_spawn_file_actions_adddup2(&actions, fds[1], STDOUT_FILENO);
    std::vector<char*> args;
    for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    int rc = posix_spawn(&m_pid, args[0], &actions, nullptr, args.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (captureStdout) {
        close(fds[1]);
        m_stdout = fds[0];
    }
    if (rc != 0) {
        m_pid = -1;
        return false;
    }
    return true;
}

std::string ChildProcess::ReadLine(int timeoutMs) {
    std::string line;
    const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (m_stdout >= 0 && std::chrono::steady_clock::now() < until) {
        pollfd p{m_stdout, POLLIN, 0};
        if (poll(&p, 1, 50) <= 0) continue;
        char c;
        if (read(m_stdout, &c, 1) != 1) break;
        if (c == '\n') return line;
        line += c;
    }
    return std::string();
}

void ChildProcess::Stop() {
    if (m_pid > 0) {
        kill(m_pid, SIGTERM);
        int status = 0;
        waitpid(m_pid, &status, 0);
        m_pid = -1;
    }
    if (m_stdout >= 0) {
        close(m_stdout);
        m_stdout = -1;
    }
}

int FreeLoopbackPort() {
    int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    addr.sin_port = 0;
    socklen_t len = sizeof(addr);
    int port = 0;
    if (bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof(addr)) == 0 &&
        getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len) == 0)
        port = ntohs(addr.sin_port);
    close(fd);
    return port;
}

namespace {
size_t Append(char* data, size_t size, size_t n, void* user) {
    static_cast<std::string*>(user)->append(data, size * n);
    return size * n;
}
}  // namespace

std::string RawGet(const std::string& url) {
    std::string body;
    CURL* h = curl_easy_init();
    curl_easy_setopt(h, CURLOPT_URL, url.c_str());
    curl_easy_setopt(h, CURLOPT_PROXY, "");
    curl_easy_setopt(h, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(h, CURLOPT_TIMEOUT, 10L);
    curl_easy_setopt(h, CURLOPT_WRITEFUNCTION, &Append);
    curl_easy_setopt(h, CURLOPT_WRITEDATA, &body);
    if (curl_easy_perform(h) != CURLE_OK) body.clear();
    curl_easy_cleanup(h);
    return body;
}

HttpStub::HttpStub() {
    const char* dir = std::getenv("TUNECAP_TEST_SUPPORT_DIR");
    std::string script = std::string(dir ? dir : ".") + "/httpstub.py";
    if (!m_process.Start({"/usr/bin/python3", script}, true)) return;
    std::string line = m_process.ReadLine(10000);
    if (line.rfind("PORT ", 0) == 0) m_port = std::atoi(line.c_str() + 5);
}

std::string HttpStub::Url(const std::string& path) const {
    return "http://127.0.0.1:" + std::to_string(m_port) + path;
}

int HttpStub::Count(const std::string& path) const {
    char* escaped = curl_escape(path.c_str(), static_cast<int>(path.size()));
    std::string body = RawGet(Url("/_count?path=") + escaped);
    curl_free(escaped);
    return body.empty() ? -1 : std::atoi(body.c_str());
}

std::string HttpStub::Headers(const std::string& path) const {
    char* escaped = curl_escape(path.c_str(), static_cast<int>(path.size()));
    std::string body = RawGet(Url("/_headers?path=") + escaped);
    curl_free(escaped);
    return body;
}

int HttpStub::BadConnections() const {
    std::string body = RawGet(Url("/_bad"));
    return body.empty() ? -1 : std::atoi(body.c_str());
}

TinyProxy::TinyProxy(const std::string& user, const std::string& password) {
    const int port = FreeLoopbackPort();
    char dir[] = "/tmp/tinyproxy-test-XXXXXX";
    if (port <= 0 || !mkdtemp(dir)) return;
    m_dir = dir;
    const std::string config = m_dir + "/tinyproxy.conf";
    std::ofstream conf(config);
    conf << "Port " << port << "\nListen 127.0.0.1\nTimeout 30\nMaxClients 20\n"
         << "Allow 127.0.0.1\nLogLevel Critical\nBasicAuth " << user << ' ' << password << '\n';
    conf.close();
    if (!m_process.Start({"/usr/bin/tinyproxy", "-d", "-c", config}, false)) return;
    // Ready once it accepts connections.
    for (int i = 0; i < 100; ++i) {
        int fd = socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in addr{};
        addr.sin_family = AF_INET;
        addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        addr.sin_port = htons(static_cast<uint16_t>(port));
        bool up = connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof(addr)) == 0;
        close(fd);
        if (up) {
            m_port = port;
            return;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
}

TinyProxy::~TinyProxy() {
    m_process.Stop();
    if (!m_dir.empty()) {
        unlink((m_dir + "/tinyproxy.conf").c_str());
        rmdir(m_dir.c_str());
    }
}

std::string StubPattern(std::size_t begin, std::size_t end) {
    std::string out;
    out.reserve(end - begin);
    for (std::size_t i = begin; i < end; ++i) out += static_cast<char>((i * 7 + 3) % 251);
    return out;
}

void ExportMusicServices(const std::string& base, const std::string& clientKey,
                         bool builtInSearch) {
    ::setenv("TUNECAP_ACOUSTID_URL", (base + "/acoustid").c_str(), 1);
    ::setenv("TUNECAP_MUSICBRAINZ_URL", (base + "/mb/").c_str(), 1);  // the slash is dropped
    ::setenv("TUNECAP_COVERART_URL", (base + "/caa").c_str(), 1);
    ::setenv("TUNECAP_IMAGESEARCH_URL", builtInSearch ? "" : (base + "/images?v=1.0").c_str(), 1);
    ::setenv("TUNECAP_ACOUSTID_KEY", clientKey.c_str(), 1);
    ::setenv("TUNECAP_PROBE_HOSTS", (base + "/_probe").c_str(), 1);
}

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

bool FileExists(const std::string& path) {
    struct stat st;
    return stat(path.c_str(), &st) == 0;
}

}  // namespace nettest
