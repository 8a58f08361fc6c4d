#pragma once

// Desktop media controls: the player on the session bus. QtCore and QtDBus
// only.

#include <QDBusAbstractAdaptor>
#include <QDBusConnection>
#include <QDBusObjectPath>
#include <QObject>
#include <QStringList>
#include <QVariantMap>

class CMprisService;
class CPlayerController;
class QTimer;

// org.mpris.MediaPlayer2: the program itself.
class CMprisRootAdaptor : public QDBusAbstractAdaptor {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.mpris.MediaPlayer2")
    Q_PROPERTY(bool CanQuit READ CanQuit)
    Q_PROPERTY(bool CanRaise READ CanRaise)
    Q_PROPERTY(bool HasTrackList READ HasTrackList)
    Q_PROPERTY(QString Identity READ Identity)
    Q_PROPERTY(QString DesktopEntry READ DesktopEntry)
    Q_PROPERTY(QStringList SupportedUriSchemes READ SupportedUriSchemes)
    Q_PROPERTY(QStringList SupportedMimeTypes READ SupportedMimeTypes)
public:
    explicit CMprisRootAdaptor(CMprisService* service);

    bool CanQuit() const { return true; }
    bool CanRaise() const { return true; }
    bool HasTrackList() const { return false; }
    QString Identity() const;
    QString DesktopEntry() const;
    QStringList SupportedUriSchemes() const { return {}; }
    QStringList SupportedMimeTypes() const { return {}; }

public Q_SLOTS:
    void Raise();
    void Quit();

private:
    CMprisService* m_service;
};

// org.mpris.MediaPlayer2.Player: the player's state and controls. Method
// calls are answered at once and carried out afterwards on the GUI thread,
// so that a question they raise (Play while recording) never holds the
// caller's reply.
class CMprisPlayerAdaptor : public QDBusAbstractAdaptor {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.mpris.MediaPlayer2.Player")
    Q_PROPERTY(QString PlaybackStatus READ PlaybackStatus)
    Q_PROPERTY(double Rate READ Rate WRITE SetRate)
    Q_PROPERTY(QVariantMap Metadata READ Metadata)
    Q_PROPERTY(double Volume READ Volume WRITE SetVolume)
    Q_PROPERTY(qlonglong Position READ Position)
    Q_PROPERTY(double MinimumRate READ Rate)
    Q_PROPERTY(double MaximumRate READ Rate)
    Q_PROPERTY(bool CanGoNext READ CanGoNext)
    Q_PROPERTY(bool CanGoPrevious READ CanGoPrevious)
    Q_PROPERTY(bool CanPlay READ CanPlay)
    Q_PROPERTY(bool CanPause READ CanPause)
    Q_PROPERTY(bool CanSeek READ CanSeek)
    Q_PROPERTY(bool CanControl READ CanControl)
public:
    CMprisPlayerAdaptor(CMprisService* service, CPlayerController* player);

    QString PlaybackStatus() const;
    double Rate() const { return 1.0; }
    void SetRate(double) {}
    QVariantMap Metadata() const;
    double Volume() const;
    void SetVolume(double volume);
    // Microseconds into the loaded song.
    qlonglong Position() const;
    bool CanGoNext() const;
    bool CanGoPrevious() const;
    bool CanPlay() const;
    bool CanPause() const;
    bool CanSeek() const;
    bool CanControl() const { return true; }

public Q_SLOTS:
    void Next();
    void Previous();
    void Pause();
    void PlayPause();
    void Stop();
    void Play();
    // offset in microseconds; past the end moves to the next song.
    void Seek(qlonglong offset);
    // position in microseconds into the song named by trackId.
    void SetPosition(const QDBusObjectPath& trackId, qlonglong position);
    // Opening other files is not offered (no URI schemes): nothing happens.
    void OpenUri(const QString& uri);

Q_SIGNALS:
    void Seeked(qlonglong position);

private:
    CMprisService* m_service;
    CPlayerController* m_player;
};

// Offers the player to the desktop's media controls (MPRIS2) as
// org.mpris.MediaPlayer2.tunecap, object /org/mpris/MediaPlayer2, and sends
// PropertiesChanged when the player's state, song, controls or volume
// change (changes within one pass of the event loop go out together, and
// only what differs from what was last sent).
//
// Without a session bus, Register logs one line and the program goes on
// without desktop media controls. GUI thread only.
class CMprisService : public QObject {
    Q_OBJECT
public:
    static constexpr char kServiceName[] = "org.mpris.MediaPlayer2.tunecap";
    static constexpr char kObjectPath[] = "/org/mpris/MediaPlayer2";

    // player: not owned; outlives the service.
    explicit CMprisService(CPlayerController* player, QObject* parent = nullptr);
    ~CMprisService() override;

    // Exports the object and takes the name on the bus (the session bus by
    // default). False, with one log line, when there is no bus or the name
    // is taken.
    bool Register(const QDBusConnection& bus = QDBusConnection::sessionBus());
    bool IsRegistered() const { return m_registered; }

    // The track id of a song in Metadata.
    static QDBusObjectPath TrackId(int musicId);

Q_SIGNALS:
    // Raise: show the window.
    void RaiseRequested();
    // Quit: close the program.
    void QuitRequested();
    // A client set the volume (0..1).
    void VolumeRequested(double volume);

private:
    void ScheduleUpdate();
    void SendChanges();
    QVariantMap PlayerProperties() const;

    CPlayerController* m_player;
    CMprisPlayerAdaptor* m_playerAdaptor = nullptr;
    QDBusConnection m_bus;
    bool m_registered = false;
    QTimer* m_update = nullptr;
    // The player's properties as last sent.
    QVariantMap m_sent;
};
