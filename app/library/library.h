#pragma once

// The library in memory: one row per song, the members of every list, the
// play queue and the life of the song being recorded, kept in step with the
// database. QtCore only.

#include <QHash>
#include <QList>
#include <QObject>
#include <QString>

#include <memory>
#include <unordered_map>
#include <vector>

#include "musicdb.h"
#include "treewidgetitem.h"

class CConfig;
class CDownloadQueue;
class CPlayQueue;

// Every change of songs or memberships goes through the library, so that
// the database, the rows and the play queue stay in step; the views follow
// its signals and own nothing of it.
//
// Lists: 1 "All Recordings" (every song), 2 "Newly Recordings" (added
// today), 3 "Recently Played" (a play time in DateAdded no older than two
// calendar days) and the user playlists (ListId 4 and up, MusicItem rows).
//
// The library opens the database (Open) and closes it when it goes. GUI
// thread only; database errors are logged (musicdb.h) and never stop an
// action. Nothing here asks or shows anything: questions belong to the
// views.
class CLibrary : public QObject {
    Q_OBJECT
public:
    // Members of a list: MusicId -> ItemId (0 for lists 1 to 3).
    using Membership = QHash<int, int>;

    // config: the music folders; not owned, may be null (then no song file
    // is the library's to delete).
    explicit CLibrary(CConfig* config, QObject* parent = nullptr);
    ~CLibrary() override;

    // Opens the database file (DB_OpenFile) and reads every song, its shown
    // cover and name origin, and every list's members. SQLite code of the
    // open; 0 also when the library could not be read whole (Incomplete()).
    int Open(const QString& path);
    // True when the library could not be read whole: what was read is
    // there, and the database is kept from every change (DB_KeepUnchanged)
    // until the program starts again.
    bool Incomplete() const { return m_incomplete; }

    // ---- Wiring ---------------------------------------------------------
    // The download task manager; null puts back the built-in queue that only
    // marks songs as waiting. Not owned; its reports reach
    // HandleDownloadNotify.
    void SetDownloadQueue(CDownloadQueue* queue);
    CDownloadQueue* DownloadQueue() const { return m_downloads; }
    // The play queue, which the player fills and moves through.
    CPlayQueue* PlayQueue() const { return m_queue; }

    // ---- Rows -----------------------------------------------------------
    // The row of a song, or null (also for a song being recorded: see
    // NewRecordRow()).
    CTreeWidgetItem* FindRow(int musicId) const;
    // Whether the row's file is a regular file now; sets or clears its
    // missing mark.
    bool CheckFile(CTreeWidgetItem* row);
    // The player's mark on the row it plays.
    void SetPlayingMark(CTreeWidgetItem* row, bool playing);
    // The song's record with its covers, loaded now; null when the song is
    // no longer in the database.
    std::unique_ptr<SongRecord> LoadRecord(const CTreeWidgetItem* row) const;
    // Stores a changed record (DB_UpdateMusicInfo) and shows it in its row;
    // emits MusicItemInfoChanged. SQLite code.
    int StoreRecord(const SongRecord& record);
    // Takes the row's texts, cover and name origin from the database again.
    void RefreshRow(CTreeWidgetItem* row);
    // Keeps where the song's name came from (NameOrigin) in the library and
    // the row; NameOrigin_None forgets it (the user typed a name).
    void SetNameOrigin(CTreeWidgetItem* row, int origin, const QString& player = QString());
    // The user changed the song's tags: AutoDownloadFinished is emitted.
    void TagsEdited(CTreeWidgetItem* row);

    // ---- Lists ----------------------------------------------------------
    // Songs in a list; 0 for an unknown list.
    int ListCount(int listId) const;
    bool IsInList(const CTreeWidgetItem* row, int listId) const;
    // The rows of a list's members, in no particular order.
    std::vector<CTreeWidgetItem*> Members(int listId) const;
    // Every list with its name and number of members, as stored; SQLite
    // code (nothing appended on failure).
    int Lists(QList<MusicListInfo>* lists) const;
    // A new empty playlist, named "PlayList n" after the first free n:
    // its ListId and *name; -1 when the library holds the most playlists it
    // can (*full set) or the list could not be stored (*error says so).
    int CreatePlaylist(QString* name, bool* full, QString* error);
    // Renames a playlist; a blank name keeps the stored one. The name the
    // playlist has now.
    QString RenamePlaylist(int listId, const QString& name);
    // Deletes a playlist (ListId 4 and up) with its MusicList row; its
    // members must have been taken out first. The play queue keeps its
    // rows but no longer follows that list.
    void DeletePlaylist(int listId);
    // A playlist the library did not load (made elsewhere), empty.
    void AddList(int listId);
    // Adds songs to a list in one transaction: a MusicItem row for a
    // playlist, a play time (now) for list 3, which replaces an older one.
    // Songs already in a playlist are skipped. Emits MembersAdded and
    // ListCountChanged.
    void AddToList(const QList<CTreeWidgetItem*>& rows, int listId);
    // Takes songs out of a list (ListId 3 and up) in one transaction: out of
    // the play queue when it came from that list, the MusicItem row (or,
    // for list 3, the play time) removed. Emits MembersRemoved.
    void RemoveFromList(const QList<CTreeWidgetItem*>& rows, int listId);

    // ---- Deleting -------------------------------------------------------
    // Whether deleting the song may delete its file too: only files in the
    // music folders (Output_Path, the current one and the earlier ones).
    bool IsOwnSongFile(const QString& path) const;
    // Deletes songs from the library in one transaction: out of every list
    // and the play queue, their files (only inside the music folders; the
    // song being recorded always), records, covers (an image file only in
    // the pictures folder and when no other cover names it) and download
    // tasks. MembersRemoved(0, ...) and MusicItemDeleted(row) are emitted
    // and the rows destroyed.
    void DeleteSongs(const QList<CTreeWidgetItem*>& rows);

    // ---- The song being recorded (recording session) --------------------
    // A new recording's record (DateAdded now, everything else empty) and
    // row, kept aside until the song is filed. 0; -1 when the library is
    // full (LibraryFull is emitted) or the record could not be stored.
    int CreateNewRecord(const QString& path);
    // The row of the song being recorded, or null.
    CTreeWidgetItem* NewRecordRow() const { return m_newRecord; }
    // The song's 20-second sample is complete: identification of the song
    // being recorded is queued (fingerprint only) on the sample. Without a
    // song being recorded the sample is deleted and -1 returned.
    int StartAutoDownload(const QString& samplePath);
    // The song's file was closed at finalPath: the record takes it (a
    // sample queued by StartAutoDownload is deleted now, or once its
    // download ends), and when the song information is already there, the
    // file is named after the song. 0; -1 without a song being recorded;
    // 1 when its record is gone.
    int CompleteNewRecord(const QString& finalPath);
    // Files the finished song in lists 1 and 2 (NewRecordFiled). identify:
    // whether identification is wanted (told to the download queue).
    void FileNewRecord(bool identify);
    // Drops the song being recorded with its file, sample, record and covers
    // (too short, or the program quit while recording).
    void DiscardNewRecord();

    // ---- What the player announced (recording session) -------------------
    // The player's texts become the first texts of the song being recorded
    // (empty ones leave the record's alone) and its name is marked as from
    // the player: the file takes that name when it is closed, and the tags
    // when the song is filed. Identification still runs; when it finds the
    // song its answer wins. 0; -1 without a song being recorded.
    int SetPlayerTexts(const QString& title, const QString& artist, const QString& album,
                       const QString& player);
    // The player's picture of a song (an image file in the pictures folder,
    // which the library owns from now on) joins the song's covers, shown
    // when the song had none; a filed song's file gets it in its tags at
    // once, unless the player plays it. 0; -1 when the song is gone or the
    // cover could not be stored (the image is deleted then).
    int AddPlayerCover(int musicId, const QString& imagePath);

public Q_SLOTS:
    // A download task's state (DownloadTaskState) for a song.
    void HandleDownloadNotify(int musicId, int state);

Q_SIGNALS:
    // A row's texts, cover or marks changed: views show it again.
    void RowChanged(CTreeWidgetItem* row);
    // Rows joined a list, or (list 3) had their play time renewed.
    void MembersAdded(int listId, const QList<CTreeWidgetItem*>& rows);
    // Rows left a list; listId 0: they are being deleted from the library.
    void MembersRemoved(int listId, const std::vector<const CTreeWidgetItem*>& rows);
    // Deleting songs took them out of another list, which now has count.
    void MusicInOtherListDeleted(int listId, int count);
    // A song's texts or cover changed.
    void MusicItemInfoChanged(CTreeWidgetItem* row);
    // The row is about to be destroyed.
    void MusicItemDeleted(CTreeWidgetItem* row);
    // A download for the song ended, or the user changed its tags.
    void AutoDownloadFinished(CTreeWidgetItem* row);
    // The song that was being recorded was filed (FileNewRecord).
    void NewRecordFiled(CTreeWidgetItem* row, bool identify);
    // A list's number of songs changed.
    void ListCountChanged(int listId, int count);
    // Songs left the play queue; playingRemoved when its current entry was
    // among them.
    void QueueEntriesRemoved(bool playingRemoved);
    // A new recording could not be filed: the library holds the most songs
    // it can.
    void LibraryFull();

private:
    // Reads the songs, their shown covers, name origins and memberships.
    // False when something could not be read.
    bool Load();
    // Memberships of the lists; with tidy, stale play times are dropped and
    // memberships of songs that are gone deleted (only after a whole read).
    bool BuildMemberships(bool tidy);
    Membership* ListMembers(int listId);
    const Membership* ListMembers(int listId) const;
    void EmitCount(int listId);
    // Takes rows out of the play queue when it came from listId (any list
    // when listId is 0); true when its current entry was among them.
    bool RemoveFromQueue(const std::vector<const CTreeWidgetItem*>& rows, int listId);
    void SetRowDateAdded(CTreeWidgetItem* row, const QString& dateAdded);

    CConfig* m_config;
    bool m_open = false;
    bool m_incomplete = false;
    CDownloadQueue* m_downloads = nullptr;
    CDownloadQueue* m_pendingDownloads = nullptr;  // owned (child)
    CPlayQueue* m_queue = nullptr;                 // owned (child)

    // Every song's row, by MusicId (the song being recorded included).
    std::unordered_map<int, std::unique_ptr<CTreeWidgetItem>> m_rows;
    // ListId -> members, for every list the library has.
    std::unordered_map<int, Membership> m_lists;
    CTreeWidgetItem* m_newRecord = nullptr;
    // The song being recorded while its sample is identified: the file it
    // is recorded into (its record names the sample meanwhile).
    int m_autoDownloadId = 0;
    QString m_autoDownloadFile;
    // Samples of finished songs, deleted when their download ends.
    QHash<int, QString> m_finishedSamples;
};
