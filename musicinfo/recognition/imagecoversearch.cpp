#include "recognition/imagecoversearch.h"

#include <pthread.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <thread>

#include "http/nettiming.h"
#include "http/webrequest.h"
#include "networkstatus.h"
#include "recognition/recognitionlayer.h"
#include "recognition/serviceanswers.h"
#include "recognition/servicehttp.h"
#include "recognition/servicetext.h"
#include "servicecontext.h"
#include "songinforecord.h"

namespace aws {
namespace {

constexpr int kEnoughImages = 3;       // the search stops once an answer gives this many
constexpr int kFetchesPerForm = 4;
constexpr std::uint32_t kSearchLimitMs = 30000;
constexpr std::uint32_t kDownloadLimitMs = 300000;
constexpr auto kDownloadPoll = std::chrono::milliseconds(500);
constexpr std::size_t kReleasesLooked = 8;  // built-in search: releases whose covers are looked for

// A whole decimal number that fits an int, else -1.
int NumberOrUnknown(const std::string& text) {
    if (text.empty() || text.size() > 9) return -1;
    for (char c : text) {
        if (c < '0' || c > '9') return -1;
    }
    return std::atoi(text.c_str());
}

int RandomNumber() {
    thread_local std::minstd_rand generator{std::random_device{}()};
    return std::uniform_int_distribution<int>(1, 32767)(generator);
}

// The file name of search result `index`, without the folder.
std::string CoverFileName(const std::string& albumId, const std::string& imageId, int index) {
    std::string start = "google";
    if (!albumId.empty()) start += "_" + albumId;
    start = TrimmedText(start + "_" + imageId);
    const std::string extension =
        start.size() >= 4 && start[start.size() - 4] == '.' ? start.substr(start.size() - 4) : ".jpg";
    char numbers[96];
    std::snprintf(numbers, sizeof numbers, "_%lu_%lu_%lu_%d", static_cast<unsigned long>(pthread_self()),
                  static_cast<unsigned long>(RandomNumber()),
                  static_cast<unsigned long>(TickCountMs() + static_cast<unsigned long long>(index)), index);
    std::string name;
    for (char c : TrimmedText(start + numbers + extension)) {
        // Nothing that a file system or a path could take as structure.
        if (static_cast<unsigned char>(c) < 0x20 || std::string("\\/:*?\"<>|").find(c) != std::string::npos)
            continue;
        name += c;
    }
    if (name.size() > 250) name.erase(242, name.size() - 248);
    return name;
}

// "field:"phrase"" of a MusicBrainz search, the phrase escaped.
std::string LuceneTerm(const char* field, const std::string& phrase) {
    std::string out = std::string(field) + ":\"";
    for (char c : phrase) {
        if (c == '"' || c == '\\') out += '\\';
        out += c;
    }
    return out + "\"";
}

class EndpointImageSearch final : public ImageSearchBackend {
public:
    explicit EndpointImageSearch(std::string address) : m_address(std::move(address)) {}

    int Fetch(const SearchForm& form, const TimeBudget& budget, std::string* answer) override {
        answer->clear();
        if (budget.Spent()) return kWebTimeLimit;
        WebRequest request;
        request.SetTimeLimitMs(budget.Cap(kSearchLimitMs));
        request.LinkCancelFlag(&m_cancel);
        std::string url = m_address;
        if (form.sizeParameter) url += "&imgsz=small|medium";
        url += "&q=" + UrlEscaped(form.text);
        const int result = request.Fetch(url);
        if (result == kWebOk) *answer = request.Body();
        return result;
    }
    bool AnswersVary() const override { return true; }
    void Cancel() override { m_cancel.store(true); }

private:
    const std::string m_address;
    std::atomic<bool> m_cancel{false};
};

class BuiltInImageSearch final : public ImageSearchBackend {
public:
    explicit BuiltInImageSearch(ServiceEndpoints endpoints) : m_endpoints(std::move(endpoints)) {}

    int Fetch(const SearchForm& form, const TimeBudget& budget, std::string* answer) override {
        answer->clear();
        // Forms with a song name look for recordings, the others for releases.
        std::vector<std::string> terms;
        if (!form.song.empty()) terms.push_back(LuceneTerm("recording", form.song));
        if (!form.album.empty()) terms.push_back(LuceneTerm("release", form.album));
        if (!form.artist.empty()) terms.push_back(LuceneTerm("artist", form.artist));
        if (terms.empty()) return kWebFailed;
        std::string query;
        for (const std::string& term : terms) query += (query.empty() ? "" : " AND ") + term;
        const char* entity = form.song.empty() ? "release" : "recording";

        const ProxyConfig proxy = CurrentProxy(ProxyCopy::WebRequests);
        ServiceHttp musicBrainz(Service::MusicBrainz, proxy, &m_cancel, kSearchLimitMs);
        musicBrainz.SetBudget(budget);
        ServiceReply reply = musicBrainz.Get(m_endpoints.musicBrainzUrl + "/ws/2/" + entity + "?query=" +
                                             UrlEscaped(query) + "&fmt=json&limit=10");
        if (!reply.Ok()) return reply.result < 0 ? reply.result : kWebFailed;

        std::vector<ImageHit> hits;
        ServiceHttp coverArt(Service::CoverArt, proxy, &m_cancel, kSearchLimitMs);
        coverArt.SetBudget(budget);
        for (const std::string& id : ReadMusicBrainzSearchReleases(reply.body, kReleasesLooked)) {
            if (hits.size() >= static_cast<std::size_t>(kMaxImages) || m_cancel.load() || budget.Spent()) break;
            if (id.find_first_not_of("0123456789abcdefABCDEF-") != std::string::npos) continue;
            const std::string release = m_endpoints.coverArtUrl + "/release/" + id;
            ServiceReply listing = coverArt.Get(release);
            if (listing.Ok() && ReadCoverArtHasFront(listing.body))
                hits.push_back({release + "/front-500", id, std::string(), std::string()});
        }
        *answer = WriteImageSearchAnswer(hits);
        return kWebOk;
    }
    bool AnswersVary() const override { return false; }
    void Cancel() override { m_cancel.store(true); }

private:
    const ServiceEndpoints m_endpoints;
    std::atomic<bool> m_cancel{false};
};

}  // namespace

std::vector<SearchForm> SearchForms(const std::string& song, const std::string& artist,
                                    const std::string& album) {
    std::vector<SearchForm> forms;
    auto add = [&](int number, std::string text, bool size, const std::string& a, const std::string& b,
                   const std::string& s) { forms.push_back({number, std::move(text), size, a, b, s}); };
    if (!artist.empty() && !album.empty()) add(1, artist + "," + album + " album cover", true, artist, album, "");
    if (!album.empty() && !song.empty()) add(2, album + "," + song + " album cover", false, "", album, song);
    if (!artist.empty() && !song.empty()) add(3, artist + "," + song, true, artist, "", song);
    if (!album.empty()) add(4, album, false, "", album, "");
    if (!song.empty()) add(5, song, false, "", "", song);
    if (!artist.empty()) add(6, artist, false, artist, "", "");
    return forms;
}

std::unique_ptr<ImageSearchBackend> NewEndpointImageSearch(const std::string& address) {
    return std::make_unique<EndpointImageSearch>(address);
}

std::unique_ptr<ImageSearchBackend> NewBuiltInImageSearch(const ServiceEndpoints& endpoints) {
    return std::make_unique<BuiltInImageSearch>(endpoints);
}

std::unique_ptr<CoverSearch> NewImageCoverSearch(const ServiceEndpoints& endpoints,
                                                 std::shared_ptr<NetworkStatus> network) {
    std::unique_ptr<ImageSearchBackend> backend = endpoints.imageSearchUrl.empty()
                                                      ? NewBuiltInImageSearch(endpoints)
                                                      : NewEndpointImageSearch(endpoints.imageSearchUrl);
    return std::make_unique<ImageCoverSearch>(std::move(backend), std::move(network));
}

int FillImageEntries(const std::string& answer, const CoverSearchQuery& query, SongInfoRecord* result) {
    std::vector<ImageHit> hits;
    if (!ReadImageSearchAnswer(answer, kMaxImages, &hits) || hits.empty()) return result->imageCount;
    const std::string albumId = FieldText(result->albumId);
    for (ImageEntry& entry : result->images) {
        std::memset(&entry, 0, sizeof entry);
        entry.imageIndex = entry.width = entry.height = -1;
    }
    int index = 0;
    for (const ImageHit& hit : hits) {
        std::string url = hit.url;
        if (url.compare(0, 6, "https:") == 0) url = "http:" + url.substr(6);
        std::string path = query.picturesDir + CoverFileName(albumId, hit.imageId, index);
        if (path.size() > 507) path.erase(499, path.size() - 505);
        ImageEntry& entry = result->images[index];
        entry.reserved = result->reserved;
        entry.imageIndex = index;
        CopyText(entry.path, path);
        CopyText(entry.downloadUrl, url);
        entry.width = NumberOrUnknown(hit.width);
        entry.height = NumberOrUnknown(hit.height);
        ++index;
    }
    result->imageCount = index;
    return index;
}

ImageCoverSearch::ImageCoverSearch(std::unique_ptr<ImageSearchBackend> backend,
                                   std::shared_ptr<NetworkStatus> network)
    : m_backend(std::move(backend)), m_network(std::move(network)) {}

void ImageCoverSearch::Cancel() {
    m_cancel.store(true);
    if (m_backend) m_backend->Cancel();
}

bool ImageCoverSearch::Stopped() const {
    return m_cancel.load() || ServiceContext::Instance().ShuttingDown();
}

int ImageCoverSearch::Search(const CoverSearchQuery& query, SongInfoRecord* result) {
    result->imageCount = 0;
    if (!m_backend || query.picturesDir.empty()) return 0;
    const std::vector<SearchForm> forms = SearchForms(query.songName, query.artist, query.album);
    for (const SearchForm& form : forms) {
        if (result->imageCount >= kEnoughImages || Stopped() || query.budget.Spent() ||
            !m_network->WaitForVerdict(&m_cancel))
            break;
        for (int fetch = 0; fetch < kFetchesPerForm && !Stopped(); ++fetch) {
            std::string answer;
            if (m_backend->Fetch(form, query.budget, &answer) != kWebOk) break;
            if (!answer.empty()) FillImageEntries(answer, query, result);
            if (result->imageCount >= kEnoughImages || !m_backend->AnswersVary()) break;
        }
    }
    if (Stopped()) return 0;
    return Download(query.budget, result);
}

int ImageCoverSearch::Download(const TimeBudget& budget, SongInfoRecord* result) {
    const int count = std::min(result->imageCount, kMaxImages);
    std::vector<std::unique_ptr<WebRequest>> downloads(static_cast<std::size_t>(count));
    for (int i = 0; i < count; ++i) {
        if (Stopped() || budget.Spent() || !m_network->WaitForVerdict(&m_cancel)) break;
        auto request = std::make_unique<WebRequest>();
        request->SetTimeLimitMs(budget.Cap(kDownloadLimitMs));
        request->LinkCancelFlag(&m_cancel);
        if (request->StartDownload(FieldText(result->images[i].downloadUrl), FieldText(result->images[i].path)))
            downloads[i] = std::move(request);
    }
    for (;;) {
        bool running = false;
        for (const auto& download : downloads) running = running || (download && !download->DownloadFinished());
        if (!running) break;
        if (Stopped()) {
            for (const auto& download : downloads) {
                if (download) download->Cancel();
            }
        }
        std::this_thread::sleep_for(kDownloadPoll);
    }

    ImageEntry found[kMaxImages];
    int kept = 0;
    for (int i = 0; i < count; ++i) {
        if (!downloads[i]) continue;
        const std::string path = FieldText(result->images[i].path);
        bool ok = downloads[i]->WaitDownload() == kWebOk;
        if (ok) {
            // An error page saved under a picture's name is no picture.
            std::FILE* file = std::fopen(path.c_str(), "rb");
            std::string head(16, '\0');
            head.resize(file != nullptr ? std::fread(&head[0], 1, head.size(), file) : 0);
            if (file != nullptr) std::fclose(file);
            ok = LooksLikeImage(head);
        }
        if (ok) {
            found[kept++] = result->images[i];
        } else {
            std::remove(path.c_str());
        }
    }
    for (ImageEntry& entry : result->images) {
        std::memset(&entry, 0, sizeof entry);
        entry.imageIndex = entry.width = entry.height = -1;
    }
    for (int i = 0; i < kept; ++i) result->images[i] = found[i];
    result->imageCount = kept;
    return kept;
}

}  // namespace aws
