#include "downloadtask.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QTimer>

#include <cstring>
#include <mutex>
#include <unordered_map>

#include <unistd.h>

#include "downloadqueue.h"
#include "library/libraryfiles.h"
#include "library/musicdb.h"
#include "library/musicfilename.h"
#include "localfile.h"
#include "medcore.h"
#include "specialdirs.h"

namespace {

// The tasks the service may still call back, by key. A late answer for a
// key that is gone is dropped here instead of reaching a deleted task.
// Lock order: the registry, then a task's lock.
std::mutex g_registryLock;
std::unordered_map<std::uintptr_t, CDownloadTask*> g_registry;
std::atomic<std::uintptr_t> g_nextKey{1};

// Sample rate and channels of the converted file.
constexpr int kFingerprintRate = 11025;
constexpr int kFingerprintChannels = 1;
// How often killConvertProcess looks at the state.
constexpr unsigned long kKillPollMs = 10;
// At most this many images of an answer are kept.
constexpr int kMaxKeptImages = 4;

const void* Ptr(const CDownloadTask* task) {
    return static_cast<const void*>(task);
}

bool IsEnd(int state) {
    return state == DownloadTask_SUCESS || state == DownloadTask_FAILED;
}

}  // namespace

QString UniqueFileName(const QString& folder, const QString& base, const QString& extension) {
    static std::atomic<unsigned> serial{0};
    for (int attempt = 0; attempt < 1000; ++attempt) {
        const QString name = QStringLiteral("%1_%2_%3.%4")
                                 .arg(base)
                                 .arg(qint64(::getpid()))
                                 .arg(serial.fetch_add(1))
                                 .arg(extension);
        const QString path = QDir(folder).filePath(name);
        if (!QFileInfo::exists(path)) return path;
    }
    return QString();
}

void DeleteAnswerArtwork(const RecordMusicInfo& answer) {
    for (int i = 0; i < answer.imageCount && i < 5; ++i) RemoveUnusedCoverFile(TagText(answer.imagePaths[i]));
}

CDownloadTask::CDownloadTask(int musicId, bool fingerprintOnly, const CMusicServiceApi& api,
                             QObject* parent)
    : QThread(parent),
      m_musicId(musicId),
      m_fingerprintOnly(fingerprintOnly),
      m_api(api),
      m_key(g_nextKey.fetch_add(1)),
      m_state(DownloadTask_WAITING) {
    m_timer = new QTimer(this);
    m_timer->setSingleShot(true);
    connect(m_timer, &QTimer::timeout, this, &CDownloadTask::TaskTimeOut);
    std::lock_guard<std::mutex> lock(g_registryLock);
    g_registry[m_key] = this;
}

CDownloadTask::~CDownloadTask() {
    {
        std::lock_guard<std::mutex> lock(g_registryLock);
        g_registry.erase(m_key);
    }
    Stop();
    QMutexLocker lock(&m_lock);
    if (m_answer) DeleteAnswerArtwork(*m_answer);
}

int CDownloadTask::State() const {
    QMutexLocker lock(&m_lock);
    return m_state;
}

QString CDownloadTask::TempFile() const {
    QMutexLocker lock(&m_lock);
    return m_tempFile;
}

void CDownloadTask::Start(int timeoutMs) {
    if (m_started) return;
    m_started = true;
    m_timer->start(timeoutMs);
    start();
}

std::unique_ptr<RecordMusicInfo> CDownloadTask::TakeAnswer() {
    QMutexLocker lock(&m_lock);
    return std::move(m_answer);
}

void CDownloadTask::NotifyLocked(int state) {
    m_state = state;
    if (m_stopping.load()) return;
    if (IsEnd(state)) {
        if (m_endReported) return;
        m_endReported = true;
    }
    Q_EMIT TaskNotified(m_musicId, Serial(), state);
}

void CDownloadTask::RemoveTempFileLocked() {
    if (m_tempFile.isEmpty()) return;
    if (QFile::exists(m_tempFile) && !QFile::remove(m_tempFile))
        qWarning("CDownloadTask cannot remove temp file: %s, Task: %p", qUtf8Printable(m_tempFile),
                 Ptr(this));
    m_tempFile.clear();
}

void CDownloadTask::run() {
    qDebug("DownloadTask start, Task: %p", Ptr(this));
    {
        QMutexLocker lock(&m_lock);
        if (m_stopping.load()) {
            m_state = DownloadTask_FAILED;
            qDebug("DownloadTask end, Task: %p", Ptr(this));
            return;
        }
        m_state = DownloadTask_RUNNING;
    }
    if (ConvertWavFile()) {
        qDebug("convert wavfile sucess, Task: %p temp file: %s", Ptr(this),
               qUtf8Printable(TempFile()));
        StartRequest();
    } else {
        qDebug("convert wavfile failed, Task: %p temp file: %s", Ptr(this),
               qUtf8Printable(TempFile()));
        QMutexLocker lock(&m_lock);
        NotifyLocked(DownloadTask_FAILED);
    }
    exec();
    qDebug("DownloadTask end, Task: %p", Ptr(this));
}

bool CDownloadTask::ConvertWavFile() {
    QString path;
    if (DB_GetMusicPath(m_musicId, &path) != 1) {
        qDebug("have not found this record, id: %d, Task: %p", m_musicId, Ptr(this));
        return false;
    }
    if (!QFileInfo(path).isFile()) {
        qDebug("have not found this file, path: \"%s\", Task: %p", qUtf8Printable(path), Ptr(this));
        return false;
    }
    const QString caches = SpecialDirPath(SpecialDir_Caches);
    if (caches.isEmpty() || CreateDirectoryTree(caches.toUtf8().constData()) != 0) {
        qWarning("CDownloadTask::ConvertWavFile CreateDirectory failed, Caches_Dir: %s",
                 qUtf8Printable(caches));
        return false;
    }
    qDebug("CDownloadTask::ConvertWavFile start convert, Task: %p input file: %s", Ptr(this),
           qUtf8Printable(path));
    const QString temp = UniqueFileName(caches, QStringLiteral("TempFile"), QStringLiteral("wav"));
    if (temp.isEmpty()) return false;
    {
        QMutexLocker lock(&m_lock);
        m_tempFile = temp;
    }
    if (m_abortConversion.load()) return false;

    const int media = WM_AddFile(path.toUtf8().constData());
    if (media < 0) {
        QMutexLocker lock(&m_lock);
        RemoveTempFileLocked();
        qWarning("CDownloadTask::ConvertWavFile WM_AddFile failed : %d", media);
        return false;
    }
    const WM_ConvertFormat format{kFingerprintRate, kFingerprintChannels};
    const int result = WM_ConverterEx(media, temp.toUtf8().constData(), &format, &m_converterId);
    if (result < 0) qWarning("CDownloadTask::ConvertWavFile WM_Converter failed: %d", result);
    WM_DeleteFile(media);
    __atomic_store_n(&m_converterId, -1, __ATOMIC_SEQ_CST);

    const bool converted = result >= 0 && !m_abortConversion.load();
    if (!converted) {
        QMutexLocker lock(&m_lock);
        RemoveTempFileLocked();
    }
    return converted;
}

void CDownloadTask::StartRequest() {
    QMutexLocker lock(&m_lock);
    if (m_stopping.load()) {
        RemoveTempFileLocked();
        m_state = DownloadTask_FAILED;
        return;
    }
    SongRecord record;
    char file[512] = {};
    if (m_tempFile.toUtf8().size() >= qsizetype(sizeof file)) {
        qWarning("CDownloadTask::StartRequest temp file path too long, Task: %p", Ptr(this));
    } else if (DB_GetMusicInfo(m_musicId, &record) == 1) {
        SetTagText(file, m_tempFile);
        const bool withTexts = !m_fingerprintOnly && record.tags.songName[0] != '\0';
        MusicParserRequestInfo info{file,
                                    withTexts ? record.tags.songName : nullptr,
                                    withTexts ? record.tags.artist : nullptr,
                                    withTexts ? record.tags.album : nullptr,
                                    reinterpret_cast<void*>(m_key),
                                    &CDownloadTask::SaveCallBackInfo};
        m_request = m_api.request(&info);
        if (m_request) {
            qDebug("CDownloadTask::StartRequest, task:%p", Ptr(this));
            NotifyLocked(DownloadTask_REQUESTING);
            return;
        }
        qWarning("MusicParserRequest Failed, Task: %p", Ptr(this));
    } else {
        qDebug("have not found this record, id: %d, Task: %p", m_musicId, Ptr(this));
    }
    RemoveTempFileLocked();
    NotifyLocked(DownloadTask_FAILED);
}

int CDownloadTask::SaveCallBackInfo(void* userData, int status, RecordMusicInfo* info) {
    Q_UNUSED(status);
    std::lock_guard<std::mutex> registry(g_registryLock);
    const auto found = g_registry.find(reinterpret_cast<std::uintptr_t>(userData));
    CDownloadTask* task = found == g_registry.end() ? nullptr : found->second;
    if (!task) {
        qDebug("CDownloadTask::SaveCallBackInfo, answer for a task that is gone dropped");
        if (info) DeleteAnswerArtwork(*info);
        return -1;
    }
    QMutexLocker lock(&task->m_lock);
    if (task->m_stopping.load() || task->m_endReported) {
        qDebug("CDownloadTask::SaveCallBackInfo, task stopping, answer dropped, Task: %p",
               Ptr(task));
        if (info) DeleteAnswerArtwork(*info);
        return -1;
    }
    int state = DownloadTask_FAILED;
    if (info) {
        task->m_answer.reset(new (std::nothrow) RecordMusicInfo);
        if (task->m_answer) {
            std::memcpy(task->m_answer.get(), info, sizeof *info);
            state = DownloadTask_SUCESS;
            qDebug("CDownloadTask::SaveCallBackInfo, artworkNum: %d Task: %p", info->imageCount,
                   Ptr(task));
        } else {
            qWarning("CDownloadTask::SaveCallBackInfo, create RecordMusicInfo failed!");
            DeleteAnswerArtwork(*info);
        }
    }
    task->NotifyLocked(state);
    return 0;
}

void CDownloadTask::TaskTimeOut() {
    qDebug("CDownloadTask::TaskTimeOut, Task: %p", Ptr(this));
    Stop();
    QMutexLocker lock(&m_lock);
    m_state = DownloadTask_FAILED;
    if (m_endReported) return;
    m_endReported = true;
    Q_EMIT TaskNotified(m_musicId, Serial(), DownloadTask_FAILED);
}

void CDownloadTask::Stop() {
    {
        QMutexLocker lock(&m_lock);
        m_stopping.store(true);
    }
    m_timer->stop();
    killConvertProcess();
    {
        QMutexLocker lock(&m_lock);
        if (m_request) {
            m_api.destroy(m_request);
            m_request = nullptr;
        }
    }
    quit();
    wait();
    QMutexLocker lock(&m_lock);
    RemoveTempFileLocked();
}

void CDownloadTask::killConvertProcess() {
    {
        QMutexLocker lock(&m_lock);
        if (m_state != DownloadTask_RUNNING) return;
    }
    m_abortConversion.store(true);
    bool logged = false;
    for (;;) {
        const int converter = __atomic_load_n(&m_converterId, __ATOMIC_SEQ_CST);
        if (converter >= 0) {
            if (!logged) qDebug("killConvertProcess, Task: %p", Ptr(this));
            logged = true;
            // Harmless when the conversion has ended meanwhile.
            WM_SkipConverter(converter);
        }
        {
            QMutexLocker lock(&m_lock);
            if (m_state != DownloadTask_RUNNING) return;
        }
        QThread::msleep(kKillPollMs);
    }
}

void CDownloadTask::ProcessDownlaodImage(RecordMusicInfo* answer) const {
    if (!answer) return;
    answer->imageCount = qBound(0, int(answer->imageCount), 5);
    if (answer->imageCount == 1) {
        const QString path = TagText(answer->imagePaths[0]);
        const QFileInfo file(path);
        QString name = TagText(answer->albumId);
        if (name.isEmpty()) name = TagText(answer->album);
        name = SafeMusicFileName(name.trimmed());
        if (!file.fileName().contains(QLatin1String("google")) && !name.isEmpty()) {
            const QString renamed = file.dir().filePath(name + path.right(4));
            if (renamed != path && QFileInfo::exists(renamed)) {
                RemoveUnusedCoverFile(path);
                SetTagText(answer->imagePaths[0], renamed);
            } else if (renamed != path && QFile::rename(path, renamed)) {
                SetTagText(answer->imagePaths[0], renamed);
            }
            if (TagText(answer->imagePaths[0]) != path)
                qDebug("CDownloadTask::ProcessDownlaodImage, change artwork path: %s, Task: %p",
                       qUtf8Printable(renamed), Ptr(this));
        }
    }
    int i = 0;
    while (i < answer->imageCount) {
        QString path = TagText(answer->imagePaths[i]);
        path.replace(QLatin1Char('\\'), QLatin1Char('/'));
        SetTagText(answer->imagePaths[i], path);
        if (i < kMaxKeptImages && !ReadPicture(path).isNull()) {
            answer->reserved[i] = 0;
            ++i;
            continue;
        }
        RemoveUnusedCoverFile(path);
        qDebug("CDownloadTask::ProcessDownlaodImage, remove artwork, Index: %d, Task: %p", i,
               Ptr(this));
        for (int j = i; j + 1 < answer->imageCount; ++j) {
            std::memcpy(answer->imagePaths[j], answer->imagePaths[j + 1],
                        sizeof answer->imagePaths[j]);
            answer->reserved[j] = answer->reserved[j + 1];
        }
        std::memset(answer->imagePaths[answer->imageCount - 1], 0, sizeof answer->imagePaths[0]);
        answer->reserved[answer->imageCount - 1] = 0;
        --answer->imageCount;
    }
}
