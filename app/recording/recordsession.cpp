#include "recordsession.h"

#include <QFile>
#include <QStorageInfo>
#include <QThread>
#include <QTimer>
#include <QUrl>

#include <cerrno>
#include <cstring>
#include <unistd.h>
#include <utility>

#include "capdev.h"
#include "config.h"
#include "library/library.h"
#include "library/playqueue.h"
#include "library/treewidgetitem.h"
#include "recording/audiosource.h"
#include "recording/playerart.h"
#include "recording/spectrumfeed.h"
#include "specialdirs.h"

#ifdef RECDECK_WITH_MEDCORE
#include "medcore.h"
#endif

namespace {

// The Windows version value (major × 10 + minor) that the first recording
// from computer audio logs (CMainUI::kOsVersionValue).
constexpr int kOsVersionValue = 100;
// The engine gives an error's detail (the input's name) as text; no more of
// it is read than this.
constexpr size_t kErrorDetailBytes = 128;
// Sample rates the engine records at; others become 44100 Hz.
constexpr int kMinRate = 8000;
constexpr int kMaxRate = 48000;
constexpr int kDefaultRate = 44100;

// The engine's exports; a build without the engine fails every call as the
// engine does for a missing instance.
namespace engine {
#ifdef RECDECK_WITH_CAPDEV
void* Create() { return AudioDevCreate(); }
void Destroy(void* h) { AudioDevDestroy(h); }
int SetDriverName(void* h, const char* name) { return AudioDevSetDriverName(h, name); }
int GetInputCount(void* h) { return AudioDevGetInputCount(h); }
const char* GetInputName(void* h, unsigned i) { return AudioDevGetInputName(h, i); }
int Start(void* h, const AudioDevRecordParam* p) { return AudioDevStartRecord(h, p); }
int Stop(void* h) { return AudioDevStopRecord(h); }
int SetVolume(void* h, unsigned v) { return AudioDevSetVolume(h, v); }
int SetApplication(void* h, const char* app) { return AudioDevSetApplication(h, app); }
int SetTrackFollow(void* h, int holdMs) { return AudioDevSetTrackFollow(h, holdMs); }
int MarkTrackChange(void* h, int64_t us, int windowMs) {
    return AudioDevMarkTrackChange(h, us, windowMs);
}
#else
void* Create() { return nullptr; }
void Destroy(void*) {}
int SetDriverName(void*, const char*) { return AUDIODEV_ERR_PARAM; }
int GetInputCount(void*) { return AUDIODEV_ERR_PARAM; }
const char* GetInputName(void*, unsigned) { return nullptr; }
int Start(void*, const AudioDevRecordParam*) { return AUDIODEV_ERR_PARAM; }
int Stop(void*) { return 0; }
int SetVolume(void*, unsigned) { return AUDIODEV_ERR_PARAM; }
int SetApplication(void*, const char*) { return AUDIODEV_ERR_PARAM; }
int SetTrackFollow(void*, int) { return AUDIODEV_ERR_PARAM; }
int MarkTrackChange(void*, int64_t, int) { return AUDIODEV_ERR_PARAM; }
#endif
}  // namespace engine

// A song's length in whole seconds as the media engine measures it; 0 when
// it cannot (the song is then discarded), -1 in a build without the media
// engine (the song is kept without a length).
qint64 MeasureSeconds(const QString& path) {
#ifdef RECDECK_WITH_MEDCORE
    // Owns one medcore file handle.
    struct MediaFile {
        int handle;
        ~MediaFile() {
            if (handle > 0) WM_DeleteFile(handle);
        }
    };
    const MediaFile file{WM_AddFile(path.toUtf8().constData())};
    if (file.handle <= 0) return 0;
    int64_t milliseconds = 0;
    if (WM_GetMediaDuration(file.handle, &milliseconds) != 0 || milliseconds < 0) return 0;
    return milliseconds / 1000;
#else
    Q_UNUSED(path);
    return -1;
#endif
}

}  // namespace

void CRecordSession::EngineDeleter::operator()(void* handle) const {
    engine::Destroy(handle);
}

CRecordSession::CRecordSession(CConfig* config, CLibrary* library, CSpectrumFeed* spectrum,
                               QObject* parent)
    : QObject(parent),
      m_config(config),
      m_library(library),
      m_spectrum(spectrum),
      m_audioDev(engine::Create()) {
    if (!m_audioDev) qWarning("AudioDevCreate failed!");
    m_freeSpace = [](const QString& folder) {
        const QStorageInfo storage(folder);
        return storage.isValid() ? storage.bytesAvailable() : qint64(-1);
    };
    m_timer = new QTimer(this);
    m_timer->setInterval(1000);
    connect(m_timer, &QTimer::timeout, this, &CRecordSession::Tick);

    // Emitted on engine threads. Queued even when an event comes on this
    // thread, so that no receiver runs inside the engine's callback (where
    // a stop would wait for the very thread it runs on), and in the
    // engine's order.
    connect(this, &CRecordSession::NewFileCreated, this, &CRecordSession::CreateNewFile,
            Qt::QueuedConnection);
    connect(this, &CRecordSession::RecordBegined, this, &CRecordSession::StartNewRecord,
            Qt::QueuedConnection);
    connect(this, &CRecordSession::AutoDownloadStarted, this, &CRecordSession::StartAutoDownload,
            Qt::QueuedConnection);
    connect(this, &CRecordSession::RecordEndded, this, &CRecordSession::EndNewRecord,
            Qt::QueuedConnection);
    connect(this, &CRecordSession::RecordErrorAppend, this, &CRecordSession::DealwithRecordErr,
            Qt::QueuedConnection);
    connect(this, &CRecordSession::NewFileOpenedAt, this, &CRecordSession::PairPlayerTrack,
            Qt::QueuedConnection);

    m_art = new CPlayerArtFetcher(SpecialDirPath(SpecialDir_Pictures), this);
    connect(m_art, &CPlayerArtFetcher::Fetched, this, [this](int musicId, const QString& path) {
        m_library->AddPlayerCover(musicId, path);
    });
}

CRecordSession::~CRecordSession() {
    m_timer->stop();
    {
        std::lock_guard<std::mutex> lock(m_markMutex);
        m_markHandle = nullptr;
    }
    if (m_followThread) {
        // The follower goes with its thread's end.
        m_followThread->quit();
        m_followThread->wait();
    }
    // Stops a recording that still runs and waits for the engine's threads:
    // no callback reaches this object afterwards. What the stop reports is
    // queued to this object and dropped with it.
    m_audioDev.reset();
}

void CRecordSession::SetFreeSpaceQuery(FreeSpaceQuery query) {
    m_freeSpace = std::move(query);
}

void CRecordSession::SetPlayingSource(std::function<bool()> playing) {
    m_playing = std::move(playing);
}

void CRecordSession::SetDeviceInstaller(std::function<bool()> install) {
    m_installDevice = std::move(install);
}

// ---- Starting and stopping ----------------------------------------------------

int CRecordSession::InitRecorderParam(AudioDevRecordParam* param) {
    param->callback = &CRecordSession::Trampoline;
    param->user = this;
    if (!m_audioDev) {
        ShowMessage(tr("Recording is not available:\nthe capture engine could not be started."));
        return 1;
    }
    m_outputFolder = m_config->GetOutputPath().value(0).toUtf8();
    if (m_outputFolder.isEmpty()) m_outputFolder = SpecialDirPath(SpecialDir_Music).toUtf8();
    // A folder that cannot be made is reported by the engine (-7) once
    // there is sound to write.
    if (const int err = CreateDirectoryTree(m_outputFolder.constData()))
        qWarning("CRecordSession::InitRecorderParam cannot create folder: %s err: %d",
                 m_outputFolder.constData(), err);
    param->outputFolder = m_outputFolder.constData();

    const int chosen =
        m_config->GetRecordMode() == -1 ? ChooseComputerAudio(param) : ChooseInput(param);
    if (chosen != 0) return 1;

    param->splitSilenceMs = m_config->GetSplitMode() != 0 ? int(m_config->GetSplitTime()) : 0;
    param->sampleFile = m_config->GetIdMode();
    param->fileType = m_config->GetOutputFileType();
    param->sampleRate = m_config->GetSampleRate();
    param->bitRate = param->fileType == 0 ? m_config->GetBitRate() : 0;
    return 0;
}

int CRecordSession::ChooseComputerAudio(AudioDevRecordParam* param) {
    if (engine::SetDriverName(AudioDev(), kVirtualDeviceName) != 0) {
        qWarning("StartRecording, AudioDevSetDriverName failed");
        if (!m_installDevice || !m_installDevice()) {
            qDebug("CRecordSession::InitRecorderParam the device was not installed");
            return 1;
        }
    }
    m_inputDevice.clear();
    param->inputDeviceName = nullptr;
    // Every application, or only the chosen one.
    const QByteArray application = m_config->GetRecordApplication().toUtf8();
    if (const int err = engine::SetApplication(AudioDev(), application.constData()))
        qWarning("CRecordSession::InitRecorderParam AudioDevSetApplication %s failed err: %d",
                 application.constData(), err);
    if (m_firstRecording) {
        m_firstRecording = 0;
        // Older systems could leave the recorded source muted, and the user
        // was warned before the first recording; this program always
        // behaves as on a current system, where no warning is due.
        qDebug("CRecordSession::InitRecorderParam os version: %d", kOsVersionValue);
    }
    return 0;
}

int CRecordSession::ChooseInput(AudioDevRecordParam* param) {
    m_inputDevice = m_config->GetDeviceId().toUtf8();
    if (engine::SetDriverName(AudioDev(), m_inputDevice.constData()) != 0) {
        if (engine::GetInputCount(AudioDev()) <= 0) {
            qWarning("StartRecording, haven't found input device");
            ShowMessage(tr("No audio input was found.\nPlease connect a microphone or line-in, "
                           "\nor record computer audio."));
            return 1;
        }
        // The chosen input is gone: the first one takes its place, also
        // for the next start.
        const char* first = engine::GetInputName(AudioDev(), 0);
        m_inputDevice = QByteArray(first ? first : "");
        qDebug("CRecordSession::InitRecorderParam input not found, using input 0: %s",
               m_inputDevice.constData());
        m_config->SetDeviceId(QString::fromUtf8(m_inputDevice));
    }
    param->inputDeviceName = m_inputDevice.constData();
    return 0;
}

bool CRecordSession::StartRecording() {
    AudioDevRecordParam param{};
    if (InitRecorderParam(&param) != 0) return false;
    const int volume = qBound(0, m_config->GetVolumeValue(), 200);
    qDebug("CRecordSession::StartRecording: InputDevName: %s SplitMute:%d fileType:%d Volume:%d "
           "bitRate:%d sampleRate:%d",
           param.inputDeviceName ? param.inputDeviceName : "(computer audio)",
           param.splitSilenceMs, param.fileType, volume, param.bitRate, param.sampleRate);

    Q_EMIT PlaybackStopRequested();
    PrepareFollowing(param);

    qDebug("CRecordSession::StartRecording#####");
    const int res = engine::Start(AudioDev(), &param);
    if (res != 0) {
        qWarning("CRecordSession::StartRecording AudioDevStartRecord failed err: %d", res);
        // A second start while a session runs is only logged.
        if (res != AUDIODEV_ERR_RUNNING)
            ShowMessage(tr("The recording could not be started (error %1).\n"
                           "Please check the audio source in the settings.")
                            .arg(res));
        return false;
    }
    if (const int err = engine::SetVolume(AudioDev(), unsigned(volume)))
        qDebug("CRecordSession::StartRecording AudioDevSetVolume failed err: %d", err);
    if (m_following) StartFollowing();

    m_abandoned = false;
    Q_EMIT SessionStarted();
    // 50 ms of 16-bit stereo at the rate the engine records.
    const int rate = param.sampleRate >= kMinRate && param.sampleRate <= kMaxRate
                         ? param.sampleRate
                         : kDefaultRate;
    if (m_spectrum) m_spectrum->SetStep(rate * 4 / 20);
    m_elapsed = QTime(0, 0, 0);
    m_timer->start();
    SetState(RecordState::Waiting);
    return true;
}

void CRecordSession::SignalStopRecord() {
    qDebug("CRecordSession::SignalStopRecord#####");
    StopFollowing();
    const int res = engine::Stop(AudioDev());
    qDebug("CRecordSession::SignalStopRecord AudioDevStopRecord res: %d", res);
    m_timer->stop();
    m_elapsed = QTime(0, 0, 0);
    if (m_spectrum) m_spectrum->Deactivate();
    SetState(RecordState::Idle);
    Q_EMIT SessionStopped();
}

void CRecordSession::AbandonSession() {
    qDebug("CRecordSession::AbandonSession");
    m_abandoned = true;
    // The engine closes the file first; then it can go.
    SignalStopRecord();
    m_library->DiscardNewRecord();
}

void CRecordSession::SetVolume(int value) {
    if (const int err = engine::SetVolume(AudioDev(), unsigned(qBound(0, value, 200))))
        qDebug("CRecordSession::SetVolume AudioDevSetVolume failed err: %d", err);
}

void CRecordSession::SetState(RecordState state) {
    if (m_state == state) return;
    const RecordState previous = std::exchange(m_state, state);
    Q_EMIT RecordStateChanged(state, previous);
}

void CRecordSession::Tick() {
    m_elapsed = m_elapsed.addSecs(1);
    Q_EMIT RecordingTimeChanged(m_elapsed);
}

// ---- Following the players ------------------------------------------------------

void CRecordSession::PrepareFollowing(const AudioDevRecordParam& param) {
    // A session that runs keeps its own; the engine refuses the start.
    if (m_state != RecordState::Idle) return;
    m_following = param.inputDeviceName == nullptr && param.splitSilenceMs > 0 &&
                  CMprisFollower::BusAvailable();
    m_nextTrack = CPlayerTrack();
    if (const int err = engine::SetTrackFollow(AudioDev(), m_following ? kFollowHoldMs : 0)) {
        qWarning("CRecordSession::StartRecording AudioDevSetTrackFollow failed err: %d", err);
        m_following = false;
    }
    qDebug("CRecordSession::StartRecording following players: %d", int(m_following));
}

void CRecordSession::StartFollowing() {
    if (!m_followThread) {
        m_followThread = new QThread(this);
        m_followThread->setObjectName(QStringLiteral("MprisFollower"));
        m_follower = new CMprisFollower;
        m_follower->moveToThread(m_followThread);
        connect(m_followThread, &QThread::finished, m_follower, &QObject::deleteLater);
        // On the follower's thread, so that the announcement's time holds.
        connect(m_follower, &CMprisFollower::TrackChanged, m_follower,
                [this](qint64 atUs, const CPlayerTrack&) { MarkTrackChange(atUs); },
                Qt::DirectConnection);
        m_followThread->start();
    }
    CFollowTarget target;
    target.choice = m_config->GetRecordApplication();
    if (!target.choice.isEmpty()) {
        for (const CPlayingApplication& app : PlayingApplications(AudioDev())) {
            if (!app.IsNamedBy(target.choice)) continue;
            target.name = app.name;
            target.binary = app.binary;
            target.processId = app.processId;
            break;
        }
    }
    {
        std::lock_guard<std::mutex> lock(m_markMutex);
        m_markHandle = AudioDev();
    }
    QMetaObject::invokeMethod(m_follower, [follower = m_follower, target] { follower->Start(target); },
                              Qt::QueuedConnection);
}

void CRecordSession::StopFollowing() {
    {
        std::lock_guard<std::mutex> lock(m_markMutex);
        m_markHandle = nullptr;
    }
    if (m_follower)
        QMetaObject::invokeMethod(m_follower, [follower = m_follower] { follower->Stop(); },
                                  Qt::QueuedConnection);
}

void CRecordSession::MarkTrackChange(qint64 atUs) {
    std::lock_guard<std::mutex> lock(m_markMutex);
    if (!m_markHandle) return;
    const int res = engine::MarkTrackChange(m_markHandle, atUs, CMprisFollower::kWindowMs);
    qDebug("CRecordSession::MarkTrackChange at: %lld res: %d", static_cast<long long>(atUs), res);
}

void CRecordSession::PairPlayerTrack(qint64 openedUs) {
    if (!m_following || !m_follower) return;
    m_nextTrack = m_follower->TrackAt(openedUs - qint64(kFollowHoldMs) * 1000);
    qDebug("CRecordSession::PairPlayerTrack new file: %s", qUtf8Printable(m_nextTrack.title));
}

// ---- The record bridge (engine threads) ---------------------------------------

int CRecordSession::Trampoline(int code, int value, void* data, void* user) {
    static_cast<CRecordSession*>(user)->OnEngineEvent(code, value, data);
    return 0;
}

void CRecordSession::OnEngineEvent(int code, int value, const void* data) {
    const char* text = static_cast<const char*>(data);
    switch (code) {
    case FileBegun:
        if (!text) return;
        qDebug("CRecordSession::BeginRecord file: %s", text);
        Q_EMIT RecordBegined(QString::fromUtf8(text));
        return;
    case FileClosed:
        if (!text) return;
        qDebug("CRecordSession::EndRecord file: %s", text);
        Q_EMIT RecordEndded(QString::fromUtf8(text));
        return;
    case AudioData:
        // The spectrum copies what it keeps; no copy here.
        if (text && value > 0 && m_spectrum)
            m_spectrum->PushAudio(QByteArray::fromRawData(text, value));
        return;
    case RecordError:
        Q_EMIT RecordErrorAppend(
            value, text ? QString::fromUtf8(text, qsizetype(strnlen(text, kErrorDetailBytes)))
                        : QString());
        return;
    case SilenceState:
        if (value == 1) Q_EMIT NewFileOpenedAt(CMprisFollower::NowUs());
        Q_EMIT NewFileCreated(value);
        return;
    case LogLine:
        if (!text) return;
        if (value == 2)
            qWarning("%s", text);
        else if (value >= 3)
            qCritical("%s", text);  // never fatal: that would end a recording half-written
        else
            qDebug("%s", text);
        return;
    case SampleFile:
        if (!text) return;
        if (value == 0) {
            qDebug("file for auto download is ready, file: %s", text);
            Q_EMIT AutoDownloadStarted(QString::fromUtf8(text));
        } else if (::unlink(text) == 0 || errno == ENOENT) {
            qDebug("CRecordSession::OnEngineEvent abandoned sample removed: %s", text);
        } else {
            qWarning("CRecordSession::OnEngineEvent cannot remove sample: %s errno: %d", text,
                     errno);
        }
        return;
    default:
        return;  // codes this program does not know
    }
}

// ---- The bridge's receivers (user-interface thread) ---------------------------

bool CRecordSession::DropAbandoned(const QString& path, const char* what) {
    if (!m_abandoned) return false;
    qDebug("CRecordSession::%s abandoned, remove file: %s", what, qUtf8Printable(path));
    QFile::remove(path);
    return true;
}

void CRecordSession::CreateNewFile(int value) {
    if (value == 0) {
        if (m_spectrum) m_spectrum->Clear();
        return;
    }
    // A late report of a stopped session starts nothing.
    if (m_state == RecordState::Idle) return;
    m_elapsed = QTime(0, 0, 0);
    if (m_spectrum) m_spectrum->Activate();
    SetState(RecordState::SongInProgress);
}

void CRecordSession::StartNewRecord(const QString& path) {
    qDebug("CRecordSession::StartNewRecord file: %s", qUtf8Printable(path));
    if (DropAbandoned(path, "StartNewRecord")) return;
    Q_EMIT SongBegun();
    const CPlayerTrack track = std::exchange(m_nextTrack, CPlayerTrack());
    if (m_library->CreateNewRecord(path) < 0) {
        SignalStopRecord();
        return;
    }
    if (track.IsEmpty()) return;
    m_library->SetPlayerTexts(track.title, track.artist, track.album, track.player);
    if (!track.artUrl.isEmpty() && m_library->NewRecordRow())
        m_art->Fetch(m_library->NewRecordRow()->MusicId(), QUrl(track.artUrl));
}

void CRecordSession::EndNewRecord(const QString& path) {
    qDebug("CRecordSession::EndNewRecord file: %s", qUtf8Printable(path));
    if (DropAbandoned(path, "EndNewRecord")) return;
    if (m_state == RecordState::SongInProgress) SetState(RecordState::Waiting);
    Q_EMIT SongEnded();
    if (m_spectrum) m_spectrum->Deactivate();
    if (!m_library->NewRecordRow()) {
        // The file never reached one second: no library entry was made.
        qDebug("CRecordSession::EndNewRecord remove file: %s", qUtf8Printable(path));
        QFile::remove(path);
        return;
    }
    m_library->CompleteNewRecord(path);
    DealWithMusicInfo();
}

void CRecordSession::StartAutoDownload(const QString& samplePath) {
    if (DropAbandoned(samplePath, "StartAutoDownload")) return;
    Q_EMIT IdentificationStarted();
    m_library->StartAutoDownload(samplePath);
}

void CRecordSession::DealwithRecordErr(int code, const QString& detail) {
    qCritical("CRecordSession::DealwithRecordErr error: %d", code);
    if (code == AUDIODEV_ERR_WRITE) {
        const qint64 free = m_freeSpace ? m_freeSpace(OutputFolder()) : -1;
        qDebug("CRecordSession::DealwithRecordErr free bytes: %lld", static_cast<long long>(free));
        if (free >= 0 && free < kDiskFullBytes) {
            DiskisFull();
            return;
        }
    }
    if (m_state != RecordState::Idle) SignalStopRecord();
    if (m_abandoned) return;  // the program is quitting
    switch (code) {
    case AUDIODEV_ERR_NO_DEVICE:
        ShowMessage(tr("Failed to find %1, \nplease make sure it is connected well.").arg(detail));
        break;
    case AUDIODEV_ERR_CREATE_FILE:
        ShowMessage(tr("Cannot create a recording file in\n%1\nPlease make sure the folder can be "
                       "written, \nor choose another one in the settings.")
                        .arg(OutputFolder()));
        break;
    case AUDIODEV_ERR_WRITE:
        ShowMessage(tr("Writing the recording to\n%1\nfailed. The recording was stopped.")
                        .arg(OutputFolder()));
        break;
    default:
        UnknowRecordError();
        ShowMessage(tr("The recording stopped because of an error (%1).").arg(code));
        break;
    }
}

void CRecordSession::DiskisFull() {
    qDebug("CRecordSession::DiskisFull");
    SignalStopRecord();
    Q_EMIT DiskFullReported();
}

void CRecordSession::UnknowRecordError() {
    qDebug("CRecordSession::UnknowRecordError");
}

void CRecordSession::ShowMessage(const QString& text) {
    qDebug("CRecordSession::ShowMessage %s", qUtf8Printable(text));
    Q_EMIT MessageRequested(text);
}

// ---- Judging and filing -------------------------------------------------------

qint64 CRecordSession::IfDeleteRecord() {
    CTreeWidgetItem* row = m_library->NewRecordRow();
    if (!row) return 0;
    std::unique_ptr<SongRecord> record = m_library->LoadRecord(row);
    if (!record) {
        qDebug("CRecordSession::IfDeleteRecord can not found record, delete item, item: %p",
               static_cast<void*>(row));
        m_library->DiscardNewRecord();
        return 0;
    }
    const qint64 seconds = MeasureSeconds(record->MusicPath);
    qDebug("CRecordSession::IfDeleteRecord, music%s duration:%lld",
           qUtf8Printable(record->MusicPath), static_cast<long long>(seconds));
    bool discard = seconds == 0;
    if (m_config->GetFilterMode() == 1) {
        const unsigned filterTime = m_config->GetFilterTime();
        qDebug("CRecordSession::IfDeleteRecord, AUTO_FILTER FilterTime:%u", filterTime);
        if (seconds >= 0 && seconds <= qint64(filterTime)) discard = true;
    }
    if (discard) {
        qDebug("CRecordSession::IfDeleteRecord don't need save, delete item, item: %p ,remove "
               "file%s",
               static_cast<void*>(row), qUtf8Printable(record->MusicPath));
        m_library->DiscardNewRecord();
        return 0;
    }
    if (seconds > 0) {
        record->TimeRecorded = DurationText(seconds);
        m_library->StoreRecord(*record);
    }
    return seconds;
}

void CRecordSession::DealWithMusicInfo() {
    CTreeWidgetItem* row = m_library->NewRecordRow();
    const qint64 seconds = IfDeleteRecord();
    if (seconds == 0) return;
    const bool identify = m_config->GetIdMode() == 1 && seconds >= kIdentifySeconds;
    if (!m_playing || !m_playing()) m_library->PlayQueue()->Append(row);
    m_library->FileNewRecord(identify);
    Q_EMIT SongFiled(row, identify ? Kind_Identifying : Kind_NoInfo);
    qDebug("CRecordSession::DealWithMusicInfo new record is saved and reset, item: %p",
           static_cast<void*>(row));
}
