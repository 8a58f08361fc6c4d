#pragma once

// Brings the music information service up and down. QtCore only.

#include <QDateTime>
#include <QThread>

#include <atomic>

#include "musicserviceapi.h"

class CConfig;

// The thread that initialises the music information service without
// blocking the window: the service's initialisation waits for its network
// check, which takes seconds. Started once (by the download task manager,
// which the library starts when it gets it); destroying the object
// waits for the thread and then shuts the service down with
// MusicParserCleanup, exactly once, whether or not the initialisation ran or
// succeeded. Its owner destroys every download task first.
//
// run() fills the records from the configuration: the application-support
// folder (Log_Path), the pictures folder (created; when that fails the
// service is not initialised) and, with b_proxy set and a proxy host given,
// the proxy. Files left in the caches folder by an earlier run are deleted
// first.
//
// Threads: constructed, started and destroyed on the GUI thread; IsReady()
// from any thread.
class CCreateFactoryThread : public QThread {
    Q_OBJECT
public:
    // config: not owned, must outlive the object.
    explicit CCreateFactoryThread(CConfig* config, const CMusicServiceApi& api = {},
                                  QObject* parent = nullptr);
    ~CCreateFactoryThread() override;

    // Whether MusicParserInit succeeded (false until then, and for good when
    // it failed or never ran).
    bool IsReady() const { return m_ready.load(); }

protected:
    void run() override;

private:
    // Deletes the files of the caches folder older than this object.
    void EmptyCaches() const;

    CConfig* const m_config;
    const CMusicServiceApi m_api;
    // Files of the caches folder last changed before this moment are
    // leftovers of an earlier run; newer ones belong to tasks of this one.
    const QDateTime m_created;
    std::atomic<bool> m_ready{false};
};
