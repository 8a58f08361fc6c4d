#pragma once

#include <QFrame>
#include <QLineEdit>
#include <QStyledItemDelegate>
#include <QTreeWidget>
#include <QTreeWidgetItem>

#include <functional>

#include "recording/recordstate.h"

class CLibrary;
class QLabel;
class QToolButton;

// The header of a section of the library tree: icon, label and an
// open/closed arrow. A click anywhere on it opens or closes the section.
class CLibItem : public QFrame {
    Q_OBJECT
public:
    CLibItem(const QString& icon, const QString& text, QWidget* parent = nullptr);

    bool IsOpen() const { return m_open; }
    QString Text() const;
    // Opens or closes the section; emits ChangeStatus when it changes.
    void SetOpen(bool open);

Q_SIGNALS:
    void ChangeStatus(bool open);

protected:
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    QLabel* m_label = nullptr;
    QToolButton* m_arrow = nullptr;
    bool m_open = true;
};

// The row of one list: its ListId, its name in column 3 and its number of
// songs in column 4.
class CListTreeItem : public QTreeWidgetItem {
public:
    enum Column { Column_Icon = 1, Column_Name = 3, Column_Count = 4 };

    CListTreeItem(int listId, const QString& name, int count);

    int ListId() const { return m_listId; }
    QString Name() const { return text(Column_Name); }
    int Count() const { return m_count; }
    void SetCount(int count);

private:
    const int m_listId;
    int m_count = 0;
};

// The line edit of a list name being edited; reports losing the focus.
class CItemLineEdit : public QLineEdit {
    Q_OBJECT
public:
    using QLineEdit::QLineEdit;

Q_SIGNALS:
    void focusOut(QFocusEvent* event);

protected:
    void focusOutEvent(QFocusEvent* event) override;
};

// Edits list names (column 3 only) with a CItemLineEdit.
class CMItemDelegate : public QStyledItemDelegate {
    Q_OBJECT
public:
    using QStyledItemDelegate::QStyledItemDelegate;

    QWidget* createEditor(QWidget* parent, const QStyleOptionViewItem& option,
                          const QModelIndex& index) const override;

Q_SIGNALS:
    void EditorCreated(CItemLineEdit* editor) const;
};

// The tree of the "PlayList" section: it accepts songs dragged from the
// song table ("application/tunecap") onto a playlist row, and nothing else.
class CAcDopTreeWidget : public QTreeWidget {
    Q_OBJECT
public:
    explicit CAcDopTreeWidget(QWidget* parent = nullptr);

    // The playlist a drop at pos would go to, or null when it is refused.
    CListTreeItem* DropTarget(const QMimeData* mime, const QPoint& pos) const;

Q_SIGNALS:
    // Songs dropped: their MusicIds as the drag carried them, and the ListId.
    void DragItemToList(const QString& ids, int listId);

public Q_SLOTS:
    // The drag left or ended: the row under it is no longer marked.
    void dragRelease();
    // The name editor lost the focus: the edit is taken.
    void ItemLineEidtFocusOut(QFocusEvent* event);

protected:
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dragLeaveEvent(QDragLeaveEvent* event) override;
    void dropEvent(QDropEvent* event) override;
};

// The left-hand pane of the library page: "All Recordings" and "Newly
// Recordings" under "Library"; "Recently Played" and the user playlists
// under "PlayList"; each with its number of songs. It creates, renames and
// deletes playlists (through the library), accepts songs dropped on a
// playlist, and tells which list to show. The songs and the membership
// rules belong to CLibrary; CLibraryPage connects the two.
//
// Built once over the open library (not owned). GUI thread only.
class CTreeLib : public QWidget {
    Q_OBJECT
public:
    explicit CTreeLib(CLibrary* library, QWidget* parent = nullptr);

    // Where the recording state comes from: "Play" is disabled while
    // recording.
    void SetRecordStateSource(std::function<RecordState()> source);

    QTreeWidget* LibTree() const { return m_libTree; }
    CAcDopTreeWidget* PlayListTree() const { return m_playTree; }
    CLibItem* LibHeader() const { return m_libHeader; }
    CLibItem* PlayListHeader() const { return m_playHeader; }
    QMenu* ContextMenu() const { return m_menu; }

    // Every row, in the order the database gave the lists, new ones after.
    const QList<CListTreeItem*>& Rows() const { return m_rows; }
    // The row of a ListId, or null.
    CListTreeItem* Row(int listId) const;
    // ListId of the list on show; 0 when none.
    int CurrentListId() const { return m_currentList; }
    CListTreeItem* CurrentRow() const { return Row(m_currentList); }
    // Makes the list's row current (emits SelectChanged). False when there
    // is no such row.
    bool SelectList(int listId);
    // The list to show once the current one is deleted: the row after it,
    // or the one before it when it is the last; 0 when there is none.
    int NextListId() const;
    // Creates a playlist named "PlayList n" with the first free ListId, puts
    // it at the end of "PlayList", makes it current and opens its name for
    // editing. Its ListId; -1 when the playlists are exhausted or the list
    // could not be stored (a message was shown).
    int AddPlayList();
    // Deletes a playlist's row and its MusicList row (not its songs). 0; -1
    // for the fixed lists (ListId below 4) or no row.
    int DeleteItem(CListTreeItem* row);
    // Whether a list name is being edited.
    bool IsEditing() const { return m_editing; }
    // Wide enough for the fixed lists' names, icons and counts.
    QSize sizeHint() const override;

public Q_SLOTS:
    void LibContextMenuRequested(const QPoint& pos);
    void PlayListContextMenuRequested(const QPoint& pos);
    // Opens the current playlist's name for editing.
    void Rename();
    // Shows "All Recordings".
    void SelectRecording();
    void itemClick(QTreeWidgetItem* current, QTreeWidgetItem* previous);
    void itemDoubleClick(QTreeWidgetItem* item, int column);
    void LibChangeStatus(bool open);
    void PlayListChangeStatus(bool open);
    void MoveToBottom();
    void SetListItemNum(int listId, int count);
    void itemChange(QTreeWidgetItem* item, int column);

Q_SIGNALS:
    // The list to show.
    void SelectChanged(int listId);
    void NewListAdded();
    // A playlist got a new name (stored already).
    void listNameChanged(QTreeWidgetItem* item);
    // Delete the current playlist (menu "Delete" or Backspace).
    void deleteActionTrigger();
    // Songs dropped on a playlist (see CAcDopTreeWidget).
    void DragItemToList(const QString& ids, int listId);
    // The menu's "Play" and "Add to iTunes Library" for a whole list.
    void PlayListRequested(int listId);
    void AddListToiTunesRequested(int listId);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QTreeWidget* MakeTree(QTreeWidget* tree);
    void Load();
    CListTreeItem* AppendRow(int listId, const QString& name, int count);
    void ShowMenu(QTreeWidget* tree, const QPoint& pos);

    CLibrary* m_library;
    std::function<RecordState()> m_recordState;
    CLibItem* m_libHeader = nullptr;
    CLibItem* m_playHeader = nullptr;
    QTreeWidget* m_libTree = nullptr;
    CAcDopTreeWidget* m_playTree = nullptr;
    QList<CListTreeItem*> m_rows;
    int m_currentList = 0;
    bool m_editing = false;
    bool m_building = false;

    QMenu* m_menu = nullptr;
    QAction* m_playAction = nullptr;
    QAction* m_renameAction = nullptr;
    QAction* m_iTunesAction = nullptr;
    QAction* m_deleteAction = nullptr;
};
