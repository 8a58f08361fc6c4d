#pragma once

// The download task manager. QtCore and QtGui only.

#include <QList>
#include <QMutex>
#include <QPair>
#include <QSet>

#include <functional>
#include <memory>

#include "downloadqueue.h"
#include "musicserviceapi.h"

class CConfig;
class CCreateFactoryThread;
class CDownloadTask;

// The queue of song information downloads: one CDownloadTask per library
// song, at most two running at a time. The library queues tasks and
// hears about them through TaskNotified; an answer is stored (covers, texts,
// tags) before DownloadTask_SUCESS is reported.
//
// Order: running tasks first, then the waiting ones. A fingerprint-only
// task (the automatic identification of a song being recorded) is queued
// ahead of every waiting task, but it waits until SongFiled tells that its
// song was closed and kept: the service identifies whole songs, and the
// record names the finished file only then. A discarded song drops its task.
//
// The manager also owns the thread that initialises the music information
// service (StartService, called by the library); no task starts
// while it runs, and the service is shut down when the manager is
// destroyed, after its tasks.
//
// GUI thread only; the tasks reach it through queued signals.
class CTaskManager : public CDownloadQueue {
    Q_OBJECT
public:
    // At most this many tasks run at the same time.
    static constexpr int kMaxRunning = 2;

    // config: folders and proxy for the service; not owned, must outlive the
    // manager. api: the service (its exports by default).
    explicit CTaskManager(CConfig* config, QObject* parent = nullptr,
                          const CMusicServiceApi& api = {});
    // Stops and deletes every task without a report, then shuts the service
    // down (when StartService ran).
    ~CTaskManager() override;

    int AddTask(int musicId, bool fingerprintOnly) override;
    void CancelTask(int musicId) override;
    void SongFiled(int musicId, bool kept, bool identify) override;
    // Starts the service's initialisation once; later calls do nothing.
    void StartService() override;

    // Whether the service's initialisation succeeded.
    bool IsServiceReady() const;
    // The time-out of tasks started from now on, in milliseconds.
    void SetTaskTimeout(int milliseconds) { m_timeoutMs = milliseconds; }
    // Tells whether the player is playing a song now: that song's file
    // keeps its tags when its answer is stored. Default: nothing plays.
    void SetPlayingCheck(std::function<bool(int musicId)> isPlaying);

    // Every task as (music id, state), in queue order.
    QList<QPair<int, int>> Tasks() const;

public Q_SLOTS:
    // A task's state: stores a DownloadTask_SUCESS answer (a failure to
    // store reports DownloadTask_FAILED instead), reports the state, and
    // removes and deletes a task that ended.
    void TaskNotify(int musicId, quint64 serial, int state);

private:
    // Starts waiting tasks while fewer than kMaxRunning run.
    void Schedule();
    // Takes the task out of the list; true when it was in it.
    bool Remove(CDownloadTask* task);
    CDownloadTask* Find(int musicId) const;
    // Stores the task's answer. True when something was stored.
    bool StoreAnswer(CDownloadTask* task);

    CConfig* const m_config;
    const CMusicServiceApi m_api;
    int m_timeoutMs;
    std::function<bool(int)> m_isPlaying;

    // Guards m_tasks. Running tasks first.
    mutable QMutex m_lock;
    QList<CDownloadTask*> m_tasks;  // owned
    // Songs whose automatic task waits for SongFiled.
    QSet<int> m_waitingForSong;
    std::unique_ptr<CCreateFactoryThread> m_factory;
    // While the service is being initialised no task starts.
    bool m_serviceStarting = false;
};
