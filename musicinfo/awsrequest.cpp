#include "awsrequest.h"

#include <algorithm>
#include <chrono>
#include <cstdarg>
#include <ctime>

#include "common/logline.h"
#include "log/tracelog.h"
#include "networkstatus.h"
#include "recognition/recognizer.h"
#include "servicecontext.h"
#include "songinforecord.h"

namespace aws {

namespace {

const char* StepText(std::int32_t step) {
    switch (step) {
        case STEP_NONE: return " STEP: STEP_NONE ";
        case STEP_TRACK_DATA: return " STEP: STEP_TRACK_DATA ";
        case STEP_ALBUM_COVER: return " STEP: STEP_ALBUM_COVER ";
        case STEP_LAST: return " STEP: STEP_LAST ";
        default: return " STEP: ERROR Value: ";
    }
}

// Appends one formatted part, cut at 1023 bytes like every part of an entry.
__attribute__((format(printf, 2, 3))) void AppendPart(std::string* out, const char* format, ...) {
    va_list args;
    va_start(args, format);
    const common::LogLine part(format, args);
    va_end(args);
    out->append(part.c_str(), part.size());
}

}  // namespace

unsigned long long ServiceTickMs() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<unsigned long long>(ts.tv_sec) * 1000ull +
           static_cast<unsigned long long>(ts.tv_nsec) / 1000000ull;
}

std::string FormatWorkerLogEntry(std::int32_t step, bool success, bool reachable,
                                 const SongInfoRecord& result, const std::string& identifier,
                                 const std::string& songName) {
    std::string out;
    AppendPart(&out, "in %s%s", "aws::AWSRequest::WorkerThread", StepText(step));
    if (success) {
        out += "***GN SDK OK@@@***\n";
        const std::string id = FieldText(result.identifier);
        AppendPart(&out,
                   "iTunes ID: %s \n MusicName: %s \n Artist: %s \n Album: %s \n Image Count: %d \n "
                   "ReleaseDate: %s \n AlbumGenre: %s \n AlbumMusicList: %s \n ",
                   id.c_str(), FieldText(result.songName).c_str(), FieldText(result.artist).c_str(),
                   FieldText(result.album).c_str(), result.imageCount,
                   FieldText(result.releaseDate).c_str(), FieldText(result.albumGenre).c_str(),
                   FieldText(result.albumMusicList).c_str());
        const int images = std::clamp(result.imageCount, 0, kMaxImages);
        for (int i = 0; i < images; ++i) {
            const ImageEntry& image = result.images[i];
            AppendPart(&out,
                       "iTunes ID: %s \n imgindex: %d \n Path: %s \n DownloadUrl: %s \n Width: %d \n "
                       "Height: %d \n",
                       id.c_str(), image.imageIndex, FieldText(image.path).c_str(),
                       FieldText(image.downloadUrl).c_str(), image.width, image.height);
        }
    } else {
        out += reachable ? "***GN SDK FAIL!!!***\n" : "***Unable to connect to the network.&&&***\n";
        AppendPart(&out, "iTunes ID: %s \n MusicName: %s \n ", identifier.c_str(), songName.c_str());
    }
    return out;
}

AWSRequest::AWSRequest(const Params& params)
    : AWSRequest(params, CurrentRecognizer(), CurrentNetworkStatus()) {}

AWSRequest::AWSRequest(const Params& params, std::shared_ptr<Recognizer> recognizer,
                       std::shared_ptr<NetworkStatus> network)
    : m_kind(params.kind),
      m_userData(params.userData),
      m_callback(params.callback),
      m_identifier(std::to_string(ServiceTickMs())),
      m_filePath(params.filePath),
      m_text1(params.text1),
      m_text2(params.text2),
      m_text3(params.text3),
      m_recognizer(std::move(recognizer)),
      m_network(std::move(network)) {
    m_result = std::make_unique<SongInfoRecord>();
    ClearSongInfoRecord(m_result.get());
    CopyText(m_result->identifier, m_identifier);
    if (m_recognizer) m_search = m_recognizer->NewCoverSearch();
}

AWSRequest::~AWSRequest() {
    // Join before anything the worker uses is released.
    if (m_thread.joinable()) CancelAndJoin();
}

int AWSRequest::Start() {
    if (m_running.load()) return -1;
    if (IsBlank(m_filePath) && IsBlank(m_text1)) return -1;
    if (!m_handOver.IsValid() || !m_result || !m_search || !m_recognizer || !m_network) return -1;
    if (m_thread.joinable()) m_thread.join();
    m_finished = false;
    m_running = true;
    m_cancel = false;
    {
        std::lock_guard<std::mutex> lock(m_deliveryLock);
        m_delivering = false;
    }
    try {
        m_thread = std::thread(&AWSRequest::WorkerThread, this);
    } catch (...) {
        m_running = false;
        m_finished = true;
        return -1;
    }
    return 0;
}

void AWSRequest::CancelSubRequests() {
    if (m_search) m_search->Cancel();
    std::lock_guard<std::mutex> lock(m_queryLock);
    // Also a query that has not begun yet: it must not begin after this.
    if (m_fileQuery) m_fileQuery->Cancel();
}

void AWSRequest::CancelAndJoin() {
    bool cancelled = false;
    {
        std::lock_guard<std::mutex> lock(m_deliveryLock);
        if (!m_delivering) {
            m_cancel = true;
            cancelled = true;
        }
    }
    if (cancelled) CancelSubRequests();
    if (m_thread.joinable()) m_thread.join();

    // The worker decides the status before it ends; this wait only matters
    // for a worker that ended without deciding.
    const ServiceTiming timing = ServiceContext::Instance().Timing();
    const unsigned long long start = ServiceTickMs();
    while (!m_finished.load()) {
        std::this_thread::sleep_for(timing.finishPoll);
        const unsigned long long now = ServiceTickMs();
        if (now < start || now - start >= static_cast<unsigned long long>(timing.finishWait.count())) {
            break;
        }
    }
}

void AWSRequest::WorkerThread() {
    // The cancel flag is cleared by Start() only: a cancellation that comes
    // before this thread runs must not be lost.
    m_finished = false;
    m_running = true;

    ServiceContext& service = ServiceContext::Instance();
    // After MusicParserCleanup the network state is not asked again: asking
    // would start its thread anew.
    bool reachable = !service.ShuttingDown() && m_network->WaitForVerdict(&m_cancel);
    bool success = false;

    if (!reachable) {
        m_status = STATUS_FAILED;
    } else {
        SongInfoRecord record;
        ClearSongInfoRecord(&record);
        CopyText(record.identifier, m_identifier);
        m_step = STEP_NONE;

        // Every cover request of the request shares one budget, from the
        // first of them on: a cover server that stalls must not cost the
        // texts an identification found.
        TimeBudget covers;
        auto startCovers = [&] {
            if (!covers.Limited()) covers = TimeBudget::StartingNow(m_recognizer->CoverBudgetMs());
        };

        if (!m_filePath.empty() && IsExistingRegularFile(m_filePath)) {
            MusicIDFile* query = nullptr;
            {
                std::lock_guard<std::mutex> lock(m_queryLock);
                m_fileQuery = m_recognizer->NewFileQuery(m_identifier, m_filePath);
                query = m_fileQuery.get();
            }
            if (query != nullptr && !m_cancel.load() && query->Identify(&record) >= 0) {
                *m_result = record;
                m_result->reserved = m_reserved;
                m_result->kind = m_kind;
                m_result->stepReached = STEP_TRACK_DATA;
                m_text1 = FieldText(record.songName);
                m_text2 = FieldText(record.artist);
                m_text3 = FieldText(record.album);
                m_step = STEP_TRACK_DATA;
                startCovers();
                if (!m_cancel.load() && query->FetchArtwork(service.PicturesDir(), covers, m_result.get()) >= 0) {
                    m_result->stepReached = STEP_ALBUM_COVER;
                    m_step = STEP_ALBUM_COVER;
                }
            }
        }

        reachable = !service.ShuttingDown() && m_network->WaitForVerdict(&m_cancel);
        if (reachable) {
            if (m_step < STEP_ALBUM_COVER && !m_text1.empty() && !m_cancel.load()) {
                startCovers();
                CoverSearchQuery search{m_identifier, m_text1,   m_text2,
                                        m_text3,      m_filePath, service.PicturesDir(), covers};
                if (m_search->Search(search, m_result.get()) >= 1) {
                    m_result->stepReached = STEP_ALBUM_COVER;
                    m_step = STEP_ALBUM_COVER;
                }
            }
        }
        success = m_step >= STEP_TRACK_DATA;
        m_status = reachable && success ? STATUS_DONE : STATUS_FAILED;
    }

    // Decided, also when the network was unreachable from the start.
    m_running = false;
    m_finished = true;
    if (success && m_status == STATUS_FAILED) m_status = STATUS_DONE;

    TraceLog::Instance().Write(FormatWorkerLogEntry(m_step, m_status == STATUS_DONE, reachable,
                                                    *m_result, m_identifier, m_text1));

    bool deliver = false;
    {
        std::lock_guard<std::mutex> lock(m_deliveryLock);
        const int status = m_status.load();
        if (!m_cancel.load() && !service.ShuttingDown() &&
            (status == STATUS_DONE || status == STATUS_FAILED)) {
            m_delivering = true;
            deliver = true;
        }
    }
    if (deliver) {
        try {
            std::thread(&AWSRequest::Notify, this).detach();
            m_handOver.Wait();
        } catch (...) {
            // No notifier thread: the answer is lost, the request still ends.
        }
    }
    if (m_cancel.load() || service.ShuttingDown()) m_status = STATUS_CANCELLED;
}

void AWSRequest::Notify() {
    const int status = m_status.load();
    void* const userData = m_userData;
    const MusicParserCallback callback = m_callback;
    RecordMusicInfo info;
    const bool done = status == STATUS_DONE;
    if (done) FillRecordMusicInfo(*m_result, &info);
    // From here on the request may be destroyed.
    m_handOver.Post();
    if (callback != nullptr) {
        try {
            callback(userData, status, done ? &info : nullptr);
        } catch (...) {
            // A callback must not throw; nothing may leave this thread.
        }
    }
}

}  // namespace aws
