// The proxy record as the HTTP layer reads it, and transfers through a real
// proxy (tinyproxy with Basic authentication) on loopback.
#include <cstring>

#include "nettestfixture.h"
#include "tunecap.h"

namespace nettest {
namespace {

using aws::ProxyConfig;
using aws::WebRequest;

MusicParserProxyParam Record(int type, const char* host, int port, const char* user = "",
                             const char* password = "") {
    MusicParserProxyParam p;
    std::memset(&p, 0, sizeof(p));
    p.type = type;
    p.port = port;
    std::strncpy(p.host, host, sizeof(p.host) - 1);
    std::strncpy(p.userName, user, sizeof(p.userName) - 1);
    std::strncpy(p.password, password, sizeof(p.password) - 1);
    return p;
}

TEST(ProxyConfigTest, RecordsMeaningNoProxy) {
    EXPECT_FALSE(ProxyConfig::FromParam(nullptr).IsSet());
    MusicParserProxyParam none = Record(-1, "proxy.example", 3128);
    EXPECT_FALSE(ProxyConfig::FromParam(&none).IsSet());
    MusicParserProxyParam shortHost = Record(0, "ab", 3128);
    EXPECT_FALSE(ProxyConfig::FromParam(&shortHost).IsSet());
    MusicParserProxyParam blankPadded = Record(0, "  ab  ", 3128);
    EXPECT_FALSE(ProxyConfig::FromParam(&blankPadded).IsSet());

    MusicParserProxyParam stored;
    ProxyConfig::FromParam(&shortHost).ToParam(&stored);
    EXPECT_EQ(stored.type, -1);
}

TEST(ProxyConfigTest, ValidRecordIsTrimmedAndKept) {
    MusicParserProxyParam p = Record(0, "  abc ", 8080, " bob ", "pw");
    ProxyConfig proxy = ProxyConfig::FromParam(&p);
    ASSERT_TRUE(proxy.IsSet());
    EXPECT_EQ(proxy.type, 0);
    EXPECT_EQ(proxy.host, "abc");
    EXPECT_EQ(proxy.port, 8080);
    EXPECT_EQ(proxy.user, "bob");
    EXPECT_EQ(proxy.password, "pw");

    // Fields filled to the last byte without a terminating NUL stay in bounds.
    MusicParserProxyParam full;
    std::memset(&full, 'x', sizeof(full));
    full.type = 0;
    full.port = 1;
    ProxyConfig wide = ProxyConfig::FromParam(&full);
    EXPECT_EQ(wide.host.size(), sizeof(full.host));
    EXPECT_EQ(wide.user.size(), sizeof(full.userName));
    EXPECT_EQ(wide.password.size(), sizeof(full.password));
    MusicParserProxyParam back;
    wide.ToParam(&back);
    EXPECT_EQ(std::strlen(back.host), sizeof(back.host) - 1);

    // A text that does not fit is cut before a character, never inside it.
    ProxyConfig accented = proxy;
    accented.password = std::string(sizeof(back.password) - 2, 'p') + "\xC3\xA9";
    accented.ToParam(&back);
    EXPECT_EQ(std::string(back.password), std::string(sizeof(back.password) - 2, 'p'));
}

class ProxyTransferTest : public NetTest {
protected:
    void SetUp() override {
        NetTest::SetUp();
        ASSERT_TRUE(stub.ok());
    }
    void TearDown() override {
        aws::InstallHttpProxy(nullptr);
        NetTest::TearDown();
    }
    HttpStub stub;
};

TEST_F(ProxyTransferTest, ATwoCharacterHostIsNoProxy) {
    // Were "ab" taken as a proxy, the transfer could not reach the stub.
    MusicParserProxyParam p = Record(0, "ab", FreeLoopbackPort());
    aws::InstallHttpProxy(&p);
    EXPECT_FALSE(aws::CurrentProxy(aws::ProxyCopy::WebRequests).IsSet());
    EXPECT_FALSE(aws::CurrentProxy(aws::ProxyCopy::Connections).IsSet());
    WebRequest request;
    EXPECT_EQ(request.Fetch(stub.Url("/direct")), aws::kWebOk);
    EXPECT_EQ(stub.Count("/direct"), 1);
}

TEST_F(ProxyTransferTest, TinyproxyCarriesATransferWithCredentialsOnly) {
    TinyProxy proxy("alice", "s3cret");
    ASSERT_TRUE(proxy.ok()) << "tinyproxy did not start";

    MusicParserProxyParam good = Record(0, "127.0.0.1", proxy.port(), "alice", "s3cret");
    aws::InstallHttpProxy(&good);
    WebRequest viaProxy;
    ASSERT_EQ(viaProxy.Fetch(stub.Url("/proxied")), aws::kWebOk);
    EXPECT_EQ(viaProxy.Body(), "ok\n");
    EXPECT_NE(stub.Headers("/proxied").find("tinyproxy"), std::string::npos)
        << stub.Headers("/proxied");

    // The transfer handle of a request takes the same proxy.
    aws::CurlEasyPtr handle = aws::NewTransferHandle();
    ASSERT_TRUE(handle);
    const std::string url = stub.Url("/connection");
    curl_easy_setopt(handle.get(), CURLOPT_URL, url.c_str());
    curl_easy_setopt(handle.get(), CURLOPT_NOBODY, 1L);
    EXPECT_EQ(curl_easy_perform(handle.get()), CURLE_OK);
    EXPECT_NE(stub.Headers("/connection").find("tinyproxy"), std::string::npos);

    MusicParserProxyParam anonymous = Record(0, "127.0.0.1", proxy.port());
    WebRequest refused(ProxyConfig::FromParam(&anonymous));
    EXPECT_LT(refused.Fetch(stub.Url("/refused")), 0);
    EXPECT_EQ(refused.LastHttpStatus(), 407);
    MusicParserProxyParam wrong = Record(0, "127.0.0.1", proxy.port(), "alice", "guess");
    WebRequest wrongPassword(ProxyConfig::FromParam(&wrong));
    EXPECT_LT(wrongPassword.Fetch(stub.Url("/refused")), 0);
    EXPECT_EQ(stub.Count("/refused"), 0);

    // A check through a proxy that refuses us does not count as reachable.
    EXPECT_EQ(refused.CheckReachable(stub.Url("/checked")), aws::kWebFailed);
    EXPECT_EQ(stub.Count("/checked"), 0);
}

}  // namespace
}  // namespace nettest
