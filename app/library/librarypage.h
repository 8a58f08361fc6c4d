#pragma once

#include <QWidget>

#include <functional>

#include "recording/recordstate.h"

class CConfig;
class CLibrary;
class CShowListWidget;
class CTreeLib;
class QSplitter;

// Page 0 of the main window: the library tree beside the recordings list,
// and the wiring between them (the chosen list is shown, counts follow the
// songs, playlists are created, renamed and deleted in both, songs dropped
// on a playlist join it). The main window's library slots forward here.
//
// Built once after the library database is open. GUI thread only.
class CLibraryPage : public QWidget {
    Q_OBJECT
public:
    // The library the page shows, and config (Delete_Type); neither owned.
    CLibraryPage(CLibrary* library, CConfig* config, QWidget* parent = nullptr);

    CTreeLib* TreeLib() const { return m_tree; }
    CShowListWidget* ShowList() const { return m_list; }
    // Where both panes read the recording state.
    void SetRecordStateSource(const std::function<RecordState()>& source);

    // A new playlist in the tree and in the list's "Add to playlist" menu.
    // Its ListId, or -1.
    int AddPlayList();
    // Deletes the current playlist after emptying it (asks first unless
    // Delete_Type is set) and shows the list next to it. False when nothing
    // was deleted (a fixed list, or the user cancelled).
    bool DeleteMusicList();
    // Adds the songs of a drag ("12 7 30 ") to a list. Number of songs that
    // were found.
    int DragItemToList(const QString& ids, int listId);

private:
    CLibrary* m_library;
    CTreeLib* m_tree = nullptr;
    CShowListWidget* m_list = nullptr;
    QSplitter* m_splitter = nullptr;
};
