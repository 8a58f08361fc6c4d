#pragma once

// Deleting the files the library names. A library may name files anywhere
// (a song or a picture of the user's, or a library file another program
// changed): only files inside the program's own folders are ever deleted.
// QtCore only; the user-interface thread and the download tasks.

#include <QString>
#include <QStringList>

// Removes the picture of a cover that was dropped, when it lies in the
// pictures folder and no cover of the library names it any more. True
// when it was removed.
bool RemoveUnusedCoverFile(const QString& path);

// Whether the song file at path lies in one of the music folders (the
// current one and the earlier ones, as the preferences list them), so that
// deleting the song from the library may delete its file.
bool InMusicFolders(const QString& path, const QStringList& folders);
