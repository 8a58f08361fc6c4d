#pragma once

// Following the media players on the session bus while computer audio is
// recorded. QtCore and QtDBus only.

#include <QDBusConnection>
#include <QHash>
#include <QMetaType>
#include <QObject>
#include <QSet>
#include <QString>
#include <QVariantMap>

#include <deque>
#include <functional>
#include <mutex>

class QDBusMessage;

// What a player said about the track it plays (its MPRIS metadata).
struct CPlayerTrack {
    QString player;   // the name the player gives itself, else its bus name
    QString trackId;  // mpris:trackid; empty when the player gives none
    QString title;    // xesam:title
    QString artist;   // the first of xesam:artist
    QString album;    // xesam:album
    QString artUrl;   // mpris:artUrl as given

    bool IsEmpty() const { return trackId.isEmpty() && title.isEmpty() && artist.isEmpty(); }
    // Whether `next` is another track than this one: another track id, or
    // (without ids, or when a player keeps one id for a stream) another
    // title or artist. A title filled in later is the same track.
    bool IsOtherTrack(const CPlayerTrack& next) const;
};
Q_DECLARE_METATYPE(CPlayerTrack)

// Which players to follow.
struct CFollowTarget {
    // Empty: every player. Else the application chosen for recording, as
    // the setting names it (its program file's name or its name).
    QString choice;
    // What the sound server told of that application when the recording
    // started, when it played then.
    QString name;
    QString binary;
    qint64 processId = 0;
};
Q_DECLARE_METATYPE(CFollowTarget)

// Follows the MPRIS players (org.mpris.MediaPlayer2.*) on the session bus:
// players appearing and vanishing, and their PlaybackStatus and Metadata.
// With one application chosen only its player counts: the player whose bus
// connection belongs to the application's process, or whose program file,
// name or bus name is the application's. The program's own player is never
// followed.
//
// When a followed player that plays announces another track, TrackChanged
// reports when the announcement arrived; pausing and resuming the same
// track, or seeking in it, announce nothing. TrackAt() tells which track was
// heard at a given time, so that each song can be named after the track it
// begins with.
//
// Threads: lives on a thread of its own (so that a busy window never delays
// the announcements' times); Start and Stop are queued to it. TrackAt() and
// BusAvailable() may be called from any thread.
class CMprisFollower : public QObject {
    Q_OBJECT
public:
    // How far either side of an announcement the track may really change.
    static constexpr int kWindowMs = 1500;
    // Replies later than this count as missing.
    static constexpr int kCallTimeoutMs = 2000;

    explicit CMprisFollower(QObject* parent = nullptr);
    ~CMprisFollower() override;

    // Whether the session bus can be reached.
    static bool BusAvailable();
    // CLOCK_MONOTONIC now, in microseconds (the engine's clock).
    static qint64 NowUs();

    // The track of the followed players that was heard at monotonicUs (the
    // newest announcement up to a window and a second after it, so that a
    // song cut early still gets its track); empty when none played. What
    // the last Start learned stays until the next Start.
    CPlayerTrack TrackAt(qint64 monotonicUs) const;

public Q_SLOTS:
    // Starts following the players of target, forgetting what an earlier
    // run learned. Nothing happens without a session bus.
    void Start(const CFollowTarget& target);
    // Stops listening; TrackAt() keeps answering.
    void Stop();

Q_SIGNALS:
    // A followed player that plays announced a new track; atUs: when the
    // announcement arrived (CLOCK_MONOTONIC microseconds). On the
    // follower's thread.
    void TrackChanged(qint64 atUs, const CPlayerTrack& track);

private Q_SLOTS:
    void NameOwnerChanged(const QString& name, const QString& oldOwner, const QString& newOwner);
    void PropertiesChanged(const QString& interface, const QVariantMap& changed,
                           const QStringList& invalidated, const QDBusMessage& message);
    void Seeked(qlonglong position, const QDBusMessage& message);

private:
    struct Player {
        QString owner;  // unique connection name
        int serial = 0;  // tells replies for an earlier owner of the name apart
        qint64 processId = 0;
        QString binary;
        QString identity;
        QString desktopEntry;
        int waiting = 0;        // replies still to come before it is judged
        bool judged = false;
        bool followed = false;
        QString status;         // PlaybackStatus
        bool hasTrack = false;
        CPlayerTrack track;
        qint64 sinceUs = 0;     // when it began playing or its track
    };
    // One time of the history: from atUs on, track was heard (empty: none).
    struct Heard {
        qint64 atUs;
        bool announced;  // a track change (its time is only near the audio's)
        QString busName;
        CPlayerTrack track;
    };

    void Discover(const QString& busName, const QString& owner, qint64 atUs);
    void Judge(const QString& busName, qint64 atUs);
    bool Matches(const QString& busName, const Player& player) const;
    // Takes in changed player properties that arrived at atUs.
    void Apply(const QString& busName, const QVariantMap& changed, qint64 atUs);
    // Asks a player for its properties of interface, then Apply.
    void Refresh(const QString& busName, qint64 atUs);
    // Apply of a GetAll reply, when it is a dictionary of type a{sv}.
    void ApplyReply(const QString& busName, const QDBusMessage& reply, qint64 atUs);
    // Logs, once per player and run, that what it sent had the wrong type.
    void Malformed(const QString& busName, const char* what);
    // Notes in the history which track is heard now.
    void NoteHeard(qint64 atUs, bool announced);
    QString BusNameOf(const QString& owner) const;
    void Ask(const QString& service, const QString& path, const QString& interface,
             const QString& method, const QVariantList& arguments,
             std::function<void(const QDBusMessage&)> done);

    // Follower thread only.
    QDBusConnection m_bus;
    bool m_running = false;
    // Replies of an earlier run are dropped.
    int m_run = 0;
    int m_serial = 0;
    CFollowTarget m_target;
    QHash<QString, Player> m_players;  // by bus name
    QSet<QString> m_malformed;         // players whose wrong types were logged

    // Guards m_heard, which TrackAt() reads from other threads.
    mutable std::mutex m_mutex;
    std::deque<Heard> m_heard;
};
