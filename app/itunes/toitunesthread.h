#pragma once

// The thread that hands songs to the iTunes player through the jukebridge
// library. QtCore only.

#include <QByteArray>
#include <QString>
#include <QThread>

#include <atomic>
#include <cstdint>
#include <functional>
#include <vector>

#include "jukebridge.h"

struct SongRecord;

// The three bridge functions the export calls. Jukebridge() gives the real
// library; tests wrap its functions to watch the calls.
struct iTunesBridge {
    std::function<int()> Initialize;                  // 0: the player is there
    std::function<int(iTunesSongInfo, int)> AddSong;  // the song, 1 for the last one
    std::function<int()> Uninitialize;

    // The jukebridge library; without it in the build, Initialize reports
    // the player absent.
    static iTunesBridge Jukebridge();
};

// One song to export, copied from its library record: the texts as UTF-8,
// kept for the whole run so that the bridge's record can point into them.
struct iTunesSong {
    QByteArray file;
    QByteArray title;
    QByteArray artist;
    QByteArray album;
    QByteArray genre;
    int32_t year = 0;
    QByteArray cover;  // null when the song has no cover

    // The song of a record: its file, texts, the year as a number and the
    // shown cover (number ImageId of its covers).
    static iTunesSong FromRecord(const SongRecord& record);
    // The bridge's record; its pointers are valid while this song lives and
    // is not changed. cover is NULL when the song has none.
    iTunesSongInfo Info() const;
    // The song's file name without its folder.
    QString FileName() const;
};

// The year of a year text: the number it starts with ("1999", "1999-05-01"),
// or 0 when it does not start with one or the number is out of range.
int32_t YearFromText(const QString& text);

// Exports songs in order from its own thread:
//   1. Initialize; a non-zero result is logged, iTunesNotFind() emitted and
//      the run ends (no Uninitialize).
//   2. For each song while no abort is asked: AddSong (last = 1 for the last
//      song of the list), then SongFailed when the bridge added nothing, then
//      ProgressBarValueChange(number of songs done so far).
//   3. Uninitialize.
// The song in progress is always finished; an abort stops before the next
// one. Signals are emitted on the export thread (queued to the dialog).
//
// Created, started, aborted and destroyed on the user-interface thread; the
// songs are handed over at construction and read only by the export thread.
class CToiTunesThread : public QThread {
    Q_OBJECT
public:
    CToiTunesThread(std::vector<iTunesSong> songs, iTunesBridge bridge, QObject* parent = nullptr);
    // Asks the run to stop and waits for the song in progress.
    ~CToiTunesThread() override;

    int SongCount() const { return int(m_songs.size()); }
    const iTunesSong& Song(int index) const { return m_songs[std::size_t(index)]; }
    // Asks the run to stop before the next song. Any thread.
    void Abort() { m_abort.store(true); }
    bool AbortRequested() const { return m_abort.load(); }

Q_SIGNALS:
    // value songs are done (the last of them is song value - 1).
    void ProgressBarValueChange(int value);
    // The player was not found; nothing was exported.
    void iTunesNotFind();
    // The bridge added nothing for song index (code: its negative result).
    void SongFailed(int index, int code);

protected:
    void run() override;

private:
    const std::vector<iTunesSong> m_songs;  // read-only once constructed
    const iTunesBridge m_bridge;
    std::atomic<bool> m_abort{false};
};
