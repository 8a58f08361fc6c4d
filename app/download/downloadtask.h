#pragma once

// One song information download. QtCore and QtGui only.

#include <QMutex>
#include <QString>
#include <QThread>

#include <atomic>
#include <cstdint>
#include <memory>

#include "musicserviceapi.h"

class QTimer;

// The download for one library song: converts its recording into a new WAV
// file in the caches folder (11025 Hz mono, all the fingerprint needs),
// asks the music information service about it and keeps a copy of the
// answer until the task manager stores it.
//
// Life: created by CTaskManager in DownloadTask_WAITING; Start() runs the
// thread (converting, then the request) and the time-out, which covers
// both; the service answers on its notifier thread. Every state change
// reaches the manager as TaskNotified(musicId, serial, state) through a
// queued connection (values only: a report that arrives after its task was
// deleted names no object); a task reports at most one end (DownloadTask_SUCESS or
// DownloadTask_FAILED) and nothing once it is being stopped, except the
// failure of its own time-out. The manager deletes the task after its end;
// deleting it stops it.
//
// Threads: the object lives on the GUI thread (construction, Start, Stop,
// TaskTimeOut, TakeAnswer, destruction); run() on the task's thread;
// SaveCallBackInfo on the service's notifier thread.
class CDownloadTask : public QThread {
    Q_OBJECT
public:
    // The default time-out of a task: three minutes for converting and for
    // the answer together.
    static constexpr int kTimeoutMs = 180000;

    // fingerprintOnly: the request carries no texts. api: the service.
    CDownloadTask(int musicId, bool fingerprintOnly, const CMusicServiceApi& api = {},
                  QObject* parent = nullptr);
    // Stops the task. An answer that was never taken is dropped with its
    // artwork files (unless a cover of the library names them).
    ~CDownloadTask() override;

    int MusicId() const { return m_musicId; }

    // Tells this task apart from every other one of the process.

    quint64 Serial() const { return quint64(m_key); }
    bool IsFingerprintOnly() const { return m_fingerprintOnly; }
    // The task's state (DownloadTaskState).
    int State() const;
    // Whether Start() was called.
    bool IsStarted() const { return m_started; }
    // The converted WAV file; empty until the conversion began, and after
    // the task deleted it.
    QString TempFile() const;

    // Starts the thread and the time-out of timeoutMs milliseconds.
    void Start(int timeoutMs = kTimeoutMs);
    // Stops the task in any state: a running conversion is skipped, a
    // request destroyed (a late answer is dropped), the temporary file
    // deleted and the thread ended. Reports nothing. Safe to call again.
    void Stop();
    // The service's answer once the task reported DownloadTask_SUCESS, else
    // null. The caller owns it, and with it the artwork files it names.
    std::unique_ptr<RecordMusicInfo> TakeAnswer();

    // Tidies the artwork of an answer before it is stored: a single image
    // that did not come from the image search is renamed after the album
    // identifier (or the album) within its folder, a file of that name
    // already there being used instead; then every image that does not load
    // and every image from the fifth on is deleted and dropped from the
    // answer, so at most four remain. Files a library cover names are never
    // deleted. GUI thread.
    void ProcessDownlaodImage(RecordMusicInfo* answer) const;

    // The service's callback (MusicParserCallback). userData identifies the
    // task; an answer for a task that is gone or being stopped is dropped
    // (its artwork files deleted) and -1 returned. Otherwise the answer is
    // copied, the task reports DownloadTask_SUCESS (or DownloadTask_FAILED
    // without one) and 0 is returned. Notifier thread.
    static int SaveCallBackInfo(void* userData, int status, RecordMusicInfo* info);

Q_SIGNALS:
    // The task's state changed. serial: Serial() of the task, which no
    // other task of the process has, so that a report is never credited to
    // a later task of the same song. Emitted on any of the three threads.
    void TaskNotified(int musicId, quint64 serial, int state);

public Q_SLOTS:
    // The time-out: stops the task and reports DownloadTask_FAILED unless it
    // had reported its end already.
    void TaskTimeOut();

protected:
    void run() override;

private:
    // Converts the song's file into the temporary file. False on any
    // failure (the temporary file is then gone).
    bool ConvertWavFile();
    // Sends the request, or fails the task.
    void StartRequest();
    // While converting: makes the conversion fail and waits until the task
    // thread has left DownloadTask_RUNNING.
    void killConvertProcess();
    // Sets the state and reports it; m_lock held. Nothing is reported while
    // stopping, and only the first end.
    void NotifyLocked(int state);
    // Deletes the temporary file; m_lock held.
    void RemoveTempFileLocked();

    const int m_musicId;
    const bool m_fingerprintOnly;
    const CMusicServiceApi m_api;
    // The key the service hands back to SaveCallBackInfo, and the serial of
    // the task's reports.
    const std::uintptr_t m_key;
    bool m_started = false;     // GUI thread
    QTimer* m_timer = nullptr;  // GUI thread; child of the task

    // Read by the stopping thread while the task thread converts.
    std::atomic<bool> m_abortConversion{false};
    std::atomic<bool> m_stopping{false};  // also written under m_lock
    // Written by the media engine inside WM_ConverterEx on the task thread,
    // read by killConvertProcess: accessed with atomic loads and stores.
    int m_converterId = -1;

    // Guards everything below: the task thread's request, the callback and
    // stopping are serialised by it.
    mutable QMutex m_lock;
    int m_state;
    bool m_endReported = false;
    QString m_tempFile;
    void* m_request = nullptr;
    std::unique_ptr<RecordMusicInfo> m_answer;
};

// A path in folder that names no file yet: base, then "_" and numbers that
// no other call of this process repeats, then "." and extension. Empty when
// no free name was found. Any thread.
QString UniqueFileName(const QString& folder, const QString& base, const QString& extension);

// Deletes the answer's artwork files that no library cover names. Any
// thread.
void DeleteAnswerArtwork(const RecordMusicInfo& answer);
