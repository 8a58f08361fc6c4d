#pragma once

#include <QByteArray>
#include <QHostAddress>
#include <QList>
#include <QTcpServer>
#include <QTcpSocket>

namespace uitest {

// A tiny HTTP server on 127.0.0.1 for the tests of the program's network
// features (the update check, the proxy): it keeps the head of every
// request (request line and header lines) and answers each with the same
// reply. Runs on the thread that created it, in its event loop: create it
// once the application object exists.
class LoopbackHttp : public QObject {
public:
    LoopbackHttp() {
        QObject::connect(&m_server, &QTcpServer::newConnection, this, [this] { Accept(); });
        m_server.listen(QHostAddress::LocalHost, 0);
    }

    bool ok() const { return m_server.isListening(); }
    quint16 port() const { return m_server.serverPort(); }
    QString Url(const QString& path) const {
        return QStringLiteral("http://127.0.0.1:%1%2").arg(port()).arg(path);
    }
    // The answer to every request from now on.
    void SetReply(int status, const QByteArray& body,
                  const QByteArray& type = QByteArrayLiteral("application/json")) {
        m_status = status;
        m_body = body;
        m_type = type;
    }
    // Heads of the requests received so far, oldest first.
    const QList<QByteArray>& Requests() const { return m_requests; }

private:
    void Accept() {
        while (QTcpSocket* socket = m_server.nextPendingConnection()) {
            socket->setParent(this);
            QObject::connect(socket, &QTcpSocket::readyRead, this,
                             [this, socket] { Read(socket); });
            QObject::connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
        }
    }
    void Read(QTcpSocket* socket) {
        QByteArray& pending = m_pending[socket];
        pending += socket->readAll();
        const int end = pending.indexOf("\r\n\r\n");
        if (end < 0) return;
        m_requests << pending.left(end);
        m_pending.remove(socket);
        const QByteArray reason =
            m_status == 200 ? QByteArrayLiteral("OK") : QByteArrayLiteral("Error");
        socket->write("HTTP/1.1 " + QByteArray::number(m_status) + " " + reason +
                      "\r\nContent-Type: " + m_type + "\r\nContent-Length: " +
                      QByteArray::number(m_body.size()) + "\r\nConnection: close\r\n\r\n" + m_body);
        socket->disconnectFromHost();
    }

    QTcpServer m_server;
    QHash<QTcpSocket*, QByteArray> m_pending;
    QList<QByteArray> m_requests;
    int m_status = 200;
    QByteArray m_body;
    QByteArray m_type = QByteArrayLiteral("application/json");
};

}  // namespace uitest
