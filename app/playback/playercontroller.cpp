#include "playercontroller.h"

#include <QtGlobal>

#include <algorithm>

#include "library/musicdb.h"
#include "library/playqueue.h"
#include "library/treewidgetitem.h"
#include "mediaengine.h"

namespace {
// The name the engine gives the player on the sound server.
constexpr char kEngineName[] = "Tunecap";
constexpr int kEngineEnded = 3;
constexpr int kEngineFailed = 4;
}  // namespace

CPlayerHost::~CPlayerHost() = default;

CPlayerController::CPlayerController(CPlayQueue* queue, CPlayerHost* host,
                                     std::unique_ptr<CMediaEngine> engine, QObject* parent)
    : QObject(parent),
      m_queue(queue),
      m_host(host),
      m_engine(engine ? std::move(engine) : std::make_unique<CMediaEngine>()),
      m_record(std::make_unique<PlayRecord>()) {
    m_record->owner = this;
    m_engine->Create(kEngineName);
    // Always queued: the engine's thread emits, this thread handles.
    connect(this, &CPlayerController::EngineProgress, this, &CPlayerController::OnEngineProgress,
            Qt::QueuedConnection);
    connect(m_queue, &CPlayQueue::Changed, this, &CPlayerController::ControlsChanged);
}

CPlayerController::~CPlayerController() {
    ReleaseFile();
    m_engine->Destroy();
}

bool CPlayerController::IsRecording() const {
    return m_host->RecordingState() != RecordState::Idle;
}

bool CPlayerController::CanPlay() const {
    return !m_queue->IsEmpty() || !m_listEmpty;
}

bool CPlayerController::CanGoNext() const {
    return !m_queue->IsEmpty();
}

// ---- The engine -----------------------------------------------------------------

int CPlayerController::EngineCallback(int position, int state, void* user) {
    auto* record = static_cast<PlayRecord*>(user);
    record->position.store(position);
    record->state.store(state);
    if (state > 0) Q_EMIT record->owner->EngineProgress(record->serial.load(), position, state);
    return state;
}

void CPlayerController::OnEngineProgress(int serial, int position, int state) {
    if (serial != m_serial || m_handle < 0) return;  // a file released since
    if (state == kEngineEnded || state == kEngineFailed) {
        qDebug("CPlayerController::OnEngineProgress song ended, state: %d", state);
        m_failedInRow = state == kEngineFailed ? m_failedInRow + 1 : 0;
        if (m_failedInRow >= m_queue->Count()) {
            qWarning(
                "CPlayerController::OnEngineProgress every song of the queue failed, count: %d",
                m_queue->Count());
            m_failedInRow = 0;
            Stop();
            return;
        }
        Advance(1);
        return;
    }
    m_position = std::clamp(position, 0, 10000);
    Q_EMIT ProgressChanged(m_position, PositionMs(), m_lengthMs);
}

void CPlayerController::ReleaseFile() {
    // Once DestroyPlay has returned the old player reports no more; the
    // reports already on their way carry the old serial and are dropped.
    m_engine->DestroyPlay();
    ++m_serial;
    m_record->serial.store(m_serial);
    if (m_handle >= 0) m_engine->DeleteFile(m_handle);
    m_handle = -1;
    m_lengthMs = 0;
    m_position = 0;
}

int CPlayerController::CreatePlay() {
    if (m_playingRow) m_host->SetPlayingMark(m_playingRow, false);
    m_playingRow = nullptr;
    ReleaseFile();
    const int count = m_queue->Count();
    if (count == 0) return Create_NothingPlayable;
    int index = m_queue->CurrentIndex();
    if (index < 0 || index >= count) index = 0;
    CTreeWidgetItem* row = nullptr;
    for (int tried = 0; tried < count; ++tried, index = (index + 1) % count) {
        CTreeWidgetItem* candidate = m_queue->Rows().at(index);
        if (m_host->CheckFile(candidate)) {
            row = candidate;
            break;
        }
        qDebug("CPlayerController::CreatePlay file missing, index: %d file: %s", index,
               qUtf8Printable(candidate->Path()));
    }
    if (index != m_queue->CurrentIndex()) m_queue->SetCurrentIndex(index);
    if (!row) {
        qWarning("CPlayerController::CreatePlay no song of the queue has its file, count: %d",
                 count);
        return Create_NothingPlayable;
    }

    m_record->position.store(0);
    m_record->state.store(0);
    const QByteArray path = row->Path().toUtf8();
    const int handle = m_engine->AddFile(path.constData());
    if (handle < 0) {
        qWarning("CPlayerController::CreatePlay WM_AddFile failed: %d file: %s", handle,
                 path.constData());
        return Create_AddFileFailed;
    }
    if (const int res =
            m_engine->CreatePlay(handle, &CPlayerController::EngineCallback, m_record.get());
        res != 0) {
        qWarning("CPlayerController::CreatePlay WM_CreatePlay failed: %d file: %s", res,
                 path.constData());
        m_engine->DeleteFile(handle);
        return Create_PlayerFailed;
    }
    m_handle = handle;
    int64_t length = 0;
    if (m_engine->Duration(handle, &length) == 0) m_lengthMs = std::max<int64_t>(length, 0);

    m_playingRow = row;
    m_host->SetPlayingMark(row, true);
    Q_EMIT TrackChanged(row);
    Q_EMIT ProgressChanged(0, 0, m_lengthMs);
    m_host->AddToRecentlyPlayed(row);
    return Create_Ok;
}

// ---- Play state -----------------------------------------------------------------

void CPlayerController::SetPlayState(int state) {
    if (m_state == state) return;
    m_state = state;
    Q_EMIT PlayStateChanged(state);
}

void CPlayerController::Play() {
    if (m_handle < 0) return;
    m_engine->Play();
    SetPlayState(State_Playing);
}

void CPlayerController::PausePlay() {
    if (m_state != State_Playing) return;
    m_engine->Pause();
    SetPlayState(State_Paused);
}

void CPlayerController::PlayOrPause() {
    if (m_state == State_Playing)
        PausePlay();
    else
        StartLastPlay();
}

void CPlayerController::Stop() {
    // The row may be gone already (RowDeleted) while its file is loaded.
    const bool hadSong = m_playingRow != nullptr || m_handle >= 0;
    if (m_playingRow) m_host->SetPlayingMark(m_playingRow, false);
    m_playingRow = nullptr;
    ReleaseFile();
    SetPlayState(State_Stopped);
    if (hadSong) Q_EMIT TrackChanged(nullptr);
    Q_EMIT ProgressChanged(0, 0, 0);
}

void CPlayerController::StopAndClearQueue() {
    qDebug("CPlayerController::StopAndClearQueue count: %d", m_queue->Count());
    Stop();
    m_queue->Clear();
}

bool CPlayerController::StartCurrent(bool tellUser) {
    const int res = CreatePlay();
    if (res != Create_Ok) {
        Q_EMIT ControlsChanged();
        if (res == Create_NothingPlayable && tellUser) m_host->ShowUnavailable();
        return false;
    }
    if (m_queue->ListId() == m_host->CurrentListId()) m_host->RefreshCoverView();
    Play();
    return true;
}

// ---- Starting -------------------------------------------------------------------

bool CPlayerController::GuardRecording() {
    if (!IsRecording()) return true;
    if (!m_host->AskStopRecording()) return false;
    if (IsRecording()) {
        qWarning("CPlayerController::GuardRecording the recording did not stop, state: %d",
                 int(m_host->RecordingState()));
        return false;
    }
    return true;
}

int CPlayerController::QueueListId() const {
    const int listId = m_host->CurrentListId();
    return listId > 0 ? listId : List_NewlyRecordings;
}

QList<CTreeWidgetItem*> CPlayerController::RowsWithFiles(const QList<CTreeWidgetItem*>& rows) {
    QList<CTreeWidgetItem*> existing;
    existing.reserve(rows.size());
    for (CTreeWidgetItem* row : rows)
        if (m_host->CheckFile(row)) existing.push_back(row);
    return existing;
}

QList<CTreeWidgetItem*> CPlayerController::ChooseRows(int* start) {
    *start = -1;
    const QList<CTreeWidgetItem*> selected = m_host->SelectedRows();
    if (selected.size() == 1) {
        // Playback goes on through the list from the chosen song.
        if (!m_host->CheckFile(selected.front())) return {};
        const QList<CTreeWidgetItem*> rows = RowsWithFiles(m_host->VisibleRows());
        *start = int(rows.indexOf(selected.front()));
        return rows;
    }
    return RowsWithFiles(selected.isEmpty() ? m_host->VisibleRows() : selected);
}

void CPlayerController::StartPlay(const QList<CTreeWidgetItem*>& rows, int index) {
    if (m_state != State_Stopped) Stop();
    m_failedInRow = 0;
    if (rows.isEmpty()) {
        m_queue->Set({}, -1, QueueListId());
        return;
    }
    if (index < 0) {
        const QList<CTreeWidgetItem*> selected = m_host->SelectedRows();
        if (!selected.isEmpty()) index = int(rows.indexOf(selected.front()));
    }
    if (index < 0 || index >= rows.size()) index = 0;
    m_queue->Set(rows, index, QueueListId());
    StartCurrent(true);
}

void CPlayerController::StartLastPlay() {
    if (m_state == State_Playing) return;
    if (m_state == State_Paused && !m_queue->IsEmpty()) {
        Play();
        return;
    }
    // The play button is off while recording; other callers ask first.
    if (!GuardRecording()) return;
    if (!m_queue->IsEmpty()) {
        m_failedInRow = 0;
        m_queue->Set(m_queue->Rows(), m_queue->Count() - 1, List_NewlyRecordings);
        StartCurrent(true);
        return;
    }
    int start = -1;
    const QList<CTreeWidgetItem*> rows = ChooseRows(&start);
    if (rows.isEmpty()) {
        m_host->ShowUnavailable();
        return;
    }
    StartPlay(rows, start);
}

void CPlayerController::StartPalyRecord() {
    if (m_queue->IsEmpty()) return;
    if (m_state != State_Stopped) Stop();
    m_failedInRow = 0;
    m_queue->Set(m_queue->Rows(), m_queue->Count() - 1, List_NewlyRecordings);
    StartCurrent(false);
}

void CPlayerController::PlayQueueEntry(int index) {
    if (index < 0 || index >= m_queue->Count() || !GuardRecording()) return;
    if (m_state != State_Stopped) Stop();
    m_failedInRow = 0;
    m_queue->SetCurrentIndex(index);
    StartCurrent(true);
}

void CPlayerController::StartNewPlay(int index) {
    if (!GuardRecording()) return;
    int start = -1;
    const QList<CTreeWidgetItem*> rows = ChooseRows(&start);
    if (rows.isEmpty()) {
        m_host->ShowUnavailable();
        return;
    }
    StartPlay(rows, index >= 0 ? index : start);
}

void CPlayerController::StartPlayAllList() {
    if (!GuardRecording()) return;
    const QList<CTreeWidgetItem*> rows = RowsWithFiles(m_host->VisibleRows());
    if (rows.isEmpty()) {
        m_host->ShowUnavailable();
        return;
    }
    StartPlay(rows, 0);
}

void CPlayerController::PlayMusic(CTreeWidgetItem* row) {
    if (!row || !GuardRecording()) return;
    if (!m_host->CheckFile(row)) {
        m_host->ShowUnavailable();
        return;
    }
    const int index = m_queue->IndexOf(row);
    if (index >= 0) {
        qDebug("CPlayerController::PlayMusic index: %d count: %d", index, m_queue->Count());
        StartPlay(m_queue->Rows(), index);
    } else {
        StartPlay({row}, 0);
    }
}

void CPlayerController::PlayRecordingList(CTreeWidgetItem* row) {
    if (!row || !GuardRecording()) return;
    QList<CTreeWidgetItem*> rows = m_host->SessionRows();
    if (!rows.contains(row)) rows.push_back(row);
    StartPlay(rows, int(rows.indexOf(row)));
}

// ---- Moving through the queue ---------------------------------------------------

void CPlayerController::Advance(int step) {
    Stop();
    const int count = m_queue->Count();
    if (count == 0) return;
    const int index = m_queue->CurrentIndex();
    // From no entry, next starts at the first and previous at the last.
    int target = index < 0 ? (step > 0 ? 0 : count - 1) : (index + step) % count;
    if (target < 0) target += count;
    m_queue->SetCurrentIndex(target);
    StartCurrent(false);
}

void CPlayerController::PlayNext() {
    qDebug("CPlayerController::PlayNext");
    m_failedInRow = 0;
    Advance(1);
}

void CPlayerController::PlayLast() {
    qDebug("CPlayerController::PlayLast");
    m_failedInRow = 0;
    Advance(-1);
}

void CPlayerController::AfterDeletePlayingMusic(bool playingRemoved) {
    qDebug("CPlayerController::AfterDeletePlayingMusic isPlaying: %d", playingRemoved ? 1 : 0);
    if (playingRemoved) {
        const int remembered = m_state;
        Stop();
        const int count = m_queue->Count();
        if (count == 0) {
            m_queue->SetCurrentIndex(-1);
        } else {
            const int index = m_queue->CurrentIndex();
            if (index < 0 || index >= count) m_queue->SetCurrentIndex(0);
            if (remembered != State_Stopped && CreatePlay() == Create_Ok) {
                if (remembered == State_Playing)
                    Play();
                else
                    SetPlayState(remembered);
            }
        }
    }
    Q_EMIT ControlsChanged();
}

// ---- Position, volume, rows -----------------------------------------------------

void CPlayerController::SeekTo(int position) {
    if (m_handle < 0) return;
    position = std::clamp(position, 0, 10000);
    m_engine->SeekTo(position);
    m_position = position;
    Q_EMIT Seeked(PositionMs());
    Q_EMIT ProgressChanged(m_position, PositionMs(), m_lengthMs);
}

void CPlayerController::ChangeVolume(int percent) {
    percent = std::clamp(percent, 0, 100);
    m_engine->ChangeVolume(percent);
    if (m_volume == percent) return;
    m_volume = percent;
    Q_EMIT VolumeChanged(percent);
}

void CPlayerController::DisablePlayBut(bool listEmpty) {
    m_listEmpty = listEmpty;
    Q_EMIT ControlsChanged();
}

void CPlayerController::RowDeleted(CTreeWidgetItem* row) {
    if (row && row == m_playingRow) m_playingRow = nullptr;
}

void CPlayerController::RowChanged(CTreeWidgetItem* row) {
    if (row && row == m_playingRow) Q_EMIT TrackChanged(row);
}

void CPlayerController::RefreshControls() {
    Q_EMIT ControlsChanged();
}
