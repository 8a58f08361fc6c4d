// Feeds arbitrary bytes to every reader of the music services' answers (the
// AcoustID lookup, the MusicBrainz release and searches, the Cover Art
// Archive listing, the image search) and checks what they promise: no crash,
// no exception, a match only from a result that qualifies, bounded lists,
// and an image-search answer that survives being written and read again.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "recognition/genremap.h"
#include "recognition/serviceanswers.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string body(reinterpret_cast<const char*>(data), size);

    aws::AcoustIdAnswer answer;
    if (aws::ReadAcoustIdAnswer(body, &answer)) {
        aws::AcoustIdMatch match;
        if (aws::SelectAcoustIdMatch(answer, 0.5, &match)) {
            if (match.recordingId.empty() || match.releaseId.empty() || match.score < 0.5) std::abort();
            if (match.acceptableResults < 1) std::abort();
        }
    } else if (!answer.results.empty()) {
        std::abort();
    }

    aws::ReleaseData release;
    if (aws::ReadMusicBrainzRelease(body, &release)) {
        if (release.id.empty() || release.title.empty()) std::abort();
        const aws::GenreLevels levels = aws::MapGenres(release.genres, release.groupGenres);
        // A deeper level never comes without the one above it.
        if (levels[0].empty() && !levels[1].empty()) std::abort();
        if (levels[1].empty() && !levels[2].empty()) std::abort();
        (void)aws::GenreText(levels);
    }

    if (aws::ReadMusicBrainzSearchReleases(body, 5).size() > 5) std::abort();
    (void)aws::ReadCoverArtHasFront(body);

    std::vector<aws::ImageHit> hits;
    if (aws::ReadImageSearchAnswer(body, 5, &hits)) {
        if (hits.size() > 5) std::abort();
        std::vector<aws::ImageHit> again;
        if (!aws::ReadImageSearchAnswer(aws::WriteImageSearchAnswer(hits), 5, &again)) std::abort();
        if (again.size() != hits.size()) std::abort();
        for (std::size_t i = 0; i < hits.size(); ++i) {
            if (again[i].url != hits[i].url || again[i].imageId != hits[i].imageId) std::abort();
        }
    }
    return 0;
}
