// What the exports and the request worker need of the network state: wait
// for a verdict, pass on a proxy, shut down. The real implementation runs
// on the service singleton AWSFactory; tests may install their own.
#pragma once

#include <atomic>
#include <memory>

#include "tunecap.h"

namespace aws {

class NetworkStatus {
public:
    virtual ~NetworkStatus() = default;

    // Creates the service singleton and starts its state thread if needed,
    // then waits (polling) until a verdict exists. Returns true when the
    // network is reachable; false when unreachable, on shutdown, or as soon
    // as *cancel (if given) becomes true. Any thread; blocking.
    virtual bool WaitForVerdict(const std::atomic<bool>* cancel = nullptr) = 0;
    // Stores a changed proxy for the probes. Any thread.
    virtual void SetProxy(const MusicParserProxyParam& proxy) = 0;
    // What an identification learnt about the network: false after it lost
    // the connection to a service, true after a query that reached them.
    // Changes the shared state when it differs. Any thread.
    virtual void ReportReachable(bool /*reachable*/) {}
    // Stops the state thread and releases the HTTP library. MusicParserCleanup.
    virtual void Shutdown() = 0;
};

// The network state in force: AWSFactory's unless another one is installed.
std::shared_ptr<NetworkStatus> CurrentNetworkStatus();

// Replaces the network state for later calls; nullptr restores AWSFactory's.
// Not exported: for tests. Must not overlap requests.
void InstallNetworkStatus(std::shared_ptr<NetworkStatus> status);

}  // namespace aws
