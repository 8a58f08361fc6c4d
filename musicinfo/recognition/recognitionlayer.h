// The recognition layer: identification of recordings by their audio
// fingerprint and retrieval of album covers, with the operations that the
// identification step of a request uses. Behind it: Chromaprint for the
// fingerprint, the AcoustID lookup service for the match, the MusicBrainz
// service for the album, and the Cover Art Archive for the covers.
//
// Objects and their use:
//  - RecognitionManager: the layer itself, set up once with the service
//    addresses (Initialise) and shared by everything made from it.
//  - RecognitionUser: who asks; made once (RegisterNew) and then kept as one
//    line of text (Serialize/Deserialize). Holds the options of the
//    connection (proxy, network time-out).
//  - RecognitionLocale: the language and region of the answers; likewise
//    kept as one line of text.
//  - FileQuery: one identification of one or more files, run on a thread of
//    the layer after IdentifyTracks(). The layer calls the caller's status,
//    fingerprint and metadata callbacks on that thread; the fingerprint
//    callback feeds the file's audio through its FileInfo.
//  - FileInfo: one file of a query, with its status (FileInfoStatus) and,
//    after a match, its album response.
//  - LinkQuery: the covers of a matched album, by image size and content kind.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "http/httpproxy.h"
#include "http/timebudget.h"
#include "recognition/fingerprinter.h"
#include "recognition/genremap.h"
#include "recognition/serviceendpoints.h"

namespace aws {

// The status of one file of a query.
enum FileInfoStatus : int {
    kFileInfoUnprocessed = 0,  // the query has not reached it
    kFileInfoUnidentified = 1, // looked up, no match
    kFileInfoError = 2,        // no fingerprint, a service error or the network lost
    kFileInfoProcessing = 3,   // being identified, or aborted while it was
    kFileInfoResult = 4,       // one match: a response exists
    kFileInfoResults = 5,      // several matches, the best taken: a response exists
};

// Content kinds of LinkQuery::RetrieveContent.
enum ContentKind : int {
    kContentCoverArt = 1,        // the front cover of the release
    kContentGroupCoverArt = 26,  // the front cover of its release group (a fallback)
};

// The status code a query reports when it lost the connection to a service.
constexpr int kNetworkErrorCode = 2457;

// Status codes handed to the status callback of a query.
enum QueryStatus : int {
    kQueryBegin = 1,      // a file is being identified
    kQueryLookup = 2,     // its fingerprint is being looked up
    kQueryComplete = 5,   // the file is done, whatever its status
};

// The context of an album response.
extern const char kAlbumResponseContext[];

struct TrackValues {
    std::string number;       // track number as printed
    std::string title;        // display title
    std::string fileName;     // only on the track that matched the file: its file name
    std::string recordingId;
};

struct AlbumValues {
    std::string id;            // the album identifier: the MusicBrainz release
    std::string artist;
    std::string title;         // display title
    std::string songTitle;     // the matched recording's: its track's title, else its own
    std::string date;          // as MusicBrainz gives it
    GenreLevels genres;        // levels 1 to 3, empty where not known
    std::string releaseGroupId;
    std::vector<TrackValues> tracks;
};

struct AlbumResponse {
    std::string context = kAlbumResponseContext;
    std::vector<AlbumValues> albums;
};

class RecognitionManager {
public:
    // Sets the layer up: checks that Chromaprint works and keeps the
    // addresses. nullptr when it cannot work. Any thread.
    static std::shared_ptr<RecognitionManager> Initialise(const ServiceEndpoints& endpoints);
    const ServiceEndpoints& Endpoints() const { return m_endpoints; }

private:
    explicit RecognitionManager(ServiceEndpoints endpoints) : m_endpoints(std::move(endpoints)) {}
    const ServiceEndpoints m_endpoints;
};

class RecognitionUser {
public:
    // Option names.
    static const char kProxyHost[];      // "host:port", empty = no proxy
    static const char kProxyUserName[];
    static const char kProxyPassword[];
    static const char kNetworkTimeout[]; // milliseconds of one service transfer

    // A new user of this client. nullptr when the names are empty or hold
    // line breaks or tabs.
    static std::shared_ptr<RecognitionUser> RegisterNew(const std::string& clientId,
                                                        const std::string& clientTag,
                                                        const std::string& appVersion);
    // The user from its text; nullptr when the text is not one this layer
    // wrote (wrong form, version or check sum).
    static std::shared_ptr<RecognitionUser> Deserialize(const std::string& text);
    // One line of text, without a line break.
    std::string Serialize() const;

    // Sets an option. 0, or -1 for an unknown name or a bad value. Any thread.
    int SetOption(const std::string& name, const std::string& value);
    // The proxy and the time limit of service transfers, as set now.
    ProxyConfig Proxy() const;
    std::uint32_t TimeoutMs() const;
    const std::string& ClientId() const { return m_clientId; }

private:
    RecognitionUser() = default;
    std::string m_clientId;
    std::string m_clientTag;
    std::string m_appVersion;
    std::string m_userKey;  // made at registration, unique per installation

    mutable std::mutex m_optionLock;
    std::string m_proxyHost;      // guarded by m_optionLock
    std::string m_proxyUser;      // guarded by m_optionLock
    std::string m_proxyPassword;  // guarded by m_optionLock
    std::uint32_t m_timeoutMs = 30000;  // guarded by m_optionLock
};

class RecognitionLocale {
public:
    struct Request {
        std::string group = "music";
        std::string language = "eng";
        std::string region = "global";
        std::string descriptor = "detailed";
    };
    // Progress of a load: kind 1 begin, 3 progress (bytes done of total),
    // 5 end. Setting *abort stops the load, which then fails.
    using StatusCallback = std::function<void(int kind, std::uint64_t done, std::uint64_t total, bool* abort)>;

    // The locale for the request. nullptr for an unknown group, language,
    // region or descriptor, or when the callback aborted.
    static std::shared_ptr<RecognitionLocale> Load(const Request& request, const RecognitionUser& user,
                                                   const StatusCallback& status);
    static std::shared_ptr<RecognitionLocale> Deserialize(const std::string& text);
    std::string Serialize() const;
    const Request& Values() const { return m_request; }

private:
    RecognitionLocale() = default;
    Request m_request;
};

// Makes `locale` the one used by queries of its group. 0, or -1 for none.
int SetDefaultLocale(const std::shared_ptr<RecognitionLocale>& locale);
// The default locale of the music group, nullptr when none.
std::shared_ptr<RecognitionLocale> DefaultLocale();
// Forgets the default locale (layer shutdown).
void ClearDefaultLocale();

class FileQuery;

class FileInfo {
public:
    const std::string& Identifier() const { return m_identifier; }
    void SetFileName(const std::string& path) { m_fileName = path; }
    const std::string& FileName() const { return m_fileName; }
    // The whole recording's length, which the lookup sends beside the
    // fingerprint of its start. Fingerprint callback.
    void SetDurationMs(std::uint64_t ms) { m_durationMs = ms; }

    // Fingerprint of the file's audio, for the fingerprint callback:
    // Begin, then Write blocks until *complete or the audio ends, then End.
    // Each returns 0, or -1 on failure.
    int FingerprintBegin(int sampleRate, int bitsPerSample, int channels);
    int FingerprintWrite(const void* data, std::size_t bytes, bool* complete);
    int FingerprintEnd();

    int Status() const { return m_status.load(); }
    // The album response of a file whose status is 4 or 5, else nullptr.
    std::shared_ptr<const AlbumResponse> Response() const;

private:
    friend class FileQuery;
    explicit FileInfo(std::string identifier) : m_identifier(std::move(identifier)) {}

    const std::string m_identifier;
    std::string m_fileName;
    std::uint64_t m_durationMs = 0;
    Fingerprinter m_fingerprinter;
    std::string m_fingerprint;
    std::atomic<int> m_status{kFileInfoUnprocessed};
    mutable std::mutex m_responseLock;
    std::shared_ptr<const AlbumResponse> m_response;  // guarded by m_responseLock
};

class FileQuery {
public:
    // Callbacks, called on the query's thread. Setting *abort ends the query.
    struct Callbacks {
        std::function<void(int status, bool* abort)> status;
        std::function<void(FileInfo& info, bool* abort)> fingerprint;
        std::function<void(FileInfo& info, bool* abort)> metadata;
    };
    // Option names.
    static const char kEnableFingerprint[];  // "true": fingerprint files (the only way to identify)
    static const char kPreferredLanguage[];
    static const char kEnableLink[];          // "true": keep what cover retrieval needs

    FileQuery(std::shared_ptr<RecognitionManager> manager, std::shared_ptr<RecognitionUser> user,
              Callbacks callbacks);
    // Cancels and waits for the query's thread.
    ~FileQuery();
    FileQuery(const FileQuery&) = delete;
    FileQuery& operator=(const FileQuery&) = delete;

    int SetOption(const std::string& name, const std::string& value);
    // A new file of the query, owned by it. nullptr once identification began.
    FileInfo* AddFileInfo(const std::string& identifier);
    std::size_t FileInfoCount() const { return m_infos.size(); }
    FileInfo* GetFileInfo(std::size_t index) const;

    // Starts identifying the files on the query's thread. -1 when the query
    // has no manager, user or files, already ran, or the thread cannot start.
    int IdentifyTracks(int flags);
    // Waits for the identification to end. 0, or -1 when it never started.
    int WaitForComplete();
    // Ends a running identification early: transfers stop, callbacks see
    // their abort flag set. Any thread.
    void Cancel() { m_cancel.store(true); }
    bool Cancelled() const { return m_cancel.load(); }

private:
    void Run();
    // Identifies one file; false when the query must end (abort or network lost).
    bool Identify(FileInfo& info);
    bool ReportStatus(int status);
    int LookUp(FileInfo& info, const std::string& fingerprint, std::uint64_t durationMs,
               std::shared_ptr<const AlbumResponse>* response);

    const std::shared_ptr<RecognitionManager> m_manager;
    const std::shared_ptr<RecognitionUser> m_user;
    const Callbacks m_callbacks;
    std::vector<std::unique_ptr<FileInfo>> m_infos;  // added before the thread starts, then fixed
    bool m_fingerprintEnabled = true;
    std::string m_language = "eng";
    std::atomic<bool> m_cancel{false};
    std::atomic<bool> m_aborted{false};
    std::thread m_thread;  // started and joined by the owner's thread
    bool m_started = false;
};

// Covers of a matched album.
class LinkQuery {
public:
    static const char kImageSize[];  // option: "small", "medium", "thumbnail", "large" or "xlarge"

    LinkQuery(std::shared_ptr<RecognitionManager> manager, std::shared_ptr<RecognitionUser> user);
    void SetAlbum(const AlbumValues& album);
    // 0, or -1 for an unknown option or size.
    int SetOption(const std::string& name, const std::string& value);
    // The budget that the retrievals made afterwards share (none by default).
    void SetBudget(const TimeBudget& budget) { m_budget = budget; }

    // Fetches the content of `kind` in the set size into *bytes (image data,
    // JPEG or PNG). 0 with bytes; -1 when there is none (or no album, or the
    // answer is not an image). *address, when given, gets where it came from.
    int RetrieveContent(int kind, std::string* bytes, std::string* address = nullptr);
    // Ends a running retrieval early. Any thread.
    void Cancel() { m_cancel.store(true); }

private:
    const std::shared_ptr<RecognitionManager> m_manager;
    const std::shared_ptr<RecognitionUser> m_user;
    std::string m_releaseId;
    std::string m_releaseGroupId;
    std::string m_sizePath = "front-250";
    TimeBudget m_budget;
    std::atomic<bool> m_cancel{false};
};

// True when the bytes begin like a JPEG or a PNG image.
bool LooksLikeImage(const std::string& bytes);
// ".png" for PNG bytes, else ".jpg".
const char* ImageExtension(const std::string& bytes);

}  // namespace aws
