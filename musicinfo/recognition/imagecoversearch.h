// The cover search by a song's texts: up to six query forms, an image-search
// answer in JSON ("responseData"."results"[] with "url", "imageId", "width"
// and "height"), and the download of up to five of the images it names into
// the pictures folder, each file named "google_...".
//
// Two sources answer the searches: the image-search endpoint when its
// address is set, otherwise the built-in search, which finds releases in
// MusicBrainz and takes their front covers from the Cover Art Archive.
//
// Threads: Search() runs on the request's worker thread; Cancel() comes from
// any thread. Each download runs on a thread of its own.
#pragma once

#include <atomic>
#include <memory>
#include <string>
#include <vector>

#include "recognition/recognizer.h"
#include "recognition/serviceendpoints.h"

namespace aws {

class NetworkStatus;
struct SongInfoRecord;

// One query form of a search.
struct SearchForm {
    int number = 0;          // 1 to 6
    std::string text;        // the query text for an image-search endpoint
    bool sizeParameter = false;
    std::string artist;      // the texts the form is made of; the others empty
    std::string album;
    std::string song;
};

// The forms that the texts allow, in the order they are tried:
//  1 artist "," album " album cover" (with the size parameter)
//  2 album "," song " album cover"
//  3 artist "," song (with the size parameter)
//  4 album   5 song   6 artist
std::vector<SearchForm> SearchForms(const std::string& song, const std::string& artist,
                                    const std::string& album);

// Where the answers come from.
class ImageSearchBackend {
public:
    virtual ~ImageSearchBackend() = default;
    // The answer to one form, within `budget`: 0 with the JSON text,
    // negative on failure (kWebTimeLimit once the budget is spent).
    virtual int Fetch(const SearchForm& form, const TimeBudget& budget, std::string* answer) = 0;
    // True when asking again for the same form may bring a different answer.
    virtual bool AnswersVary() const = 0;
    // Ends a running Fetch() early. Any thread.
    virtual void Cancel() = 0;
};

// The endpoint at `address` (with its query "v=1.0"): GET address,
// "&imgsz=small|medium" for the forms that have the size parameter, and
// "&q=" with the escaped query text.
std::unique_ptr<ImageSearchBackend> NewEndpointImageSearch(const std::string& address);
// The built-in search over MusicBrainz and the Cover Art Archive.
std::unique_ptr<ImageSearchBackend> NewBuiltInImageSearch(const ServiceEndpoints& endpoints);

class ImageCoverSearch final : public CoverSearch {
public:
    ImageCoverSearch(std::unique_ptr<ImageSearchBackend> backend, std::shared_ptr<NetworkStatus> network);
    int Search(const CoverSearchQuery& query, SongInfoRecord* result) override;
    void Cancel() override;

private:
    bool Stopped() const;
    int Download(const TimeBudget& budget, SongInfoRecord* result);

    std::unique_ptr<ImageSearchBackend> m_backend;
    std::shared_ptr<NetworkStatus> m_network;
    std::atomic<bool> m_cancel{false};
};

// The cover search for these addresses: the endpoint's when one is set,
// else the built-in one.
std::unique_ptr<CoverSearch> NewImageCoverSearch(const ServiceEndpoints& endpoints,
                                                 std::shared_ptr<NetworkStatus> network);

// Fills the image entries of `result` from one search answer: one entry per
// result (at most five), download address ("https:" becomes "http:"), local
// path in the query's pictures folder, width and height when numeric. An
// answer that is not a search answer, or has no results, leaves the entries
// found before. Returns the image count afterwards.
int FillImageEntries(const std::string& answer, const CoverSearchQuery& query, SongInfoRecord* result);

}  // namespace aws
