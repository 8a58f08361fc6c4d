#pragma once

#include <QHash>
#include <QList>
#include <QPointer>
#include <QTreeView>
#include <QWidget>

#include <functional>
#include <memory>
#include <unordered_map>
#include <vector>

#include "musicdb.h"
#include "treewidgetitem.h"

class CConfig;
class CDownloadQueue;
class CFilterEdit;
class CMusicInfoModel;
class CPlayQueue;
class QAction;
class QListView;
class QMenu;
class QPushButton;
class QStackedWidget;

// The song table of the recordings list: ten columns, sortable, extended
// selection, and drags of the selected songs ("application/tunecap" with
// their MusicIds, plus their files as URLs for other programs).
class CMusicInfoTreeWidget : public QTreeView {
    Q_OBJECT
public:
    // The drag format between the song table and the playlists: MusicIds in
    // decimal, each followed by one blank, UTF-8.
    static constexpr char kMimeType[] = "application/tunecap";

    explicit CMusicInfoTreeWidget(QWidget* parent = nullptr);

    // The drag data of the rows: kMimeType and one file URL per song.
    static QMimeData* MimeForRows(const QList<CTreeWidgetItem*>& rows);

    // The columns' widths now become their least widths: from then on the
    // room the view has beyond them goes to the name, artist and album
    // columns, until the user resizes a column by hand.
    void KeepColumnsFilled();

Q_SIGNALS:
    // Delete pressed with songs selected.
    void DeletePressed();

protected:
    void startDrag(Qt::DropActions supportedActions) override;
    void keyPressEvent(QKeyEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void FillWidth();

    std::vector<int> m_leastWidths;  // every column but the last
    bool m_filling = false;
    bool m_userSized = false;
    bool m_watchingSections = false;
};

// The right-hand pane of the library page: the songs of the list chosen in
// the library tree, as a sortable table or a cover grid, with the filter
// field and the context menu. It owns the in-memory library: one row
// (CTreeWidgetItem) per song, the membership of every list, and the play
// queue; every change of songs or memberships goes through it so that the
// database, the rows, the views and the queue stay in step.
//
// Lists: 1 "All Recordings" (every song), 2 "Newly Recordings" (added
// today), 3 "Recently Played" (a play time in DateAdded no older than two
// calendar days) and the user playlists (ListId 4 and up, MusicItem rows).
//
// Built once by the main window after the library database is open: the
// constructor loads every song, the covers and every list's membership;
// the destructor closes the database. GUI thread only; database errors are
// logged (musicdb.h) and never stop an action.
class CShowListWidget : public QWidget {
    Q_OBJECT
public:
    // config: Delete_Type and the folders; not owned.
    explicit CShowListWidget(CConfig* config, QWidget* parent = nullptr);
    ~CShowListWidget() override;

    // ---- Wiring ---------------------------------------------------------
    // The download task manager; null puts back the built-in queue that only
    // marks songs as waiting. Not owned; its TaskNotified reaches
    // HandleDownloadNotify.
    void SetDownloadQueue(CDownloadQueue* queue);
    CDownloadQueue* DownloadQueue() const { return m_downloads; }
    // Where the recording state comes from (0 idle, 1 a song is written, 2
    // waiting for a song): "Play" is refused while it is 1 or 2.
    void SetRecordStateSource(std::function<int()> source);
    // The play queue, which the player fills and moves through.
    CPlayQueue* PlayQueue() const { return m_queue; }

    CMusicInfoTreeWidget* Table() const { return m_table; }
    QListView* CoverView() const { return m_coverView; }
    CMusicInfoModel* Model() const { return m_model; }
    CFilterEdit* FilterEdit() const { return m_filter; }
    QMenu* ContextMenu() const { return m_menu; }
    QMenu* PlaylistMenu() const { return m_playlistMenu; }
    // Whether the cover grid is shown instead of the table.
    bool IsCoverViewShown() const;
    // True when the library could not be read whole at construction: what
    // was read is shown, and the database is kept from every change
    // (DB_KeepUnchanged) until the program starts again.
    bool LibraryIncomplete() const { return m_incomplete; }

    // ---- Lists ----------------------------------------------------------
    // ListId on show (1 after construction).
    int CurrentListId() const { return m_currentList; }
    // Shows the members of a list; nothing when it is on show already.
    void ShowList(int listId);
    // Songs in a list; 0 for an unknown list.
    int ListCount(int listId) const;
    bool IsInList(const CTreeWidgetItem* row, int listId) const;
    // Adds songs to a list in one transaction: a MusicItem row for a
    // playlist, a play time (now) for list 3, which replaces an older one.
    // Songs already in a playlist are skipped. Emits ListCountChanged.
    void AddToList(const QList<CTreeWidgetItem*>& rows, int listId);
    // Takes songs out of a list (ListId 3 and up) in one transaction: out of
    // the play queue when it came from that list, the MusicItem row (or,
    // for list 3, the play time) removed, hidden when the list is on show.
    void RemoveFromList(const QList<CTreeWidgetItem*>& rows, int listId);
    // Empties a playlist that is being deleted, asking first unless
    // Delete_Type is set. False when the user cancelled.
    bool RemoveAllFromList(int listId);
    // The "Add to playlist" entries, one per user playlist.
    void AddPlaylistAction(int listId, const QString& name);
    void RenamePlaylistAction(int listId, const QString& name);
    void DeleteAction(int listId);
    // Forgets a deleted playlist: its entry and its membership.
    void DeletePlaylist(int listId);

    // ---- Rows -----------------------------------------------------------
    // The row of a song, or null (also for a song being recorded: see
    // NewRecordRow()).
    CTreeWidgetItem* FindRow(int musicId) const;
    // Rows shown, in order.
    QList<CTreeWidgetItem*> VisibleRows() const;
    // Selected rows in shown order.
    QList<CTreeWidgetItem*> SelectedRows() const;
    // The selected rows, or every shown row when none is selected.
    QList<CTreeWidgetItem*> SelectedOrVisibleRows() const;
    CTreeWidgetItem* CurrentRow() const;
    // Makes a shown row current and selected; false when it is not shown.
    bool SetCurrentRow(CTreeWidgetItem* row);
    // Whether the row's file exists; sets or clears its missing mark.
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

    // ---- Deleting -------------------------------------------------------
    // Deletes a song from the library: out of every list and the play
    // queue, its file, its record, its covers (an image file only when no
    // other cover names it) and its download task; MusicItemDeleted(row)
    // is emitted and the row destroyed.
    void DeleteMusic(CTreeWidgetItem* row);
    // The Delete command: asks unless Delete_Type is set, then in lists 1
    // and 2 deletes the selected songs, in the others takes them out of the
    // list.
    void DeleteSelection();

    // ---- The song being recorded (recording controller) -----------------
    // A new recording's record (DateAdded now, everything else empty) and
    // row, kept aside until the song is filed. 0; -1 when the library is
    // full (the maximum is shown) or the record could not be stored.
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
    // Files the finished song: it joins lists 1 and 2 at the top and becomes
    // the current row when one of them is shown. identify: whether
    // identification is wanted (told to the download queue).
    void FileNewRecord(bool identify);
    // Drops the song being recorded with its file, sample, record and covers
    // (too short, or the program quit while recording).
    void DiscardNewRecord();

    // ---- What the player announced (recording controller) ----------------
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
    void customContextMenuRequested(const QPoint& pos);
    // The tag editor for the row (the current row without one); after a
    // change the filter is applied again and AutoDownloadFinished emitted.
    void EditTagsMusic(CTreeWidgetItem* row);
    void EditTagsMusic();
    // Cover grid on and off.
    void AddView();
    void RemoveView();
    void selectAll();
    void clearSelection();
    // A click on a column header: the mark column hides the sort indicator,
    // any other shows it.
    void sectionClick(int column);
    // Shows the current row's file in the file manager.
    void ShowMusicFileInFinder();
    // Shows the members of the current list that match text in the column
    // of type (CFilterEdit::FilterType), case-insensitively.
    void Filter(int type, const QString& text);
    // Refreshes the cover grid.
    void UpdataPicView();
    // "Download Info" for the selected songs whose files exist.
    void DownloadInfo();
    // A download task's state (DownloadTaskState) for a song.
    void HandleDownloadNotify(int musicId, int state);

Q_SIGNALS:
    // Whether the filter left no row shown.
    void FilterListToNull(bool empty);
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
    // "Play" or a double click on a row.
    void PlayMusicRequested(CTreeWidgetItem* row);
    // "Add to iTunes" on the selection.
    void AddToiTunesRequested();

private:
    using Membership = QHash<int, int>;  // MusicId -> ItemId (0 for lists 1 to 3)

    void BuildWidgets();
    void BuildMenu();
    // Widens the columns whose texts have a fixed form (a date, a length, a
    // recording's file name) and their titles to what the table's font needs.
    void FitColumnsToFont();
    // Reads the songs, their shown covers, name origins and memberships.
    // False when something could not be read.
    bool LoadLibrary();
    // Memberships of the lists; with tidy, stale play times are dropped and
    // memberships of songs that are gone deleted (only after a whole read).
    bool BuildMemberships(bool tidy);
    Membership* ListMembers(int listId);
    const Membership* ListMembers(int listId) const;
    void EmitCount(int listId);
    // Deletes songs from the library (DeleteMusic's work for many songs,
    // inside one transaction).
    void DeleteMusicRows(const QList<CTreeWidgetItem*>& rows);
    // Asks the delete question; true to go on.
    bool AskDelete(const QString& text);
    // Whether deleting the song may delete its file too: only files in the
    // music folders (Output_Path, the current one and the earlier ones).
    bool IsOwnSongFile(const QString& path) const;
    // Takes rows out of the play queue when it came from listId (any list
    // when listId is 0); true when its current entry was among them.
    bool RemoveFromQueue(const std::vector<const CTreeWidgetItem*>& rows, int listId);
    void SetRowDateAdded(CTreeWidgetItem* row, const QString& dateAdded);
    void PlaylistActionTriggered(int listId);

    CConfig* m_config;
    CDownloadQueue* m_downloads = nullptr;
    CDownloadQueue* m_pendingDownloads = nullptr;  // owned (child)
    std::function<int()> m_recordState;
    CPlayQueue* m_queue = nullptr;

    // Every song's row, by MusicId (the song being recorded included).
    std::unordered_map<int, std::unique_ptr<CTreeWidgetItem>> m_rows;
    // ListId -> members, for every list the library has.
    std::unordered_map<int, Membership> m_lists;
    bool m_incomplete = false;
    int m_currentList = 0;
    // The filter in force on the list shown (empty text: none).
    int m_filterType = 0;
    QString m_filterText;
    CTreeWidgetItem* m_newRecord = nullptr;
    // The song being recorded while its sample is identified: the file it
    // is recorded into (its record names the sample meanwhile).
    int m_autoDownloadId = 0;
    QString m_autoDownloadFile;
    // Samples of finished songs, deleted when their download ends.
    QHash<int, QString> m_finishedSamples;

    CMusicInfoModel* m_model = nullptr;
    CMusicInfoTreeWidget* m_table = nullptr;
    QListView* m_coverView = nullptr;
    QStackedWidget* m_views = nullptr;
    CFilterEdit* m_filter = nullptr;
    QPushButton* m_coverButton = nullptr;
    QPushButton* m_tableButton = nullptr;

    QMenu* m_menu = nullptr;
    QAction* m_playAction = nullptr;
    QAction* m_editAction = nullptr;
    QAction* m_downloadAction = nullptr;
    QMenu* m_playlistMenu = nullptr;
    QAction* m_iTunesAction = nullptr;
    QAction* m_selectAllAction = nullptr;
    QAction* m_unselectAction = nullptr;
    QAction* m_finderAction = nullptr;
    QAction* m_deleteAction = nullptr;
    QList<QPair<int, QAction*>> m_playlistActions;
};
