// The pieces of the recognition layer that need no service: the readers of
// the services' answers, the choice of a match, the genre levels, the
// settings of the service addresses, the kept user and locale, and the
// fingerprint itself.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <vector>

#include "musicworld.h"
#include "privatehome.h"
#include "pulsedaemon.h"
#include "recognition/fingerprinter.h"
#include "recognition/fingerprintrecognizer.h"
#include "recognition/genremap.h"
#include "recognition/recognitionlayer.h"
#include "recognition/serviceanswers.h"
#include "recognition/serviceendpoints.h"
#include "wav/wavfile.h"

namespace {

using namespace aws;

// A lookup answer with three results, not in score order: a strong one
// whose recording appears on no release track, the best one, and a weak one.
const char kLookup[] = R"({"status": "ok", "results": [
  {"id": "r-weak", "score": 0.41, "recordings": [{"id": "rec-weak", "releases": [
     {"id": "rel-weak", "mediums": [{"position": 1, "tracks": [{"id": "t-weak", "position": 1}]}]}]}]},
  {"id": "r-bare", "score": 0.97, "recordings": [{"id": "rec-bare", "releases": [{"id": "rel-bare"}]}]},
  {"id": "r-best", "score": 0.88, "recordings": [
     {"id": "rec-best", "duration": 130, "releases": [
        {"id": "rel-no-tracks", "mediums": [{"position": 1, "tracks": []}]},
        {"id": "rel-best", "mediums": [{"position": 2, "tracks": [{"id": "t-best", "position": 7, "title": "X"}]}]}]}]},
  {"id": "r-also", "score": 0.6, "recordings": [{"id": "rec-also", "releases": [
     {"id": "rel-also", "mediums": [{"tracks": [{"id": "t-also"}]}]}]}]}
]})";

TEST(AcoustIdAnswerTest, BestScoredResultOnAReleaseThatHoldsItIsTheMatch) {
    AcoustIdAnswer answer;
    ASSERT_TRUE(ReadAcoustIdAnswer(kLookup, &answer));
    ASSERT_TRUE(answer.ok);
    ASSERT_EQ(answer.results.size(), 4u);
    EXPECT_EQ(answer.results[2].recordings[0].duration, 130);

    AcoustIdMatch match;
    ASSERT_TRUE(SelectAcoustIdMatch(answer, 0.5, &match));
    EXPECT_EQ(match.recordingId, "rec-best");
    EXPECT_EQ(match.releaseId, "rel-best");
    EXPECT_EQ(match.trackId, "t-best");
    EXPECT_DOUBLE_EQ(match.score, 0.88);
    EXPECT_EQ(match.acceptableResults, 3);

    // Below the minimum nothing is a match, however much else the answer holds.
    EXPECT_FALSE(SelectAcoustIdMatch(answer, 0.99, &match));
    EXPECT_TRUE(match.releaseId.empty());
}

TEST(AcoustIdAnswerTest, ErrorsAndMalformedAnswersGiveNoMatch) {
    AcoustIdAnswer answer;
    ASSERT_TRUE(ReadAcoustIdAnswer(R"({"status": "error", "error": {"code": 4, "message": "invalid API key"}})",
                                   &answer));
    EXPECT_FALSE(answer.ok);
    EXPECT_EQ(answer.errorCode, 4);
    EXPECT_EQ(answer.errorText, "invalid API key");

    for (const char* body : {"", "null", "[1,2]", "{\"status\": \"ok\", \"results\": {\"a\": 1}}",
                             "{\"status\": \"ok\", \"results\": [{\"score\": \"high\", \"recordings\": 5}]}",
                             "{\"status\": \"ok\", \"results\": [{\"score\": 1e999}]}", "{\"status\": \"ok\""}) {
        AcoustIdMatch match;
        ReadAcoustIdAnswer(body, &answer);
        EXPECT_FALSE(SelectAcoustIdMatch(answer, 0.5, &match)) << body;
    }
    // Nesting beyond what any answer needs is refused, not recursed into.
    const std::string deep = std::string(100000, '[') + std::string(100000, ']');
    EXPECT_FALSE(ReadAcoustIdAnswer(deep, &answer));
}

TEST(MusicBrainzAnswerTest, ReleaseGivesCreditDateGenresAndEveryTrack) {
    const char body[] = R"({"id": "rel", "title": "Album", "date": "1999",
      "artist-credit": [{"name": "A", "joinphrase": " feat. "}, {"name": "B"}],
      "release-group": {"id": "rg", "genres": [{"name": "rock", "count": 4}]},
      "genres": [{"name": "shoegaze", "count": 2}, {"name": 7}],
      "media": [{"tracks": [{"id": "t1", "number": "A1", "title": "One", "recording": {"id": "r1"}},
                            {"id": "t2", "position": 2, "recording": {"id": "r2", "title": "Two"}}]},
                {"tracks": [{"id": "t3", "number": "1", "title": "Three", "recording": {"id": "r3"}}]}]})";
    ReleaseData release;
    ASSERT_TRUE(ReadMusicBrainzRelease(body, &release));
    EXPECT_EQ(release.artist, "A feat. B");
    EXPECT_EQ(release.date, "1999");
    EXPECT_EQ(release.releaseGroupId, "rg");
    ASSERT_EQ(release.genres.size(), 1u);
    EXPECT_EQ(release.genres[0].name, "shoegaze");
    ASSERT_EQ(release.groupGenres.size(), 1u);
    ASSERT_EQ(release.tracks.size(), 3u);
    EXPECT_EQ(release.tracks[0].number, "A1");
    EXPECT_EQ(release.tracks[1].number, "2");
    EXPECT_EQ(release.tracks[1].title, "Two");
    EXPECT_EQ(release.tracks[2].recordingId, "r3");

    EXPECT_FALSE(ReadMusicBrainzRelease(R"({"title": "No id"})", &release));
    EXPECT_FALSE(ReadMusicBrainzRelease(R"({"error": "Not Found"})", &release));
    EXPECT_TRUE(release.tracks.empty());
}

TEST(MusicBrainzAnswerTest, SearchesGiveDistinctReleaseIdsInOrder) {
    EXPECT_EQ(ReadMusicBrainzSearchReleases(R"({"releases": [{"id": "a"}, {"id": "b"}, {"id": "a"}, {"id": 3}]})", 10),
              (std::vector<std::string>{"a", "b"}));
    EXPECT_EQ(ReadMusicBrainzSearchReleases(
                  R"({"recordings": [{"releases": [{"id": "x"}, {"id": "y"}]}, {"releases": [{"id": "z"}]}]})", 2),
              (std::vector<std::string>{"x", "y"}));
    EXPECT_TRUE(ReadMusicBrainzSearchReleases("not json", 5).empty());
    EXPECT_TRUE(ReadCoverArtHasFront(R"({"images": [{"front": false}, {"front": true}]})"));
    EXPECT_FALSE(ReadCoverArtHasFront(R"({"images": [{"front": "true"}]})"));
}

TEST(ImageSearchAnswerTest, ResultsAreReadAsTextAndWrittenBackTheSame) {
    std::vector<ImageHit> hits;
    ASSERT_TRUE(ReadImageSearchAnswer(
        R"({"responseData": {"results": [{"url": "http://h/a.jpg", "imageId": "id1", "width": "640", "height": 480},
                                         {"url": "http://h/b.png", "width": "wide"}]}})",
        5, &hits));
    ASSERT_EQ(hits.size(), 2u);
    EXPECT_EQ(hits[0].width, "640");
    EXPECT_EQ(hits[0].height, "480");
    EXPECT_EQ(hits[1].width, "wide");
    EXPECT_EQ(hits[1].imageId, "");

    std::vector<ImageHit> again;
    ASSERT_TRUE(ReadImageSearchAnswer(WriteImageSearchAnswer(hits), 5, &again));
    ASSERT_EQ(again.size(), 2u);
    EXPECT_EQ(again[1].url, "http://h/b.png");

    EXPECT_TRUE(ReadImageSearchAnswer(R"({"responseData": {"results": []}})", 5, &hits));
    EXPECT_TRUE(hits.empty());
    EXPECT_FALSE(ReadImageSearchAnswer(R"({"responseData": null})", 5, &hits));
    EXPECT_FALSE(ReadImageSearchAnswer(R"({"results": []})", 5, &hits));
    EXPECT_FALSE(ReadImageSearchAnswer("<html>", 5, &hits));
}

TEST(GenreMapTest, GenresBecomeFamilyStyleAndSubStyle) {
    struct Case {
        std::vector<GenreVote> release;
        std::vector<GenreVote> group;
        std::string text;
    } cases[] = {
        {{{"alternative rock", 3}}, {{"rock", 5}}, "2.Alternative Rock;"},
        {{{"Rock", 2}}, {}, "1.Rock;"},
        {{{"death metal", 4}, {"melodic death metal", 2}, {"metal", 1}}, {}, "3.Melodic Death Metal;"},
        // The level-2 style is the best voted of the family, not the first listed.
        {{{"alternative rock", 3}, {"indie rock", 2}}, {{"indie rock", 2}}, "2.Indie Rock;"},
        // The family is that of the best voted genre.
        {{{"indie rock", 2}, {"pop", 9}, {"alternative rock", 3}}, {}, "1.Pop;"},
        {{{"synth-pop", 1}, {"deep house", 3}}, {}, "2.Deep House;"},
        {{{"r&b", 2}, {"neo soul", 1}}, {}, "2.Neo Soul;"},
        {{{"hip-hop", 2}, {"hip hop", 1}}, {}, "1.Hip Hop;"},
        {{{"vaporwave", 2}}, {}, "1.Vaporwave;"},
        {{{"  ", 4}}, {}, ""},
        {{}, {}, ""},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(GenreText(MapGenres(c.release, c.group)), c.text) << (c.release.empty() ? "" : c.release[0].name);
    }
    const GenreLevels levels = MapGenres({{"death metal", 4}, {"melodic death metal", 2}}, {});
    EXPECT_EQ(levels[0], "Metal");
    EXPECT_EQ(levels[1], "Death Metal");
}

class EndpointSettingsTest : public ::testing::Test {
protected:
    void SetUp() override {
        m_dir = testsupport::makeTempDir("tunecap-endpoints") + "/";
        for (const char* name : kNames) {
            if (const char* value = std::getenv(name)) m_saved.emplace_back(name, value);
            ::unsetenv(name);
        }
    }
    void TearDown() override {
        for (const auto& [name, value] : m_saved) ::setenv(name.c_str(), value.c_str(), 1);
        testsupport::removeTree(m_dir);
    }
    static constexpr const char* kNames[] = {"TUNECAP_ACOUSTID_URL", "TUNECAP_MUSICBRAINZ_URL",
                                             "TUNECAP_COVERART_URL", "TUNECAP_IMAGESEARCH_URL",
                                             "TUNECAP_ACOUSTID_KEY", "TUNECAP_COVER_BUDGET_MS"};
    std::string m_dir;
    std::vector<std::pair<std::string, std::string>> m_saved;
};

TEST_F(EndpointSettingsTest, EnvironmentBeatsTheSettingsFileWhichBeatsTheDefaults) {
    ServiceEndpoints shipped = ServiceEndpoints::Load(m_dir);
    EXPECT_EQ(shipped.acoustIdUrl, "https://api.acoustid.org");
    EXPECT_EQ(shipped.musicBrainzUrl, "https://musicbrainz.org");
    EXPECT_EQ(shipped.coverArtUrl, "https://coverartarchive.org");
    EXPECT_EQ(shipped.imageSearchUrl, "");
    EXPECT_EQ(shipped.acoustIdKey, "");  // no key is part of the program

    std::ofstream(m_dir + kServiceSettingsFile) << "[Services]\n# comment\nAcoustID_Key = file-key \n"
                                                << "MusicBrainz_Url=http://mb.example/\nnot a setting\n"
                                                << "CoverBudget_Ms=5000\n";
    ::setenv("TUNECAP_MUSICBRAINZ_URL", "http://127.0.0.1:1234//", 1);
    ::setenv("TUNECAP_IMAGESEARCH_URL", "http://127.0.0.1:1/search?v=1.0", 1);
    const ServiceEndpoints set = ServiceEndpoints::Load(m_dir);
    EXPECT_EQ(set.acoustIdKey, "file-key");
    EXPECT_EQ(set.musicBrainzUrl, "http://127.0.0.1:1234");
    EXPECT_EQ(set.imageSearchUrl, "http://127.0.0.1:1/search?v=1.0");
    EXPECT_EQ(set.coverArtUrl, "https://coverartarchive.org");
    EXPECT_EQ(set.coverBudgetMs, 5000u);
    ::setenv("TUNECAP_COVER_BUDGET_MS", "0", 1);  // no time at all is no budget
    EXPECT_EQ(ServiceEndpoints::Load(m_dir).coverBudgetMs, kDefaultCoverBudgetMs);
}

TEST(RecognitionUserTest, UserAndLocaleSurviveTheirTextAndNothingElseDoes) {
    auto user = RecognitionUser::RegisterNew("Tunecap", "recdeck", "1");
    ASSERT_TRUE(user);
    const std::string text = user->Serialize();
    EXPECT_EQ(text.find('\n'), std::string::npos);
    auto again = RecognitionUser::Deserialize(text + "\n");
    ASSERT_TRUE(again);
    EXPECT_EQ(again->Serialize(), text);
    // Another registration is another user.
    EXPECT_NE(RecognitionUser::RegisterNew("Tunecap", "recdeck", "1")->Serialize(), text);
    for (std::size_t i = 0; i < text.size(); i += 7) {
        std::string spoilt = text;
        spoilt[i] = static_cast<char>(spoilt[i] ^ 0x01);
        EXPECT_FALSE(RecognitionUser::Deserialize(spoilt)) << i;
    }
    EXPECT_FALSE(RecognitionUser::Deserialize(""));
    EXPECT_FALSE(RecognitionUser::RegisterNew("Tune\tcap", "recdeck", "1"));

    auto locale = RecognitionLocale::Load(RecognitionLocale::Request(), *user, nullptr);
    ASSERT_TRUE(locale);
    EXPECT_EQ(RecognitionLocale::Deserialize(locale->Serialize())->Values().language, "eng");
    EXPECT_FALSE(RecognitionLocale::Deserialize(text));  // a user is no locale
    RecognitionLocale::Request french;
    french.language = "fre";
    EXPECT_FALSE(RecognitionLocale::Load(french, *user, nullptr));
    EXPECT_FALSE(RecognitionLocale::Load(RecognitionLocale::Request(), *user,
                                         [](int, std::uint64_t, std::uint64_t, bool* abort) { *abort = true; }));

    // Proxy options become the proxy of the layer's transfers.
    EXPECT_EQ(user->SetOption(RecognitionUser::kProxyHost, "proxy.example:3128"), 0);
    EXPECT_EQ(user->SetOption(RecognitionUser::kProxyUserName, "me"), 0);
    EXPECT_EQ(user->Proxy().host, "proxy.example");
    EXPECT_EQ(user->Proxy().port, 3128);
    EXPECT_EQ(user->Proxy().user, "me");
    EXPECT_EQ(user->SetOption(RecognitionUser::kProxyHost, ""), 0);
    EXPECT_FALSE(user->Proxy().IsSet());
    EXPECT_EQ(user->SetOption(RecognitionUser::kNetworkTimeout, "soon"), -1);
    EXPECT_EQ(user->SetOption("no_such_option", "1"), -1);
}

TEST(RecognitionUserTest, ProxyRecordsBecomeTheUsersProxyOptions) {
    auto user = RecognitionUser::RegisterNew("Tunecap", "recdeck", "1");
    ASSERT_TRUE(user);
    MusicParserProxyParam proxy{};
    proxy.type = 0;
    proxy.port = 8080;
    std::strcpy(proxy.host, "  cache.lan ");
    std::strcpy(proxy.userName, " me ");
    std::strcpy(proxy.password, "pw");
    ASSERT_EQ(ApplyProxyOptions(*user, proxy), 0);
    EXPECT_EQ(user->Proxy().host, "cache.lan");
    EXPECT_EQ(user->Proxy().port, 8080);
    EXPECT_EQ(user->Proxy().user, "me");
    EXPECT_EQ(user->Proxy().password, "pw");

    // A host of three characters is no proxy here; nor is a record of type -1.
    std::strcpy(proxy.host, "lan");
    ASSERT_EQ(ApplyProxyOptions(*user, proxy), 0);
    EXPECT_FALSE(user->Proxy().IsSet());
    std::strcpy(proxy.host, "cache.lan");
    proxy.type = -1;
    ASSERT_EQ(ApplyProxyOptions(*user, proxy), 0);
    EXPECT_FALSE(user->Proxy().IsSet());
}

// Fingerprints a whole WAV through the Fingerprinter, fed in blocks of
// `block` bytes.
std::string FingerprintOf(const std::string& path, std::size_t block, double* seconds = nullptr) {
    auto wav = WavFile::Open(path.c_str());
    if (!wav || !wav->SeekToData()) return std::string();
    Fingerprinter fingerprint;
    if (!fingerprint.Begin(static_cast<int>(wav->Info().sampleRate), wav->Info().bitsPerSample,
                           wav->Info().channels))
        return std::string();
    std::vector<char> buffer(block);
    bool complete = false;
    for (std::size_t n; !complete && (n = wav->ReadData(buffer.data(), buffer.size())) > 0;) {
        if (!fingerprint.Feed(buffer.data(), n, &complete)) return std::string();
    }
    if (seconds != nullptr) *seconds = fingerprint.SecondsTaken();
    return fingerprint.End() ? fingerprint.Encoded() : std::string();
}

TEST(FingerprinterTest, TheFirstTwoMinutesGiveTheReferenceToolsFingerprint) {
    const musictest::Songs& songs = musictest::TestSongs();
    ASSERT_FALSE(songs.songA.empty());
    double seconds = 0;
    const std::string ours = FingerprintOf(songs.songA, 262144, &seconds);
    ASSERT_FALSE(ours.empty());
    EXPECT_DOUBLE_EQ(seconds, 120.0);
    // Frames split across blocks change nothing.
    EXPECT_EQ(FingerprintOf(songs.songA, 4099), ours);

    std::string output;
    ASSERT_EQ(testsupport::runCommand("fpcalc -length 120 '" + songs.songA + "'", &output), 0) << output;
    const std::size_t at = output.find("FINGERPRINT=");
    ASSERT_NE(at, std::string::npos) << output;
    std::string reference = output.substr(at + 12);
    reference.erase(reference.find_last_not_of("\r\n") + 1);
    EXPECT_EQ(ours, reference);
}

TEST(FingerprinterTest, SampleFormatsAreTakenAsTheSameAudio) {
    const std::string dir = testsupport::makeTempDir("tunecap-formats");
    const musictest::Songs& songs = musictest::TestSongs();
    ASSERT_FALSE(songs.songA.empty());
    const std::string wide = dir + "/song24.wav";
    const std::string narrow = dir + "/song8.wav";
    ASSERT_EQ(testsupport::runCommand("sox '" + songs.songA + "' -b 24 '" + wide + "' trim 0 40"), 0);
    ASSERT_EQ(testsupport::runCommand("sox '" + songs.songA + "' -b 16 '" + dir + "/song16.wav' trim 0 40"), 0);
    ASSERT_EQ(testsupport::runCommand("sox '" + songs.songA + "' -b 8 -e unsigned '" + narrow + "' trim 0 40"), 0);
    const std::string plain = FingerprintOf(dir + "/song16.wav", 65536);
    ASSERT_FALSE(plain.empty());
    EXPECT_EQ(FingerprintOf(wide, 65537), plain);  // the top 16 bits are the 16-bit samples
    const std::string rough = FingerprintOf(narrow, 65536);
    EXPECT_FALSE(rough.empty());

    Fingerprinter none;
    EXPECT_FALSE(none.Begin(44100, 16, 0));
    EXPECT_FALSE(none.Begin(44100, 12, 2));
    EXPECT_FALSE(none.End());
    bool complete = true;
    EXPECT_FALSE(none.Feed("abcd", 4, &complete));
    testsupport::removeTree(dir);
}

}  // namespace
