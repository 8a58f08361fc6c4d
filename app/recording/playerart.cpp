#include "playerart.h"

#include <QBuffer>
#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImageReader>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QSaveFile>
#include <QUrl>

#include "localfile.h"

CPlayerArtFetcher::CPlayerArtFetcher(const QString& folder, QObject* parent)
    : QObject(parent), m_folder(folder) {}

bool CPlayerArtFetcher::Fetch(int musicId, const QUrl& url) {
    const QString scheme = url.scheme().toLower();
    if (scheme == QLatin1String("file")) {
        // Only a plain file: reading a pipe or a device would never end.
        const QString path = url.toLocalFile();
        QByteArray bytes;
        if (!ReadRegularFile(path, kMaxBytes, &bytes)) {
            qDebug("CPlayerArtFetcher::Fetch not a picture file: %s",
                   qUtf8Printable(url.toDisplayString()));
            return false;
        }
        const QString kept = Keep(bytes, path);
        if (!kept.isEmpty()) Q_EMIT Fetched(musicId, kept);
        return !kept.isEmpty();
    }
    if (scheme != QLatin1String("http") && scheme != QLatin1String("https")) return false;

    if (!m_network) m_network = new QNetworkAccessManager(this);
    QNetworkRequest request(url);
    request.setTransferTimeout(kTimeoutMs);
    QNetworkReply* reply = m_network->get(request);
    // A picture larger than the limit is abandoned as soon as that shows.
    connect(reply, &QNetworkReply::downloadProgress, reply, [reply](qint64 received, qint64 total) {
        if (received > kMaxBytes || total > kMaxBytes) reply->abort();
    });
    connect(reply, &QNetworkReply::finished, this, [this, reply, musicId] {
        reply->deleteLater();
        const QString from = reply->url().toDisplayString();
        if (reply->error() != QNetworkReply::NoError) {
            qDebug("CPlayerArtFetcher::Fetch failed: %s error: %s", qUtf8Printable(from),
                   qUtf8Printable(reply->errorString()));
            return;
        }
        const QString kept = Keep(reply->read(kMaxBytes + 1), from);
        if (!kept.isEmpty()) Q_EMIT Fetched(musicId, kept);
    });
    return true;
}

QString CPlayerArtFetcher::Keep(const QByteArray& bytes, const QString& from) const {
    QBuffer buffer;
    buffer.setData(bytes);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer);
    const QByteArray format = reader.format();
    if (bytes.size() > kMaxBytes || format.isEmpty() || reader.read().isNull()) {
        qDebug("CPlayerArtFetcher::Keep not an image of at most %lld bytes: %s",
               static_cast<long long>(kMaxBytes), qUtf8Printable(from));
        return QString();
    }
    if (!QDir().mkpath(m_folder)) {
        qWarning("CPlayerArtFetcher::Keep cannot create folder: %s", qUtf8Printable(m_folder));
        return QString();
    }
    const QByteArray hash = QCryptographicHash::hash(bytes, QCryptographicHash::Sha1).toHex();
    const QString path = QDir(m_folder).filePath(QStringLiteral("player_%1.%2")
                                                     .arg(QString::fromLatin1(hash.left(20)),
                                                          QString::fromLatin1(format)));
    // The same picture kept before is that file.
    if (QFileInfo(path).size() == bytes.size()) return path;
    QSaveFile out(path);
    if (!out.open(QIODevice::WriteOnly) || out.write(bytes) != bytes.size() || !out.commit()) {
        qWarning("CPlayerArtFetcher::Keep cannot write: %s", qUtf8Printable(path));
        return QString();
    }
    return path;
}
