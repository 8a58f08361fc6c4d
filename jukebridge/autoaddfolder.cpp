#include "autoaddfolder.h"

#include <QDir>
#include <QFile>
#include <QSettings>
#include <QStandardPaths>
#include <QString>

namespace jukebridge {

namespace {
// Where the player keeps the folder inside the music folder.
constexpr char kUsualPlace[] = "/iTunes/iTunes Media/Automatically Add to iTunes";
// The program's folder inside the application data folder.
constexpr char kProgramData[] = "/Tavra/Tunecap";

std::string Encoded(const QString& path) {
    return QFile::encodeName(path).toStdString();
}
}  // namespace

std::string SettingsFilePath() {
    const QString data = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
    if (data.isEmpty()) return {};
    return Encoded(data + QLatin1String(kProgramData) + QLatin1String("/jukebridge.ini"));
}

std::string ResolveAutoAddFolder() {
    const QByteArray fromEnvironment = qgetenv(kFolderVariable);
    if (!fromEnvironment.isEmpty()) return fromEnvironment.toStdString();

    const std::string settingsFile = SettingsFilePath();
    if (!settingsFile.empty()) {
        const QSettings settings(QFile::decodeName(settingsFile.c_str()), QSettings::IniFormat);
        QString folder = settings.value(QLatin1String(kFolderKey)).toString().trimmed();
        if (folder == QLatin1String("~") || folder.startsWith(QLatin1String("~/")))
            folder.replace(0, 1, QDir::homePath());
        if (!folder.isEmpty()) return Encoded(folder);
    }

    const QString music = QStandardPaths::writableLocation(QStandardPaths::MusicLocation);
    if (music.isEmpty()) return {};
    return Encoded(music + QLatin1String(kUsualPlace));
}

}  // namespace jukebridge
