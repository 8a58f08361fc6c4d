#include "recognition/recognitionlayer.h"

#include <chromaprint.h>

#include <cctype>
#include <cinttypes>
#include <cstdlib>
#include <cstdio>
#include <random>
#include <sstream>

#include "log/tracelog.h"
#include "recognition/serviceanswers.h"
#include "recognition/servicehttp.h"
#include "recognition/servicetext.h"

namespace aws {

const char kAlbumResponseContext[] = "album response";
const char RecognitionUser::kProxyHost[] = "proxy_host";
const char RecognitionUser::kProxyUserName[] = "proxy_username";
const char RecognitionUser::kProxyPassword[] = "proxy_password";
const char RecognitionUser::kNetworkTimeout[] = "network_timeout";
const char FileQuery::kEnableFingerprint[] = "enable_fingerprint";
const char FileQuery::kPreferredLanguage[] = "preferred_lang";
const char FileQuery::kEnableLink[] = "enable_link";
const char LinkQuery::kImageSize[] = "image_size";

namespace {

// Lookups below this score are no match.
constexpr double kMinScore = 0.5;
// Largest image accepted from the Cover Art Archive (originals can be large).
constexpr std::size_t kMaxImageBytes = 32u * 1024 * 1024;

const char kUserTag[] = "tunecap-user";
const char kLocaleTag[] = "tunecap-locale";
const char kFormatVersion[] = "1";

void LogLine(const std::string& line) {
    TraceLog::Instance().Write(line + "\n");
}

// 32-bit FNV-1a of a text, as 8 hex digits: the check sum of a kept text.
std::string CheckSum(const std::string& text) {
    std::uint32_t hash = 2166136261u;
    for (unsigned char c : text) {
        hash ^= c;
        hash *= 16777619u;
    }
    char out[9];
    std::snprintf(out, sizeof out, "%08" PRIx32, hash);
    return out;
}

bool FitsInLine(const std::string& text) {
    return text.find_first_of("\t\r\n") == std::string::npos;
}

// "a\tb\tc\t<check sum of what precedes>".
std::string Sealed(const std::vector<std::string>& fields) {
    std::string text;
    for (const std::string& field : fields) text += field + "\t";
    return text + CheckSum(text);
}

// The fields of a sealed text with `count` fields; empty when the check sum
// or the count does not match.
std::vector<std::string> Unsealed(const std::string& line, std::size_t count) {
    std::string text = line;
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
    const std::size_t last = text.rfind('\t');
    if (last == std::string::npos || CheckSum(text.substr(0, last + 1)) != text.substr(last + 1)) return {};
    std::vector<std::string> fields;
    std::istringstream in(text.substr(0, last));
    std::string field;
    while (std::getline(in, field, '\t')) fields.push_back(field);
    if (fields.size() != count) return {};
    return fields;
}

std::string RandomKey() {
    std::random_device device;
    char out[33];
    std::snprintf(out, sizeof out, "%08x%08x%08x%08x", device(), device(), device(), device());
    return out;
}

// A MusicBrainz identifier (a UUID): the only thing put into a service's path.
bool IsMbid(const std::string& id) {
    if (id.size() != 36) return false;
    for (std::size_t i = 0; i < id.size(); ++i) {
        const char c = id[i];
        const bool dash = i == 8 || i == 13 || i == 18 || i == 23;
        if (dash ? c != '-' : !std::isxdigit(static_cast<unsigned char>(c))) return false;
    }
    return true;
}

std::mutex g_localeLock;
std::shared_ptr<RecognitionLocale> g_defaultLocale;  // guarded by g_localeLock

}  // namespace

bool LooksLikeImage(const std::string& bytes) {
    return (bytes.size() > 3 && bytes.compare(0, 3, "\xFF\xD8\xFF") == 0) ||
           (bytes.size() > 8 && bytes.compare(0, 8, "\x89PNG\r\n\x1A\n") == 0);
}

const char* ImageExtension(const std::string& bytes) {
    return bytes.size() > 8 && bytes.compare(0, 8, "\x89PNG\r\n\x1A\n") == 0 ? ".png" : ".jpg";
}

// --- RecognitionManager ---

std::shared_ptr<RecognitionManager> RecognitionManager::Initialise(const ServiceEndpoints& endpoints) {
    const char* version = chromaprint_get_version();
    if (version == nullptr || *version == '\0') return nullptr;
    return std::shared_ptr<RecognitionManager>(new RecognitionManager(endpoints));
}

// --- RecognitionUser ---

std::shared_ptr<RecognitionUser> RecognitionUser::RegisterNew(const std::string& clientId,
                                                              const std::string& clientTag,
                                                              const std::string& appVersion) {
    if (clientId.empty() || clientTag.empty() || appVersion.empty()) return nullptr;
    if (!FitsInLine(clientId) || !FitsInLine(clientTag) || !FitsInLine(appVersion)) return nullptr;
    std::shared_ptr<RecognitionUser> user(new RecognitionUser());
    user->m_clientId = clientId;
    user->m_clientTag = clientTag;
    user->m_appVersion = appVersion;
    user->m_userKey = RandomKey();
    return user;
}

std::shared_ptr<RecognitionUser> RecognitionUser::Deserialize(const std::string& text) {
    const std::vector<std::string> f = Unsealed(text, 6);
    if (f.empty() || f[0] != kUserTag || f[1] != kFormatVersion) return nullptr;
    std::shared_ptr<RecognitionUser> user = RegisterNew(f[2], f[3], f[4]);
    if (!user || f[5].size() != 32) return nullptr;
    user->m_userKey = f[5];
    return user;
}

std::string RecognitionUser::Serialize() const {
    return Sealed({kUserTag, kFormatVersion, m_clientId, m_clientTag, m_appVersion, m_userKey});
}

int RecognitionUser::SetOption(const std::string& name, const std::string& value) {
    std::lock_guard<std::mutex> lock(m_optionLock);
    if (name == kProxyHost) {
        m_proxyHost = value;
    } else if (name == kProxyUserName) {
        m_proxyUser = value;
    } else if (name == kProxyPassword) {
        m_proxyPassword = value;
    } else if (name == kNetworkTimeout) {
        char* end = nullptr;
        const unsigned long ms = std::strtoul(value.c_str(), &end, 10);
        if (value.empty() || *end != '\0' || ms == 0 || ms > 3600000) return -1;
        m_timeoutMs = static_cast<std::uint32_t>(ms);
    } else {
        return -1;
    }
    return 0;
}

ProxyConfig RecognitionUser::Proxy() const {
    std::lock_guard<std::mutex> lock(m_optionLock);
    ProxyConfig proxy;
    const std::size_t colon = m_proxyHost.rfind(':');
    if (m_proxyHost.empty() || colon == std::string::npos || colon == 0) return proxy;
    proxy.type = 0;  // HTTP
    proxy.host = m_proxyHost.substr(0, colon);
    proxy.port = std::atoi(m_proxyHost.c_str() + colon + 1);
    proxy.user = m_proxyUser;
    proxy.password = m_proxyPassword;
    return proxy;
}

std::uint32_t RecognitionUser::TimeoutMs() const {
    std::lock_guard<std::mutex> lock(m_optionLock);
    return m_timeoutMs;
}

// --- RecognitionLocale ---

std::shared_ptr<RecognitionLocale> RecognitionLocale::Load(const Request& request, const RecognitionUser&,
                                                           const StatusCallback& status) {
    // The answers come as the services keep them; the layer knows one
    // locale and needs nothing to be downloaded for it.
    if (request.group != "music" || request.language != "eng" || request.region != "global" ||
        (request.descriptor != "detailed" && request.descriptor != "simplified")) {
        return nullptr;
    }
    bool abort = false;
    if (status) status(1, 0, 0, &abort);
    if (!abort && status) status(5, 0, 0, &abort);
    if (abort) return nullptr;
    std::shared_ptr<RecognitionLocale> locale(new RecognitionLocale());
    locale->m_request = request;
    return locale;
}

std::shared_ptr<RecognitionLocale> RecognitionLocale::Deserialize(const std::string& text) {
    const std::vector<std::string> f = Unsealed(text, 6);
    if (f.empty() || f[0] != kLocaleTag || f[1] != kFormatVersion) return nullptr;
    const Request request{f[2], f[3], f[4], f[5]};
    if (request.group != "music" || request.language != "eng" || request.region != "global") return nullptr;
    std::shared_ptr<RecognitionLocale> locale(new RecognitionLocale());
    locale->m_request = request;
    return locale;
}

std::string RecognitionLocale::Serialize() const {
    return Sealed({kLocaleTag, kFormatVersion, m_request.group, m_request.language, m_request.region,
                   m_request.descriptor});
}

int SetDefaultLocale(const std::shared_ptr<RecognitionLocale>& locale) {
    if (!locale) return -1;
    std::lock_guard<std::mutex> lock(g_localeLock);
    g_defaultLocale = locale;
    return 0;
}

std::shared_ptr<RecognitionLocale> DefaultLocale() {
    std::lock_guard<std::mutex> lock(g_localeLock);
    return g_defaultLocale;
}

void ClearDefaultLocale() {
    std::lock_guard<std::mutex> lock(g_localeLock);
    g_defaultLocale.reset();
}

// --- FileInfo ---

int FileInfo::FingerprintBegin(int sampleRate, int bitsPerSample, int channels) {
    m_fingerprint.clear();
    return m_fingerprinter.Begin(sampleRate, bitsPerSample, channels) ? 0 : -1;
}

int FileInfo::FingerprintWrite(const void* data, std::size_t bytes, bool* complete) {
    return m_fingerprinter.Feed(data, bytes, complete) ? 0 : -1;
}

int FileInfo::FingerprintEnd() {
    if (!m_fingerprinter.End()) return -1;
    m_fingerprint = m_fingerprinter.Encoded();
    // Without a length from the caller, the audio taken is all there is.
    if (m_durationMs == 0) m_durationMs = static_cast<std::uint64_t>(m_fingerprinter.SecondsTaken() * 1000);
    return 0;
}

std::shared_ptr<const AlbumResponse> FileInfo::Response() const {
    std::lock_guard<std::mutex> lock(m_responseLock);
    return m_response;
}

// --- FileQuery ---

FileQuery::FileQuery(std::shared_ptr<RecognitionManager> manager, std::shared_ptr<RecognitionUser> user,
                     Callbacks callbacks)
    : m_manager(std::move(manager)), m_user(std::move(user)), m_callbacks(std::move(callbacks)) {}

FileQuery::~FileQuery() {
    Cancel();
    if (m_thread.joinable()) m_thread.join();
}

int FileQuery::SetOption(const std::string& name, const std::string& value) {
    if (name == kEnableFingerprint) {
        m_fingerprintEnabled = value == "true";
    } else if (name == kPreferredLanguage) {
        if (value != "eng") return -1;
        m_language = value;
    } else if (name != kEnableLink) {
        return -1;
    }
    return 0;
}

FileInfo* FileQuery::AddFileInfo(const std::string& identifier) {
    if (m_started) return nullptr;
    m_infos.push_back(std::unique_ptr<FileInfo>(new FileInfo(identifier)));
    return m_infos.back().get();
}

FileInfo* FileQuery::GetFileInfo(std::size_t index) const {
    return index < m_infos.size() ? m_infos[index].get() : nullptr;
}

int FileQuery::IdentifyTracks(int /*flags*/) {
    if (m_started || !m_manager || !m_user || m_infos.empty()) return -1;
    m_started = true;
    try {
        m_thread = std::thread(&FileQuery::Run, this);
    } catch (const std::system_error&) {
        return -1;
    }
    return 0;
}

int FileQuery::WaitForComplete() {
    if (!m_thread.joinable()) return -1;
    m_thread.join();
    return 0;
}

bool FileQuery::ReportStatus(int status) {
    bool abort = m_cancel.load();
    if (!abort && m_callbacks.status) m_callbacks.status(status, &abort);
    if (abort) m_aborted.store(true);
    return !abort;
}

void FileQuery::Run() {
    for (const std::unique_ptr<FileInfo>& info : m_infos) {
        if (m_cancel.load() || m_aborted.load()) break;
        if (!Identify(*info)) break;
    }
}

bool FileQuery::Identify(FileInfo& info) {
    info.m_status = kFileInfoProcessing;
    if (!ReportStatus(kQueryBegin)) return false;
    if (!m_fingerprintEnabled) {
        info.m_status = kFileInfoError;
        return ReportStatus(kQueryComplete);
    }
    bool abort = m_cancel.load();
    if (!abort && m_callbacks.fingerprint) m_callbacks.fingerprint(info, &abort);
    if (abort || m_cancel.load()) return false;
    if (info.m_fingerprint.empty()) {
        info.m_status = kFileInfoError;
        return ReportStatus(kQueryComplete);
    }
    if (m_callbacks.metadata) m_callbacks.metadata(info, &abort);
    if (abort || m_cancel.load() || !ReportStatus(kQueryLookup)) return false;

    std::shared_ptr<const AlbumResponse> response;
    const int status = LookUp(info, info.m_fingerprint, info.m_durationMs, &response);
    if (m_cancel.load()) return false;
    if (status == kNetworkErrorCode) {
        info.m_status = kFileInfoError;
        ReportStatus(kNetworkErrorCode);
        return false;
    }
    if (response) {
        std::lock_guard<std::mutex> lock(info.m_responseLock);
        info.m_response = response;
    }
    info.m_status = status;
    return ReportStatus(kQueryComplete);
}

int FileQuery::LookUp(FileInfo& info, const std::string& fingerprint, std::uint64_t durationMs,
                      std::shared_ptr<const AlbumResponse>* response) {
    const ServiceEndpoints& endpoints = m_manager->Endpoints();
    if (endpoints.acoustIdKey.empty()) {
        LogLine("FileQuery::LookUp no AcoustID client key: set TUNECAP_ACOUSTID_KEY or AcoustID_Key in " +
                std::string(kServiceSettingsFile) + "; file: " + info.FileName());
        return kFileInfoError;
    }
    const ProxyConfig proxy = m_user->Proxy();
    const std::uint32_t timeout = m_user->TimeoutMs();

    ServiceHttp acoustId(Service::AcoustId, proxy, &m_cancel, timeout);
    const std::string lookup = endpoints.acoustIdUrl + "/v2/lookup?client=" + UrlEscaped(endpoints.acoustIdKey) +
                               "&meta=recordings+releases+tracks&duration=" +
                               std::to_string((durationMs + 500) / 1000) +
                               "&fingerprint=" + UrlEscaped(fingerprint) + "&format=json";
    ServiceReply reply = acoustId.Get(lookup);
    if (reply.networkError) return kNetworkErrorCode;
    AcoustIdAnswer answer;
    const bool readable = ReadAcoustIdAnswer(reply.body, &answer);
    if (!reply.Ok() || !readable || !answer.ok) {
        LogLine("FileQuery::LookUp AcoustID failed, HTTP " + std::to_string(reply.httpStatus) + " error " +
                std::to_string(answer.errorCode) + " " + answer.errorText);
        return kFileInfoError;
    }
    AcoustIdMatch match;
    if (!SelectAcoustIdMatch(answer, kMinScore, &match) || !IsMbid(match.releaseId)) {
        return kFileInfoUnidentified;
    }

    ServiceHttp musicBrainz(Service::MusicBrainz, proxy, &m_cancel, timeout);
    reply = musicBrainz.Get(endpoints.musicBrainzUrl + "/ws/2/release/" + match.releaseId +
                            "?inc=artist-credits+recordings+release-groups+genres&fmt=json");
    if (reply.networkError) return kNetworkErrorCode;
    ReleaseData release;
    if (!reply.Ok() || !ReadMusicBrainzRelease(reply.body, &release)) {
        LogLine("FileQuery::LookUp MusicBrainz release " + match.releaseId + " failed, HTTP " +
                std::to_string(reply.httpStatus));
        return kFileInfoError;
    }

    auto album = std::make_shared<AlbumResponse>();
    AlbumValues values;
    values.id = release.id;
    values.artist = release.artist;
    values.title = release.title;
    values.date = release.date;
    values.genres = MapGenres(release.genres, release.groupGenres);
    values.releaseGroupId = release.releaseGroupId;
    // The file's track is one of the matched recording, the one the lookup
    // named where the recording is on the release more than once. A track
    // of another recording never is, wherever the lookup's track points:
    // its links to tracks can be out of date.
    const ReleaseTrack* matched = nullptr;
    for (const ReleaseTrack& track : release.tracks) {
        if (track.recordingId != match.recordingId) continue;
        const bool named = !match.trackId.empty() && track.id == match.trackId;
        if (matched == nullptr || (named && matched->id != match.trackId)) matched = &track;
    }
    values.songTitle = matched != nullptr ? matched->title : match.recordingTitle;
    for (const ReleaseTrack& track : release.tracks) {
        TrackValues t{track.number, track.title, std::string(), track.recordingId};
        if (&track == matched) t.fileName = info.FileName();
        values.tracks.push_back(std::move(t));
    }
    album->albums.push_back(std::move(values));
    *response = album;
    return match.acceptableResults > 1 ? kFileInfoResults : kFileInfoResult;
}

// --- LinkQuery ---

LinkQuery::LinkQuery(std::shared_ptr<RecognitionManager> manager, std::shared_ptr<RecognitionUser> user)
    : m_manager(std::move(manager)), m_user(std::move(user)) {}

void LinkQuery::SetAlbum(const AlbumValues& album) {
    m_releaseId = IsMbid(album.id) ? album.id : std::string();
    m_releaseGroupId = IsMbid(album.releaseGroupId) ? album.releaseGroupId : std::string();
}

int LinkQuery::SetOption(const std::string& name, const std::string& value) {
    if (name != kImageSize) return -1;
    // The archive's sizes: thumbnails of 250, 500 and 1200 pixels, and the original.
    if (value == "small" || value == "thumbnail") {
        m_sizePath = "front-250";
    } else if (value == "medium") {
        m_sizePath = "front-500";
    } else if (value == "large") {
        m_sizePath = "front-1200";
    } else if (value == "xlarge") {
        m_sizePath = "front";
    } else {
        return -1;
    }
    return 0;
}

int LinkQuery::RetrieveContent(int kind, std::string* bytes, std::string* address) {
    bytes->clear();
    if (!m_manager || !m_user) return -1;
    std::string path;
    if (kind == kContentCoverArt && !m_releaseId.empty()) {
        path = "/release/" + m_releaseId + "/" + m_sizePath;
    } else if (kind == kContentGroupCoverArt && !m_releaseGroupId.empty()) {
        path = "/release-group/" + m_releaseGroupId + "/" + m_sizePath;
    } else {
        return -1;
    }
    ServiceHttp coverArt(Service::CoverArt, m_user->Proxy(), &m_cancel, m_user->TimeoutMs());
    coverArt.SetBudget(m_budget);
    ServiceReply reply = coverArt.Get(m_manager->Endpoints().coverArtUrl + path, kMaxImageBytes);
    if (!reply.Ok() || !LooksLikeImage(reply.body)) return -1;
    *bytes = std::move(reply.body);
    if (address != nullptr) *address = reply.effectiveUrl;
    return 0;
}

}  // namespace aws
