#pragma once

// Editing a song of the library: its tags through the tag editor,
// its shown cover. GUI thread.

class CLibrary;
class CTreeWidgetItem;
class QWidget;

// Opens the tag editor for the row's song (modal, over parent). After OK the
// row shows the stored record; when the tags or the shown cover changed,
// they are written into the song's file, unless the player plays that song
// now. Returns whether the tags or the cover changed; false when the dialog
// was cancelled or the song's record is gone (then no dialog opens).
bool EditSongTags(CLibrary* library, CTreeWidgetItem* row, QWidget* parent);

// Makes cover number imageIndex the song's shown cover: stored in the
// library and the row, and written into the file's tags unless the player
// plays that song now. False when nothing changed (the cover was shown
// already, the index names no cover, or the record is gone).
bool ChooseShownCover(CLibrary* library, CTreeWidgetItem* row, int imageIndex);
