#include "mprisservice.h"

#include <QCoreApplication>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QFileInfo>
#include <QTimer>
#include <QUrl>

#include <algorithm>

#include "library/playqueue.h"
#include "library/treewidgetitem.h"
#include "localfile.h"
#include "playercontroller.h"

namespace {
const QString kPlayerInterface = QStringLiteral("org.mpris.MediaPlayer2.Player");
const QString kNoTrack = QStringLiteral("/org/mpris/MediaPlayer2/TrackList/NoTrack");
// The program's application id (its .desktop file without the suffix).
const QString kDesktopEntry = QStringLiteral("example.tavra.Tunecap");

// Runs action on the GUI thread once the current D-Bus call was answered.
template <typename Action>
void Later(QObject* context, Action action) {
    QMetaObject::invokeMethod(context, action, Qt::QueuedConnection);
}
}  // namespace

// ---- org.mpris.MediaPlayer2 -----------------------------------------------------

CMprisRootAdaptor::CMprisRootAdaptor(CMprisService* service)
    : QDBusAbstractAdaptor(service), m_service(service) {}

QString CMprisRootAdaptor::Identity() const {
    const QString name = QCoreApplication::applicationName();
    return name.isEmpty() ? QStringLiteral("Tavra Tunecap") : name;
}

QString CMprisRootAdaptor::DesktopEntry() const {
    return kDesktopEntry;
}

void CMprisRootAdaptor::Raise() {
    Later(m_service, [service = m_service] { Q_EMIT service->RaiseRequested(); });
}

void CMprisRootAdaptor::Quit() {
    Later(m_service, [service = m_service] { Q_EMIT service->QuitRequested(); });
}

// ---- org.mpris.MediaPlayer2.Player ----------------------------------------------

CMprisPlayerAdaptor::CMprisPlayerAdaptor(CMprisService* service, CPlayerController* player)
    : QDBusAbstractAdaptor(service), m_service(service), m_player(player) {}

QString CMprisPlayerAdaptor::PlaybackStatus() const {
    switch (m_player->PlayState()) {
        case CPlayerController::State_Playing:
            return QStringLiteral("Playing");
        case CPlayerController::State_Paused:
            return QStringLiteral("Paused");
        default:
            return QStringLiteral("Stopped");
    }
}

QVariantMap CMprisPlayerAdaptor::Metadata() const {
    const CTreeWidgetItem* row = m_player->PlayingRow();
    if (!row)
        return {{QStringLiteral("mpris:trackid"), QVariant::fromValue(QDBusObjectPath(kNoTrack))}};
    QVariantMap metadata{
        {QStringLiteral("mpris:trackid"),
         QVariant::fromValue(CMprisService::TrackId(row->MusicId()))},
        {QStringLiteral("mpris:length"), qlonglong(m_player->LengthMs() * 1000)},
        {QStringLiteral("xesam:title"), row->ShownText(2)},
    };
    if (!row->Artist().isEmpty())
        metadata.insert(QStringLiteral("xesam:artist"), QStringList{row->Artist()});
    if (!row->Album().isEmpty()) metadata.insert(QStringLiteral("xesam:album"), row->Album());
    if (IsRegularFile(row->CoverPath()))
        metadata.insert(QStringLiteral("mpris:artUrl"),
                        QUrl::fromLocalFile(row->CoverPath()).toString());
    return metadata;
}

double CMprisPlayerAdaptor::Volume() const {
    return m_player->Volume() / 100.0;
}

void CMprisPlayerAdaptor::SetVolume(double volume) {
    volume = std::clamp(volume, 0.0, 1.0);
    Later(m_service, [service = m_service, volume] { Q_EMIT service->VolumeRequested(volume); });
}

qlonglong CMprisPlayerAdaptor::Position() const {
    return m_player->PositionMs() * 1000;
}

bool CMprisPlayerAdaptor::CanGoNext() const {
    return m_player->CanGoNext() && !m_player->IsRecording();
}

bool CMprisPlayerAdaptor::CanGoPrevious() const {
    return m_player->CanGoPrevious() && !m_player->IsRecording();
}

bool CMprisPlayerAdaptor::CanPlay() const {
    return m_player->CanPlay();
}

bool CMprisPlayerAdaptor::CanPause() const {
    return m_player->CanPause();
}

bool CMprisPlayerAdaptor::CanSeek() const {
    return m_player->CanSeek();
}

void CMprisPlayerAdaptor::Next() {
    Later(m_player, [this] {
        if (CanGoNext()) m_player->PlayNext();
    });
}

void CMprisPlayerAdaptor::Previous() {
    Later(m_player, [this] {
        if (CanGoPrevious()) m_player->PlayLast();
    });
}

void CMprisPlayerAdaptor::Pause() {
    Later(m_player, [player = m_player] { player->PausePlay(); });
}

void CMprisPlayerAdaptor::PlayPause() {
    Later(m_player, [player = m_player] { player->PlayOrPause(); });
}

void CMprisPlayerAdaptor::Stop() {
    Later(m_player, [player = m_player] { player->Stop(); });
}

void CMprisPlayerAdaptor::Play() {
    // As the play button: resumes, or starts (asking first while recording);
    // after Stop the song that was stopped starts again.
    Later(m_player, [player = m_player] {
        const int current = player->Queue()->CurrentIndex();
        if (player->PlayState() == CPlayerController::State_Stopped && current >= 0)
            player->PlayQueueEntry(current);
        else if (player->PlayState() != CPlayerController::State_Playing)
            player->StartLastPlay();
    });
}

void CMprisPlayerAdaptor::Seek(qlonglong offset) {
    Later(m_player, [player = m_player, offset] {
        if (!player->CanSeek()) return;
        const qint64 target = std::max<qint64>(0, player->PositionMs() + offset / 1000);
        if (target > player->LengthMs()) {
            player->PlayNext();
            return;
        }
        player->SeekTo(int(target * 10000 / player->LengthMs()));
    });
}

void CMprisPlayerAdaptor::SetPosition(const QDBusObjectPath& trackId, qlonglong position) {
    Later(m_player, [player = m_player, trackId, position] {
        const CTreeWidgetItem* row = player->PlayingRow();
        if (!row || !player->CanSeek() || trackId != CMprisService::TrackId(row->MusicId())) return;
        const qint64 ms = position / 1000;
        if (ms < 0 || ms > player->LengthMs()) return;
        player->SeekTo(int(ms * 10000 / player->LengthMs()));
    });
}

void CMprisPlayerAdaptor::OpenUri(const QString& uri) {
    qDebug("CMprisPlayerAdaptor::OpenUri not offered: %s", qUtf8Printable(uri));
}

// ---- The service ----------------------------------------------------------------

CMprisService::CMprisService(CPlayerController* player, QObject* parent)
    : QObject(parent), m_player(player), m_bus(QString()) {
    new CMprisRootAdaptor(this);
    m_playerAdaptor = new CMprisPlayerAdaptor(this, player);
    m_update = new QTimer(this);
    m_update->setSingleShot(true);
    m_update->setInterval(0);
    connect(m_update, &QTimer::timeout, this, &CMprisService::SendChanges);
    connect(player, &CPlayerController::PlayStateChanged, this, &CMprisService::ScheduleUpdate);
    connect(player, &CPlayerController::TrackChanged, this, &CMprisService::ScheduleUpdate);
    connect(player, &CPlayerController::ControlsChanged, this, &CMprisService::ScheduleUpdate);
    connect(player, &CPlayerController::VolumeChanged, this, &CMprisService::ScheduleUpdate);
    connect(player, &CPlayerController::Seeked, m_playerAdaptor,
            [this](qint64 ms) { Q_EMIT m_playerAdaptor->Seeked(ms * 1000); });
}

CMprisService::~CMprisService() {
    if (!m_registered) return;
    m_bus.unregisterService(QLatin1String(kServiceName));
    m_bus.unregisterObject(QLatin1String(kObjectPath));
}

bool CMprisService::Register(const QDBusConnection& bus) {
    if (m_registered) return true;
    if (!bus.isConnected()) {
        qWarning("CMprisService::Register no session bus, no desktop media controls: %s",
                 qUtf8Printable(bus.lastError().message()));
        return false;
    }
    m_bus = bus;
    if (!m_bus.registerObject(QLatin1String(kObjectPath), this, QDBusConnection::ExportAdaptors)) {
        qWarning("CMprisService::Register cannot export %s", kObjectPath);
        return false;
    }
    if (!m_bus.registerService(QLatin1String(kServiceName))) {
        qWarning("CMprisService::Register the name %s is taken: %s", kServiceName,
                 qUtf8Printable(m_bus.lastError().message()));
        m_bus.unregisterObject(QLatin1String(kObjectPath));
        return false;
    }
    m_registered = true;
    m_sent = PlayerProperties();
    qDebug("CMprisService::Register as %s", kServiceName);
    return true;
}

QDBusObjectPath CMprisService::TrackId(int musicId) {
    return QDBusObjectPath(QStringLiteral("/example/tavra/Tunecap/Track/%1").arg(musicId));
}

void CMprisService::ScheduleUpdate() {
    if (m_registered && !m_update->isActive()) m_update->start();
}

QVariantMap CMprisService::PlayerProperties() const {
    const CMprisPlayerAdaptor* p = m_playerAdaptor;
    return {
        {QStringLiteral("PlaybackStatus"), p->PlaybackStatus()},
        {QStringLiteral("Metadata"), p->Metadata()},
        {QStringLiteral("Volume"), p->Volume()},
        {QStringLiteral("CanGoNext"), p->CanGoNext()},
        {QStringLiteral("CanGoPrevious"), p->CanGoPrevious()},
        {QStringLiteral("CanPlay"), p->CanPlay()},
        {QStringLiteral("CanPause"), p->CanPause()},
        {QStringLiteral("CanSeek"), p->CanSeek()},
    };
}

void CMprisService::SendChanges() {
    const QVariantMap now = PlayerProperties();
    QVariantMap changed;
    for (auto it = now.cbegin(); it != now.cend(); ++it)
        if (m_sent.value(it.key()) != it.value()) changed.insert(it.key(), it.value());
    m_sent = now;
    if (changed.isEmpty()) return;
    QDBusMessage signal = QDBusMessage::createSignal(
        QLatin1String(kObjectPath), QStringLiteral("org.freedesktop.DBus.Properties"),
        QStringLiteral("PropertiesChanged"));
    signal << kPlayerInterface << changed << QStringList();
    m_bus.send(signal);
}
