// The network state: probe passes over loopback hosts, the verdict wait,
// proxy changes, shutdown, the host list and the ICMP echo.
#include <atomic>
#include <cstdlib>
#include <cstring>
#include <future>
#include <thread>

#include "nettestfixture.h"
#include "network/awsfactory.h"
#include "network/icmppinger.h"
#include "tunecap.h"
#include "waitfor.h"

namespace nettest {
namespace {

using aws::AWSFactory;

// Factories live on the heap: their mutexes must not reuse the stack
// addresses of an earlier test's, which the thread sanitizer would take for
// the same locks.
std::unique_ptr<AWSFactory> MakeFactory(std::vector<std::string> hosts) {
    return std::make_unique<AWSFactory>(std::move(hosts));
}

std::string ClosedPortUrl() {
    return "http://127.0.0.1:" + std::to_string(FreeLoopbackPort()) + "/";
}

class AWSFactoryTest : public NetTest {
protected:
    void SetUp() override {
        NetTest::SetUp();
        ASSERT_TRUE(stub.ok());
    }
    HttpStub stub;
};

TEST_F(AWSFactoryTest, OfflineWhenEveryHostIsAClosedPort) {
    auto owner = MakeFactory({ClosedPortUrl(), ClosedPortUrl()});
    AWSFactory& factory = *owner;
    EXPECT_EQ(factory.LibraryState(), 1);
    EXPECT_EQ(factory.NetworkState(), AWSFactory::kStateUnknown);
    EXPECT_FALSE(factory.WaitForNetwork());
    EXPECT_EQ(factory.NetworkState(), AWSFactory::kStateOffline);
    EXPECT_FALSE(factory.IsReachable());
}

TEST_F(AWSFactoryTest, APassStopsAtTheFirstHostThatAnswers) {
    HttpStub third;
    ASSERT_TRUE(third.ok());
    auto owner = MakeFactory({ClosedPortUrl(), stub.Url("/probe"), third.Url("/probe")});
    AWSFactory& factory = *owner;
    const auto start = std::chrono::steady_clock::now();
    EXPECT_TRUE(factory.WaitForNetwork());
    EXPECT_EQ(factory.NetworkState(), AWSFactory::kStateOnline);
    // The first verdict waits one probe interval after creation.
    EXPECT_GE(SecondsSince(start), 0.15);
    EXPECT_EQ(stub.Count("/probe"), 1);
    EXPECT_EQ(third.Count("/probe"), 0);
}

TEST_F(AWSFactoryTest, TheVerdictFollowsTheHostsFromPassToPass) {
    auto server = std::make_unique<HttpStub>();
    ASSERT_TRUE(server->ok());
    const int port = server->port();
    auto owner = MakeFactory({"http://127.0.0.1:" + std::to_string(port) + "/"});
    AWSFactory& factory = *owner;
    ASSERT_TRUE(factory.WaitForNetwork());
    server.reset();  // the only host goes away
    testsupport::WaitFor([&] { return factory.NetworkState() == AWSFactory::kStateOffline; });
    EXPECT_EQ(factory.NetworkState(), AWSFactory::kStateOffline);
    EXPECT_FALSE(factory.WaitForNetwork());
}

TEST_F(AWSFactoryTest, AProxyChangeIsProbedThroughTheNewProxy) {
    auto owner = MakeFactory({stub.Url("/probe")});
    AWSFactory& factory = *owner;
    ASSERT_TRUE(factory.WaitForNetwork());
    const std::uint64_t passes = factory.PassCount();

    // A proxy nobody listens on: the next pass, through it, finds nothing.
    MusicParserProxyParam dead;
    std::memset(&dead, 0, sizeof(dead));
    dead.type = 0;
    dead.port = FreeLoopbackPort();
    std::strcpy(dead.host, "127.0.0.1");
    factory.SetProxy(&dead);
    MusicParserProxyParam stored;
    factory.GetProxy(&stored);
    EXPECT_EQ(stored.type, 0);
    EXPECT_STREQ(stored.host, "127.0.0.1");
    testsupport::WaitFor([&] { return factory.PassCount() >= passes + 2; });
    EXPECT_EQ(factory.NetworkState(), AWSFactory::kStateOffline);

    // A two-character host is no proxy: direct probes answer again.
    MusicParserProxyParam shortHost = dead;
    std::strcpy(shortHost.host, "ab");
    factory.SetProxy(&shortHost);
    factory.GetProxy(&stored);
    EXPECT_EQ(stored.type, -1);
    testsupport::WaitFor([&] { return factory.NetworkState() == AWSFactory::kStateOnline; });
    EXPECT_EQ(factory.NetworkState(), AWSFactory::kStateOnline);
}

TEST_F(AWSFactoryTest, ShutdownJoinsPromptlyAndReleasesWaiters) {
    // The probe hangs on a host that never answers; waiters wait for a verdict.
    aws::NetTiming slow = FastTiming();
    slow.checkTimeout = 60s;
    slow.stallLimit = 60s;
    aws::SetNetTimingForTests(slow);
    auto owner = MakeFactory({stub.Url("/hang")});
    AWSFactory& factory = *owner;
    auto waiter = std::async(std::launch::async, [&factory] { return factory.WaitForNetwork(); });
    testsupport::WaitFor([&] { return stub.Count("/hang") >= 1; });
    ASSERT_EQ(stub.Count("/hang"), 1);

    const auto start = std::chrono::steady_clock::now();
    factory.Shutdown();
    EXPECT_LT(SecondsSince(start), 3.0);
    ASSERT_EQ(waiter.wait_for(3s), std::future_status::ready);
    EXPECT_FALSE(waiter.get());
    EXPECT_EQ(factory.LibraryState(), -1);
    EXPECT_EQ(factory.NetworkState(), AWSFactory::kStateUnknown);
    EXPECT_TRUE(factory.IsShuttingDown());
    factory.Shutdown();  // twice is harmless
}

TEST_F(AWSFactoryTest, TheServiceStartsAgainAfterAShutdown) {
    auto owner = MakeFactory({stub.Url("/probe")});
    AWSFactory& factory = *owner;
    ASSERT_TRUE(factory.WaitForNetwork());
    factory.Shutdown();
    // A request's wait (it has a cancel flag) does not bring it back.
    const std::atomic<bool> notCancelled{false};
    EXPECT_FALSE(factory.WaitForNetwork(&notCancelled));
    EXPECT_TRUE(factory.IsShuttingDown());
    EXPECT_EQ(factory.LibraryState(), -1);
    EXPECT_TRUE(factory.WaitForNetwork());
    EXPECT_EQ(factory.LibraryState(), 1);
    EXPECT_FALSE(factory.IsShuttingDown());
}

TEST_F(AWSFactoryTest, StateSetFromOutsideAndCancelledWaits) {
    aws::NetTiming slow = FastTiming();
    slow.probeInterval = 60s;
    aws::SetNetTimingForTests(slow);
    auto owner = MakeFactory({stub.Url("/probe")});
    AWSFactory& factory = *owner;
    std::atomic<bool> cancel{false};
    auto waiter = std::async(std::launch::async, [&] { return factory.WaitForNetwork(&cancel); });
    EXPECT_EQ(waiter.wait_for(200ms), std::future_status::timeout) << "no verdict yet";
    cancel = true;
    ASSERT_EQ(waiter.wait_for(3s), std::future_status::ready);
    EXPECT_FALSE(waiter.get());

    factory.SetNetworkState(AWSFactory::kStateOnline);
    EXPECT_TRUE(factory.WaitForNetwork());
    factory.SetNetworkState(AWSFactory::kStateOffline);
    EXPECT_FALSE(factory.WaitForNetwork());
    EXPECT_EQ(stub.Count("/probe"), 0) << "no pass before the interval";
}

TEST_F(AWSFactoryTest, TheSingletonTakesItsHostsFromTheEnvironment) {
    ASSERT_EQ(setenv("TUNECAP_PROBE_HOSTS", (" ," + stub.Url("/env") + " , ").c_str(), 1), 0);
    AWSFactory& factory = AWSFactory::Instance();
    EXPECT_EQ(&factory, &AWSFactory::Instance());
    EXPECT_EQ(AWSFactory::InstanceIfCreated(), &factory);
    EXPECT_TRUE(factory.WaitForNetwork());
    EXPECT_EQ(factory.ProbeHosts(), std::vector<std::string>{stub.Url("/env")});
    EXPECT_EQ(stub.Count("/env"), 1);
    AWSFactory::DestroyInstance();
    EXPECT_EQ(AWSFactory::InstanceIfCreated(), nullptr);
    unsetenv("TUNECAP_PROBE_HOSTS");
}

TEST_F(AWSFactoryTest, AnAddressThatFailsItsHttpCheckIsPinged) {
    if (!aws::IcmpPinger::RawSocketsAllowed()) GTEST_SKIP() << "no raw sockets for this user";
    // Nothing serves HTTP on 127.0.0.1:80 here, so only the echo can answer.
    if (!RawGet("http://127.0.0.1:80/").empty()) GTEST_SKIP() << "port 80 is in use";
    auto owner = MakeFactory({"127.0.0.1"});
    AWSFactory& factory = *owner;
    EXPECT_TRUE(factory.WaitForNetwork());
    // A name is left to HTTP alone.
    auto named = MakeFactory({"localhost"});
    EXPECT_FALSE(named->WaitForNetwork());
}

TEST(ProbeHostsTest, ListsAreParsedAndTheDefaultHasEightHosts) {
    EXPECT_EQ(AWSFactory::ParseHostList(" a.example ,, \t,http://127.0.0.1:9/ ,"),
              (std::vector<std::string>{"a.example", "http://127.0.0.1:9/"}));
    EXPECT_TRUE(AWSFactory::ParseHostList(" , ").empty());
    EXPECT_EQ(AWSFactory::DefaultProbeHosts().size(), 8u);
    unsetenv("TUNECAP_PROBE_HOSTS");
    EXPECT_EQ(AWSFactory::HostsFromEnvironment(), AWSFactory::DefaultProbeHosts());
}

TEST(IcmpPingerTest, ChecksumAndLoopbackEcho) {
    // The worked example of the Internet checksum: sum 0xddf2, checksum 0x220d.
    const unsigned char bytes[] = {0x00, 0x01, 0xf2, 0x03, 0xf4, 0xf5, 0xf6, 0xf7};
    EXPECT_EQ(aws::IcmpPinger::Checksum(bytes, sizeof(bytes)), 0x220d);
    const unsigned char odd[] = {0x01};
    EXPECT_EQ(aws::IcmpPinger::Checksum(odd, 1), 0xfeff);

    std::atomic<bool> stop{false};
    if (!aws::IcmpPinger::RawSocketsAllowed()) {
        EXPECT_EQ(aws::IcmpPinger::Ping("127.0.0.1", stop), aws::IcmpPinger::kUnavailable);
        GTEST_SKIP() << "no raw sockets for this user";
    }
    aws::SetNetTimingForTests(FastTiming());
    EXPECT_EQ(aws::IcmpPinger::Ping("127.0.0.1", stop), aws::IcmpPinger::kReply);
    stop = true;
    EXPECT_EQ(aws::IcmpPinger::Ping("127.0.0.1", stop), aws::IcmpPinger::kStopped);
    aws::ResetNetTimingForTests();
}

}  // namespace
}  // namespace nettest
