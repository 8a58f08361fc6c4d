#pragma once

// Storing covers and texts in a song's library record: an answer of the
// music information service, and the covers the user chose in the tag
// editor. QtCore only; GUI thread (the library's key allocation).

#include <QList>
#include <QString>

#include "tunecap.h"

struct SongRecord;

// Adds the answer's images to the song's covers, the last image first, and
// stores each new cover (a CoverId from CreatePrimaryKey and a CoverInfo
// row). A song keeps at most five covers: with five, the first cover that
// is not the shown one makes room (its row deleted, its file too when it
// lies in pictures and no other cover names it) and the shown index follows
// the covers that move up. Nothing happens when the answer has no image or
// its first image is a cover of the song already. record: loaded with its
// covers (DB_GetImageInfo); its cover block and ImageId are updated, the
// MusicInfo row is not written. Returns the number of covers stored; 1 when
// the first image was a cover already.
int SaveCovers(SongRecord* record, const RecordMusicInfo& answer, const QString& pictures);

// A cover as the tag editor leaves it: an image path, and its CoverId when
// it is a cover of the song already (0 for an image the user added).
struct EditedCover {
    QString path;
    int coverId = 0;
};

// Makes the song's covers those chosen, in their order (at most five):
// covers no longer chosen lose their rows, and their files when they lie
// in the pictures folder and no other cover names them; added images are
// copied into the pictures folder and stored as new covers (an image that
// cannot be copied or stored is left out). Cover number selected becomes
// the shown one. record: loaded with its covers; its cover block and
// ImageId are updated, the MusicInfo row is not written. The number of
// covers the song has now.
int StoreEditedCovers(SongRecord* record, const QList<EditedCover>& chosen, int selected);

// Copies every text of the answer that is not empty over the record's:
// song name, artist, album identifier, album, release date, genre (each
// entry without its level mark "1.", "2." or "3.", no blank entries and no
// ";" after the last) and track list. The cover block is left alone.
// Returns whether any text changed.
bool ApplyAnswerTexts(SongRecord* record, const RecordMusicInfo& answer);
