#include "network/awsfactory.h"

#include <arpa/inet.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <stdexcept>
#include <system_error>

#include "http/nettiming.h"
#include "network/icmppinger.h"
#include "tunecap.h"

namespace aws {
namespace {

const char kProbeHostsVariable[] = "TUNECAP_PROBE_HOSTS";
// How often a cancellable verdict wait tests its cancel flag.
constexpr std::chrono::milliseconds kCancelPoll{50};

std::string Trimmed(const std::string& text) {
    const char* blanks = " \t\r\n\f\v";
    std::size_t first = text.find_first_not_of(blanks);
    if (first == std::string::npos) return std::string();
    return text.substr(first, text.find_last_not_of(blanks) - first + 1);
}

// An IPv4 address without scheme or port ("192.0.2.1", the resolvers of the
// shipped list): the only kind of entry worth an ICMP echo when its HTTP check
// fails. Names are left to HTTP, so that an offline pass stays short.
bool IsIpv4Literal(const std::string& host) {
    in_addr addr{};
    return inet_pton(AF_INET, host.c_str(), &addr) == 1;
}

}  // namespace

AWSFactory::AWSFactory() : m_hostsFromEnvironment(true) {
    InitLibrary();
    m_lastCheck.store(TickCountMs());
}

AWSFactory::AWSFactory(std::vector<std::string> hosts) : m_hostsFromEnvironment(false) {
    m_hosts = std::move(hosts);
    InitLibrary();
    m_lastCheck.store(TickCountMs());
}

AWSFactory::~AWSFactory() {
    Shutdown();
}

void AWSFactory::InitLibrary() {
    if (m_libraryState.load() == 1) return;
    if (curl_global_init(CURL_GLOBAL_ALL) == CURLE_OK) m_libraryState.store(1);
    std::lock_guard<Mutex> lock(m_stateLock);
    if (!m_probe) m_probe = std::make_unique<WebRequest>(Proxy());
    m_probe->LinkCancelFlag(&m_stop);
}

std::vector<std::string> AWSFactory::ParseHostList(const std::string& text) {
    std::vector<std::string> hosts;
    std::size_t start = 0;
    while (start <= text.size()) {
        std::size_t comma = text.find(',', start);
        if (comma == std::string::npos) comma = text.size();
        std::string entry = Trimmed(text.substr(start, comma - start));
        if (!entry.empty()) hosts.push_back(entry);
        start = comma + 1;
    }
    return hosts;
}

std::vector<std::string> AWSFactory::DefaultProbeHosts() {
    return {"www.google.com",    "www.bing.com",       "www.wikipedia.org", "www.apple.com",
            "www.microsoft.com", "www.cloudflare.com", "8.8.8.8",           "1.1.1.1"};
}

std::vector<std::string> AWSFactory::HostsFromEnvironment() {
    const char* value = std::getenv(kProbeHostsVariable);
    if (!value) return DefaultProbeHosts();
    return ParseHostList(value);
}

std::vector<std::string> AWSFactory::ProbeHosts() const {
    std::lock_guard<std::mutex> lock(m_proxyLock);
    return m_hosts;
}

bool AWSFactory::StartStateThread(bool restart) {
    std::lock_guard<std::mutex> threadLock(m_threadLock);
    if (m_thread.joinable()) return true;
    if (m_stop.load() && !restart) return false;
    if (m_hostsFromEnvironment) {
        std::vector<std::string> hosts = HostsFromEnvironment();
        std::lock_guard<std::mutex> lock(m_proxyLock);
        m_hosts = std::move(hosts);
    }
    if (m_stop.load()) {
        // Starting again after a shutdown: the service comes back as created.
        m_stop.store(false);
        InitLibrary();
        m_lastCheck.store(TickCountMs());
    }
    try {
        m_thread = std::thread([this] { StateThreadMain(); });
    } catch (const std::system_error&) {
        return false;
    }
    return true;
}

bool AWSFactory::WaitForNetwork(const std::atomic<bool>* cancel) {
    if (!StartStateThread(cancel == nullptr) && m_networkState.load() == kStateUnknown) return false;
    // A verdict and Shutdown() wake the wait; a cancel flag does not, so a
    // request's wait looks at it more often than every verdict poll: its
    // canceller is waiting to join it.
    std::chrono::milliseconds poll = CurrentNetTiming().verdictPoll;
    if (cancel != nullptr) poll = std::min(poll, kCancelPoll);
    std::unique_lock<std::mutex> lock(m_wakeLock);
    while (m_networkState.load() == kStateUnknown) {
        if (m_stop.load() || (cancel && cancel->load())) return false;
        m_wake.wait_for(lock, poll);
    }
    return m_networkState.load() >= 0;
}

void AWSFactory::SetNetworkState(int state) {
    std::lock_guard<Mutex> lock(m_stateLock);
    StoreState(state);
}

void AWSFactory::StoreState(int state) {
    if (m_networkState.load() == state) return;
    {
        std::lock_guard<std::mutex> lock(m_wakeLock);
        m_networkState.store(state);
    }
    m_wake.notify_all();
}

void AWSFactory::SetProxy(const MusicParserProxyParam* param) {
    ProxyConfig proxy = ProxyConfig::FromParam(param);
    {
        std::lock_guard<std::mutex> lock(m_proxyLock);
        m_proxy = proxy;
    }
    m_proxyChanged.store(true);
}

void AWSFactory::GetProxy(MusicParserProxyParam* out) const {
    Proxy().ToParam(out);
}

ProxyConfig AWSFactory::Proxy() const {
    std::lock_guard<std::mutex> lock(m_proxyLock);
    return m_proxy;
}

void AWSFactory::StateThreadMain() {
    try {
        RunPasses();
    } catch (const std::exception&) {
        // Out of memory or threads: no verdict can come any more.
        SetNetworkState(kStateOffline);
    }
}

void AWSFactory::RunPasses() {
    std::vector<std::string> hosts = ProbeHosts();
    while (!m_stop.load()) {
        const NetTiming timing = CurrentNetTiming();
        const auto interval = static_cast<unsigned long long>(timing.probeInterval.count());
        if (TickCountMs() - m_lastCheck.load() >= interval) {
            int verdict = ProbePass(hosts);
            m_lastCheck.store(TickCountMs());
            if (m_stop.load()) break;
            {
                std::lock_guard<Mutex> lock(m_stateLock);
                // A proxy change during the pass leaves the state unknown until
                // a pass with the new proxy has run.
                if (!m_proxyChanged.load()) StoreState(verdict);
            }
            m_passes.fetch_add(1);
            m_wake.notify_all();
        }
        const unsigned long long due = m_lastCheck.load() + interval;
        const unsigned long long now = TickCountMs();
        if (due > now) {
            std::unique_lock<std::mutex> lock(m_wakeLock);
            m_wake.wait_for(lock, std::chrono::milliseconds(due - now),
                            [this] { return m_stop.load(); });
        }
    }
}

int AWSFactory::ProbePass(const std::vector<std::string>& hosts) {
    for (const std::string& host : hosts) {
        if (m_stop.load()) return kStateUnknown;
        bool reachable = ProbeHost(host);
        m_lastCheck.store(TickCountMs());
        if (reachable) return kStateOnline;
    }
    return kStateOffline;
}

bool AWSFactory::ProbeHost(const std::string& host) {
    int result = kWebFailed;
    {
        std::lock_guard<Mutex> lock(m_stateLock);
        if (m_proxyChanged.exchange(false) || !m_probe) {
            m_probe = std::make_unique<WebRequest>(Proxy());
            m_probe->LinkCancelFlag(&m_stop);
            StoreState(kStateUnknown);
            // Results seen through the old proxy say nothing about the new one.
            WebRequest::ClearCheckCache();
        }
        result = m_probe->CheckReachable(host);
    }
    if (result >= 0) return true;
    if (IsIpv4Literal(host) && !m_stop.load() && IcmpPinger::RawSocketsAllowed())
        return IcmpPinger::Ping(host, m_stop) == IcmpPinger::kReply;
    return false;
}

void AWSFactory::Shutdown() {
    // Held throughout, so that a start cannot slip in while the service stops.
    std::lock_guard<std::mutex> threadLock(m_threadLock);
    {
        std::lock_guard<std::mutex> lock(m_wakeLock);
        m_stop.store(true);
    }
    m_wake.notify_all();
    if (m_thread.joinable()) m_thread.join();
    {
        std::lock_guard<Mutex> lock(m_stateLock);
        m_probe.reset();
        StoreState(kStateUnknown);
    }
    if (m_libraryState.exchange(-1) == 1) curl_global_cleanup();
}

}  // namespace aws
