#include "taskmanager.h"

#include <QFileInfo>

#include <cstring>

#include "createfactorythread.h"
#include "downloadtask.h"
#include "editing/musictagswriter.h"
#include "library/libraryfiles.h"
#include "library/musicdb.h"
#include "songinfostore.h"
#include "specialdirs.h"

namespace {
const void* Ptr(const void* p) {
    return p;
}
}  // namespace

CTaskManager::CTaskManager(CConfig* config, QObject* parent, const CMusicServiceApi& api)
    : CDownloadQueue(parent),
      m_config(config),
      m_api(api),
      m_timeoutMs(CDownloadTask::kTimeoutMs),
      m_isPlaying([](int) { return false; }) {}

CTaskManager::~CTaskManager() {
    QList<CDownloadTask*> tasks;
    {
        QMutexLocker lock(&m_lock);
        tasks.swap(m_tasks);
    }
    for (CDownloadTask* task : tasks) delete task;
    m_factory.reset();
}

void CTaskManager::StartService() {
    if (m_factory || !m_config) return;
    m_factory = std::make_unique<CCreateFactoryThread>(m_config, m_api);
    m_serviceStarting = true;
    connect(m_factory.get(), &QThread::finished, this, [this] {
        m_serviceStarting = false;
        Schedule();
    });
    m_factory->start();
}

bool CTaskManager::IsServiceReady() const {
    return m_factory && m_factory->IsReady();
}

void CTaskManager::SetPlayingCheck(std::function<bool(int)> isPlaying) {
    m_isPlaying = isPlaying ? std::move(isPlaying) : [](int) { return false; };
}

QList<QPair<int, int>> CTaskManager::Tasks() const {
    QMutexLocker lock(&m_lock);
    QList<QPair<int, int>> tasks;
    for (const CDownloadTask* task : m_tasks) tasks.push_back({task->MusicId(), task->State()});
    return tasks;
}

CDownloadTask* CTaskManager::Find(int musicId) const {
    QMutexLocker lock(&m_lock);
    for (CDownloadTask* task : m_tasks)
        if (task->MusicId() == musicId) return task;
    return nullptr;
}

bool CTaskManager::Remove(CDownloadTask* task) {
    QMutexLocker lock(&m_lock);
    return m_tasks.removeOne(task);
}

int CTaskManager::AddTask(int musicId, bool fingerprintOnly) {
    if (Find(musicId)) return -1;
    auto* task = new CDownloadTask(musicId, fingerprintOnly, m_api);
    connect(task, &CDownloadTask::TaskNotified, this, &CTaskManager::TaskNotify,
            Qt::QueuedConnection);
    {
        QMutexLocker lock(&m_lock);
        if (fingerprintOnly) {
            qsizetype running = 0;
            while (running < m_tasks.size() && m_tasks[running]->IsStarted()) ++running;
            m_tasks.insert(running, task);
        } else {
            m_tasks.push_back(task);
        }
    }
    if (fingerprintOnly) m_waitingForSong.insert(musicId);
    qDebug("CTaskManager::AddTask musicId: %d fingerprintOnly: %d task: %p", musicId,
           int(fingerprintOnly), Ptr(task));
    Q_EMIT TaskNotified(musicId, DownloadTask_WAITING);
    Schedule();
    return 0;
}

void CTaskManager::CancelTask(int musicId) {
    m_waitingForSong.remove(musicId);
    CDownloadTask* task = Find(musicId);
    if (!task || !Remove(task)) return;
    qDebug("CTaskManager::CancelTask musicId: %d task: %p", musicId, Ptr(task));
    delete task;
    Schedule();
}

void CTaskManager::SongFiled(int musicId, bool kept, bool identify) {
    qDebug("CTaskManager::SongFiled musicId: %d kept: %d identify: %d", musicId, int(kept),
           int(identify));
    if (!m_waitingForSong.contains(musicId)) return;
    if (!kept || !identify) {
        CancelTask(musicId);
        return;
    }
    m_waitingForSong.remove(musicId);
    Schedule();
}

void CTaskManager::Schedule() {
    if (m_serviceStarting) return;
    QList<CDownloadTask*> started;
    {
        QMutexLocker lock(&m_lock);
        qsizetype running = 0;
        while (running < m_tasks.size() && m_tasks[running]->IsStarted()) ++running;
        for (qsizetype i = running; i < m_tasks.size() && running < kMaxRunning; ++i) {
            CDownloadTask* task = m_tasks[i];
            if (task->IsStarted() || m_waitingForSong.contains(task->MusicId())) continue;
            m_tasks.move(i, running);
            ++running;
            task->Start(m_timeoutMs);
            started.push_back(task);
        }
    }
    for (CDownloadTask* task : started) Q_EMIT TaskNotified(task->MusicId(), DownloadTask_RUNNING);
}

void CTaskManager::TaskNotify(int musicId, quint64 serial, int state) {
    // A report that was on its way when its task was cancelled (a task
    // queued for the song since has another serial).
    CDownloadTask* task = Find(musicId);
    if (!task || task->Serial() != serial) return;
    qDebug("CTaskManager::TaskNotify, task: %p status: %d", Ptr(task), state);
    const bool ended = state == DownloadTask_SUCESS || state == DownloadTask_FAILED;
    if (state == DownloadTask_SUCESS && !StoreAnswer(task)) state = DownloadTask_FAILED;
    // Out of the list before anyone hears of the end, so that a receiver
    // that cancels the song's task meanwhile finds nothing to delete.
    std::unique_ptr<CDownloadTask> done;
    if (ended && Remove(task)) done.reset(task);
    Q_EMIT TaskNotified(musicId, state);
    if (!ended) return;
    done.reset();
    Schedule();
}

bool CTaskManager::StoreAnswer(CDownloadTask* task) {
    std::unique_ptr<RecordMusicInfo> answer = task->TakeAnswer();
    if (!answer) return false;
    SongRecord record;
    if (DB_GetMusicInfo(task->MusicId(), &record) != 1) {
        qDebug("CTaskManager::StoreAnswer record gone, musicId: %d", task->MusicId());
        DeleteAnswerArtwork(*answer);
        return false;
    }
    DB_GetImageInfo(&record);
    task->ProcessDownlaodImage(answer.get());
    const int covers = SaveCovers(&record, *answer, SpecialDirPath(SpecialDir_Pictures));
    const bool found = answer->songName[0] != '\0';
    // A song named by its player shows the answer's cover, as a song
    // without a cover would: what identification found wins.
    if (found && covers > 0 && DB_GetNameOrigin(record.MusicId) == NameOrigin_Player) {
        const QString shown = TagText(answer->imagePaths[qBound(0, answer->imageCount - 1, 4)]);
        for (int i = 0; i < record.tags.imageCount && i < 5; ++i)
            if (TagText(record.tags.imagePaths[i]) == shown) record.ImageId = i;
    }

    const bool changed = ApplyAnswerTexts(&record, *answer);
    if (found && changed) DB_SetNameOrigin(record.MusicId, NameOrigin_Identified);
    // Images the answer named that did not become covers are not kept.
    for (int i = 0; i < answer->imageCount && i < 5; ++i) {
        const QString image = TagText(answer->imagePaths[i]);
        RemoveUnusedCoverFile(image);
    }
    if (!changed && covers == 0) return false;
    if (const int code = DB_UpdateMusicInfo(record))
        qWarning("CTaskManager::StoreAnswer DB_UpdateMusicInfo failed, musicId: %d err: %d",
                 record.MusicId, code);
    // The file's tags follow the texts and the covers, unless the player has
    // the file open now.
    if (!m_isPlaying(record.MusicId)) WriteMusicTags(record);
    return true;
}
