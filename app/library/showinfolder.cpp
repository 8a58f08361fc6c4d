#include "showinfolder.h"

#include <QDBusConnection>
#include <QDBusInterface>
#include <QDBusReply>
#include <QFileInfo>
#include <QProcess>
#include <QStringList>
#include <QUrl>

namespace {
// How long the file manager may take to answer.
constexpr int kBusTimeoutMs = 5000;
// Result of a fallback command that could not be started.
constexpr int kCommandNotStarted = -1;
}  // namespace

bool ShowFileInFolder(const QString& path) {
    QDBusConnection bus = QDBusConnection::sessionBus();
    QString busError = QStringLiteral("no session bus");
    if (bus.isConnected()) {
        QDBusInterface manager(QStringLiteral("org.freedesktop.FileManager1"),
                               QStringLiteral("/org/freedesktop/FileManager1"),
                               QStringLiteral("org.freedesktop.FileManager1"), bus);
        manager.setTimeout(kBusTimeoutMs);
        const QDBusMessage reply =
            manager.call(QStringLiteral("ShowItems"),
                         QStringList{QUrl::fromLocalFile(path).toString()}, QString());
        if (reply.type() == QDBusMessage::ReplyMessage) {
            qDebug("ShowFileInFolder %s shown by the file manager", qUtf8Printable(path));
            return true;
        }
        busError = reply.errorName();
    }

    QString command = qEnvironmentVariable(kOpenFolderCommandVariable);
    if (command.isEmpty()) command = QStringLiteral("xdg-open");
    const QString folder = QFileInfo(path).absolutePath();
    qDebug("ShowFileInFolder %s: %s, opening the folder with %s", qUtf8Printable(path),
           qUtf8Printable(busError), qUtf8Printable(command));
    if (QProcess::startDetached(command, {folder})) return true;
    qWarning("Show %s InFinder failed, err: %d", qUtf8Printable(path), kCommandNotStarted);
    return false;
}
