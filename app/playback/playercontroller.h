#pragma once

// The player: the play queue, the media engine and the play state. QtCore
// only; what it needs of the windows comes through CPlayerHost.

#include <QList>
#include <QObject>

#include <atomic>
#include <cstdint>
#include <memory>

#include "recording/recordstate.h"

class CMediaEngine;
class CPlayQueue;
class CTreeWidgetItem;

// What the player asks of the program around it: the songs on show, their
// files and marks, "Recently Played", the recording state and the two
// questions. The main window's player view implements it over the
// recordings list, the tool bar and the question dialog.
//
// GUI thread only.
class CPlayerHost {
public:
    virtual ~CPlayerHost();

    // The rows of the list on show, in shown order.
    virtual QList<CTreeWidgetItem*> VisibleRows() const = 0;
    // The selected rows in shown order; empty when none is selected.
    virtual QList<CTreeWidgetItem*> SelectedRows() const = 0;
    // ListId of the list on show; 0 when none.
    virtual int CurrentListId() const = 0;
    // Whether the row's file exists; a missing file gets the missing mark.
    virtual bool CheckFile(CTreeWidgetItem* row) = 0;
    // The playing mark in the row's mark column.
    virtual void SetPlayingMark(CTreeWidgetItem* row, bool playing) = 0;
    // Puts the song into "Recently Played" with now as its play time.
    virtual void AddToRecentlyPlayed(CTreeWidgetItem* row) = 0;
    // Brings the cover view of the list on show up to date.
    virtual void RefreshCoverView() = 0;
    // The recording session's state.
    virtual RecordState RecordingState() const = 0;
    // The recording guard: asks whether to stop the recording and play,
    // and on "Yes" stops it. True when the user said "Yes".
    virtual bool AskStopRecording() = 0;
    // Tells the user that none of the chosen songs has its file.
    virtual void ShowUnavailable() = 0;
    // The songs recorded in this session, in the order the recording view
    // shows them.
    virtual QList<CTreeWidgetItem*> SessionRows() const = 0;
};

// The player of the program: it plays the songs of the play queue one at a
// time through the media engine, with play, pause, next and previous
// (both wrap around the queue), seeking and volume; it marks the playing
// row, puts every song it loads into "Recently Played" and refuses to start
// while a recording runs unless the user stops the recording.
//
// The queue belongs to the library, which keeps it in step with the
// library and reports removed entries (AfterDeletePlayingMusic). The
// controller owns the engine: it is created with the controller (WM_Create)
// and destroyed with it, after the open file is released. No file is open
// while stopped.
//
// GUI thread only. The engine reports progress on its own thread; the
// reports reach the controller as queued signals, and reports of a file
// that is no longer loaded are dropped.
class CPlayerController : public QObject {
    Q_OBJECT
public:
    enum PlayState { State_Stopped = 0, State_Playing = 1, State_Paused = 2 };
    // Results of CreatePlay.
    enum CreateResult {
        Create_Ok = 0,
        Create_AddFileFailed = -1,    // the engine cannot open the file
        Create_PlayerFailed = -2,     // the engine made no player for it
        Create_NothingPlayable = -3,  // no entry of the queue has its file
    };

    // queue and host are not owned and outlive the controller. engine:
    // owned; null uses the media engine itself.
    CPlayerController(CPlayQueue* queue, CPlayerHost* host,
                      std::unique_ptr<CMediaEngine> engine = nullptr, QObject* parent = nullptr);
    ~CPlayerController() override;

    int PlayState() const { return m_state; }
    CPlayQueue* Queue() const { return m_queue; }
    // The row whose file is loaded; null when stopped.
    CTreeWidgetItem* PlayingRow() const { return m_playingRow; }
    // Length of the loaded file in milliseconds; 0 when stopped.
    qint64 LengthMs() const { return m_lengthMs; }
    // Last reported position, 0..10000.
    int Position() const { return m_position; }
    qint64 PositionMs() const { return m_lengthMs * m_position / 10000; }
    // Playback volume, 0..100.
    int Volume() const { return m_volume; }
    // Whether a recording session runs.
    bool IsRecording() const;

    // Whether there is something to play: a queue, or songs on show.
    bool CanPlay() const;
    bool CanPause() const { return m_state == State_Playing; }
    // Whether next and previous have a queue to move through.
    bool CanGoNext() const;
    bool CanGoPrevious() const { return CanGoNext(); }
    bool CanSeek() const { return m_handle >= 0 && m_lengthMs > 0; }

    // Loads the current queue entry into a paused player: entries whose
    // file is missing are marked and skipped (each entry is tried once),
    // the row gets the playing mark and the song joins "Recently Played".
    // Plays nothing itself.
    int CreatePlay();

public Q_SLOTS:
    // The queue becomes rows and playback starts at index; index below 0
    // starts at the first selected row, an index outside the queue at 0.
    void StartPlay(const QList<CTreeWidgetItem*>& rows, int index = -1);
    // The play button while stopped or paused: resumes a paused song; with
    // a queue and nothing loaded plays its last entry; with an empty queue
    // plays what is chosen (see StartNewPlay). Asks first while recording.
    void StartLastPlay();
    // The play button: pauses while playing, otherwise StartLastPlay.
    void PlayOrPause();
    // Starts or resumes the loaded song.
    void Play();
    // Pauses while playing.
    void PausePlay();
    // Releases the loaded song and shows nothing playing. The queue stays.
    void Stop();
    // Stops playback and empties the queue (a recording starts).
    void StopAndClearQueue();
    // Plays the last queue entry (a song just recorded).
    void StartPalyRecord();
    // Plays the queue from the entry at index (asks first while recording).
    void PlayQueueEntry(int index);
    // Asks first while recording; then plays the selected rows, or all
    // shown rows when none is selected, without those whose file is
    // missing. One selected row queues every shown row and starts at it.
    // index: where to start in that queue (-1: the selected row).
    void StartNewPlay(int index = -1);
    // Plays every shown row (the tree's "Play" on a list).
    void StartPlayAllList();
    // Next and previous entry, wrapping around the queue.
    void PlayNext();
    void PlayLast();
    // A double click or "Play" on a row: asks first while recording; plays
    // the queue from the row when it is queued, else the row alone.
    void PlayMusic(CTreeWidgetItem* row);
    // Plays the songs of this recording session from the row.
    void PlayRecordingList(CTreeWidgetItem* row);
    // Moves the loaded song to position (0..10000).
    void SeekTo(int position);
    // Playback volume 0..100; kept for the songs that follow.
    void ChangeVolume(int percent);
    // The list on show became empty (a filter) or has rows again: the play
    // button follows while the queue is empty.
    void DisablePlayBut(bool listEmpty);
    // Entries left the queue; playingRemoved when the loaded one was among
    // them: it is released, and the entry now at its place is loaded and
    // plays when the removed one was playing (paused stays paused).
    void AfterDeletePlayingMusic(bool playingRemoved);
    // A row is about to be destroyed.
    void RowDeleted(CTreeWidgetItem* row);
    // A row's texts or cover changed.
    void RowChanged(CTreeWidgetItem* row);
    // Tells the controls to look again (ControlsChanged), for example after
    // a recording ended.
    void RefreshControls();

Q_SIGNALS:
    void PlayStateChanged(int state);
    // A song was loaded (row), or nothing is loaded any more (null); also
    // when the loaded song's texts changed.
    void TrackChanged(CTreeWidgetItem* row);
    // Progress of the loaded song: position 0..10000 and the same in ms.
    void ProgressChanged(int position, qint64 elapsedMs, qint64 lengthMs);
    // CanPlay, CanGoNext or CanGoPrevious may have changed.
    void ControlsChanged();
    void VolumeChanged(int percent);
    // The song was moved to a new position by SeekTo.
    void Seeked(qint64 positionMs);
    // Emitted by the engine's thread; the controller alone listens.
    void EngineProgress(int serial, int position, int state);

private:
    // Shared with the engine's callback (its user data).
    struct PlayRecord {
        CPlayerController* owner = nullptr;
        // Serial of the loaded file; reports carry it.
        std::atomic<int> serial{0};
        std::atomic<int> position{0};
        std::atomic<int> state{0};
    };

    static int EngineCallback(int position, int state, void* user);
    void OnEngineProgress(int serial, int position, int state);
    // The recording guard: true when playback may start.
    bool GuardRecording();
    // Loads and plays the current entry; false when nothing plays.
    bool StartCurrent(bool tellUser);
    // Next entry without resetting the count of failed songs.
    void Advance(int step);
    void ReleaseFile();
    void SetPlayState(int state);
    // The rows the user chose; *start: where to begin (-1 when open).
    QList<CTreeWidgetItem*> ChooseRows(int* start);
    QList<CTreeWidgetItem*> RowsWithFiles(const QList<CTreeWidgetItem*>& rows);
    int QueueListId() const;

    CPlayQueue* m_queue;
    CPlayerHost* m_host;
    std::unique_ptr<CMediaEngine> m_engine;
    std::unique_ptr<PlayRecord> m_record;
    int m_serial = 0;
    int m_state = State_Stopped;
    CTreeWidgetItem* m_playingRow = nullptr;
    int m_handle = -1;
    qint64 m_lengthMs = 0;
    int m_position = 0;
    int m_volume = 100;
    bool m_listEmpty = true;
    // Songs in a row that ended in failure; once every entry failed the
    // player stops instead of going round the queue.
    int m_failedInRow = 0;
};
