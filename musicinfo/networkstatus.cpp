#include "networkstatus.h"

#include <mutex>

#include "network/awsfactory.h"

namespace aws {

namespace {

// The network state of the service singleton.
class FactoryNetworkStatus final : public NetworkStatus {
public:
    bool WaitForVerdict(const std::atomic<bool>* cancel) override {
        return AWSFactory::Instance().WaitForNetwork(cancel);
    }
    void SetProxy(const MusicParserProxyParam& proxy) override {
        AWSFactory::Instance().SetProxy(&proxy);
    }
    void ReportReachable(bool reachable) override {
        if (AWSFactory* factory = AWSFactory::InstanceIfCreated()) {
            factory->SetNetworkState(reachable ? AWSFactory::kStateOnline : AWSFactory::kStateOffline);
        }
    }
    void Shutdown() override {
        if (AWSFactory* factory = AWSFactory::InstanceIfCreated()) factory->Shutdown();
    }
};

std::mutex g_statusMutex;
std::shared_ptr<NetworkStatus> g_status;  // guarded by g_statusMutex

}  // namespace

std::shared_ptr<NetworkStatus> CurrentNetworkStatus() {
    std::lock_guard<std::mutex> lock(g_statusMutex);
    if (!g_status) g_status = std::make_shared<FactoryNetworkStatus>();
    return g_status;
}

void InstallNetworkStatus(std::shared_ptr<NetworkStatus> status) {
    std::lock_guard<std::mutex> lock(g_statusMutex);
    g_status = std::move(status);
}

}  // namespace aws
