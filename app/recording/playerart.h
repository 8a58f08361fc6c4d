#pragma once

// The picture a player offers for its track. QtCore, QtGui and QtNetwork.

#include <QObject>
#include <QString>

class QNetworkAccessManager;
class QUrl;

// Fetches the picture a player names for its track (mpris:artUrl) into the
// pictures folder, so that the library keeps it after the player's own copy
// (often a temporary file) is gone: a file:// address is copied, an http or
// https address downloaded. Only images of at most kMaxBytes that decode are
// kept; anything else is dropped with a log line. A picture is stored under
// a name made from its content, so the same album art fetched for several
// songs is one file.
//
// GUI thread. Downloads run in the event loop and are abandoned with the
// object.
class CPlayerArtFetcher : public QObject {
    Q_OBJECT
public:
    static constexpr qint64 kMaxBytes = 8 * 1024 * 1024;
    static constexpr int kTimeoutMs = 20000;

    // folder: where pictures are kept (created when missing).
    explicit CPlayerArtFetcher(const QString& folder, QObject* parent = nullptr);

    // Starts fetching the picture of a song. False (nothing follows) when
    // the address is empty or of another kind. A copied file is reported at
    // once, before this returns.
    bool Fetch(int musicId, const QUrl& url);

Q_SIGNALS:
    // The picture of the song is kept at imagePath, which the receiver owns
    // from now on.
    void Fetched(int musicId, const QString& imagePath);

private:
    // Checks that the bytes are an image and writes them into the folder.
    // The path, or empty (logged) when they are not kept.
    QString Keep(const QByteArray& bytes, const QString& from) const;

    const QString m_folder;
    QNetworkAccessManager* m_network = nullptr;  // child, made on first use
};
