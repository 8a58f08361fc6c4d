#include "recognition/fingerprintrecognizer.h"

#include <atomic>
#include <cstdio>
#include <fstream>
#include <vector>

#include "http/nettiming.h"
#include "log/tracelog.h"
#include "networkstatus.h"
#include "recognition/imagecoversearch.h"
#include "recognition/servicetext.h"
#include "servicecontext.h"
#include "songinforecord.h"
#include "wav/wavfile.h"

namespace aws {

const char FingerprintRecognizer::kUserFile[] = "gnuser.dat";
const char FingerprintRecognizer::kLocaleFile[] = "gnlocale.dat";

namespace {

// Who this client is to the layer. The client key of the identification
// service is a setting (ServiceEndpoints), never part of the program.
const char kClientId[] = "Tunecap";
const char kClientTag[] = "recdeck";
const char kAppVersion[] = "1";

constexpr std::size_t kBlockBytes = 262144;  // the fingerprint reads 256 KiB at a time
constexpr std::size_t kMaxUserLine = 1023;
// A locale load that makes no progress for this long is given up.
constexpr unsigned long long kLocaleStallMs = 30000;
const char* const kImageSizes[] = {"small", "medium", "thumbnail", "large", "xlarge"};

void LogLine(const std::string& line) {
    TraceLog::Instance().Write(line + "\n");
}

// The first line of a file, at most `limit` bytes of it; empty when missing.
std::string FirstLine(const std::string& path, std::size_t limit) {
    std::ifstream in(path);
    std::string line;
    std::getline(in, line);
    if (line.size() > limit) line.resize(limit);
    return line;
}

bool WriteTextFile(const std::string& path, const std::string& text) {
    std::FILE* file = std::fopen(path.c_str(), "w");
    if (file == nullptr) return false;
    const bool written = std::fwrite(text.data(), 1, text.size(), file) == text.size();
    return std::fclose(file) == 0 && written;
}

// Progress of a locale load: gives up when the byte count has not moved for
// kLocaleStallMs, and aborts every later call once it did.
struct LocaleLoadWatch {
    int lastKind = 0;
    std::uint64_t lastBytes = 0;
    unsigned long long lastMove = TickCountMs();
    bool stopped = false;

    void operator()(int kind, std::uint64_t done, std::uint64_t, bool* abort) {
        const unsigned long long now = TickCountMs();
        if (!stopped && done == lastBytes && now - lastMove > kLocaleStallMs) stopped = true;
        if (done != lastBytes) lastMove = now;
        lastKind = kind;
        lastBytes = done;
        if (stopped) *abort = true;
    }
};

// One identification of one WAV file, and the cover of the album it found.
class FingerprintMusicIDFile final : public MusicIDFile {
public:
    FingerprintMusicIDFile(std::shared_ptr<const FingerprintRecognizer::Session> session,
                           std::shared_ptr<NetworkStatus> network, std::string identifier, std::string path)
        : m_session(std::move(session)),
          m_network(std::move(network)),
          m_identifier(std::move(identifier)),
          m_path(std::move(path)) {}

    int Identify(SongInfoRecord* record) override;
    int FetchArtwork(const std::string& picturesDir, const TimeBudget& budget, SongInfoRecord* result) override;
    void Cancel() override;
    bool IsRunning() const override { return m_running.load(); }

private:
    bool Reachable() { return m_network && m_network->WaitForVerdict(&m_cancel); }
    int RunQuery();
    int ReadAlbum(const AlbumResponse& response);
    void OnStatus(int status, bool* abort);
    void OnFingerprint(FileInfo& info, bool* abort);
    void OnMetadata(bool* abort);

    const std::shared_ptr<const FingerprintRecognizer::Session> m_session;
    const std::shared_ptr<NetworkStatus> m_network;
    const int m_queryFlags = 1;
    std::atomic<int> m_errorCode{0};  // set by the status callback
    std::atomic<bool> m_cancel{false};
    std::atomic<bool> m_running{false};
    const std::string m_identifier;
    const std::string m_path;
    const std::string m_language = "eng";
    SongInfoRecord* m_record = nullptr;  // worker thread, during Identify()

    std::mutex m_queryLock;
    std::unique_ptr<FileQuery> m_query;  // guarded by m_queryLock while it exists
    std::unique_ptr<LinkQuery> m_link;   // guarded by m_queryLock
    bool m_haveAlbum = false;            // worker thread
    AlbumValues m_album;                 // the match, kept for the cover
};

void FingerprintMusicIDFile::Cancel() {
    m_cancel.store(true);
    std::lock_guard<std::mutex> lock(m_queryLock);
    if (m_query) m_query->Cancel();
    if (m_link) m_link->Cancel();
}

int FingerprintMusicIDFile::Identify(SongInfoRecord* record) {
    const FingerprintRecognizer::Session* session = m_session.get();
    if (session == nullptr || !session->user || !session->locale) {
        LogLine("FingerprintMusicIDFile::Identify recognition not initialised, file: " + m_path);
        return -1;
    }
    m_record = record;
    m_running.store(true);
    const int result = RunQuery();
    m_running.store(false);
    {
        std::lock_guard<std::mutex> lock(m_queryLock);
        m_query.reset();
    }

    if (m_cancel.load() || ServiceContext::Instance().ShuttingDown()) return -1;
    if (!Reachable()) return -1;
    if (m_errorCode.load() == kNetworkErrorCode) {
        m_network->ReportReachable(false);
        return -1;
    }
    m_network->ReportReachable(true);
    if (result < 0) return -1;
    if (record->songName[0] != '\0' && record->artist[0] != '\0' && record->album[0] != '\0') return 0;
    // Without the matched track, artist and album the answer would be
    // nothing dressed as a match: hand back an empty record and no match.
    const std::string id = FieldText(record->identifier);
    ClearSongInfoRecord(record);
    CopyText(record->identifier, id);
    return -1;
}

int FingerprintMusicIDFile::RunQuery() {
    FileQuery::Callbacks callbacks;
    callbacks.status = [this](int status, bool* abort) { OnStatus(status, abort); };
    callbacks.fingerprint = [this](FileInfo& info, bool* abort) { OnFingerprint(info, abort); };
    callbacks.metadata = [this](FileInfo&, bool* abort) { OnMetadata(abort); };
    FileQuery* query = nullptr;
    {
        std::lock_guard<std::mutex> lock(m_queryLock);
        if (m_cancel.load()) return -1;
        m_query = std::make_unique<FileQuery>(m_session->manager, m_session->user, callbacks);
        query = m_query.get();
    }
    query->SetOption(FileQuery::kEnableFingerprint, "true");
    query->SetOption(FileQuery::kPreferredLanguage, m_language);
    query->SetOption(FileQuery::kEnableLink, "true");
    FileInfo* info = query->AddFileInfo(m_identifier);
    if (info == nullptr) return -1;
    info->SetFileName(m_path);

    if (!Reachable()) return -1;
    m_errorCode.store(0);
    if (query->IdentifyTracks(m_queryFlags) != 0) return -1;
    query->WaitForComplete();
    if (m_cancel.load()) return -1;
    if (m_errorCode.load() != 0) return m_errorCode.load();

    const std::size_t count = query->FileInfoCount();
    for (std::size_t i = 0; i < count; ++i) {
        if (m_cancel.load() || !Reachable()) return -1;
        const FileInfo* file = query->GetFileInfo(i);
        switch (file->Status()) {
            case kFileInfoUnprocessed:
            case kFileInfoError:
            case kFileInfoProcessing:
                return -1;
            case kFileInfoResult:
            case kFileInfoResults: {
                std::shared_ptr<const AlbumResponse> response = file->Response();
                if (!response) return -1;
                if (ReadAlbum(*response) == 0) return 0;
                break;
            }
            default:
                break;  // no match for this file
        }
    }
    return count == 0 ? 0 : -1;
}

int FingerprintMusicIDFile::ReadAlbum(const AlbumResponse& response) {
    if (response.context != kAlbumResponseContext || response.albums.empty()) return -1;
    const AlbumValues& album = response.albums.front();
    if (!Reachable()) return -1;
    CopyText(m_record->albumId, album.id);
    CopyText(m_record->artist, album.artist);
    CopyText(m_record->album, album.title);
    CopyText(m_record->releaseDate, album.date);
    CopyText(m_record->albumGenre, GenreText(album.genres));
    CopyText(m_record->songName, album.songTitle);
    std::string list;
    for (const TrackValues& track : album.tracks) {
        if (!Reachable() || m_cancel.load()) break;
        list += track.number + " " + track.title + "; ";
    }
    CopyText(m_record->albumMusicList, list);
    m_album = album;
    m_haveAlbum = true;
    return 0;
}

void FingerprintMusicIDFile::OnStatus(int status, bool* abort) {
    if (m_cancel.load()) {
        *abort = true;
        return;
    }
    if (status == kNetworkErrorCode || !Reachable()) {
        m_errorCode.store(kNetworkErrorCode);
        *abort = true;
    }
}

void FingerprintMusicIDFile::OnMetadata(bool* abort) {
    if (m_cancel.load() || !Reachable()) *abort = true;
}

void FingerprintMusicIDFile::OnFingerprint(FileInfo& info, bool* abort) {
    if (m_cancel.load() || !Reachable()) {
        *abort = true;
        return;
    }
    std::unique_ptr<WavFile> wav = WavFile::Open(info.FileName().c_str());
    if (!wav) {
        LogLine("FingerprintMusicIDFile::OnFingerprint not a WAV file: " + info.FileName());
        return;
    }
    const WavFileInfo& format = wav->Info();
    if (format.sampleRate == 0 || format.bitsPerSample == 0 || format.channels == 0 || !wav->IsUsablePcm()) {
        LogLine("FingerprintMusicIDFile::OnFingerprint no usable PCM in: " + info.FileName());
        return;
    }
    if (info.FingerprintBegin(static_cast<int>(format.sampleRate), format.bitsPerSample, format.channels) != 0)
        return;
    info.SetDurationMs(format.dataLength * 1000 / (static_cast<std::uint64_t>(format.blockAlign) * format.sampleRate));
    if (!wav->SeekToData()) return;
    std::vector<unsigned char> block(kBlockBytes);
    bool complete = false;
    bool error = false;
    while (!complete) {
        const std::size_t got = wav->ReadData(block.data(), block.size());
        if (got == 0) break;
        if (info.FingerprintWrite(block.data(), got, &complete) != 0) {
            error = true;
            break;
        }
        if (m_cancel.load() || !Reachable()) {
            *abort = true;
            error = true;
            break;
        }
    }
    if (!error && info.FingerprintEnd() != 0) {
        LogLine("FingerprintMusicIDFile::OnFingerprint too little audio in: " + info.FileName());
    }
}

int FingerprintMusicIDFile::FetchArtwork(const std::string& picturesDir, const TimeBudget& budget,
                                         SongInfoRecord* result) {
    std::string folder = TrimmedText(picturesDir);
    if (folder.empty() || !m_haveAlbum || !m_session || !m_session->manager) return -1;
    folder = WithSeparator(folder);
    LinkQuery* link = nullptr;
    {
        std::lock_guard<std::mutex> lock(m_queryLock);
        if (!m_link) m_link = std::make_unique<LinkQuery>(m_session->manager, m_session->user);
        if (m_cancel.load()) m_link->Cancel();
        link = m_link.get();
    }
    link->SetAlbum(m_album);
    link->SetBudget(budget);

    int stored = 0;
    for (const char* size : kImageSizes) {
        if (budget.Spent()) {
            LogLine("FingerprintMusicIDFile::FetchArtwork the covers' time is over, file: " + m_path);
            break;
        }
        if (m_cancel.load() || !Reachable()) break;
        link->SetOption(LinkQuery::kImageSize, size);
        std::string bytes;
        std::string address;
        if (link->RetrieveContent(kContentCoverArt, &bytes, &address) != 0 || bytes.empty()) {
            link->RetrieveContent(kContentGroupCoverArt, &bytes, &address);
        }
        if (bytes.empty()) continue;
        const std::string path = folder + m_identifier + "_" + FieldText(result->albumId) + "_" + size + "_" +
                                 std::to_string(TickCountMs() + static_cast<unsigned long long>(stored)) +
                                 ImageExtension(bytes);
        std::FILE* file = std::fopen(path.c_str(), "wb+");
        bool written = file != nullptr && std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
        if (file != nullptr && std::fclose(file) != 0) written = false;
        if (!written) {
            LogLine("FingerprintMusicIDFile::FetchArtwork cannot write: " + path);
            std::remove(path.c_str());
            continue;
        }
        ImageEntry& entry = result->images[stored];
        entry.reserved = result->reserved;
        entry.imageIndex = stored;
        CopyText(entry.name, m_identifier + "_" + size);
        CopyText(entry.path, path);
        CopyText(entry.downloadUrl, address);
        entry.width = -1;
        entry.height = -1;
        ++stored;
        break;  // the first size that delivers is enough
    }
    result->imageCount = stored;
    return stored >= 1 ? 0 : -1;
}

}  // namespace

int ApplyProxyOptions(RecognitionUser& user, const MusicParserProxyParam& proxy) {
    const MusicParserProxyParam p = NormalisedProxy(proxy);
    const bool none = p.type == -1;
    const std::string host = none ? std::string() : TrimmedText(p.host);
    const std::string name = none ? std::string() : TrimmedText(p.userName);
    const std::string password = none ? std::string() : TrimmedText(p.password);
    char value[256];
    if (host.size() >= 4) {
        std::snprintf(value, sizeof value, "%s:%d", host.c_str(), p.port);
    } else {
        value[0] = '\0';
    }
    if (user.SetOption(RecognitionUser::kProxyHost, value) != 0) return -1;
    std::snprintf(value, sizeof value, "%s", name.c_str());
    if (user.SetOption(RecognitionUser::kProxyUserName, value) != 0) return -1;
    std::snprintf(value, sizeof value, "%s", password.c_str());
    if (user.SetOption(RecognitionUser::kProxyPassword, value) != 0) return -1;
    return 0;
}

int FingerprintRecognizer::Initialise(const std::string& dataFolder, const MusicParserProxyParam& proxy) {
    std::shared_ptr<NetworkStatus> network = CurrentNetworkStatus();
    if (!network->WaitForVerdict()) {
        LogLine("FingerprintRecognizer::Initialise network not reachable");
        return -1;
    }
    auto session = std::make_shared<Session>();
    session->manager = RecognitionManager::Initialise(ServiceEndpoints::Load(dataFolder));
    if (!session->manager) {
        LogLine("FingerprintRecognizer::Initialise the fingerprint library does not work");
        return -1;
    }

    const std::string userPath = dataFolder + kUserFile;
    const std::string userText = FirstLine(userPath, kMaxUserLine);
    if (!userText.empty()) {
        session->user = RecognitionUser::Deserialize(userText);
        if (!session->user) {
            LogLine("FingerprintRecognizer::Initialise unreadable user file, left as it is: " + userPath);
            return -1;
        }
    } else {
        if (!network->WaitForVerdict()) return -1;
        for (int tries = 0; tries < 2 && !session->user; ++tries)
            session->user = RecognitionUser::RegisterNew(kClientId, kClientTag, kAppVersion);
        if (!session->user) return -1;
        if (!WriteTextFile(userPath, session->user->Serialize()))
            LogLine("FingerprintRecognizer::Initialise cannot write: " + userPath);
    }
    if (proxy.type != -1 && ApplyProxyOptions(*session->user, proxy) != 0) return -1;
    if (session->user->SetOption(RecognitionUser::kNetworkTimeout, "30000") != 0) return -1;

    const std::string localePath = dataFolder + kLocaleFile;
    const std::string localeText = FirstLine(localePath, std::string::npos);
    if (!localeText.empty()) {
        session->locale = RecognitionLocale::Deserialize(localeText);
        if (!session->locale) {
            LogLine("FingerprintRecognizer::Initialise unreadable locale file, left as it is: " + localePath);
            return -1;
        }
    } else if (network->WaitForVerdict()) {
        LocaleLoadWatch watch;
        session->locale = RecognitionLocale::Load(RecognitionLocale::Request(), *session->user,
                                                  [&watch](int kind, std::uint64_t done, std::uint64_t total,
                                                           bool* abort) { watch(kind, done, total, abort); });
        if (session->locale && !WriteTextFile(localePath, session->locale->Serialize()))
            LogLine("FingerprintRecognizer::Initialise cannot write: " + localePath);
    }
    if (SetDefaultLocale(session->locale) != 0) return -1;

    std::lock_guard<std::mutex> lock(m_lock);
    m_dataFolder = dataFolder;
    m_session = session;
    return 0;
}

bool FingerprintRecognizer::IsInitialised() const {
    std::lock_guard<std::mutex> lock(m_lock);
    return m_session != nullptr;
}

int FingerprintRecognizer::SetProxy(const MusicParserProxyParam& proxy) {
    std::shared_ptr<const Session> session;
    {
        std::lock_guard<std::mutex> lock(m_lock);
        session = m_session;
    }
    if (!session) return 0;
    return ApplyProxyOptions(*session->user, proxy);
}

void FingerprintRecognizer::Shutdown() {
    {
        std::lock_guard<std::mutex> lock(m_lock);
        m_session.reset();
    }
    ClearDefaultLocale();
}

std::unique_ptr<MusicIDFile> FingerprintRecognizer::NewFileQuery(const std::string& identifier,
                                                                 const std::string& filePath) {
    std::shared_ptr<const Session> session;
    {
        std::lock_guard<std::mutex> lock(m_lock);
        session = m_session;
    }
    return std::make_unique<FingerprintMusicIDFile>(std::move(session), CurrentNetworkStatus(), identifier,
                                                    filePath);
}

std::string FingerprintRecognizer::DataFolder() const {
    std::string folder;
    {
        std::lock_guard<std::mutex> lock(m_lock);
        folder = m_dataFolder;
    }
    return folder.empty() ? ServiceContext::Instance().TakeDataFolder() : folder;
}

std::unique_ptr<CoverSearch> FingerprintRecognizer::NewCoverSearch() {
    return NewImageCoverSearch(ServiceEndpoints::Load(DataFolder()), CurrentNetworkStatus());
}

std::uint32_t FingerprintRecognizer::CoverBudgetMs() {
    return ServiceEndpoints::Load(DataFolder()).coverBudgetMs;
}

}  // namespace aws
