// The cover search by a song's texts, through MusicParserRequest: the query
// forms and their order against an image-search endpoint, what is kept of
// its answers and downloads, and the built-in search over MusicBrainz and
// the Cover Art Archive.
#include <gtest/gtest.h>

#include <filesystem>
#include <utility>
#include <vector>

#include "musicworld.h"
#include "nettestfixture.h"
#include "servicefixture.h"

namespace {

using musictest::CallbackProbe;
using musictest::kAnswerWait;
using musictest::ReadWhole;
using musictest::Text;

class CoverSearchTest : public musictest::ServiceFixture {
protected:
    // A text-only request with song name, artist and album (each may be null).
    int SearchAndWait(const char* song, const char* artist, const char* album, CallbackProbe* probe) {
        MusicParserRequestInfo info{nullptr, const_cast<char*>(song), const_cast<char*>(artist),
                                    const_cast<char*>(album), probe, &CallbackProbe::Callback};
        void* handle = MusicParserRequest(&info);
        if (handle == nullptr) return -1;
        const bool answered = probe->WaitForCalls(1, kAnswerWait);
        MusicParserDestroyRequest(handle);
        return answered ? probe->LastStatus() : -1;
    }

    // The image-search queries so far: query text and whether the size
    // parameter came with it.
    std::vector<std::pair<std::string, bool>> Queries() const {
        std::vector<std::pair<std::string, bool>> out;
        for (const auto& request : services->Log("images")) {
            EXPECT_EQ(musictest::QueryValue(request.query, "v"), "1.0");
            const std::string size = musictest::QueryValue(request.query, "imgsz");
            if (!size.empty()) {
                EXPECT_EQ(size, "small|medium");
            }
            out.emplace_back(musictest::QueryValue(request.query, "q"), !size.empty());
        }
        return out;
    }

    static Json::Value Hit(const std::string& url, const std::string& id, const std::string& width) {
        Json::Value hit(Json::objectValue);
        hit["url"] = url;
        hit["imageId"] = id;
        hit["width"] = width;
        hit["height"] = "250";
        return hit;
    }

    std::vector<std::string> PictureFiles() const {
        std::vector<std::string> files;
        std::error_code ec;
        for (const auto& entry : std::filesystem::directory_iterator(pictures, ec)) files.push_back(entry.path());
        return files;
    }
};

TEST_F(CoverSearchTest, QueryFormsAreTriedInOrderEachUpToFourTimes) {
    world["image_search"]["*"] = Json::Value(Json::arrayValue);
    StartServices(false);
    CallbackProbe probe;
    EXPECT_EQ(SearchAndWait("Song", "Artist", "Album", &probe), STATUS_FAILED);
    std::vector<std::pair<std::string, bool>> expected;
    for (const auto& form : std::vector<std::pair<std::string, bool>>{{"Artist,Album album cover", true},
                                                                      {"Album,Song album cover", false},
                                                                      {"Artist,Song", true},
                                                                      {"Album", false},
                                                                      {"Song", false},
                                                                      {"Artist", false}}) {
        for (int i = 0; i < 4; ++i) expected.push_back(form);
    }
    EXPECT_EQ(Queries(), expected);

    // A song name alone has one form.
    services.reset();
    StartServices(false);
    CallbackProbe alone;
    EXPECT_EQ(SearchAndWait("Only Song", nullptr, nullptr, &alone), STATUS_FAILED);
    EXPECT_EQ(Queries(), (std::vector<std::pair<std::string, bool>>(4, {"Only Song", false})));
}

// Two covers found by the first form are downloaded although the later
// forms find nothing; an "https:" address is fetched over "http:".
TEST_F(CoverSearchTest, CoversFoundEarlyAreKeptAndFetchedOverHttp) {
    const int port = nettest::FreeLoopbackPort();
    const std::string files = "127.0.0.1:" + std::to_string(port) + "/files/" + musictest::kReleaseId;
    world["image_search"]["Artist,Album album cover"].append(Hit("https://" + files + "/250", "front", "250"));
    world["image_search"]["Artist,Album album cover"].append(Hit("http://" + files + "/500", "back.png", "wide"));
    world["image_search"]["*"] = Json::Value(Json::arrayValue);
    StartServices(false, port);
    CallbackProbe probe;
    ASSERT_EQ(SearchAndWait("Song", "Artist", "Album", &probe), STATUS_DONE);
    const RecordMusicInfo info = probe.LastRecord();
    EXPECT_EQ(Text(info.songName), "");
    ASSERT_EQ(info.imageCount, 2);
    const std::string first = info.imagePaths[0];
    const std::string second = info.imagePaths[1];
    EXPECT_EQ(first.rfind(pictures + "google_front_", 0), 0u) << first;
    EXPECT_EQ(first.substr(first.size() - 4), ".jpg");
    EXPECT_EQ(second.rfind(pictures + "google_back.png_", 0), 0u) << second;
    EXPECT_EQ(second.substr(second.size() - 4), ".png");
    EXPECT_EQ(ReadWhole(first), ReadWhole(songs->cover250Jpeg));
    EXPECT_EQ(ReadWhole(second), ReadWhole(songs->cover500Png));
    EXPECT_EQ(Queries().size(), 4u + 4 + 4 + 4 + 4 + 4);
    EXPECT_NE(LogText().find(" \n Width: -1 \n Height: 250 \n"), std::string::npos) << LogText();
}

// Three results end the search at once; a result that is no image, or is
// missing, leaves no file behind.
TEST_F(CoverSearchTest, OnlyDownloadsThatAreImagesAreKept) {
    const int port = nettest::FreeLoopbackPort();
    const std::string base = "http://127.0.0.1:" + std::to_string(port);
    Json::Value& hits = world["image_search"]["Artist,Album album cover"];
    hits.append(Hit(base + "/mb/ws/2/release/" + musictest::kReleaseId + "?fmt=json", "page", "1"));
    hits.append(Hit(base + "/files/" + musictest::kReleaseId + "/1200", "good", "1200"));
    hits.append(Hit(base + "/files/none/250", "missing", "250"));
    StartServices(false, port);
    CallbackProbe probe;
    ASSERT_EQ(SearchAndWait("Song", "Artist", "Album", &probe), STATUS_DONE);
    const RecordMusicInfo info = probe.LastRecord();
    ASSERT_EQ(info.imageCount, 1);
    EXPECT_EQ(ReadWhole(info.imagePaths[0]), ReadWhole(songs->cover1200Jpeg));
    EXPECT_EQ(PictureFiles(), std::vector<std::string>{info.imagePaths[0]});
    EXPECT_EQ(Queries().size(), 1u);
}

TEST_F(CoverSearchTest, BuiltInSearchTakesFrontCoversOfMusicBrainzReleases) {
    StartServices(true);
    CallbackProbe probe;
    ASSERT_EQ(SearchAndWait("Unknown Title", "Test Artist & Second Artist", "Synthetic Album", &probe), STATUS_DONE);
    const RecordMusicInfo info = probe.LastRecord();
    ASSERT_EQ(info.imageCount, 1);
    EXPECT_NE(std::string(info.imagePaths[0]).find(std::string("google_") + musictest::kReleaseId + "_"),
              std::string::npos)
        << info.imagePaths[0];
    EXPECT_EQ(ReadWhole(info.imagePaths[0]), ReadWhole(songs->cover500Png));

    // Every form was asked once, in order, one MusicBrainz request a second.
    const auto searches = services->Log("mb");
    ASSERT_EQ(searches.size(), 6u);
    EXPECT_EQ(searches[0].path, "/mb/ws/2/release");
    EXPECT_EQ(musictest::QueryValue(searches[0].query, "query"),
              "release:\"Synthetic Album\" AND artist:\"Test Artist & Second Artist\"");
    EXPECT_EQ(searches[1].path, "/mb/ws/2/recording");
    EXPECT_EQ(musictest::QueryValue(searches[1].query, "query"),
              "recording:\"Unknown Title\" AND release:\"Synthetic Album\"");
    for (std::size_t i = 1; i < searches.size(); ++i) EXPECT_GE(searches[i].time - searches[i - 1].time, 0.95);
    // The download followed the archive's redirects to the file.
    const auto archive = services->Log("archive");
    ASSERT_EQ(archive.size(), 1u);
    EXPECT_EQ(archive[0].path, std::string("/archive/") + musictest::kReleaseId + "/500");
}

}  // namespace
