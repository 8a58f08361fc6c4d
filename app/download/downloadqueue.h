#pragma once

// The queue of song information downloads as the library sees it. QtCore
// only.

#include <QObject>

// States of a download task, as reported through TaskNotified. The numbers
// are fixed: the recordings list shows them.
enum DownloadTaskState {
    DownloadTask_SUCESS = 1,      // answer stored
    DownloadTask_FAILED = 2,      // failed, timed out or nothing found
    DownloadTask_WAITING = 3,     // queued
    DownloadTask_RUNNING = 4,     // started: converting the recording
    DownloadTask_REQUESTING = 5,  // waiting for the music information service
};

// What the library needs of the download task manager: queue a task
// for a library song, drop a song's task, and hear about state changes.
// The task manager implements it; CPendingDownloadQueue stands in while the
// program has no download tasks.
//
// GUI thread: every call and every TaskNotified emission. A task's own
// threads reach the queue only through queued signals.
class CDownloadQueue : public QObject {
    Q_OBJECT
public:
    explicit CDownloadQueue(QObject* parent = nullptr) : QObject(parent) {}
    ~CDownloadQueue() override = default;

    // Queues a task for the song. fingerprintOnly: the request carries no
    // texts (automatic identification after a recording); false for the
    // user's "Download Info". Returns 0, or -1 when a task for the song is
    // already queued or running. TaskNotified(musicId, DownloadTask_WAITING)
    // follows a 0.
    virtual int AddTask(int musicId, bool fingerprintOnly) = 0;
    // The song was deleted: its task, queued or running, is stopped and
    // dropped without a further report. Nothing when it has none.
    virtual void CancelTask(int musicId) = 0;
    // The recording of the song has ended and the song was judged: kept
    // (identify tells whether identification is wanted for it) or, with
    // kept false, discarded. An automatic task may wait for this before it
    // converts the finished file.
    virtual void SongFiled(int musicId, bool kept, bool identify) = 0;
    // Brings up what the tasks need (the music information service); the
    // library calls it when it is given the queue. Nothing by
    // default; calls after the first do nothing.
    virtual void StartService() {}

Q_SIGNALS:
    // A task's state changed (DownloadTaskState). After DownloadTask_SUCESS
    // the answer is already stored in the library.
    void TaskNotified(int musicId, int state);
};

// The queue used until the program runs download tasks: it logs every task
// and reports it as waiting, so that the song's row shows it is queued.
class CPendingDownloadQueue : public CDownloadQueue {
    Q_OBJECT
public:
    explicit CPendingDownloadQueue(QObject* parent = nullptr);

    int AddTask(int musicId, bool fingerprintOnly) override;
    void CancelTask(int musicId) override;
    void SongFiled(int musicId, bool kept, bool identify) override;

    // Songs with a task, in the order they were queued.
    QList<int> Queued() const { return m_queued; }

private:
    QList<int> m_queued;
};
