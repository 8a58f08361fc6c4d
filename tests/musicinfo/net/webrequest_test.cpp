// WebRequest against the loopback stub: what a fetch reads, how tries,
// stalls, limits, ranges and the check cache behave.
#include <atomic>
#include <fstream>
#include <thread>

#include "nettestfixture.h"
#include "waitfor.h"

namespace nettest {
namespace {

using aws::WebRequest;

// What the stub answers at /json-blank: a blank line between two members.
std::string JsonWithBlankLine() {
    return "{\"responseData\": {\"results\": [{\"url\": \"http://x/a.jpg\"}]},\r\n\r\n"
           " \"tail\": \"" +
           std::string(4000, 'z') + "\"}";
}

class WebRequestTest : public NetTest {
protected:
    void SetUp() override {
        NetTest::SetUp();
        ASSERT_TRUE(stub.ok()) << "the HTTP stub did not start";
        const char* home = std::getenv("HOME");
        dir = std::string(home ? home : "/tmp");
    }
    std::string PathFor(const std::string& name) const { return dir + "/" + name; }

    HttpStub stub;
    std::string dir;
};

TEST_F(WebRequestTest, FetchReadsAJsonBodyWithABlankLineWhole) {
    WebRequest request;
    ASSERT_EQ(request.Fetch(stub.Url("/json-blank")), aws::kWebOk);
    EXPECT_EQ(request.Body(), JsonWithBlankLine());
    EXPECT_EQ(stub.Count("/json-blank"), 1);
    EXPECT_EQ(request.LastHttpStatus(), 200);
}

TEST_F(WebRequestTest, FetchSendsTheStandardHeaders) {
    WebRequest request;
    ASSERT_EQ(request.Fetch(stub.Url("/plain")), aws::kWebOk);
    EXPECT_EQ(request.Body(), "ok\n");
    const std::string headers = stub.Headers("/plain");
    EXPECT_NE(headers.find("Accept: */*"), std::string::npos) << headers;
    EXPECT_NE(headers.find("User-Agent: Mozilla/5.0 (Windows NT 5.1) AppleWebKit/537.4"),
              std::string::npos)
        << headers;
    EXPECT_EQ(headers.find("Range:"), std::string::npos) << headers;
}

TEST_F(WebRequestTest, FetchAnswerLimitIsEightMebibytes) {
    WebRequest request;
    const std::size_t limit = WebRequest::kMaxFetchBytes;
    ASSERT_EQ(limit, 8u * 1024 * 1024);
    EXPECT_EQ(request.Fetch(stub.Url("/bytes/" + std::to_string(limit))), aws::kWebOk);
    EXPECT_EQ(request.Body().size(), limit);
    // Announced too large, and too large without any announced length.
    EXPECT_EQ(request.Fetch(stub.Url("/bytes/" + std::to_string(limit + 1))), aws::kWebTooLarge);
    EXPECT_EQ(request.Fetch(stub.Url("/bytes-nolength/" + std::to_string(limit + 1))),
              aws::kWebTooLarge);
    EXPECT_EQ(stub.Count("/bytes-nolength/" + std::to_string(limit + 1)), 1) << "no retry";
}

TEST_F(WebRequestTest, ServerErrorsEndTheTransferAfterOneTry) {
    for (int code : {503, 404, 500}) {
        WebRequest request;
        const std::string path = "/status/" + std::to_string(code);
        EXPECT_EQ(request.Fetch(stub.Url(path)), aws::kWebHttpError) << code;
        EXPECT_EQ(request.TriesMade(), 1) << code;
        EXPECT_EQ(stub.Count(path), 1) << code;
        EXPECT_EQ(request.LastHttpStatus(), code);
    }
}

TEST_F(WebRequestTest, OtherFailuresAreTriedThreeTimes) {
    WebRequest request;
    EXPECT_EQ(request.Fetch(stub.Url("/status/429")), aws::kWebFailed);
    EXPECT_EQ(request.TriesMade(), 3);
    EXPECT_EQ(stub.Count("/status/429"), 3);
}

TEST_F(WebRequestTest, AStalledServerIsAbortedAndTriedThreeTimes) {
    WebRequest request;
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(request.Download(stub.Url("/stall/1000/100"), PathFor("stalled.bin")),
              aws::kWebFailed);
    EXPECT_EQ(request.LastCurlCode(), CURLE_ABORTED_BY_CALLBACK);
    EXPECT_EQ(stub.Count("/stall/1000/100"), 3);
    EXPECT_EQ(request.TriesMade(), 3);
    // Three stalls of 0.4 s detected within about a second each, not a hang.
    EXPECT_LT(SecondsSince(start), 8.0);
}

TEST_F(WebRequestTest, ARetriedDownloadStartsTheFileAfresh) {
    // The first answer stalls after 300 bytes; the retry must not append the
    // whole file after them.
    WebRequest request;
    const std::string path = PathFor("retried.bin");
    ASSERT_EQ(request.Download(stub.Url("/stall-once/5000/300"), path), aws::kWebOk);
    EXPECT_EQ(stub.Count("/stall-once/5000/300"), 2);
    EXPECT_EQ(ReadFile(path), StubPattern(0, 5000));
}

TEST_F(WebRequestTest, ResumeAsksForTheRestAndCompletesTheFile) {
    const std::string path = PathFor("resumed.bin");
    {
        std::ofstream part(path, std::ios::binary);
        part << StubPattern(0, 1234);
    }
    WebRequest request;
    request.SetRange(1234, -1, true);
    ASSERT_EQ(request.Download(stub.Url("/bytes/4000"), path), aws::kWebOk);
    EXPECT_EQ(request.LastHttpStatus(), 206);
    EXPECT_NE(stub.Headers("/bytes/4000").find("Range: bytes=1234-"), std::string::npos);
    EXPECT_EQ(ReadFile(path), StubPattern(0, 4000));

    // A server that ignores the range sends the whole file: it is taken whole.
    {
        std::ofstream part(path, std::ios::binary | std::ios::trunc);
        part << StubPattern(0, 1234);
    }
    WebRequest again;
    again.SetRange(1234, -1, true);
    ASSERT_EQ(again.Download(stub.Url("/norange/4000"), path), aws::kWebOk);
    EXPECT_EQ(ReadFile(path), StubPattern(0, 4000));
}

TEST_F(WebRequestTest, ABoundedRangeFetchesThosePartsOnly) {
    WebRequest request;
    const std::string path = PathFor("range.bin");
    request.SetRange(100, 199, false);
    ASSERT_EQ(request.Download(stub.Url("/bytes/1000"), path), aws::kWebOk);
    EXPECT_NE(stub.Headers("/bytes/1000").find("Range: bytes=100-199"), std::string::npos);
    EXPECT_EQ(ReadFile(path), StubPattern(100, 200));
}

TEST_F(WebRequestTest, DownloadLimitIsTwentyMebibytesAndTheFileIsDeleted) {
    const std::uint64_t limit = WebRequest::kMaxDownloadBytes;
    ASSERT_EQ(limit, 20u * 1024 * 1024);
    const std::string path = PathFor("big.bin");
    WebRequest request;
    EXPECT_EQ(request.Download(stub.Url("/bytes-nolength/" + std::to_string(limit + 1)), path),
              aws::kWebTooLarge);
    EXPECT_FALSE(FileExists(path));
    EXPECT_EQ(request.Download(stub.Url("/bytes/" + std::to_string(limit + 1)), path),
              aws::kWebTooLarge);
    EXPECT_FALSE(FileExists(path));
    ASSERT_EQ(request.Download(stub.Url("/bytes/" + std::to_string(limit)), path), aws::kWebOk);
    EXPECT_EQ(request.BytesWritten(), limit);
    EXPECT_EQ(ReadFile(path).size(), limit);
}

TEST_F(WebRequestTest, HttpsStaysHttps) {
    // The stub speaks plain HTTP only: an https address must reach it as a
    // TLS hello (and fail), never as a plain request.
    const std::string url = "https://127.0.0.1:" + std::to_string(stub.port()) + "/bytes/10";
    WebRequest request;
    EXPECT_LT(request.Fetch(url), 0);
    EXPECT_EQ(request.EffectiveUrl().rfind("https://", 0), 0u) << request.EffectiveUrl();
    EXPECT_LT(request.Download(url, PathFor("tls.bin")), 0);
    EXPECT_EQ(stub.Count("/bytes/10"), 0);
    EXPECT_GE(stub.BadConnections(), 1);
}

TEST_F(WebRequestTest, OnlyHttpAndHttpsAddressesAreFollowed) {
    WebRequest request;
    EXPECT_LT(request.Fetch("file:///etc/hostname"), 0);
    EXPECT_TRUE(request.Body().empty());
    EXPECT_LT(request.Fetch(stub.Url("/redirect?to=file:///etc/hostname")), 0);
    EXPECT_TRUE(request.Body().empty() || request.Body() == "moved\n");
    ASSERT_EQ(request.Fetch(stub.Url("/redirect?to=") + stub.Url("/json-blank")), aws::kWebOk);
    EXPECT_EQ(request.Body(), JsonWithBlankLine());
}

TEST_F(WebRequestTest, OverallLimitEndsASlowButMovingTransfer) {
    WebRequest request;
    request.SetTimeLimitMs(600);
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(request.Fetch(stub.Url("/drip/200/50")), aws::kWebTimeLimit);
    EXPECT_LT(SecondsSince(start), 4.0);
    EXPECT_EQ(stub.Count("/drip/200/50"), 1);
}

TEST_F(WebRequestTest, CancelEndsARunningDownloadAndItsRetries) {
    WebRequest request;
    const std::string path = PathFor("cancelled.bin");
    ASSERT_TRUE(request.StartDownload(stub.Url("/stall/1000/10"), path));
    EXPECT_FALSE(request.StartDownload(stub.Url("/plain"), path)) << "one download at a time";
    ASSERT_TRUE(testsupport::WaitFor([&] { return stub.Count("/stall/1000/10") == 1; }));  // under way
    const auto start = std::chrono::steady_clock::now();
    request.Cancel();
    EXPECT_EQ(request.WaitDownload(), aws::kWebCancelled);
    EXPECT_TRUE(request.DownloadFinished());
    EXPECT_LT(SecondsSince(start), 3.0);
    EXPECT_EQ(stub.Count("/stall/1000/10"), 1);

    // A linked flag (a request's or the service's) cancels as well.
    std::atomic<bool> stop{true};
    WebRequest linked;
    linked.LinkCancelFlag(&stop);
    EXPECT_EQ(linked.Fetch(stub.Url("/plain")), aws::kWebCancelled);
    stop = false;
    EXPECT_EQ(linked.Fetch(stub.Url("/plain")), aws::kWebOk);
}

TEST_F(WebRequestTest, ChecksWithinTheCacheTimeMakeOneRequest) {
    WebRequest first;
    WebRequest second;
    const std::string host = stub.Url("/alive");
    EXPECT_EQ(first.CheckReachable(host), aws::kWebReachable);
    EXPECT_EQ(second.CheckReachable(host), aws::kWebReachable);
    EXPECT_EQ(stub.Count("/alive"), 1);
    EXPECT_EQ(stub.Headers("/alive").find("Range"), std::string::npos);
    std::this_thread::sleep_for(aws::CurrentNetTiming().checkCache + 100ms);
    EXPECT_EQ(first.CheckReachable(host), aws::kWebReachable);
    EXPECT_EQ(stub.Count("/alive"), 2);

    // Any HTTP answer means reachable; a closed port does not.
    EXPECT_EQ(first.CheckReachable(stub.Url("/status/503")), aws::kWebReachable);
    const std::string closed = "http://127.0.0.1:" + std::to_string(FreeLoopbackPort()) + "/";
    EXPECT_EQ(first.CheckReachable(closed), aws::kWebFailed);
    EXPECT_EQ(first.TriesMade(), 3);
}

}  // namespace
}  // namespace nettest
