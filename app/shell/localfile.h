#pragma once

// Files that the library, the user or another program names: songs and
// covers. Only regular files are read. A FIFO named as a cover or a song
// would hold the window in open() forever and a device may never end, so
// both count as missing files. QtCore and QtGui only.

#include <QByteArray>
#include <QImage>
#include <QString>

// Whether path names a regular file now (symbolic links followed).
bool IsRegularFile(const QString& path);

// Whether path names something inside folder, at any depth, judged on the
// real folders: symbolic links and ".." are resolved on both sides, so a
// path that only looks as if it were inside does not count. A link itself
// counts where it lies. False when either folder does not exist.
bool LiesIn(const QString& path, const QString& folder);

// The whole regular file at path into *contents: false for anything else,
// for a file larger than maxBytes and on a read error (never a part taken
// for the whole). Opening never blocks. Any thread.
bool ReadRegularFile(const QString& path, qint64 maxBytes, QByteArray* contents);

// The picture at path, a regular file or a resource (":/..."), scaled to
// fit a square of side pixels when side > 0 (its shape kept). Null when
// there is none, when it is no picture or larger than 64 MB. Any thread.
QImage ReadPicture(const QString& path, int side = 0);
