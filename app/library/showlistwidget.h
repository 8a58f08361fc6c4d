#pragma once

#include <QList>
#include <QTreeView>
#include <QWidget>

#include <functional>
#include <vector>

#include "recording/recordstate.h"
#include "treewidgetitem.h"

class CConfig;
class CFilterEdit;
class CLibrary;
class CMusicInfoModel;
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
// field and the context menu. It shows the library (CLibrary) and follows
// its signals; every change of songs or memberships goes through the
// library. The questions before deleting are asked here.
//
// Lists: 1 "All Recordings", 2 "Newly Recordings", 3 "Recently Played" and
// the user playlists (ListId 4 and up).
//
// Built once by the main window over the open library. GUI thread only.
class CShowListWidget : public QWidget {
    Q_OBJECT
public:
    // Neither owned; both outlive the widget. config: Delete_Type.
    CShowListWidget(CLibrary* library, CConfig* config, QWidget* parent = nullptr);
    ~CShowListWidget() override;

    CLibrary* Library() const { return m_library; }
    // Where the recording state comes from: "Play" is refused while a
    // session runs.
    void SetRecordStateSource(std::function<RecordState()> source);

    CMusicInfoTreeWidget* Table() const { return m_table; }
    QListView* CoverView() const { return m_coverView; }
    CMusicInfoModel* Model() const { return m_model; }
    CFilterEdit* FilterEdit() const { return m_filter; }
    QMenu* ContextMenu() const { return m_menu; }
    QMenu* PlaylistMenu() const { return m_playlistMenu; }
    // Whether the cover grid is shown instead of the table.
    bool IsCoverViewShown() const;

    // ---- Lists ----------------------------------------------------------
    // ListId on show (1 after construction).
    int CurrentListId() const { return m_currentList; }
    // Shows the members of a list; nothing when it is on show already.
    void ShowList(int listId);
    // Empties a playlist that is being deleted, asking first unless
    // Delete_Type is set. False when the user cancelled.
    bool RemoveAllFromList(int listId);
    // The "Add to playlist" entries, one per user playlist.
    void AddPlaylistAction(int listId, const QString& name);
    void RenamePlaylistAction(int listId, const QString& name);
    void DeleteAction(int listId);

    // ---- Rows shown -----------------------------------------------------
    // Rows shown, in order.
    QList<CTreeWidgetItem*> VisibleRows() const;
    // Selected rows in shown order.
    QList<CTreeWidgetItem*> SelectedRows() const;
    // The selected rows, or every shown row when none is selected.
    QList<CTreeWidgetItem*> SelectedOrVisibleRows() const;
    CTreeWidgetItem* CurrentRow() const;
    // Makes a shown row current and selected; false when it is not shown.
    bool SetCurrentRow(CTreeWidgetItem* row);

    // The Delete command: asks unless Delete_Type is set (saying which
    // files are kept), then in lists 1 and 2 deletes the selected songs
    // from the library, in the others takes them out of the list.
    void DeleteSelection();

public Q_SLOTS:
    void customContextMenuRequested(const QPoint& pos);
    // The tag editor for the row (the current row without one); after a
    // change the filter is applied again and the library told.
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

Q_SIGNALS:
    // Whether the filter left no row shown.
    void FilterListToNull(bool empty);
    // "Play" or a double click on a row.
    void PlayMusicRequested(CTreeWidgetItem* row);
    // "Add to iTunes" on the selection.
    void AddToiTunesRequested();

private:
    void BuildWidgets();
    void BuildMenu();
    // Widens the columns whose texts have a fixed form (a date, a length, a
    // recording's file name) and their titles to what the table's font needs.
    void FitColumnsToFont();
    // Asks the delete question; true to go on.
    bool AskDelete(const QString& text);
    void PlaylistActionTriggered(int listId);
    // The library's changes, shown.
    void ShowRowChanged(CTreeWidgetItem* row);
    void ShowMembersAdded(int listId, const QList<CTreeWidgetItem*>& rows);
    void ShowMembersRemoved(int listId, const std::vector<const CTreeWidgetItem*>& rows);
    void ShowNewRecord(CTreeWidgetItem* row);
    void ShowLibraryFull();

    CLibrary* m_library;
    CConfig* m_config;
    std::function<RecordState()> m_recordState;
    int m_currentList = 0;
    // The filter in force on the list shown (empty text: none).
    int m_filterType = 0;
    QString m_filterText;

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
