#include "mprisfollower.h"

#include <QDBusArgument>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusPendingCallWatcher>
#include <QDBusVariant>
#include <QFileInfo>

#include <ctime>
#include <unistd.h>

#include "playback/mprisservice.h"

namespace {

const QString kPrefix = QStringLiteral("org.mpris.MediaPlayer2.");
const QString kPath = QStringLiteral("/org/mpris/MediaPlayer2");
const QString kRoot = QStringLiteral("org.mpris.MediaPlayer2");
const QString kPlayer = QStringLiteral("org.mpris.MediaPlayer2.Player");
const QString kProperties = QStringLiteral("org.freedesktop.DBus.Properties");
const QString kDBus = QStringLiteral("org.freedesktop.DBus");
const QString kDBusPath = QStringLiteral("/org/freedesktop/DBus");
const QString kNoTrack = QStringLiteral("/org/mpris/MediaPlayer2/TrackList/NoTrack");
const QString kPlaying = QStringLiteral("Playing");
// How many times of the history are kept (a few hours of songs).
constexpr size_t kHeardKept = 256;
// A player's status is near the audio: a little margin for its buffer.
constexpr qint64 kStatusMarginUs = 300000;

// Whether value is a D-Bus container of exactly this signature. Qt reads a
// container as whatever type it is asked for, and reading one of another
// type crashes inside libdbus: any program on the bus can send one.
bool IsContainer(const QVariant& value, const char* signature) {
    return value.userType() == qMetaTypeId<QDBusArgument>() &&
           value.value<QDBusArgument>().currentSignature() == QLatin1String(signature);
}

// The dictionary of a value of D-Bus type a{sv} into *map; false (and *map
// empty) for a value of any other type.
bool PropertyMap(const QVariant& value, QVariantMap* map) {
    map->clear();
    if (value.userType() == QMetaType::QVariantMap) {
        *map = value.toMap();
        return true;
    }
    if (!IsContainer(value, "a{sv}")) return false;
    *map = qdbus_cast<QVariantMap>(value.value<QDBusArgument>());
    return true;
}

// A text of the metadata: a string, an object path, or the first of a list
// of strings; empty for a container of any other type.
QString Text(const QVariant& value) {
    if (value.userType() == qMetaTypeId<QDBusObjectPath>())
        return value.value<QDBusObjectPath>().path();
    if (value.userType() == QMetaType::QStringList) return value.toStringList().value(0);
    if (value.userType() == qMetaTypeId<QDBusArgument>())
        return IsContainer(value, "as") ? qdbus_cast<QStringList>(value.value<QDBusArgument>()).value(0)
                                        : QString();
    return value.toString();
}

CPlayerTrack TrackOf(const QVariantMap& metadata, const QString& player) {
    CPlayerTrack track;
    track.player = player;
    track.trackId = Text(metadata.value(QStringLiteral("mpris:trackid")));
    if (track.trackId == kNoTrack) track.trackId.clear();
    track.title = Text(metadata.value(QStringLiteral("xesam:title"))).trimmed();
    track.artist = Text(metadata.value(QStringLiteral("xesam:artist"))).trimmed();
    track.album = Text(metadata.value(QStringLiteral("xesam:album"))).trimmed();
    track.artUrl = Text(metadata.value(QStringLiteral("mpris:artUrl"))).trimmed();
    return track;
}

// The name of the program file a process runs, empty when it cannot be
// read.
QString BinaryOf(qint64 processId) {
    if (processId <= 0) return QString();
    return QFileInfo(QFile::symLinkTarget(QStringLiteral("/proc/%1/exe").arg(processId))).fileName();
}

}  // namespace

bool CPlayerTrack::IsOtherTrack(const CPlayerTrack& next) const {
    if (!trackId.isEmpty() && !next.trackId.isEmpty() && trackId != next.trackId) return true;
    if (title.isEmpty() || next.title.isEmpty()) return false;
    return title != next.title || artist != next.artist;
}

CMprisFollower::CMprisFollower(QObject* parent)
    : QObject(parent), m_bus(QDBusConnection::sessionBus()) {
    qRegisterMetaType<CPlayerTrack>();
    qRegisterMetaType<CFollowTarget>();
}

CMprisFollower::~CMprisFollower() {
    Stop();
}

bool CMprisFollower::BusAvailable() {
    return QDBusConnection::sessionBus().isConnected();
}

qint64 CMprisFollower::NowUs() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return qint64(now.tv_sec) * 1000000 + now.tv_nsec / 1000;
}

CPlayerTrack CMprisFollower::TrackAt(qint64 monotonicUs) const {
    std::lock_guard<std::mutex> lock(m_mutex);
    for (auto it = m_heard.rbegin(); it != m_heard.rend(); ++it) {
        const qint64 margin = it->announced ? (kWindowMs + 1000) * qint64(1000) : kStatusMarginUs;
        if (it->atUs <= monotonicUs + margin) return it->track;
    }
    return CPlayerTrack();
}

void CMprisFollower::Start(const CFollowTarget& target) {
    Stop();
    const qint64 now = NowUs();
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_heard.clear();
    }
    m_malformed.clear();
    if (!m_bus.isConnected()) {
        qDebug("CMprisFollower::Start no session bus");
        return;
    }
    m_target = target;
    m_running = true;
    ++m_run;
    qDebug("CMprisFollower::Start application: %s pid: %lld",
           target.choice.isEmpty() ? "(all)" : qUtf8Printable(target.choice),
           static_cast<long long>(target.processId));
    m_bus.connect(kDBus, kDBusPath, kDBus,
                  QStringLiteral("NameOwnerChanged"), this,
                  SLOT(NameOwnerChanged(QString, QString, QString)));
    m_bus.connect(QString(), kPath, kProperties, QStringLiteral("PropertiesChanged"), this,
                  SLOT(PropertiesChanged(QString, QVariantMap, QStringList, QDBusMessage)));
    m_bus.connect(QString(), kPath, kPlayer, QStringLiteral("Seeked"), this,
                  SLOT(Seeked(qlonglong, QDBusMessage)));
    Ask(kDBus, kDBusPath, kDBus, QStringLiteral("ListNames"), {},
        [this, now](const QDBusMessage& reply) {
            const QStringList names = reply.arguments().value(0).toStringList();
            for (const QString& name : names)
                if (name.startsWith(kPrefix)) Discover(name, QString(), now);
        });
}

void CMprisFollower::Stop() {
    if (!m_running) return;
    m_running = false;
    ++m_run;
    m_bus.disconnect(kDBus, kDBusPath, kDBus,
                     QStringLiteral("NameOwnerChanged"), this,
                     SLOT(NameOwnerChanged(QString, QString, QString)));
    m_bus.disconnect(QString(), kPath, kProperties, QStringLiteral("PropertiesChanged"), this,
                     SLOT(PropertiesChanged(QString, QVariantMap, QStringList, QDBusMessage)));
    m_bus.disconnect(QString(), kPath, kPlayer, QStringLiteral("Seeked"), this,
                     SLOT(Seeked(qlonglong, QDBusMessage)));
    m_players.clear();
    qDebug("CMprisFollower::Stop");
}

void CMprisFollower::Ask(const QString& service, const QString& path, const QString& interface,
                         const QString& method, const QVariantList& arguments,
                         std::function<void(const QDBusMessage&)> done) {
    QDBusMessage call = QDBusMessage::createMethodCall(service, path, interface, method);
    call.setArguments(arguments);
    auto* watcher = new QDBusPendingCallWatcher(m_bus.asyncCall(call, kCallTimeoutMs), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this,
            [this, watcher, run = m_run, done = std::move(done)] {
                watcher->deleteLater();
                if (run == m_run) done(watcher->reply());
            });
}

// ---- Players ---------------------------------------------------------------------

void CMprisFollower::Discover(const QString& busName, const QString& owner, qint64 atUs) {
    if (busName == QLatin1String(CMprisService::kServiceName)) return;  // our own player
    Player& player = m_players[busName];
    player = Player();
    player.owner = owner;
    player.serial = ++m_serial;
    player.waiting = 4;
    // The record of this discovery, or null once the name changed hands.
    auto current = [this, busName, serial = player.serial]() -> Player* {
        auto found = m_players.find(busName);
        return found != m_players.end() && found->serial == serial ? &*found : nullptr;
    };
    auto judgeWhenDone = [this, busName, atUs, current] {
        Player* p = current();
        if (p && --p->waiting == 0) Judge(busName, atUs);
    };
    Ask(kDBus, kDBusPath, kDBus, QStringLiteral("GetNameOwner"), {busName},
        [current, judgeWhenDone](const QDBusMessage& reply) {
            Player* p = current();
            if (p && reply.type() == QDBusMessage::ReplyMessage)
                p->owner = reply.arguments().value(0).toString();
            judgeWhenDone();
        });
    Ask(kDBus, kDBusPath, kDBus, QStringLiteral("GetConnectionUnixProcessID"), {busName},
        [current, judgeWhenDone](const QDBusMessage& reply) {
            Player* p = current();
            if (p && reply.type() == QDBusMessage::ReplyMessage) {
                p->processId = reply.arguments().value(0).toLongLong();
                p->binary = BinaryOf(p->processId);
            }
            judgeWhenDone();
        });
    Ask(busName, kPath, kProperties, QStringLiteral("GetAll"), {kRoot},
        [current, judgeWhenDone](const QDBusMessage& reply) {
            Player* p = current();
            QVariantMap root;
            if (p && reply.type() == QDBusMessage::ReplyMessage &&
                PropertyMap(reply.arguments().value(0), &root)) {
                p->identity = root.value(QStringLiteral("Identity")).toString();
                p->desktopEntry = root.value(QStringLiteral("DesktopEntry")).toString();
            }
            judgeWhenDone();
        });
    Ask(busName, kPath, kProperties, QStringLiteral("GetAll"), {kPlayer},
        [this, busName, atUs, current, judgeWhenDone](const QDBusMessage& reply) {
            if (current() && reply.type() == QDBusMessage::ReplyMessage)
                ApplyReply(busName, reply, atUs);
            judgeWhenDone();
        });
}

void CMprisFollower::Judge(const QString& busName, qint64 atUs) {
    Player& player = m_players[busName];
    player.judged = true;
    player.followed = player.processId != ::getpid() && Matches(busName, player);
    if (player.hasTrack) player.track.player = player.identity.isEmpty() ? busName : player.identity;
    qDebug("CMprisFollower::Judge player: %s pid: %lld binary: %s identity: %s followed: %d",
           qUtf8Printable(busName), static_cast<long long>(player.processId),
           qUtf8Printable(player.binary), qUtf8Printable(player.identity), int(player.followed));
    if (player.followed) NoteHeard(atUs, false);
}

bool CMprisFollower::Matches(const QString& busName, const Player& player) const {
    const CFollowTarget& t = m_target;
    if (t.choice.isEmpty()) return true;
    if (t.processId > 0 && player.processId == t.processId) return true;
    // The bus name's first part after the prefix often is the program's
    // ("vlc" of org.mpris.MediaPlayer2.vlc.instance42).
    const QString shortName = busName.mid(kPrefix.size()).section(QLatin1Char('.'), 0, 0);
    const QStringList ours = {player.binary, player.identity, player.desktopEntry, shortName};
    for (const QString& wanted : {t.choice, t.binary, t.name}) {
        if (wanted.isEmpty()) continue;
        for (const QString& candidate : ours)
            if (!candidate.isEmpty() && candidate.compare(wanted, Qt::CaseInsensitive) == 0)
                return true;
    }
    return false;
}

QString CMprisFollower::BusNameOf(const QString& owner) const {
    for (auto it = m_players.cbegin(); it != m_players.cend(); ++it)
        if (it->owner == owner) return it.key();
    return QString();
}

void CMprisFollower::Apply(const QString& busName, const QVariantMap& changed, qint64 atUs) {
    auto found = m_players.find(busName);
    if (found == m_players.end()) return;
    Player& player = *found;
    QVariantMap metadata;
    const bool hasMetadata = changed.contains(QStringLiteral("Metadata"));
    if (hasMetadata && !PropertyMap(changed.value(QStringLiteral("Metadata")), &metadata)) {
        Malformed(busName, "Metadata");
        return;
    }
    const bool wasPlaying = player.status == kPlaying;
    if (changed.contains(QStringLiteral("PlaybackStatus")))
        player.status = changed.value(QStringLiteral("PlaybackStatus")).toString();
    bool newTrack = false;
    if (hasMetadata) {
        const CPlayerTrack track =
            TrackOf(metadata, player.identity.isEmpty() ? busName : player.identity);
        newTrack = player.hasTrack && player.track.IsOtherTrack(track);
        player.track = track;
        player.hasTrack = true;
    }
    const bool playing = player.status == kPlaying;
    if (playing && (newTrack || !wasPlaying)) player.sinceUs = atUs;
    if (!player.judged || !player.followed) return;
    const bool announce = newTrack && playing;
    if (announce) {
        qDebug("CMprisFollower::Apply player: %s new track: %s", qUtf8Printable(busName),
               qUtf8Printable(player.track.title));
        Q_EMIT TrackChanged(atUs, player.track);
    }
    NoteHeard(atUs, announce);
}

void CMprisFollower::Refresh(const QString& busName, qint64 atUs) {
    Ask(busName, kPath, kProperties, QStringLiteral("GetAll"), {kPlayer},
        [this, busName, atUs](const QDBusMessage& reply) {
            if (reply.type() == QDBusMessage::ReplyMessage) ApplyReply(busName, reply, atUs);
        });
}

void CMprisFollower::ApplyReply(const QString& busName, const QDBusMessage& reply, qint64 atUs) {
    QVariantMap properties;
    if (PropertyMap(reply.arguments().value(0), &properties))
        Apply(busName, properties, atUs);
    else
        Malformed(busName, "GetAll");
}

void CMprisFollower::Malformed(const QString& busName, const char* what) {
    if (m_malformed.contains(busName)) return;
    m_malformed.insert(busName);
    qWarning("CMprisFollower: %s of player %s is not of D-Bus type a{sv}, ignored", what,
             qUtf8Printable(busName));
}

void CMprisFollower::NoteHeard(qint64 atUs, bool announced) {
    // The followed player that began playing (or its track) last is heard.
    const Player* heard = nullptr;
    QString heardName;
    for (auto it = m_players.cbegin(); it != m_players.cend(); ++it) {
        if (!it->followed || !it->hasTrack || it->status != kPlaying) continue;
        if (!heard || it->sinceUs > heard->sinceUs) {
            heard = &*it;
            heardName = it.key();
        }
    }
    const CPlayerTrack track = heard ? heard->track : CPlayerTrack();
    std::lock_guard<std::mutex> lock(m_mutex);
    if (!announced && !m_heard.empty()) {
        Heard& last = m_heard.back();
        // The same track of the same player: its texts may have grown.
        if (last.busName == heardName && !last.track.IsOtherTrack(track) &&
            last.track.IsEmpty() == track.IsEmpty()) {
            last.track = track;
            return;
        }
    }
    m_heard.push_back(Heard{atUs, announced, heardName, track});
    while (m_heard.size() > kHeardKept) m_heard.pop_front();
}

// ---- Bus signals -------------------------------------------------------------------

void CMprisFollower::NameOwnerChanged(const QString& name, const QString& oldOwner,
                                      const QString& newOwner) {
    Q_UNUSED(oldOwner);
    if (!m_running || !name.startsWith(kPrefix)) return;
    const qint64 now = NowUs();
    if (newOwner.isEmpty()) {
        const bool followed = m_players.value(name).followed;
        m_players.remove(name);
        qDebug("CMprisFollower::NameOwnerChanged player gone: %s", qUtf8Printable(name));
        if (followed) NoteHeard(now, false);
        return;
    }
    Discover(name, newOwner, now);
}

void CMprisFollower::PropertiesChanged(const QString& interface, const QVariantMap& changed,
                                       const QStringList& invalidated, const QDBusMessage& message) {
    const qint64 now = NowUs();
    if (!m_running || interface != kPlayer || message.service() == m_bus.baseService()) return;
    const QString busName = BusNameOf(message.service());
    if (busName.isEmpty()) return;
    Apply(busName, changed, now);
    // A player may only say that the values changed: they are asked for,
    // and count from when the news came.
    if (invalidated.contains(QStringLiteral("Metadata")) ||
        invalidated.contains(QStringLiteral("PlaybackStatus")))
        Refresh(busName, now);
}

void CMprisFollower::Seeked(qlonglong position, const QDBusMessage& message) {
    // A seek stays within the track: nothing is cut.
    if (m_running)
        qDebug("CMprisFollower::Seeked player: %s position: %lld",
               qUtf8Printable(BusNameOf(message.service())), static_cast<long long>(position));
}
