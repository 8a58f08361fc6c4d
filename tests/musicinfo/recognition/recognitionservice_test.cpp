// Identification end to end: MusicParserRequest on synthesised songs against
// the loopback stand-ins of AcoustID, MusicBrainz and the Cover Art Archive,
// through the library's own recognizer, network state and service log.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <memory>
#include <thread>

#include "coretestsupport.h"
#include "http/nettiming.h"
#include "musicworld.h"
#include "servicefixture.h"
#include "nettestfixture.h"
#include "network/awsfactory.h"
#include "privatehome.h"
#include "recognition/fingerprinter.h"
#include "recognition/serviceanswers.h"
#include "servicecontext.h"
#include "tunecap.h"
#include "wav/wavfile.h"
#include "waitfor.h"

namespace {

using namespace std::chrono_literals;
using coretest::CallbackProbe;
using musictest::kAnswerWait;
using musictest::MusicServices;

class RecognitionServiceTest : public musictest::ServiceFixture {};

TEST_F(RecognitionServiceTest, RecordedSongIsIdentifiedWithAlbumTracksGenreAndCover) {
    StartServices();
    CallbackProbe probe;
    ASSERT_EQ(RequestAndWait(songs->songAMp3, "AU20240101 120000 temp", &probe), STATUS_DONE);
    ASSERT_TRUE(probe.LastHadRecord());
    const RecordMusicInfo info = probe.LastRecord();
    EXPECT_EQ(musictest::Text(info.albumId), musictest::kReleaseId);
    EXPECT_EQ(musictest::Text(info.songName), "Second Wave");
    EXPECT_EQ(musictest::Text(info.artist), "Test Artist & Second Artist");
    EXPECT_EQ(musictest::Text(info.releaseDate), "2021-06-15");
    EXPECT_EQ(musictest::Text(info.albumGenre), "2.Alternative Rock;");
    EXPECT_EQ(musictest::Text(info.albumMusicList), "1 First Light; 2 Second Wave; ");

    // The cover of the first size, from the release, written as it came.
    ASSERT_EQ(info.imageCount, 1);
    const std::string image = info.imagePaths[0];
    EXPECT_EQ(image.rfind(pictures, 0), 0u) << image;
    EXPECT_NE(image.find(std::string("_") + musictest::kReleaseId + "_small_"), std::string::npos) << image;
    EXPECT_EQ(musictest::ReadWhole(image), musictest::ReadWhole(songs->cover250Jpeg));

    // What went over the wire: the whole song's length beside the
    // fingerprint, the includes the album needs, one cover size, and a
    // User-Agent naming the program and its version on every request.
    const auto lookups = services->Log("acoustid");
    ASSERT_EQ(lookups.size(), 1u);
    EXPECT_EQ(musictest::QueryValue(lookups[0].query, "duration"), "130");
    EXPECT_EQ(musictest::QueryValue(lookups[0].query, "client"), musictest::kAcoustIdKey);
    const auto releases = services->Log("mb");
    ASSERT_EQ(releases.size(), 1u);
    EXPECT_EQ(releases[0].path, std::string("/mb/ws/2/release/") + musictest::kReleaseId);
    EXPECT_EQ(musictest::QueryValue(releases[0].query, "inc"), "artist-credits recordings release-groups genres");
    const auto covers = services->Log("caa");
    ASSERT_EQ(covers.size(), 1u);
    EXPECT_EQ(covers[0].path, std::string("/caa/release/") + musictest::kReleaseId + "/front-250");
    for (const auto& request : services->Log()) {
        EXPECT_EQ(request.agent.rfind("Tunecap/1.0.0.1 (", 0), 0u) << request.path << ": " << request.agent;
    }
    EXPECT_NE(LogText().find("***GN SDK OK@@@***"), std::string::npos);
}

// The service matches whole songs: a sample of a song is not within 7 s of
// its length, and a song that merely shares its opening scores too low.
// Neither is given the catalogue song's tags.
TEST_F(RecognitionServiceTest, ShortSamplesAndStrangersAreNotTagged) {
    StartServices();
    // The stranger gets a candidate, but a weak one.
    aws::Fingerprinter fingerprint;
    {
        auto wav = aws::WavFile::Open(songs->stranger.c_str());
        ASSERT_TRUE(wav && wav->SeekToData());
        ASSERT_TRUE(fingerprint.Begin(static_cast<int>(wav->Info().sampleRate), 16, wav->Info().channels));
        std::vector<char> block(262144);
        bool complete = false;
        for (std::size_t n; !complete && (n = wav->ReadData(block.data(), block.size())) > 0;)
            ASSERT_TRUE(fingerprint.Feed(block.data(), n, &complete));
        ASSERT_TRUE(fingerprint.End());
    }
    aws::AcoustIdAnswer answer;
    ASSERT_TRUE(aws::ReadAcoustIdAnswer(
        nettest::RawGet(services->Base() + "/acoustid/v2/lookup?client=" + musictest::kAcoustIdKey +
                        "&meta=recordings&duration=130&format=json&fingerprint=" + fingerprint.Encoded()),
        &answer));
    ASSERT_TRUE(answer.ok);
    ASSERT_FALSE(answer.results.empty());
    EXPECT_GT(answer.results[0].score, 0.1);
    EXPECT_LT(answer.results[0].score, 0.5);

    for (const std::string& path : {songs->sampleA, songs->stranger}) {
        CallbackProbe probe;
        EXPECT_EQ(RequestAndWait(path, "AU20240101 temp", &probe), STATUS_FAILED) << path;
        EXPECT_FALSE(probe.LastHadRecord());
    }
    const auto lookups = services->Log("acoustid");
    ASSERT_EQ(lookups.size(), 3u);  // the test's own, then one for each song
    EXPECT_EQ(musictest::QueryValue(lookups[1].query, "duration"), "20");
    EXPECT_EQ(musictest::QueryValue(lookups[2].query, "duration"), "130");
    // No album was looked up for either.
    for (const auto& request : services->Log("mb")) EXPECT_EQ(request.path.find("/ws/2/release/"), std::string::npos);
}

TEST_F(RecognitionServiceTest, WavWithoutChannelsIsNotFingerprinted) {
    StartServices();
    const std::string silent = m_root + "/nochannels.wav";
    ASSERT_TRUE(musictest::WriteWavHeaderFile(silent, 0, 44100, 16, 441000));
    CallbackProbe probe;
    EXPECT_EQ(RequestAndWait(silent, nullptr, &probe), STATUS_FAILED);
    EXPECT_TRUE(services->Log("acoustid").empty());
    EXPECT_NE(LogText().find("no usable PCM"), std::string::npos);
}

TEST_F(RecognitionServiceTest, LostConnectionToTheServiceSetsTheNetworkOffline) {
    services = std::make_unique<MusicServices>(world);
    ASSERT_TRUE(services->ok());
    services->Export(true);
    // The identification service is a port where nothing listens.
    ::setenv("TUNECAP_ACOUSTID_URL", ("http://127.0.0.1:" + std::to_string(nettest::FreeLoopbackPort())).c_str(), 1);
    ASSERT_EQ(Init(), 0);
    // No probe pass may set the state again during the request.
    aws::NetTiming timing = nettest::FastTiming();
    timing.probeInterval = 60s;
    aws::SetNetTimingForTests(timing);
    std::this_thread::sleep_for(400ms);
    ASSERT_EQ(aws::AWSFactory::Instance().NetworkState(), aws::AWSFactory::kStateOnline);

    CallbackProbe probe;
    EXPECT_EQ(RequestAndWait(songs->songAMp3, "Some Song", &probe), STATUS_FAILED);
    EXPECT_EQ(aws::AWSFactory::Instance().NetworkState(), aws::AWSFactory::kStateOffline);
    EXPECT_NE(LogText().find("***Unable to connect to the network.&&&***"), std::string::npos) << LogText();
    // Offline, the text search did not run either.
    EXPECT_TRUE(services->Log("mb").empty());
}

TEST_F(RecognitionServiceTest, ArtworkStopsAtTheFirstSizeThatDelivers) {
    // The release has a 500 cover only, its release group none.
    world["covers"][musictest::kReleaseId].removeMember("250");
    world["covers"][musictest::kReleaseId].removeMember("1200");
    world["covers"][musictest::kReleaseId].removeMember("original");
    StartServices();
    CallbackProbe probe;
    ASSERT_EQ(RequestAndWait(songs->songAMp3, nullptr, &probe), STATUS_DONE);
    const RecordMusicInfo info = probe.LastRecord();
    ASSERT_EQ(info.imageCount, 1);
    const std::string image = info.imagePaths[0];
    EXPECT_NE(image.find("_medium_"), std::string::npos) << image;
    EXPECT_EQ(image.substr(image.size() - 4), ".png");
    EXPECT_EQ(musictest::ReadWhole(image), musictest::ReadWhole(songs->cover500Png));

    std::vector<std::string> paths;
    for (const auto& request : services->Log("caa")) paths.push_back(request.path);
    const std::string release = std::string("/caa/release/") + musictest::kReleaseId;
    const std::string group = std::string("/caa/release-group/") + musictest::kReleaseGroupId;
    EXPECT_EQ(paths, (std::vector<std::string>{release + "/front-250", group + "/front-250", release + "/front-500"}));
}

// The song is named after the recording it matched, never after another
// track of its release that the lookup's out-of-date link names, though that
// track comes after its own; the track list stays the release's.
TEST_F(RecognitionServiceTest, SongIsNamedAfterItsRecordingNotAnotherTrackOfTheRelease) {
    Json::Value& tracks = world["releases"][0]["media"][0]["tracks"];
    world["acoustid_tracks"][musictest::kRecordingA].append(tracks[0]["id"]);  // the other song's
    std::swap(tracks[0], tracks[1]);
    StartServices();
    CallbackProbe probe;
    ASSERT_EQ(RequestAndWait(songs->songAMp3, nullptr, &probe), STATUS_DONE);
    EXPECT_EQ(musictest::Text(probe.LastRecord().songName), "Second Wave");
    EXPECT_EQ(musictest::Text(probe.LastRecord().albumMusicList), "2 Second Wave; 1 First Light; ");
}

// A cover server that announces a large image, sends a few bytes and falls
// silent costs the song no more than the covers' budget, although one such
// transfer alone would outlast it: the answer keeps the song's texts and
// comes without a cover.
TEST_F(RecognitionServiceTest, StallingCoverServerCostsNoMoreThanTheCoverBudget) {
    nettest::HttpStub stub;
    ASSERT_TRUE(stub.ok());
    const std::string stall = "/stall/10485760/104";
    for (const char* id : {musictest::kReleaseId, musictest::kReleaseGroupId})
        world["covers"][id]["redirect"] = stub.Url(stall);
    aws::NetTiming timing = nettest::FastTiming();
    timing.stallLimit = 60s;
    aws::SetNetTimingForTests(timing);
    ::setenv("TUNECAP_COVER_BUDGET_MS", "3000", 1);
    StartServices();
    CallbackProbe probe;
    void* handle = Request(songs->songAMp3, nullptr, &probe);
    ASSERT_NE(handle, nullptr);
    const bool answered = probe.WaitForCalls(1, kAnswerWait);
    const double answeredAt = static_cast<double>(aws::TickCountMs()) / 1000;
    MusicParserDestroyRequest(handle);
    ASSERT_TRUE(answered);
    EXPECT_EQ(probe.LastStatus(), STATUS_DONE);
    const RecordMusicInfo info = probe.LastRecord();
    EXPECT_EQ(musictest::Text(info.songName), "Second Wave");
    EXPECT_EQ(info.imageCount, 0);
    EXPECT_GE(stub.Count(stall), 1);
    // Both clocks are the system's monotonic clock: the covers took the budget and little more.
    const auto covers = services->Log("caa");
    ASSERT_FALSE(covers.empty());
    EXPECT_LT(answeredAt - covers.front().time, 3.0 + 3.0);
}

// A cover address that leaves http and https is not followed: the song keeps
// its data and gets no image, and nothing is written.
TEST_F(RecognitionServiceTest, CoverRedirectOutsideHttpIsNotFollowed) {
    world["covers"][musictest::kReleaseId] = Json::Value(Json::objectValue);
    world["covers"][musictest::kReleaseId]["redirect"] = "file://" + songs->cover250Jpeg;
    StartServices();
    CallbackProbe probe;
    ASSERT_EQ(RequestAndWait(songs->songAMp3, nullptr, &probe), STATUS_DONE);
    const RecordMusicInfo info = probe.LastRecord();
    EXPECT_EQ(musictest::Text(info.songName), "Second Wave");
    EXPECT_EQ(info.imageCount, 0);
    std::error_code ec;
    for (const auto& entry : std::filesystem::directory_iterator(pictures, ec))
        ADD_FAILURE() << "unexpected file " << entry.path();
}

TEST_F(RecognitionServiceTest, BusyServicesAreAskedAgainAfterAPause) {
    world["busy"]["acoustid"] = 1;
    world["busy"]["mb"] = 1;
    StartServices();
    CallbackProbe probe;
    ASSERT_EQ(RequestAndWait(songs->songAMp3, nullptr, &probe), STATUS_DONE);
    EXPECT_EQ(musictest::Text(probe.LastRecord().songName), "Second Wave");
    for (const char* service : {"acoustid", "mb"}) {
        const auto requests = services->Log(service);
        ASSERT_EQ(requests.size(), 2u) << service;
        EXPECT_EQ(requests[0].path, requests[1].path);
        // The answer asked for one second.
        EXPECT_GE(requests[1].time - requests[0].time, 0.95) << service;
    }
}

TEST_F(RecognitionServiceTest, CancelDuringIdentificationGivesNoCallback) {
    world["delay"]["acoustid"] = 20;
    StartServices();
    CallbackProbe probe;
    void* handle = Request(songs->songAMp3, "Some Song", &probe);
    ASSERT_NE(handle, nullptr);
    testsupport::WaitFor([&] { return !services->Log("acoustid").empty(); });
    ASSERT_EQ(services->Log("acoustid").size(), 1u);
    const auto start = std::chrono::steady_clock::now();
    MusicParserDestroyRequest(handle);
    EXPECT_LT(std::chrono::steady_clock::now() - start, 2s);
    testsupport::WaitFor([&] { return probe.Calls() != 0 || !services->Log("mb").empty(); }, 300ms);
    EXPECT_EQ(probe.Calls(), 0);
    EXPECT_TRUE(services->Log("mb").empty());
}

TEST_F(RecognitionServiceTest, TwoRequestsAtOnceKeepMusicBrainzAtOneRequestASecond) {
    StartServices();
    CallbackProbe first;
    CallbackProbe second;
    void* a = Request(songs->songAMp3, nullptr, &first);
    void* b = Request(songs->songB, nullptr, &second);
    ASSERT_NE(a, nullptr);
    ASSERT_NE(b, nullptr);
    EXPECT_TRUE(first.WaitForCalls(1, kAnswerWait));
    EXPECT_TRUE(second.WaitForCalls(1, kAnswerWait));
    MusicParserDestroyRequest(a);
    MusicParserDestroyRequest(b);
    EXPECT_EQ(first.LastStatus(), STATUS_DONE);
    EXPECT_EQ(second.LastStatus(), STATUS_DONE);
    EXPECT_EQ(musictest::Text(first.LastRecord().songName), "Second Wave");
    EXPECT_EQ(musictest::Text(second.LastRecord().songName), "First Light");

    for (const auto& [service, gap] : {std::pair<const char*, double>{"mb", 0.95}, {"acoustid", 0.3}}) {
        const auto requests = services->Log(service);
        ASSERT_EQ(requests.size(), 2u) << service;
        EXPECT_GE(requests[1].time - requests[0].time, gap) << service;
    }
}

TEST_F(RecognitionServiceTest, UserAndLocaleAreKeptAndACorruptUserFileIsLeftInPlace) {
    StartServices();
    const std::string user = musictest::ReadWhole(support + "gnuser.dat");
    const std::string locale = musictest::ReadWhole(support + "gnlocale.dat");
    ASSERT_FALSE(user.empty());
    ASSERT_FALSE(locale.empty());

    // Loaded again, not made anew.
    MusicParserCleanup();
    ASSERT_EQ(Init(), 0);
    EXPECT_EQ(musictest::ReadWhole(support + "gnuser.dat"), user);
    EXPECT_EQ(musictest::ReadWhole(support + "gnlocale.dat"), locale);

    // One changed character spoils the user file.
    std::string spoilt = user;
    spoilt[spoilt.size() / 2] = spoilt[spoilt.size() / 2] == 'x' ? 'y' : 'x';
    ASSERT_TRUE(coretest::WriteFile(support + "gnuser.dat", spoilt));
    MusicParserCleanup();
    EXPECT_EQ(Init(), -1);
    EXPECT_EQ(musictest::ReadWhole(support + "gnuser.dat"), spoilt);

    // A request after the failed initialisation fails its identification.
    CallbackProbe probe;
    EXPECT_EQ(RequestAndWait(songs->songAMp3, nullptr, &probe), STATUS_FAILED);
    EXPECT_TRUE(services->Log("acoustid").empty());
}

// The proxy given to MusicParserInit carries every request of the
// identification, with its credentials.
TEST_F(RecognitionServiceTest, IdentificationGoesThroughTheConfiguredProxy) {
    nettest::TinyProxy proxy("listener", "secret");
    ASSERT_TRUE(proxy.ok());
    services = std::make_unique<MusicServices>(world);
    ASSERT_TRUE(services->ok());
    services->Export(true);
    MusicParserProxyParam param{};
    param.type = 0;
    param.port = proxy.port();
    std::strcpy(param.host, " 127.0.0.1 ");
    std::strcpy(param.userName, "listener");
    std::strcpy(param.password, "secret");
    ASSERT_EQ(Init(&param), 0);
    CallbackProbe probe;
    ASSERT_EQ(RequestAndWait(songs->songAMp3, nullptr, &probe), STATUS_DONE);
    EXPECT_EQ(musictest::Text(probe.LastRecord().songName), "Second Wave");
    for (const char* service : {"acoustid", "mb", "caa"}) {
        const auto requests = services->Log(service);
        ASSERT_FALSE(requests.empty()) << service;
        for (const auto& request : requests) EXPECT_NE(request.via.find("tinyproxy"), std::string::npos) << request.path;
    }
}

TEST_F(RecognitionServiceTest, WithoutAClientKeyIdentificationFailsButTheTextSearchRuns) {
    services = std::make_unique<MusicServices>(world);
    ASSERT_TRUE(services->ok());
    services->Export(true);
    ::unsetenv("TUNECAP_ACOUSTID_KEY");
    ASSERT_EQ(Init(), 0);
    CallbackProbe probe;
    ASSERT_EQ(RequestAndWait(songs->songAMp3, "Second Wave", &probe), STATUS_DONE);
    const RecordMusicInfo info = probe.LastRecord();
    EXPECT_EQ(musictest::Text(info.songName), "");  // nothing identified: only the cover is filled
    ASSERT_EQ(info.imageCount, 1);
    EXPECT_NE(std::string(info.imagePaths[0]).find("/google_"), std::string::npos) << info.imagePaths[0];
    EXPECT_TRUE(services->Log("acoustid").empty());
    EXPECT_NE(LogText().find("no AcoustID client key"), std::string::npos);
}

}  // namespace
