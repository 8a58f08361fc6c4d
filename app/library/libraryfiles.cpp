#include "libraryfiles.h"

#include <QFile>

#include <algorithm>

#include "localfile.h"
#include "musicdb.h"
#include "specialdirs.h"

bool RemoveUnusedCoverFile(const QString& path) {
    if (path.isEmpty() || DB_ImageExists(path)) return false;
    if (!LiesIn(path, SpecialDirPath(SpecialDir_Pictures))) {
        qDebug("RemoveUnusedCoverFile kept, not in the pictures folder: %s", qUtf8Printable(path));
        return false;
    }
    return QFile::remove(path);
}

bool InMusicFolders(const QString& path, const QStringList& folders) {
    return std::any_of(folders.begin(), folders.end(),
                       [&path](const QString& folder) { return LiesIn(path, folder); });
}
