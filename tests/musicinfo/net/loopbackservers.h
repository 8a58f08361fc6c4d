// Loopback servers for the network tests, each a child process started by
// the test and stopped by its process id: the HTTP stub of tests/support and
// a tinyproxy with a configuration of the test's own.
#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

namespace nettest {

// A child process; terminated and reaped by the destructor.
class ChildProcess {
public:
    ChildProcess() = default;
    ~ChildProcess();
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    // Starts argv[0] with the arguments; with captureStdout the child's
    // standard output can be read with ReadLine(). false if it cannot start.
    bool Start(const std::vector<std::string>& argv, bool captureStdout);
    // One line of the child's output, waiting at most timeoutMs; empty on failure.
    std::string ReadLine(int timeoutMs);
    void Stop();
    pid_t pid() const { return m_pid; }

private:
    pid_t m_pid = -1;
    int m_stdout = -1;
};

// A free TCP port on 127.0.0.1 (bound and released again).
int FreeLoopbackPort();

// A plain GET with libcurl, no proxy; the body, or empty on failure.
std::string RawGet(const std::string& url);

// tests/support/httpstub.py on a free port of 127.0.0.1.
class HttpStub {
public:
    HttpStub();
    bool ok() const { return m_port > 0; }
    int port() const { return m_port; }
    std::string Url(const std::string& path) const;
    // Requests that reached path (without query) so far.
    int Count(const std::string& path) const;
    // Request header lines of the last request to path.
    std::string Headers(const std::string& path) const;
    // Connections whose first bytes were not an HTTP request.
    int BadConnections() const;

private:
    ChildProcess m_process;
    int m_port = 0;
};

// tinyproxy on a free port with Basic authentication (user, password).
class TinyProxy {
public:
    TinyProxy(const std::string& user, const std::string& password);
    ~TinyProxy();
    bool ok() const { return m_port > 0; }
    int port() const { return m_port; }

private:
    ChildProcess m_process;
    std::string m_dir;
    int m_port = 0;
};

// Points the music information library (through the environment) at the
// stand-ins of tests/support/musicservices.py below base
// ("http://127.0.0.1:<port>"), with the client key; the image search is the
// built-in one unless builtInSearch is false (then the stand-in's).
void ExportMusicServices(const std::string& base, const std::string& clientKey,
                         bool builtInSearch = true);

// The pattern the stub sends: byte i is (i * 7 + 3) % 251.
std::string StubPattern(std::size_t begin, std::size_t end);
// Whole contents of a file; empty if missing.
std::string ReadFile(const std::string& path);
bool FileExists(const std::string& path);

}  // namespace nettest
