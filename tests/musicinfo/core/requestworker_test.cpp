// The request worker behind MusicParserRequest: what each path through its
// steps delivers to the callback and writes into the service log, and how
// cancellation, shutdown and a dead network end it.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <future>
#include <atomic>
#include <thread>

#include "awsrequest.h"
#include "coretestsupport.h"
#include "http/nettiming.h"
#include "log/tracelog.h"
#include "network/awsfactory.h"
#include "privatehome.h"
#include "servicecontext.h"
#include "waitfor.h"

using namespace std::chrono_literals;
using coretest::CallbackProbe;
using coretest::CountOf;
using coretest::FakeNetwork;
using coretest::FakeRecognizer;
using coretest::ReadFile;
using coretest::RecognizerScript;

namespace {

constexpr auto kWait = 10s;
using AWSRequestParams = aws::AWSRequest::Params;  // generous bound for anything that should come at once

class RequestWorkerTest : public ::testing::Test {
protected:
    void SetUp() override {
        m_root = testsupport::makeTempDir("tunecap-core");
        m_support = m_root + "/support/";
        m_pictures = m_root + "/pictures/";
        ASSERT_EQ(::mkdir(m_support.c_str(), 0755), 0);
        m_song = m_root + "/song.wav";
        ASSERT_TRUE(coretest::WriteFile(m_song, "RIFF\x04\0\0\0WAVE"));

        aws::SetServiceTimingForTests({10ms, 2000ms});
        // A cleanup of an earlier test leaves the shutdown flag set until the
        // next MusicParserInit; requests made here directly need it clear.
        aws::ServiceContext::Instance().SetShuttingDown(false);
        m_script = std::make_shared<RecognizerScript>();
        m_network = std::make_shared<FakeNetwork>(true);
        aws::InstallRecognizer(std::make_shared<FakeRecognizer>(m_script));
        aws::InstallNetworkStatus(m_network);
    }

    void TearDown() override {
        MusicParserCleanup();
        aws::InstallRecognizer(nullptr);
        aws::InstallNetworkStatus(nullptr);
        aws::SetServiceTimingForTests({});
        testsupport::removeTree(m_root);
    }

    int Init(const std::string& support) {
        MusicParserInitInfo init{};
        std::strncpy(init.picturesDir, m_pictures.c_str(), sizeof init.picturesDir - 1);
        std::strncpy(init.appSupportDir, support.c_str(), sizeof init.appSupportDir - 1);
        return MusicParserInit(&init, nullptr);
    }

    void* Request(const char* path, const char* text1, CallbackProbe* probe) {
        MusicParserRequestInfo info{const_cast<char*>(path), const_cast<char*>(text1), nullptr,
                                    nullptr, probe, &CallbackProbe::Callback};
        return MusicParserRequest(&info);
    }

    // Starts a request and waits for its answer; nullptr (and a failure)
    // when it was refused or never answered.
    void* RequestAndWait(const char* path, const char* text1, CallbackProbe* probe) {
        void* handle = Request(path, text1, probe);
        if (handle == nullptr) {
            ADD_FAILURE() << "request refused";
        } else if (!probe->WaitForCalls(1, kWait)) {
            ADD_FAILURE() << "no answer";
            MusicParserDestroyRequest(handle);
            handle = nullptr;
        }
        return handle;
    }

    // The parameters of a request made directly, on the song file.
    AWSRequestParams DirectParams(CallbackProbe* probe, const char* text1) const {
        AWSRequestParams params;
        params.filePath = m_song;
        params.text1 = text1 != nullptr ? text1 : "";
        params.userData = probe;
        params.callback = &CallbackProbe::Callback;
        params.kind = 1;
        return params;
    }

    std::string LogText() const { return ReadFile(m_support + "musicinfo.log"); }

    void ScriptMatch() {
        aws::SongInfoRecord& m = m_script->match;
        aws::ClearSongInfoRecord(&m);
        aws::CopyText(m.albumId, "album-1");
        aws::CopyText(m.songName, "Identified Title");
        aws::CopyText(m.artist, "Identified Artist");
        aws::CopyText(m.album, "Identified Album");
        aws::CopyText(m.releaseDate, "1999");
        aws::CopyText(m.albumGenre, "2.Rock;");
        aws::CopyText(m.albumMusicList, "1 Identified Title; 2 Other; ");
        m_script->identifyResult = 0;
    }

    std::string m_root, m_support, m_pictures, m_song;
    std::shared_ptr<RecognizerScript> m_script;
    std::shared_ptr<FakeNetwork> m_network;
};

TEST_F(RequestWorkerTest, IdentifiedSongWithoutLinkArtworkGetsCoverByItsIdentifiedTexts) {
    ASSERT_EQ(Init(m_support), 0);
    ScriptMatch();
    m_script->artworkResult = -1;
    m_script->searchResult = 1;
    CallbackProbe probe;
    void* handle = RequestAndWait(m_song.c_str(), "Old Name", &probe);
    ASSERT_NE(handle, nullptr);

    EXPECT_EQ(probe.LastStatus(), STATUS_DONE);
    ASSERT_TRUE(probe.LastHadRecord());
    const RecordMusicInfo answer = probe.LastRecord();
    EXPECT_STREQ(answer.albumId, "album-1");
    EXPECT_STREQ(answer.songName, "Identified Title");
    EXPECT_STREQ(answer.artist, "Identified Artist");
    EXPECT_STREQ(answer.album, "Identified Album");
    EXPECT_STREQ(answer.releaseDate, "1999");
    EXPECT_STREQ(answer.albumGenre, "2.Rock;");
    EXPECT_STREQ(answer.albumMusicList, "1 Identified Title; 2 Other; ");
    EXPECT_EQ(answer.imageCount, 1);
    EXPECT_EQ(std::string(answer.imagePaths[0]), m_pictures + "google_1.jpg");
    {
        std::lock_guard<std::mutex> lock(m_script->lock);
        EXPECT_EQ(m_script->lastSearchSong, "Identified Title");  // texts replaced
    }
    auto* request = static_cast<aws::AWSRequest*>(handle);
    EXPECT_EQ(request->Kind(), 1);
    EXPECT_EQ(request->CurrentStep(), aws::STEP_ALBUM_COVER);
    MusicParserDestroyRequest(handle);

    const std::string log = LogText();
    EXPECT_NE(log.find("in aws::AWSRequest::WorkerThread STEP: STEP_ALBUM_COVER ***GN SDK OK@@@***\n"
                       "iTunes ID: "),
              std::string::npos)
        << log;
    EXPECT_NE(log.find(" \n MusicName: Identified Title \n Artist: Identified Artist \n Album: "
                       "Identified Album \n Image Count: 1 \n ReleaseDate: 1999 \n AlbumGenre: 2.Rock; "
                       "\n AlbumMusicList: 1 Identified Title; 2 Other;  \n "),
              std::string::npos)
        << log;
    EXPECT_NE(log.find(" \n imgindex: 0 \n Path: " + m_pictures +
                       "google_1.jpg \n DownloadUrl: http://127.0.0.1/cover.jpg \n Width: -1 \n Height: -1 \n"),
              std::string::npos)
        << log;
}

TEST_F(RequestWorkerTest, IdentifiedSongWithoutAnyArtworkIsDoneWithNoImages) {
    ASSERT_EQ(Init(m_support), 0);
    ScriptMatch();
    m_script->artworkResult = -1;
    m_script->searchResult = 0;
    CallbackProbe probe;
    void* handle = RequestAndWait(m_song.c_str(), nullptr, &probe);
    ASSERT_NE(handle, nullptr);
    EXPECT_EQ(probe.LastStatus(), STATUS_DONE);
    EXPECT_EQ(probe.LastRecord().imageCount, 0);
    EXPECT_STREQ(probe.LastRecord().songName, "Identified Title");
    MusicParserDestroyRequest(handle);
    EXPECT_NE(LogText().find(" STEP: STEP_TRACK_DATA ***GN SDK OK@@@***\n"), std::string::npos);
}

TEST_F(RequestWorkerTest, UnidentifiedSongWithoutText1FailsWithoutSearching) {
    ASSERT_EQ(Init(m_support), 0);
    m_script->identifyResult = -1;
    m_script->searchResult = 1;
    CallbackProbe probe;
    void* handle = RequestAndWait(m_song.c_str(), nullptr, &probe);
    ASSERT_NE(handle, nullptr);
    EXPECT_EQ(probe.LastStatus(), STATUS_FAILED);
    EXPECT_FALSE(probe.LastHadRecord());
    EXPECT_EQ(m_script->identifyCalls.load(), 1);
    EXPECT_EQ(m_script->searchCalls.load(), 0);
    MusicParserDestroyRequest(handle);
    EXPECT_NE(LogText().find(" STEP: STEP_NONE ***GN SDK FAIL!!!***\niTunes ID: "), std::string::npos);
}

// The library as shipped while it has no recognition service: set-up fails,
// requests still run and end failed, and the log says why.
// The library's own recognizer, with every service address on a loopback
// port where nothing listens: initialisation keeps its user and locale, and
// a request that can neither identify nor search fails and the log says so.
TEST_F(RequestWorkerTest, WithNoRecognitionServiceReachableRequestsFailAndTheLogSaysSo) {
    aws::InstallRecognizer(nullptr);
    const std::string dead = "http://127.0.0.1:9";
    for (const char* name : {"TUNECAP_ACOUSTID_URL", "TUNECAP_MUSICBRAINZ_URL", "TUNECAP_COVERART_URL"})
        ::setenv(name, dead.c_str(), 1);
    ::setenv("TUNECAP_IMAGESEARCH_URL", "", 1);
    ::setenv("TUNECAP_ACOUSTID_KEY", "test-key", 1);
    EXPECT_EQ(Init(m_support), 0);
    EXPECT_FALSE(ReadFile(m_support + "gnuser.dat").empty());
    EXPECT_FALSE(ReadFile(m_support + "gnlocale.dat").empty());
    CallbackProbe probe;
    void* handle = RequestAndWait(m_song.c_str(), "Some Song", &probe);
    ASSERT_NE(handle, nullptr);
    EXPECT_EQ(probe.LastStatus(), STATUS_FAILED);
    EXPECT_FALSE(probe.LastHadRecord());
    MusicParserDestroyRequest(handle);
    ::setenv("TUNECAP_IMAGESEARCH_URL", dead.c_str(), 1);  // as the test program starts
    ::unsetenv("TUNECAP_ACOUSTID_KEY");
    const std::string log = LogText();
    EXPECT_NE(log.find(" STEP: STEP_NONE ***GN SDK FAIL!!!***\niTunes ID: "), std::string::npos) << log;
    EXPECT_NE(log.find(" \n MusicName: Some Song \n "), std::string::npos) << log;
}

TEST_F(RequestWorkerTest, KindFollowsWhatTheRequestCanWorkWith) {
    ASSERT_EQ(Init(m_support), 0);
    const std::string missing = m_root + "/missing.wav";
    struct Case {
        const char* path;
        int kind;
    } cases[] = {{"   ", 2}, {missing.c_str(), 2}, {nullptr, 2}, {m_song.c_str(), 1}, {m_root.c_str(), 2}};
    for (const Case& c : cases) {
        // Waiting for the answer: a request destroyed after it decided may
        // still call back, and the probe must outlive that.
        CallbackProbe probe;
        void* handle = RequestAndWait(c.path, "Some Song", &probe);
        ASSERT_NE(handle, nullptr) << (c.path ? c.path : "(null)");
        EXPECT_EQ(static_cast<aws::AWSRequest*>(handle)->Kind(), c.kind) << (c.path ? c.path : "(null)");
        MusicParserDestroyRequest(handle);
    }
    // A folder is not a file: without text 1 nothing is started.
    CallbackProbe unused;
    EXPECT_EQ(Request(m_root.c_str(), nullptr, &unused), nullptr);
}

TEST_F(RequestWorkerTest, TextOnlyRequestIsDoneOnlyWhenTheSearchFindsArtwork) {
    ASSERT_EQ(Init(m_support), 0);
    m_script->searchResult = 1;
    CallbackProbe found;
    void* handle = RequestAndWait("", "Song By Name", &found);
    ASSERT_NE(handle, nullptr);
    EXPECT_EQ(found.LastStatus(), STATUS_DONE);
    EXPECT_EQ(found.LastRecord().imageCount, 1);
    EXPECT_STREQ(found.LastRecord().songName, "");  // only the image fields are filled
    EXPECT_EQ(m_script->identifyCalls.load(), 0);
    MusicParserDestroyRequest(handle);

    m_script->searchResult = 0;
    CallbackProbe notFound;
    handle = RequestAndWait("", "Song By Name", &notFound);
    ASSERT_NE(handle, nullptr);
    EXPECT_EQ(notFound.LastStatus(), STATUS_FAILED);
    EXPECT_FALSE(notFound.LastHadRecord());
    MusicParserDestroyRequest(handle);
}

TEST_F(RequestWorkerTest, DestroyDuringIdentificationStopsTheWorkerWithoutCallback) {
    ASSERT_EQ(Init(m_support), 0);
    m_script->blockIdentify = true;
    CallbackProbe probe;
    void* handle = Request(m_song.c_str(), "Blocked", &probe);
    ASSERT_NE(handle, nullptr);
    ASSERT_TRUE(m_script->WaitForIdentifyEntered(kWait));

    MusicParserDestroyRequest(handle);
    {
        std::lock_guard<std::mutex> lock(m_script->lock);
        EXPECT_TRUE(m_script->identifyReturned);  // the worker left the identification
    }
    // The worker has been joined: no notifier can start any more.
    EXPECT_EQ(probe.Calls(), 0);
    testsupport::WaitFor([&] { return probe.Calls() != 0; }, 50ms);
    EXPECT_EQ(probe.Calls(), 0);
}

TEST_F(RequestWorkerTest, CancelledRequestEndsCancelledAndNotRunning) {
    m_script->blockIdentify = true;
    CallbackProbe probe;
    const AWSRequestParams params = DirectParams(&probe, "Blocked");
    aws::AWSRequest request(params, std::make_shared<FakeRecognizer>(m_script), m_network);
    EXPECT_TRUE(request.IsFinished());  // never started
    ASSERT_EQ(request.Start(), 0);
    ASSERT_TRUE(m_script->WaitForIdentifyEntered(kWait));
    EXPECT_EQ(request.Start(), -1);  // already running
    request.CancelAndJoin();
    EXPECT_EQ(request.Status(), STATUS_CANCELLED);
    EXPECT_FALSE(request.IsRunning());
    EXPECT_TRUE(request.IsFinished());
    EXPECT_EQ(probe.Calls(), 0);
}

// The hand-over: the answer is read before the worker may end, so the
// request can be destroyed while its callback still runs, and the record
// stays valid for the whole callback.
struct SlowCallback {
    std::mutex lock;
    std::condition_variable changed;
    bool entered = false;   // guarded by lock
    bool released = false;  // guarded by lock
    bool done = false;      // guarded by lock
    std::string seen;       // guarded by lock

    static int Callback(void* userData, int, RecordMusicInfo* info) {
        auto* self = static_cast<SlowCallback*>(userData);
        std::unique_lock<std::mutex> guard(self->lock);
        self->entered = true;
        self->changed.notify_all();
        self->changed.wait(guard, [self] { return self->released; });
        self->seen = info != nullptr ? info->songName : "(null)";
        self->done = true;
        self->changed.notify_all();
        return 0;
    }
};

TEST_F(RequestWorkerTest, RequestCanBeDestroyedWhileItsCallbackRuns) {
    ASSERT_EQ(Init(m_support), 0);
    ScriptMatch();
    SlowCallback slow;
    MusicParserRequestInfo info{const_cast<char*>(m_song.c_str()), nullptr, nullptr, nullptr, &slow,
                                &SlowCallback::Callback};
    void* handle = MusicParserRequest(&info);
    ASSERT_NE(handle, nullptr);
    {
        std::unique_lock<std::mutex> guard(slow.lock);
        ASSERT_TRUE(slow.changed.wait_for(guard, kWait, [&] { return slow.entered; }));
    }
    auto destroyed = std::async(std::launch::async, [handle] { MusicParserDestroyRequest(handle); });
    const bool returned = destroyed.wait_for(kWait) == std::future_status::ready;
    {
        std::lock_guard<std::mutex> guard(slow.lock);
        slow.released = true;
        slow.changed.notify_all();
    }
    destroyed.wait();
    EXPECT_TRUE(returned) << "MusicParserDestroyRequest waited for the running callback";
    std::unique_lock<std::mutex> guard(slow.lock);
    ASSERT_TRUE(slow.changed.wait_for(guard, kWait, [&] { return slow.done; }));
    EXPECT_EQ(slow.seen, "Identified Title");
}

TEST_F(RequestWorkerTest, ConcurrentRequestsAnswerOnceEachAndLogWholeEntries) {
    ASSERT_EQ(Init(m_support), 0);
    constexpr int kRequests = 6;
    CallbackProbe probes[kRequests];
    void* handles[kRequests];
    for (int i = 0; i < kRequests; ++i) {
        handles[i] = Request(m_song.c_str(), "Parallel", &probes[i]);
        ASSERT_NE(handles[i], nullptr);
    }
    for (int i = 0; i < kRequests; ++i) {
        ASSERT_TRUE(probes[i].WaitForCalls(1, kWait));
        MusicParserDestroyRequest(handles[i]);
        EXPECT_EQ(probes[i].Calls(), 1);
        EXPECT_EQ(probes[i].LastStatus(), STATUS_FAILED);
    }
    const std::string log = LogText();
    EXPECT_EQ(CountOf(log, "in aws::AWSRequest::WorkerThread STEP: STEP_NONE ***GN SDK FAIL!!!***\n"
                           "iTunes ID: "),
              kRequests);
    EXPECT_EQ(CountOf(log, " \n MusicName: Parallel \n "), kRequests);
}

TEST_F(RequestWorkerTest, NetworkLostBeforeTheSearchFailsWithTheNetworkText) {
    m_network->SetOnline(false);
    CallbackProbe probe;
    const AWSRequestParams params = DirectParams(&probe, "No Net");
    aws::SetServiceTimingForTests({10ms, 5000ms});
    aws::AWSRequest request(params, std::make_shared<FakeRecognizer>(m_script), m_network);
    ASSERT_EQ(request.Start(), 0);
    ASSERT_TRUE(probe.WaitForCalls(1, kWait));
    EXPECT_EQ(probe.LastStatus(), STATUS_FAILED);
    EXPECT_FALSE(probe.LastHadRecord());
    EXPECT_EQ(m_script->identifyCalls.load(), 0);
    EXPECT_EQ(m_script->searchCalls.load(), 0);
    // An unreachable network still decides the request: destroying it does
    // not sit out the wait for the finished flag.
    const auto start = std::chrono::steady_clock::now();
    request.CancelAndJoin();
    EXPECT_LT(std::chrono::steady_clock::now() - start, 2500ms);
    EXPECT_TRUE(request.IsFinished());
    EXPECT_FALSE(request.IsRunning());
}

// Entries that cannot be written are dropped; requests still complete.
TEST_F(RequestWorkerTest, UnwritableSupportFolderDropsEntriesButRequestsComplete) {
    // A folder below a plain file cannot be written even by root.
    const std::string plain = m_root + "/plain";
    ASSERT_TRUE(coretest::WriteFile(plain, "x"));
    std::vector<std::string> folders = {plain + "/support/"};
    const std::string readOnly = m_root + "/readonly/";
    if (::geteuid() != 0) {
        ASSERT_EQ(::mkdir(readOnly.c_str(), 0555), 0);
        folders.push_back(readOnly);
    }
    for (const std::string& folder : folders) {
        Init(folder);
        CallbackProbe probe;
        void* handle = Request(m_song.c_str(), "Unlogged", &probe);
        ASSERT_NE(handle, nullptr);
        ASSERT_TRUE(probe.WaitForCalls(1, kWait)) << folder;
        EXPECT_EQ(probe.LastStatus(), STATUS_FAILED);
        MusicParserDestroyRequest(handle);
        EXPECT_NE(::access((folder + "musicinfo.log").c_str(), F_OK), 0) << folder;
        MusicParserCleanup();
    }
}

// After MusicParserCleanup nothing would ever answer a request: it is
// refused (NULL) until the service is initialised again.
TEST_F(RequestWorkerTest, RequestAfterCleanupIsRefusedUntilTheNextInit) {
    ASSERT_EQ(Init(m_support), 0);
    MusicParserCleanup();
    CallbackProbe probe;
    void* refused = Request(m_song.c_str(), "After Cleanup", &probe);
    EXPECT_EQ(refused, nullptr);
    MusicParserDestroyRequest(refused);
    EXPECT_EQ(Request(nullptr, "After Cleanup", &probe), nullptr);

    ASSERT_EQ(Init(m_support), 0);
    void* handle = RequestAndWait(m_song.c_str(), "After Init", &probe);
    ASSERT_NE(handle, nullptr);
    EXPECT_EQ(probe.LastStatus(), STATUS_FAILED);
    MusicParserDestroyRequest(handle);
    EXPECT_EQ(probe.Calls(), 1);
}

// Requests that decide after the service was cleaned up end cancelled and
// never call back.
TEST_F(RequestWorkerTest, CleanupWhileARequestRunsSuppressesItsCallback) {
    ASSERT_EQ(Init(m_support), 0);
    m_script->blockIdentify = true;
    CallbackProbe probe;
    const AWSRequestParams params = DirectParams(&probe, nullptr);
    aws::AWSRequest request(params, std::make_shared<FakeRecognizer>(m_script), m_network);
    ASSERT_EQ(request.Start(), 0);
    ASSERT_TRUE(m_script->WaitForIdentifyEntered(kWait));
    MusicParserCleanup();
    request.CancelAndJoin();
    EXPECT_EQ(request.Status(), STATUS_CANCELLED);
    EXPECT_EQ(probe.Calls(), 0);
}

TEST(WorkerLogEntry, TextsFollowTheStepAndCutEachPart) {
    aws::SongInfoRecord record;
    aws::ClearSongInfoRecord(&record);
    EXPECT_EQ(aws::FormatWorkerLogEntry(7, false, true, record, "123", "Name"),
              "in aws::AWSRequest::WorkerThread STEP: ERROR Value: ***GN SDK FAIL!!!***\n"
              "iTunes ID: 123 \n MusicName: Name \n ");
    EXPECT_EQ(aws::FormatWorkerLogEntry(aws::STEP_LAST, false, false, record, "9", ""),
              "in aws::AWSRequest::WorkerThread STEP: STEP_LAST "
              "***Unable to connect to the network.&&&***\niTunes ID: 9 \n MusicName:  \n ");

    // A full track list overflows the record's part, which is cut at 1023 bytes.
    std::memset(record.albumMusicList, 'x', sizeof record.albumMusicList - 1);
    aws::CopyText(record.identifier, "42");
    const std::string entry = aws::FormatWorkerLogEntry(aws::STEP_TRACK_DATA, true, true, record, "42", "");
    const std::string head = "in aws::AWSRequest::WorkerThread STEP: STEP_TRACK_DATA ***GN SDK OK@@@***\n";
    ASSERT_EQ(entry.compare(0, head.size(), head), 0);
    EXPECT_EQ(entry.size(), head.size() + 1023);  // no images: one record part only
    EXPECT_EQ(entry.back(), 'x');
}

TEST_F(RequestWorkerTest, TextsTooLongForTheirFieldsAreCutBetweenCharacters) {
    // "\xC3\xA9" is one two-byte character: 2 + 64 * 2 bytes, so the cut at
    // 127 bytes would split the 63rd of them.
    std::string song = "ab";
    for (int i = 0; i < 64; ++i) song += "\xC3\xA9";
    ASSERT_EQ(Init(m_support), 0);
    CallbackProbe probe;
    void* handle = RequestAndWait("", song.c_str(), &probe);
    ASSERT_NE(handle, nullptr);
    MusicParserDestroyRequest(handle);
    std::string expected = "ab";
    for (int i = 0; i < 62; ++i) expected += "\xC3\xA9";
    {
        std::lock_guard<std::mutex> lock(m_script->lock);
        EXPECT_EQ(m_script->lastSearchSong, expected);
    }

    // Fixed fields take whole characters only; bytes that are no UTF-8
    // are cut at the width as before.
    char field[8];
    aws::CopyText(field, "abcdef\xE2\x82\xAC");  // the three-byte euro sign
    EXPECT_STREQ(field, "abcdef");
    aws::CopyText(field, "abcd\xF0\x9F\x8E\xB5x");  // a four-byte note
    EXPECT_STREQ(field, "abcd");
    aws::CopyText(field, "abcdefgh");
    EXPECT_STREQ(field, "abcdefg");
    aws::CopyText(field, "a\x80\x80\x80\x80\x80\x80\x80\x80");
    EXPECT_EQ(std::strlen(field), 7u);
}

TEST(ProxyRecord, ShortHostsMeanNoProxyAndTextsAreTerminated) {
    MusicParserProxyParam proxy{};
    proxy.type = 0;
    proxy.port = 3128;
    std::memcpy(proxy.host, "ab", 2);
    EXPECT_EQ(aws::NormalisedProxy(proxy).type, -1);

    std::memset(proxy.host, 'h', sizeof proxy.host);  // no NUL at all
    std::memset(proxy.password, 'p', sizeof proxy.password);
    const MusicParserProxyParam stored = aws::NormalisedProxy(proxy);
    EXPECT_EQ(stored.type, 0);
    EXPECT_EQ(stored.port, 3128);
    EXPECT_EQ(std::strlen(stored.host), sizeof stored.host - 1);
    EXPECT_EQ(std::strlen(stored.password), sizeof stored.password - 1);
}

// The real network state, probing a loopback port where nothing listens.
class OfflineServiceTest : public ::testing::Test {
protected:
    void SetUp() override {
        m_root = testsupport::makeTempDir("tunecap-offline");
        m_support = m_root + "/support/";
        ASSERT_EQ(::mkdir(m_support.c_str(), 0755), 0);
        m_script = std::make_shared<RecognizerScript>();
        m_script->identifyResult = 0;
        m_script->searchResult = 1;
        aws::InstallRecognizer(std::make_shared<FakeRecognizer>(m_script));
        aws::InstallNetworkStatus(nullptr);

        // A port that was just free: connections are refused at once.
        const int s = ::socket(AF_INET, SOCK_STREAM, 0);
        ASSERT_GE(s, 0);
        sockaddr_in addr{};
        addr.sin_family = AF_INET;
        addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        ASSERT_EQ(::bind(s, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
        socklen_t len = sizeof addr;
        ASSERT_EQ(::getsockname(s, reinterpret_cast<sockaddr*>(&addr), &len), 0);
        ::close(s);
        const std::string hosts = "http://127.0.0.1:" + std::to_string(ntohs(addr.sin_port)) + "/";
        ::setenv("TUNECAP_PROBE_HOSTS", hosts.c_str(), 1);

        aws::NetTiming timing;
        timing.probeInterval = 50ms;
        timing.checkCache = 0ms;
        timing.verdictPoll = 20ms;
        timing.checkTimeout = 2000ms;
        timing.connectTimeout = 2000ms;
        timing.retryPause = 10ms;
        aws::SetNetTimingForTests(timing);
    }
    void TearDown() override {
        MusicParserCleanup();
        ::unsetenv("TUNECAP_PROBE_HOSTS");
        aws::ResetNetTimingForTests();
        aws::InstallRecognizer(nullptr);
        testsupport::removeTree(m_root);
    }
    std::string m_root, m_support;
    std::shared_ptr<RecognizerScript> m_script;
};

TEST_F(OfflineServiceTest, OfflineFromTheStartFailsEveryRequestWithTheNetworkText) {
    MusicParserInitInfo init{};
    std::strncpy(init.picturesDir, (m_root + "/pictures").c_str(), sizeof init.picturesDir - 1);
    std::strncpy(init.appSupportDir, m_support.c_str(), sizeof init.appSupportDir - 1);
    // Init waits for the first verdict of the state thread, which is offline.
    MusicParserInit(&init, nullptr);

    const std::string song = m_root + "/song.wav";
    ASSERT_TRUE(coretest::WriteFile(song, "RIFF"));
    CallbackProbe probe;
    MusicParserRequestInfo info{const_cast<char*>(song.c_str()), const_cast<char*>("Offline Song"),
                                nullptr, nullptr, &probe, &CallbackProbe::Callback};
    void* handle = MusicParserRequest(&info);
    ASSERT_NE(handle, nullptr);
    ASSERT_TRUE(probe.WaitForCalls(1, kWait));
    EXPECT_EQ(probe.LastStatus(), STATUS_FAILED);
    EXPECT_FALSE(probe.LastHadRecord());
    EXPECT_EQ(m_script->identifyCalls.load(), 0);
    EXPECT_EQ(m_script->searchCalls.load(), 0);
    const std::string id = static_cast<aws::AWSRequest*>(handle)->Identifier();
    MusicParserDestroyRequest(handle);

    EXPECT_NE(ReadFile(m_support + "musicinfo.log")
                  .find("in aws::AWSRequest::WorkerThread STEP: STEP_NONE "
                        "***Unable to connect to the network.&&&***\niTunes ID: " +
                        id + " \n MusicName: Offline Song \n "),
              std::string::npos)
        << ReadFile(m_support + "musicinfo.log");
}

// A request still running when the service is cleaned up must not start
// the network-state thread (and libcurl) again when it ends.
TEST_F(OfflineServiceTest, RequestEndingAfterCleanupLeavesTheServiceStopped) {
    aws::NetTiming timing = aws::CurrentNetTiming();
    timing.probeInterval = 500ms;  // no pass between the verdict set below and the request
    aws::SetNetTimingForTests(timing);
    m_script->blockIdentify = true;
    MusicParserInitInfo init{};
    std::strncpy(init.appSupportDir, m_support.c_str(), sizeof init.appSupportDir - 1);
    MusicParserInit(&init, nullptr);
    aws::AWSFactory::Instance().SetNetworkState(aws::AWSFactory::kStateOnline);

    const std::string song = m_root + "/song.wav";
    ASSERT_TRUE(coretest::WriteFile(song, "RIFF"));
    CallbackProbe probe;
    MusicParserRequestInfo info{const_cast<char*>(song.c_str()), nullptr, nullptr, nullptr, &probe,
                                &CallbackProbe::Callback};
    void* handle = MusicParserRequest(&info);
    ASSERT_NE(handle, nullptr);
    ASSERT_TRUE(m_script->WaitForIdentifyEntered(kWait));

    MusicParserCleanup();
    ASSERT_TRUE(aws::AWSFactory::Instance().IsShuttingDown());
    MusicParserDestroyRequest(handle);
    EXPECT_TRUE(aws::AWSFactory::Instance().IsShuttingDown());
    EXPECT_EQ(aws::AWSFactory::Instance().LibraryState(), -1);
    EXPECT_EQ(probe.Calls(), 0);
}

TEST_F(OfflineServiceTest, DestroyWhileWaitingForTheFirstVerdictReturnsPromptly) {
    aws::NetTiming timing = aws::CurrentNetTiming();
    timing.probeInterval = 60s;  // no verdict during the test
    timing.verdictPoll = 2000ms;
    aws::SetNetTimingForTests(timing);
    ASSERT_TRUE(aws::AWSFactory::Instance().StartStateThread());
    aws::ServiceContext::Instance().SetShuttingDown(false);  // as MusicParserInit leaves it

    CallbackProbe probe;
    MusicParserRequestInfo info{nullptr, const_cast<char*>("Waiting Song"), nullptr, nullptr, &probe,
                                &CallbackProbe::Callback};
    void* handle = MusicParserRequest(&info);
    ASSERT_NE(handle, nullptr);
    std::this_thread::sleep_for(100ms);  // the worker is waiting now
    const auto start = std::chrono::steady_clock::now();
    MusicParserDestroyRequest(handle);
    EXPECT_LT(std::chrono::steady_clock::now() - start, 500ms);
    EXPECT_EQ(probe.Calls(), 0);
}

// A program that quits while its start-up still waits for the first verdict
// cleans up from another thread: the wait ends at once and Init fails.
TEST_F(OfflineServiceTest, CleanupDuringInitEndsItsWaitForTheFirstVerdict) {
    aws::NetTiming timing = aws::CurrentNetTiming();
    timing.probeInterval = 60s;  // no verdict during the test
    timing.verdictPoll = 2000ms;
    aws::SetNetTimingForTests(timing);
    MusicParserInitInfo init{};
    std::strncpy(init.appSupportDir, m_support.c_str(), sizeof init.appSupportDir - 1);

    std::atomic<int> result{1};
    std::thread starting([&] { result = MusicParserInit(&init, nullptr); });
    std::this_thread::sleep_for(200ms);  // Init is waiting now
    EXPECT_EQ(result.load(), 1);
    const auto start = std::chrono::steady_clock::now();
    MusicParserCleanup();
    starting.join();
    EXPECT_LT(std::chrono::steady_clock::now() - start, 500ms);
    EXPECT_EQ(result.load(), -1);
}

}  // namespace
