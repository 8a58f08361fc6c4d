// AWSFactory: the service singleton. It initialises libcurl for the process,
// keeps the service's proxy, and runs the network-state thread that probes a
// list of hosts and keeps the shared verdict "is the network reachable".
//
// Probe hosts: the environment variable TUNECAP_PROBE_HOSTS (comma-separated;
// each entry a URL such as http://127.0.0.1:8080/ or a bare host name or
// address), read when the state thread starts; without it a shipped list of
// eight public hosts. Each host gets an HTTP reachability check; an IPv4
// address that fails it also gets an ICMP echo where raw sockets are allowed.
//
// Network state: -9 unknown (no verdict yet), -1 offline, 1 online; 0 or more
// counts as reachable. The first verdict comes one probe interval (5 s) after
// the singleton was created.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "http/httpproxy.h"
#include "http/webrequest.h"
#include "network/mutex.h"
#include "network/singleton.h"

struct MusicParserProxyParam;

namespace aws {

class AWSFactory : public Singleton<AWSFactory> {
public:
    static constexpr int kStateUnknown = -9;
    static constexpr int kStateOffline = -1;
    static constexpr int kStateOnline = 1;

    // Global initialisation of libcurl (library state 1 on success), an empty
    // proxy, the probe object; the last-check time is now. Does not start the
    // state thread. The singleton is Instance(); tests may construct their own.
    AWSFactory();
    // As above with a fixed host list instead of the environment's.
    explicit AWSFactory(std::vector<std::string> hosts);
    // Shutdown().
    ~AWSFactory();

    AWSFactory(const AWSFactory&) = delete;
    AWSFactory& operator=(const AWSFactory&) = delete;

    // -1 until libcurl's global initialisation succeeded, then 1.
    int LibraryState() const { return m_libraryState.load(); }
    // The verdict as it is now; never blocks. Any thread.
    int NetworkState() const { return m_networkState.load(); }
    bool IsReachable() const { return NetworkState() >= 0; }

    // Starts the state thread if it does not run (and, with restart,
    // re-initialises after a Shutdown()). false when the thread cannot be
    // created, or when the service was shut down and restart is false. Any
    // thread.
    bool StartStateThread(bool restart = true);
    // Waiting for a verdict: starts the state thread if needed, then polls
    // every verdict-poll interval (2 s; with a cancel flag every 50 ms at
    // the most) while the state is unknown. true when
    // the verdict is reachable; false when offline, on Shutdown() or when
    // *cancel (if given) becomes true. A call without a cancel flag made
    // after Shutdown() has finished starts the service again (MusicParserInit
    // after a clean-up); a request's wait, which has one, never does.
    // Any thread but the state thread.
    bool WaitForNetwork(const std::atomic<bool>* cancel = nullptr);
    // Sets the state from outside (identification: -1 on a lost network, 1
    // after a query that ran), under the state lock, only when it changes.
    void SetNetworkState(int state);

    // Copies a proxy record (NULL or a host shorter than 3 characters = no
    // proxy, stored with type -1), sets the proxy-changed flag and passes the
    // proxy to the probe object; the next probe rebuilds it and the state is
    // unknown until that probe's pass ends. Does not touch the HTTP layer's
    // process-wide copies (InstallHttpProxy does). Any thread.
    void SetProxy(const MusicParserProxyParam* param);
    // The stored proxy record (type -1 = none).
    void GetProxy(MusicParserProxyParam* out) const;
    ProxyConfig Proxy() const;

    // The service's global mutex (identification set-up and proxy updates).
    Mutex& GlobalMutex() { return m_globalMutex; }

    // Set by Shutdown() until the next StartStateThread(): requests treat it
    // as cancellation.
    bool IsShuttingDown() const { return m_stop.load(); }

    // Stops the service: sets the stop flag and the probe's cancel flag, joins
    // the state thread, deletes the probe object, cleans libcurl up globally;
    // library state -1, network state -9. Idempotent. Any thread but the state
    // thread. Calls waiting for a verdict meanwhile answer false.
    void Shutdown();

    // The hosts probed, in order.
    std::vector<std::string> ProbeHosts() const;
    // Parses a comma-separated list; entries blank after trimming are skipped.
    static std::vector<std::string> ParseHostList(const std::string& text);
    // TUNECAP_PROBE_HOSTS if set, else DefaultProbeHosts().
    static std::vector<std::string> HostsFromEnvironment();
    // The shipped list: six public web hosts and two public DNS resolvers.
    static std::vector<std::string> DefaultProbeHosts();

    // Number of completed probe passes (tests).
    std::uint64_t PassCount() const { return m_passes.load(); }

private:
    void InitLibrary();
    void StateThreadMain();
    void RunPasses();
    // One pass over the hosts; returns the verdict it reached.
    int ProbePass(const std::vector<std::string>& hosts);
    bool ProbeHost(const std::string& host);
    void StoreState(int state);  // caller holds m_stateLock

    const bool m_hostsFromEnvironment;
    std::atomic<int> m_libraryState{-1};
    std::atomic<int> m_networkState{kStateUnknown};
    std::atomic<bool> m_stop{false};
    std::atomic<bool> m_proxyChanged{false};
    std::atomic<std::uint64_t> m_lastCheck{0};  // written by the state thread
    std::atomic<std::uint64_t> m_passes{0};

    mutable std::mutex m_proxyLock;
    ProxyConfig m_proxy;               // guarded by m_proxyLock
    std::vector<std::string> m_hosts;  // guarded by m_proxyLock

    Mutex m_stateLock;                    // "NetworkStateMutex": state writes and the probe object
    std::unique_ptr<WebRequest> m_probe;  // guarded by m_stateLock; cancelled through m_stop

    std::mutex m_threadLock;  // guards m_thread (start, join)
    std::thread m_thread;     // guarded by m_threadLock

    std::mutex m_wakeLock;  // with m_wake: interrupts sleeps and verdict waits
    std::condition_variable m_wake;

    Mutex m_globalMutex;
};

}  // namespace aws
