#include "poweroff.h"

#include <QByteArray>
#include <QDBusConnection>
#include <QDBusError>
#include <QDBusMessage>
#include <QProcess>
#include <QString>
#include <QStringList>

namespace {
constexpr int kReplyTimeoutMs = 25000;
constexpr int kCommandTimeoutMs = 30000;

// Runs program with arguments and waits for it; true when it ended normally
// with status 0.
bool Run(const QString& program, const QStringList& arguments) {
    QProcess process;
    process.setProcessChannelMode(QProcess::ForwardedChannels);
    process.start(program, arguments);
    if (!process.waitForStarted(kCommandTimeoutMs)) {
        qWarning("EnableShutdown cannot run: %s", qUtf8Printable(program));
        return false;
    }
    if (!process.waitForFinished(kCommandTimeoutMs)) {
        qWarning("EnableShutdown no answer from: %s", qUtf8Printable(program));
        process.kill();
        process.waitForFinished(1000);
        return false;
    }
    const bool ok = process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
    qDebug("EnableShutdown %s exit code: %d", qUtf8Printable(program), process.exitCode());
    return ok;
}

// logind's Manager.PowerOff(interactive = false).
bool AskLogind() {
    QDBusConnection bus = QDBusConnection::systemBus();
    if (!bus.isConnected()) {
        qWarning("EnableShutdown no system bus: %s", qUtf8Printable(bus.lastError().message()));
        return false;
    }
    QDBusMessage call = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.login1"), QStringLiteral("/org/freedesktop/login1"),
        QStringLiteral("org.freedesktop.login1.Manager"), QStringLiteral("PowerOff"));
    call << false;
    const QDBusMessage reply = bus.call(call, QDBus::Block, kReplyTimeoutMs);
    if (reply.type() != QDBusMessage::ReplyMessage) {
        qWarning("EnableShutdown logind refused: %s", qUtf8Printable(reply.errorMessage()));
        return false;
    }
    return true;
}
}  // namespace

bool EnableShutdown() {
    const QByteArray replacement = qgetenv(kPowerOffCommandVariable);
    if (!replacement.isEmpty()) {
        qDebug("EnableShutdown replaced by: %s", replacement.constData());
        return Run(QStringLiteral("/bin/sh"),
                   {QStringLiteral("-c"), QString::fromLocal8Bit(replacement)});
    }
    if (AskLogind()) return true;
    return Run(QStringLiteral("systemctl"), {QStringLiteral("poweroff")});
}
