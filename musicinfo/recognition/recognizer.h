// What the request worker needs of song recognition: a service-wide
// recognizer, one file query per identification and one cover search per
// request. The worker only sees these interfaces; the recognizer in force is
// chosen once per process (see CurrentRecognizer()).
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "http/timebudget.h"
#include "recognition/serviceendpoints.h"
#include "tunecap.h"

namespace aws {

struct SongInfoRecord;

// One identification of one WAV file (owned by its request).
class MusicIDFile {
public:
    virtual ~MusicIDFile() = default;

    // Identifies the file, filling album identifier, song name, artist,
    // album, date, genre and track list of `record`. Blocking; worker
    // thread. Returns 0 or more on a match, negative otherwise (no match,
    // cancelled, network lost, service error).
    virtual int Identify(SongInfoRecord* record) = 0;

    // Stores the matched album's artwork in `picturesDir` and fills the
    // image entries of `result`, within `budget`: once it is spent no
    // request is made and a running one ends. Worker thread, only after
    // Identify() succeeded. Returns 0 or more when at least one image was
    // stored.
    virtual int FetchArtwork(const std::string& picturesDir, const TimeBudget& budget,
                             SongInfoRecord* result) = 0;

    // Asks a running Identify() to end early. Any thread.
    virtual void Cancel() = 0;
    // True while Identify() runs. Any thread.
    virtual bool IsRunning() const = 0;
};

// The texts a cover search works with.
struct CoverSearchQuery {
    std::string identifier;
    std::string songName;
    std::string artist;
    std::string album;
    std::string filePath;
    std::string picturesDir;
    // What the search and its downloads may spend in all.
    TimeBudget budget;
};

// The search for album covers by a song's texts (owned by its request).
class CoverSearch {
public:
    virtual ~CoverSearch() = default;

    // Searches and downloads covers into the query's pictures folder and
    // fills the image entries of `result`. Blocking; worker thread. Returns
    // the number of images stored (1 or more means artwork was found).
    virtual int Search(const CoverSearchQuery& query, SongInfoRecord* result) = 0;

    // Asks a running Search() to end early. Any thread.
    virtual void Cancel() = 0;
};

// The service-wide side of recognition.
class Recognizer {
public:
    virtual ~Recognizer() = default;

    // Sets up the recognition service with its data folder (ending in a
    // separator) and proxy. Called by MusicParserInit under the service's
    // global mutex. Returns 0 on success, -1 on failure.
    virtual int Initialise(const std::string& dataFolder, const MusicParserProxyParam& proxy) = 0;
    // True once Initialise() succeeded and until Shutdown(). Any thread.
    virtual bool IsInitialised() const = 0;
    // Passes a changed proxy to the recognition service. Returns 0 or more on
    // success (also when the service is not initialised), -1 on failure.
    virtual int SetProxy(const MusicParserProxyParam& proxy) = 0;
    // Releases the recognition service. Called by MusicParserCleanup.
    virtual void Shutdown() = 0;

    // A new file query for one identification of `filePath`.
    virtual std::unique_ptr<MusicIDFile> NewFileQuery(const std::string& identifier,
                                                      const std::string& filePath) = 0;
    // A new cover search for one request.
    virtual std::unique_ptr<CoverSearch> NewCoverSearch() = 0;
    // How long every cover request of one request may take in all: the
    // artwork of its match and the search by its texts together.
    virtual std::uint32_t CoverBudgetMs() { return kDefaultCoverBudgetMs; }
};

// The recognizer that requests use: the fingerprint recognizer
// (fingerprintrecognizer.h) unless another one is installed. Any thread;
// requests keep the instance they started with.
std::shared_ptr<Recognizer> CurrentRecognizer();

// Replaces the recognizer for requests created afterwards; nullptr restores
// the fingerprint recognizer. Not exported: used by the library's own
// start-up and by tests. Must not overlap MusicParserInit or Cleanup.
void InstallRecognizer(std::shared_ptr<Recognizer> recognizer);

}  // namespace aws
