// A stand-in media player for the tests of following players: it offers
// org.mpris.MediaPlayer2.<name> on the session bus and plays sine tones, one
// per track, gaplessly into one playback stream of its own (application
// name = its identity) on the default output of PULSE_SERVER. Like real
// players it announces a track when it writes the track's first block, so
// before it is heard by up to its buffer.
//
//   standinplayer [--name N] [--identity I] [--no-trackid]
//                 [--pause-at S --pause-ms MS] [--seek-at S --seek-by S]
//                 --track "title|artist|album|hz|seconds|artUrl" ...
//
// Pausing stops writing for a while (the status says Paused, then Playing
// and the same metadata again); seeking skips seconds of the track and says
// Seeked. It exits when everything was played.
//
//   standinplayer --malformed [--name N]
//
// plays nothing and sends what no player should: its Metadata property is
// of D-Bus type a{ss}, and each line on standard input makes it announce
// Metadata as a{ss}, then as a plain string, then the tracks "First" and
// "Second" (their artists lists of integers). It ends when standard input
// closes.
#include <pulse/simple.h>

#include <QCoreApplication>
#include <QDBusAbstractAdaptor>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusObjectPath>
#include <QSocketNotifier>
#include <QStringList>
#include <QVariantMap>

#include <chrono>
#include <cmath>
#include <cstring>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

constexpr int kRate = 44100;
const QString kPath = QStringLiteral("/org/mpris/MediaPlayer2");

struct Track {
    QStringList texts;  // title, artist, album, hz, seconds, artUrl
    double hz = 0;
    double seconds = 0;
};

class Player : public QObject {
    Q_OBJECT
public:
    QString identity;
    QString status = QStringLiteral("Playing");
    std::vector<Track> tracks;
    int current = 0;
    bool trackIds = true;

    QVariantMap Metadata() const {
        const QStringList& t = tracks[size_t(current)].texts;
        QVariantMap m{{QStringLiteral("xesam:title"), t[0]},
                      {QStringLiteral("xesam:artist"), QStringList{t[1]}},
                      {QStringLiteral("xesam:album"), t[2]}};
        if (trackIds)
            m[QStringLiteral("mpris:trackid")] =
                QVariant::fromValue(QDBusObjectPath(QStringLiteral("/org/standin/track/%1").arg(current)));
        if (!t.value(5).isEmpty()) m[QStringLiteral("mpris:artUrl")] = t[5];
        return m;
    }
    void Announce(const QVariantMap& changed) {
        QDBusMessage signal = QDBusMessage::createSignal(kPath, QStringLiteral("org.freedesktop.DBus.Properties"),
                                                         QStringLiteral("PropertiesChanged"));
        signal << QStringLiteral("org.mpris.MediaPlayer2.Player") << changed << QStringList();
        QDBusConnection::sessionBus().send(signal);
    }

public Q_SLOTS:
    void SetTrack(int index) {
        current = index;
        Announce({{QStringLiteral("Metadata"), Metadata()}});
    }
    void SetStatus(const QString& value) {
        status = value;
        QVariantMap changed{{QStringLiteral("PlaybackStatus"), value}};
        // Many players send their metadata again on resuming.
        if (value == QLatin1String("Playing")) changed[QStringLiteral("Metadata")] = Metadata();
        Announce(changed);
    }
    void Seek(qlonglong positionUs) {
        QDBusConnection::sessionBus().send(
            QDBusMessage::createSignal(kPath, QStringLiteral("org.mpris.MediaPlayer2.Player"), QStringLiteral("Seeked"))
            << positionUs);
        Announce({{QStringLiteral("Metadata"), Metadata()}});
    }
};

class RootAdaptor : public QDBusAbstractAdaptor {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.mpris.MediaPlayer2")
    Q_PROPERTY(QString Identity READ Identity)
public:
    explicit RootAdaptor(Player* p) : QDBusAbstractAdaptor(p), m_p(p) {}
    QString Identity() const { return m_p->identity; }

private:
    Player* m_p;
};

class PlayerAdaptor : public QDBusAbstractAdaptor {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.mpris.MediaPlayer2.Player")
    Q_PROPERTY(QString PlaybackStatus READ PlaybackStatus)
    Q_PROPERTY(QVariantMap Metadata READ Metadata)
public:
    explicit PlayerAdaptor(Player* p) : QDBusAbstractAdaptor(p), m_p(p) {}
    QString PlaybackStatus() const { return m_p->status; }
    QVariantMap Metadata() const { return m_p->Metadata(); }

private:
    Player* m_p;
};

using StringMap = QMap<QString, QString>;

class MalformedAdaptor : public QDBusAbstractAdaptor {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.mpris.MediaPlayer2.Player")
    Q_PROPERTY(QString PlaybackStatus READ PlaybackStatus)
    Q_PROPERTY(StringMap Metadata READ Metadata)
public:
    explicit MalformedAdaptor(Player* p) : QDBusAbstractAdaptor(p), m_p(p) {}
    QString PlaybackStatus() const { return QStringLiteral("Playing"); }
    StringMap Metadata() const { return {{QStringLiteral("xesam:title"), QStringLiteral("Wrong")}}; }

    void AnnounceAll() {
        m_p->Announce({{QStringLiteral("Metadata"), QVariant::fromValue(Metadata())}});
        m_p->Announce({{QStringLiteral("Metadata"), QStringLiteral("xesam:title=Wrong")}});
        for (const char* title : {"First", "Second"})
            m_p->Announce({{QStringLiteral("PlaybackStatus"), QStringLiteral("Playing")},
                           {QStringLiteral("Metadata"),
                            QVariantMap{{QStringLiteral("xesam:title"), QLatin1String(title)},
                                        {QStringLiteral("xesam:artist"),
                                         QVariant::fromValue(QList<int>{1, 2})}}}});
    }

private:
    Player* m_p;
};

int RunMalformed(const QString& name) {
    qDBusRegisterMetaType<StringMap>();
    Player player;
    auto* adaptor = new MalformedAdaptor(&player);
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.registerObject(kPath, &player) ||
        !bus.registerService(QStringLiteral("org.mpris.MediaPlayer2.") + name))
        return 3;
    QSocketNotifier input(0, QSocketNotifier::Read);
    QObject::connect(&input, &QSocketNotifier::activated, &player, [adaptor, &input] {
        char line[256];
        if (read(0, line, sizeof line) <= 0) {
            input.setEnabled(false);
            QCoreApplication::quit();
            return;
        }
        adaptor->AnnounceAll();
    });
    return QCoreApplication::exec();
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    if (app.arguments().contains(QStringLiteral("--malformed"))) {
        const int at = int(app.arguments().indexOf(QStringLiteral("--name")));
        return RunMalformed(at > 0 ? app.arguments().value(at + 1) : QStringLiteral("malformed"));
    }
    Player player;
    QString name = QStringLiteral("standin");
    player.identity = QStringLiteral("Stand-in Player");
    double pauseAt = -1, pauseMs = 0, seekAt = -1, seekBy = 0;
    const QStringList args = app.arguments();
    for (int i = 1; i < args.size(); ++i) {
        const QString next = args.value(i + 1);
        if (args[i] == QLatin1String("--no-trackid")) {
            player.trackIds = false;
            continue;
        }
        ++i;
        if (args[i - 1] == QLatin1String("--name")) name = next;
        if (args[i - 1] == QLatin1String("--identity")) player.identity = next;
        if (args[i - 1] == QLatin1String("--pause-at")) pauseAt = next.toDouble();
        if (args[i - 1] == QLatin1String("--pause-ms")) pauseMs = next.toDouble();
        if (args[i - 1] == QLatin1String("--seek-at")) seekAt = next.toDouble();
        if (args[i - 1] == QLatin1String("--seek-by")) seekBy = next.toDouble();
        if (args[i - 1] == QLatin1String("--track")) {
            const QStringList t = next.split(QLatin1Char('|'));
            player.tracks.push_back(Track{t, t.value(3).toDouble(), t.value(4).toDouble()});
        }
    }
    if (player.tracks.empty()) return 2;
    new RootAdaptor(&player);
    new PlayerAdaptor(&player);
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.registerObject(kPath, &player) ||
        !bus.registerService(QStringLiteral("org.mpris.MediaPlayer2.") + name))
        return 3;

    const pa_sample_spec spec{PA_SAMPLE_S16LE, kRate, 2};
    pa_buffer_attr attr;
    std::memset(&attr, 0xff, sizeof attr);
    attr.tlength = uint32_t(pa_usec_to_bytes(300000, &spec));
    int err = 0;
    pa_simple* out = pa_simple_new(nullptr, qPrintable(player.identity), PA_STREAM_PLAYBACK, nullptr,
                                   "music", &spec, nullptr, &attr, &err);
    if (!out) return 4;
    auto later = [&player](auto&& call) { QMetaObject::invokeMethod(&player, call, Qt::QueuedConnection); };
    std::thread audio([&] {
        std::vector<int16_t> block(size_t(kRate / 100) * 2);  // 10 ms
        for (int i = 0; i < 50; ++i) pa_simple_write(out, block.data(), block.size() * 2, &err);
        double played = 0;
        for (size_t t = 0; t < player.tracks.size(); ++t) {
            if (t > 0) later([&player, t] { player.SetTrack(int(t)); });
            const Track& track = player.tracks[t];
            for (double at = 0; at < track.seconds; at += 0.01, played += 0.01) {
                if (pauseAt >= 0 && played >= pauseAt) {
                    pauseAt = -1;
                    later([&player] { player.SetStatus(QStringLiteral("Paused")); });
                    std::this_thread::sleep_for(std::chrono::milliseconds(int(pauseMs)));
                    later([&player] { player.SetStatus(QStringLiteral("Playing")); });
                }
                if (seekAt >= 0 && played >= seekAt) {
                    seekAt = -1;
                    at += seekBy;
                    const qlonglong us = qlonglong(at * 1e6);
                    later([&player, us] { player.Seek(us); });
                }
                for (size_t i = 0; i < block.size() / 2; ++i) {
                    const double s = std::sin(2 * M_PI * track.hz * (at + double(i) / kRate));
                    block[2 * i] = block[2 * i + 1] = int16_t(9000 * s);
                }
                pa_simple_write(out, block.data(), block.size() * 2, &err);
            }
        }
        pa_simple_drain(out, &err);
        later([&player] { player.SetStatus(QStringLiteral("Stopped")); });
        later([] { QCoreApplication::quit(); });
    });
    const int result = app.exec();
    audio.join();
    pa_simple_free(out);
    return result;
}

#include "standinplayer.moc"
