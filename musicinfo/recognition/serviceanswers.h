// Readers of the JSON answers of the recognition services: the AcoustID
// lookup, the MusicBrainz release lookup and searches, the Cover Art Archive
// listing and the image search. Each takes the body as it came, trusts
// nothing in it (types, sizes, nesting) and never throws; a reader that
// answers false leaves its output empty.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace aws {

// --- AcoustID lookup (meta recordings, releases, tracks) ---

struct AcoustIdTrack {
    std::string id;  // the MusicBrainz track
    int position = 0;
    std::string title;
};
struct AcoustIdMedium {
    int position = 0;
    std::vector<AcoustIdTrack> tracks;  // the tracks of this recording on the medium
};
struct AcoustIdRelease {
    std::string id;
    std::string title;
    std::vector<AcoustIdMedium> mediums;
};
struct AcoustIdRecording {
    std::string id;
    std::string title;
    int duration = 0;  // seconds, 0 when not given
    std::vector<AcoustIdRelease> releases;
};
struct AcoustIdResult {
    std::string id;
    double score = 0;
    std::vector<AcoustIdRecording> recordings;
};
struct AcoustIdAnswer {
    bool ok = false;        // "status" was "ok"
    int errorCode = 0;      // "error"."code" of a failed lookup
    std::string errorText;  // "error"."message"
    std::vector<AcoustIdResult> results;
};

// Reads a lookup answer. false when the body is not JSON or not an object.
bool ReadAcoustIdAnswer(const std::string& body, AcoustIdAnswer* out);

// The match a lookup gives: the recording and the release that holds it.
struct AcoustIdMatch {
    std::string recordingId;
    std::string recordingTitle;
    std::string releaseId;
    std::string trackId;  // the lookup's first track of the recording there; may be out of date
    double score = 0;
    int acceptableResults = 0;  // results with a score of at least the minimum
};

// The best-scored result of at least `minScore` that has a recording on a
// release whose track list holds it; among its recordings the first such
// release. false when no result qualifies: a weak or bare answer never gives
// a match.
bool SelectAcoustIdMatch(const AcoustIdAnswer& answer, double minScore, AcoustIdMatch* out);

// --- MusicBrainz release lookup (inc artist-credits, recordings, release-groups, genres) ---

struct GenreVote {
    std::string name;
    int count = 0;
};
struct ReleaseTrack {
    std::string id;
    std::string number;  // as printed: "1", "A2"
    std::string title;
    std::string recordingId;
};
struct ReleaseData {
    std::string id;
    std::string title;
    std::string date;    // as MusicBrainz gives it: "2003", "2003-05-19"
    std::string artist;  // the artist credit, names and join phrases
    std::string releaseGroupId;
    std::vector<GenreVote> genres;       // the release's own
    std::vector<GenreVote> groupGenres;  // its release group's
    std::vector<ReleaseTrack> tracks;    // all media in order
};

// Reads a release. false when the body is not a release with an id and a title.
bool ReadMusicBrainzRelease(const std::string& body, ReleaseData* out);

// The release ids of a release search ("releases") or a recording search
// ("recordings"[]."releases"), in order, without repeats, at most `limit`.
std::vector<std::string> ReadMusicBrainzSearchReleases(const std::string& body, std::size_t limit);

// --- Cover Art Archive listing of a release ---

// True when the listing holds an image marked as the front cover.
bool ReadCoverArtHasFront(const std::string& body);

// --- Image search ("responseData"."results"[]) ---

struct ImageHit {
    std::string url;
    std::string imageId;
    std::string width;   // as text; numeric or not
    std::string height;
};

// Reads the results of a search answer, at most `limit`. false when the body
// is not JSON or lacks "responseData" or its "results" (an empty "results"
// is true with no hits).
bool ReadImageSearchAnswer(const std::string& body, std::size_t limit, std::vector<ImageHit>* hits);

// Builds an answer in the same form from hits (the built-in search).
std::string WriteImageSearchAnswer(const std::vector<ImageHit>& hits);

}  // namespace aws
