#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>
#include <QTime>

#include <functional>
#include <memory>
#include <mutex>

#include "recording/mprisfollower.h"
#include "recording/recordstate.h"

class CConfig;
class CPlayerArtFetcher;
class CLibrary;
class CTreeWidgetItem;
class QThread;
class QTimer;
class CSpectrumFeed;
struct AudioDevRecordParam;

// One recording session after another on the program's capture engine
// instance: starting and stopping the engine, the bridge that turns the
// engine's callback events into queued work on the user-interface thread,
// the recording state with its one-second timer, and the judging and filing
// of every song the engine writes (kept songs join "All Recordings" and
// "Newly Recordings" through the library, too short ones are deleted
// with their files).
//
// Computer audio is recorded from every application or from the one the
// settings name (Record_Application). While it is recorded with splitting
// on, the media players on the session bus are followed (CMprisFollower):
// a player's announced track change cuts the song where the audio changes,
// and each song takes the texts and picture of the track it begins with as
// its first information (identification still runs, and its answer wins).
// Following is on for every such recording when a session bus is there,
// not only when a player plays at the start: players are usually started
// after the recording. It costs only the engine's hold (events come
// kFollowHoldMs later). Without a bus, or when recording an input or one
// file for the whole session, nothing changes.
//
// Owns the engine instance (AudioDevCreate at construction, AudioDevDestroy
// at destruction, which also stops a recording that still runs). The main
// window owns the session, shows its state in the tool bar and the
// recording view, and forwards its recording slots here.
//
// Threads: OnEngineEvent() runs on the engine's threads; everything else on
// the user-interface thread. The bridge hands values (QString) across
// queued connections, so nothing is lost or leaked when an event arrives
// after the session is gone.
class CRecordSession : public QObject {
    Q_OBJECT
public:
    // How a kept song joins the recording view.
    enum SongKind {
        Kind_Identifying = 1,  // its information is being fetched
        Kind_NoInfo = 2,       // no information is fetched for it
    };
    // A write error (-8) with less free space than this on the output
    // folder's file system means the disk is full.
    static constexpr qint64 kDiskFullBytes = 50LL * 1024 * 1024;
    // Songs at least this long are identified (when identification is on).
    static constexpr qint64 kIdentifySeconds = 16;
    // How long the engine holds audio back while players are followed: an
    // announcement up to about a second late still cuts where the audio
    // changed.
    static constexpr int kFollowHoldMs = 3000;

    // config: the settings; library: the library that keeps the songs;
    // spectrum: the live spectrum fed on the engine's thread (may be null).
    // None is owned; all must outlive the session. A failed AudioDevCreate
    // is logged ("AudioDevCreate failed!") and every start then fails. The
    // session asks nothing itself: what it has to tell goes out as
    // MessageRequested and DiskFullReported.
    CRecordSession(CConfig* config, CLibrary* library, CSpectrumFeed* spectrum,
                   QObject* parent = nullptr);
    ~CRecordSession() override;

    // The engine instance; null when its creation failed. Other users (the
    // audio source page, the installer dialog) call it from this thread.
    void* AudioDev() const { return m_audioDev.get(); }
    RecordState State() const { return m_state; }
    // Time since the song (or the wait for one) began; zero while idle.
    QTime ElapsedTime() const { return m_elapsed; }
    QTimer* RecordingTimer() const { return m_timer; }
    // 1 until the first recording from computer audio since start.
    int FirstRecordingFlag() const { return m_firstRecording; }
    // The output folder of the session that runs or ran last.
    QString OutputFolder() const { return QString::fromUtf8(m_outputFolder); }
    // Whether the session that runs or ran last followed the players.
    bool IsFollowingPlayers() const { return m_following; }

    // Free bytes on the file system of a folder; QStorageInfo unless
    // replaced (the tests fake a nearly full disk).
    using FreeSpaceQuery = std::function<qint64(const QString& folder)>;
    void SetFreeSpaceQuery(FreeSpaceQuery query);
    // Whether the player plays right now (a kept song then stays out of the
    // play queue); nothing plays unless set.
    void SetPlayingSource(std::function<bool()> playing);
    // What offers to install "Tavra Audio" when a recording of computer
    // audio finds it missing: true once the device is there. Without one
    // such a start fails.
    void SetDeviceInstaller(std::function<bool()> install);

    // Fills the engine's record for a start from the settings: the output
    // folder (created), the input (computer audio through "Tavra Audio",
    // offering its installation when missing; or the chosen input, falling
    // back to input 0 and storing that as DEVIC_ID), split time, sample
    // file, file type, rates. The record's texts point into this object and
    // stay valid until the next call. 0 to go on, 1 to abort the start.
    int InitRecorderParam(AudioDevRecordParam* param);

    // The engine's callback, on the engine's threads: copies what it keeps
    // and emits the bridge signals below, feeds the spectrum, logs the
    // engine's lines and deletes an abandoned sample file at once.
    void OnEngineEvent(int code, int value, const void* data);

    // The kept song's length in seconds, or 0 when the song being recorded
    // was discarded (not longer than Filter_Time, or its length could not be
    // measured) or there is none; -1 for a song kept without a length (a
    // build without the media engine).
    qint64 IfDeleteRecord();
    // Judges the song whose file was just closed and files it when kept.
    void DealWithMusicInfo();

public Q_SLOTS:
    // Starts a session (idle to waiting). True when the engine started.
    bool StartRecording();
    // Stops the engine and ends the session (to idle); also when idle.
    void SignalStopRecord();
    // The program is quitting in the middle of a song: the engine stops and
    // the song is dropped with its file and record, and so is whatever the
    // stopped session still reports.
    void AbandonSession();
    // The engine's monitor volume (0..200) during a session.
    void SetVolume(int value);

    // The bridge's receivers, queued onto this thread in the engine's order.
    void CreateNewFile(int value);
    void StartNewRecord(const QString& path);
    void EndNewRecord(const QString& path);
    void DealwithRecordErr(int code, const QString& detail);
    void StartAutoDownload(const QString& samplePath);
    // The output folder's disk is full: the session ends with a message.
    void DiskisFull();
    // An engine error this program has no message of its own for.
    void UnknowRecordError();

Q_SIGNALS:
    // ---- The record bridge (emitted on engine threads) ------------------
    // SilenceState: 0 a silent block inside a song, 1 a new file opened.
    void NewFileCreated(int value);
    // A song file holds one second of audio.
    void RecordBegined(const QString& path);
    // A song file was closed.
    void RecordEndded(const QString& path);
    // The engine stopped on an error; detail: the input's name for -9.
    void RecordErrorAppend(int code, const QString& detail);
    // A song's 20-second sample file is complete.
    void AutoDownloadStarted(const QString& samplePath);
    // A new song file was opened (SilenceState 1); monotonicUs: when the
    // engine said so (CLOCK_MONOTONIC microseconds).
    void NewFileOpenedAt(qint64 monotonicUs);

    // ---- For the window -------------------------------------------------
    // The recording state changed, from previous.
    void RecordStateChanged(RecordState state, RecordState previous);
    // Once a second during a session: the time since the song (or the wait)
    // began.
    void RecordingTimeChanged(const QTime& elapsed);
    // A session is about to start the engine: playback must stop and its
    // queue be cleared first. Emitted before the engine starts.
    void PlaybackStopRequested();
    // The engine started (idle to waiting).
    void SessionStarted();
    // A stop ran (user, tray, schedule, error, failed list entry).
    void SessionStopped();
    // A new song's library entry was made, or a song ended: the recording
    // view turns its cover back.
    void SongBegun();
    void SongEnded();
    // A kept song joined the lists (kind: SongKind).
    void SongFiled(CTreeWidgetItem* row, int kind);
    // The song being recorded is being identified.
    void IdentificationStarted();
    // Something the user must be told (a start that failed, the engine's
    // error): a message with one "Ok".
    void MessageRequested(const QString& text);
    // The recording stopped because the disk is full.
    void DiskFullReported();

private:
    struct EngineDeleter {
        void operator()(void* handle) const;
    };
    static int Trampoline(int code, int value, void* data, void* user);

    void SetState(RecordState state);
    void Tick();
    // MessageRequested, logged.
    void ShowMessage(const QString& text);
    int ChooseComputerAudio(AudioDevRecordParam* param);
    int ChooseInput(AudioDevRecordParam* param);
    // Deletes a file the stopped session reported after it was abandoned.
    bool DropAbandoned(const QString& path, const char* what);
    // Before a start: chooses the applications and whether players are
    // followed; after it: starts following.
    void PrepareFollowing(const AudioDevRecordParam& param);
    void StartFollowing();
    void StopFollowing();
    // The follower's thread: tells the engine of an announced track change.
    void MarkTrackChange(qint64 atUs);
    // The song file opened at openedUs gets the track heard when its audio
    // was captured (the engine's hold earlier).
    void PairPlayerTrack(qint64 openedUs);

    CConfig* m_config;          // not owned
    CLibrary* m_library;         // not owned
    // Not owned. Read on the engine's threads: set once, before the engine
    // can call back, and the engine is destroyed before it goes.
    CSpectrumFeed* const m_spectrum;
    std::unique_ptr<void, EngineDeleter> m_audioDev;

    FreeSpaceQuery m_freeSpace;
    std::function<bool()> m_playing;
    std::function<bool()> m_installDevice;
    RecordState m_state = RecordState::Idle;
    QTime m_elapsed{0, 0, 0};
    QTimer* m_timer = nullptr;
    int m_firstRecording = 1;
    // The abandoned session still reports: its files are deleted, not kept.
    bool m_abandoned = false;
    // Texts of the last record InitRecorderParam filled.
    QByteArray m_outputFolder;
    QByteArray m_inputDevice;

    // Following the players. The follower lives on m_followThread (both
    // made on the first recording that follows, ended in the destructor).
    bool m_following = false;
    QThread* m_followThread = nullptr;
    CMprisFollower* m_follower = nullptr;
    CPlayerArtFetcher* m_art = nullptr;  // child
    // The track of the song file opened last, for its library entry.
    CPlayerTrack m_nextTrack;
    // The engine instance while announcements may reach it: set after the
    // engine started, cleared before it stops, so that no mark overlaps a
    // start or stop. Guarded by m_markMutex (the follower's thread marks).
    std::mutex m_markMutex;
    void* m_markHandle = nullptr;
};
