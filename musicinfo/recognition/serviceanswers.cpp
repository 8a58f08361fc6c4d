#include "recognition/serviceanswers.h"

#include <json/json.h>

#include <algorithm>
#include <cmath>
#include <memory>

namespace aws {
namespace {

// Deepest nesting accepted; the services' answers need fewer than ten levels.
constexpr int kNestingLimit = 64;
// Items of one array that are looked at; answers never need more.
constexpr std::size_t kArrayLimit = 1000;

bool ParseJson(const std::string& body, Json::Value* root) {
    Json::CharReaderBuilder builder;
    Json::CharReaderBuilder::strictMode(&builder.settings_);
    builder["stackLimit"] = kNestingLimit;
    builder["rejectDupKeys"] = false;
    std::unique_ptr<Json::CharReader> reader(builder.newCharReader());
    std::string errors;
    try {
        return reader->parse(body.data(), body.data() + body.size(), root, &errors);
    } catch (const std::exception&) {
        return false;  // nesting beyond the limit
    }
}

const Json::Value& Member(const Json::Value& object, const char* name) {
    static const Json::Value kNull;
    if (!object.isObject()) return kNull;
    const Json::Value* found = object.find(name, name + std::char_traits<char>::length(name));
    return found != nullptr ? *found : kNull;
}

std::string Text(const Json::Value& object, const char* name) {
    const Json::Value& value = Member(object, name);
    return value.isString() ? value.asString() : std::string();
}

// A number member as an int; 0 when missing, not a number or out of range.
int Int(const Json::Value& object, const char* name) {
    const Json::Value& value = Member(object, name);
    if (value.isInt()) return value.asInt();
    if (value.isDouble()) {
        const double d = value.asDouble();
        if (std::isfinite(d) && d > -1e9 && d < 1e9) return static_cast<int>(d);
    }
    return 0;
}

double Number(const Json::Value& object, const char* name) {
    const Json::Value& value = Member(object, name);
    if (!value.isNumeric()) return 0;
    const double d = value.asDouble();
    return std::isfinite(d) ? d : 0;
}

// Calls `each` for the first kArrayLimit items of an array member.
template <typename Each>
void ForEach(const Json::Value& object, const char* name, Each each) {
    const Json::Value& array = Member(object, name);
    if (!array.isArray()) return;
    const Json::ArrayIndex n = std::min<Json::ArrayIndex>(array.size(), kArrayLimit);
    for (Json::ArrayIndex i = 0; i < n; ++i) each(array[i]);
}

std::vector<GenreVote> Genres(const Json::Value& object) {
    std::vector<GenreVote> genres;
    ForEach(object, "genres", [&](const Json::Value& g) {
        GenreVote vote{Text(g, "name"), Int(g, "count")};
        if (!vote.name.empty()) genres.push_back(vote);
    });
    return genres;
}

AcoustIdRelease ReadAcoustIdRelease(const Json::Value& r) {
    AcoustIdRelease release;
    release.id = Text(r, "id");
    release.title = Text(r, "title");
    ForEach(r, "mediums", [&](const Json::Value& m) {
        AcoustIdMedium medium;
        medium.position = Int(m, "position");
        ForEach(m, "tracks", [&](const Json::Value& t) {
            medium.tracks.push_back({Text(t, "id"), Int(t, "position"), Text(t, "title")});
        });
        release.mediums.push_back(std::move(medium));
    });
    return release;
}

bool HoldsTrack(const AcoustIdRelease& release) {
    for (const AcoustIdMedium& medium : release.mediums) {
        if (!medium.tracks.empty()) return true;
    }
    return false;
}

}  // namespace

bool ReadAcoustIdAnswer(const std::string& body, AcoustIdAnswer* out) {
    *out = AcoustIdAnswer();
    Json::Value root;
    if (!ParseJson(body, &root) || !root.isObject()) return false;
    try {
        out->ok = Text(root, "status") == "ok";
        const Json::Value& error = Member(root, "error");
        out->errorCode = Int(error, "code");
        out->errorText = Text(error, "message");
        ForEach(root, "results", [&](const Json::Value& r) {
            AcoustIdResult result;
            result.id = Text(r, "id");
            result.score = Number(r, "score");
            ForEach(r, "recordings", [&](const Json::Value& rec) {
                AcoustIdRecording recording;
                recording.id = Text(rec, "id");
                recording.title = Text(rec, "title");
                recording.duration = Int(rec, "duration");
                ForEach(rec, "releases", [&](const Json::Value& rel) {
                    recording.releases.push_back(ReadAcoustIdRelease(rel));
                });
                result.recordings.push_back(std::move(recording));
            });
            out->results.push_back(std::move(result));
        });
    } catch (const std::exception&) {
        *out = AcoustIdAnswer();
        return false;
    }
    return true;
}

bool SelectAcoustIdMatch(const AcoustIdAnswer& answer, double minScore, AcoustIdMatch* out) {
    *out = AcoustIdMatch();
    std::vector<const AcoustIdResult*> ranked;
    for (const AcoustIdResult& result : answer.results) {
        if (result.score >= minScore) ranked.push_back(&result);
    }
    // Best score first; equal scores keep the service's order.
    std::stable_sort(ranked.begin(), ranked.end(),
                     [](const AcoustIdResult* a, const AcoustIdResult* b) { return a->score > b->score; });
    for (const AcoustIdResult* result : ranked) {
        for (const AcoustIdRecording& recording : result->recordings) {
            if (recording.id.empty()) continue;
            for (const AcoustIdRelease& release : recording.releases) {
                if (release.id.empty() || !HoldsTrack(release)) continue;
                out->recordingId = recording.id;
                out->recordingTitle = recording.title;
                out->releaseId = release.id;
                for (const AcoustIdMedium& medium : release.mediums) {
                    if (!medium.tracks.empty()) {
                        out->trackId = medium.tracks.front().id;
                        break;
                    }
                }
                out->score = result->score;
                out->acceptableResults = static_cast<int>(ranked.size());
                return true;
            }
        }
    }
    return false;
}

bool ReadMusicBrainzRelease(const std::string& body, ReleaseData* out) {
    *out = ReleaseData();
    Json::Value root;
    if (!ParseJson(body, &root) || !root.isObject()) return false;
    try {
        out->id = Text(root, "id");
        out->title = Text(root, "title");
        out->date = Text(root, "date");
        ForEach(root, "artist-credit", [&](const Json::Value& credit) {
            out->artist += Text(credit, "name");
            out->artist += Text(credit, "joinphrase");
        });
        const Json::Value& group = Member(root, "release-group");
        out->releaseGroupId = Text(group, "id");
        out->genres = Genres(root);
        out->groupGenres = Genres(group);
        ForEach(root, "media", [&](const Json::Value& medium) {
            ForEach(medium, "tracks", [&](const Json::Value& t) {
                ReleaseTrack track;
                track.id = Text(t, "id");
                track.number = Text(t, "number");
                if (track.number.empty()) {
                    const int position = Int(t, "position");
                    if (position > 0) track.number = std::to_string(position);
                }
                track.title = Text(t, "title");
                track.recordingId = Text(Member(t, "recording"), "id");
                if (track.title.empty()) track.title = Text(Member(t, "recording"), "title");
                out->tracks.push_back(std::move(track));
            });
        });
    } catch (const std::exception&) {
        *out = ReleaseData();
        return false;
    }
    if (out->id.empty() || out->title.empty()) {
        *out = ReleaseData();
        return false;
    }
    return true;
}

std::vector<std::string> ReadMusicBrainzSearchReleases(const std::string& body, std::size_t limit) {
    std::vector<std::string> ids;
    Json::Value root;
    if (!ParseJson(body, &root)) return ids;
    auto add = [&](const Json::Value& release) {
        const std::string id = Text(release, "id");
        if (!id.empty() && ids.size() < limit && std::find(ids.begin(), ids.end(), id) == ids.end())
            ids.push_back(id);
    };
    try {
        ForEach(root, "releases", add);
        ForEach(root, "recordings",
                [&](const Json::Value& recording) { ForEach(recording, "releases", add); });
    } catch (const std::exception&) {
        ids.clear();
    }
    return ids;
}

bool ReadCoverArtHasFront(const std::string& body) {
    Json::Value root;
    if (!ParseJson(body, &root)) return false;
    bool front = false;
    try {
        ForEach(root, "images", [&](const Json::Value& image) {
            const Json::Value& flag = Member(image, "front");
            if (flag.isBool() && flag.asBool()) front = true;
        });
    } catch (const std::exception&) {
        return false;
    }
    return front;
}

bool ReadImageSearchAnswer(const std::string& body, std::size_t limit, std::vector<ImageHit>* hits) {
    hits->clear();
    Json::Value root;
    if (!ParseJson(body, &root)) return false;
    const Json::Value& results = Member(Member(root, "responseData"), "results");
    if (results.isNull()) return false;
    try {
        // Members that are numbers are taken as their text, as the service
        // gives them either way.
        auto text = [](const Json::Value& object, const char* name) {
            const Json::Value& value = Member(object, name);
            if (value.isString()) return value.asString();
            if (value.isIntegral()) return value.isInt64() ? std::to_string(value.asInt64()) : std::string();
            return std::string();
        };
        ForEach(Member(root, "responseData"), "results", [&](const Json::Value& r) {
            if (hits->size() >= limit) return;
            hits->push_back({text(r, "url"), text(r, "imageId"), text(r, "width"), text(r, "height")});
        });
    } catch (const std::exception&) {
        hits->clear();
        return false;
    }
    return true;
}

std::string WriteImageSearchAnswer(const std::vector<ImageHit>& hits) {
    Json::Value root(Json::objectValue);
    Json::Value results(Json::arrayValue);
    for (const ImageHit& hit : hits) {
        Json::Value item(Json::objectValue);
        item["url"] = hit.url;
        item["imageId"] = hit.imageId;
        item["width"] = hit.width;
        item["height"] = hit.height;
        results.append(item);
    }
    root["responseData"]["results"] = results;
    root["responseStatus"] = 200;
    Json::StreamWriterBuilder writer;
    writer["indentation"] = "";
    // Texts go out byte for byte, as they came: escaping would have to decode
    // them as UTF-8, which bytes from outside need not be.
    writer["emitUTF8"] = true;
    return Json::writeString(writer, root);
}

}  // namespace aws
