#include "musicfilename.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

QString SafeMusicFileName(const QString& name) {
    QString safe = name;
    if (safe.startsWith(QLatin1Char('.'))) safe[0] = QLatin1Char('_');
    for (QChar& c : safe)
        if (QStringView(u"*/\\:?\"<>|").contains(c)) c = QLatin1Char('_');
    return safe;
}

QString SaveLoadMuiscName(const QString& name, const QString& path) {
    qDebug("SaveLoadMuiscName MusicName %s Path %s", qUtf8Printable(name), qUtf8Printable(path));
    const QString safe = SafeMusicFileName(name.trimmed());
    const QFileInfo old(path);
    if (safe.isEmpty() || old.completeBaseName() == safe) {
        qDebug("SaveLoadMuiscName don't need to changed");
        return path;
    }
    const QDir folder = old.dir();
    const QString suffix = old.suffix().isEmpty() ? QString() : QLatin1Char('.') + old.suffix();
    auto taken = [&folder](const QString& base) {
        for (const char* extension : {".m4a", ".mp3", ".wav"})
            if (folder.exists(base + QLatin1String(extension))) return true;
        return false;
    };
    QString base = safe;
    for (int n = 1; taken(base) || folder.exists(base + suffix); ++n)
        base = safe + QLatin1Char(' ') + QString::number(n);
    const QString renamed = folder.filePath(base + suffix);
    qDebug("SaveLoadMuiscName MusicName: %s", qUtf8Printable(renamed));
    if (!QFile::exists(path)) {
        qDebug("%s not exists", qUtf8Printable(path));
        return path;
    }
    if (!QFile::rename(path, renamed) || !QFile::exists(renamed)) {
        qWarning("SaveLoadMuiscName rename %s failed", qUtf8Printable(path));
        return path;
    }
    return renamed;
}
