// Desktop media controls: a D-Bus client on a private session bus drives the
// player (which plays into a private sound server) and reads its state.
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusPendingCall>
#include <QDBusVariant>
#include <QDialog>
#include <QFile>
#include <QSignalSpy>
#include <QUrl>

#include "playback/mprisservice.h"
#include "playertest.h"
#include "privatebus.h"

namespace {

using Answer = uitest::QuestionAnswer;

const QString kService = QStringLiteral("org.mpris.MediaPlayer2.tunecap");
const QString kPath = QStringLiteral("/org/mpris/MediaPlayer2");
const QString kRoot = QStringLiteral("org.mpris.MediaPlayer2");
const QString kPlayer = QStringLiteral("org.mpris.MediaPlayer2.Player");
const QString kProperties = QStringLiteral("org.freedesktop.DBus.Properties");

class PrivateBus : public testing::Environment {
public:
    void SetUp() override {
        s_bus = new testsupport::PrivateSessionBus;
        ASSERT_TRUE(s_bus->ok()) << "dbus-daemon did not start";
    }
    void TearDown() override {
        delete s_bus;
        s_bus = nullptr;
    }
    static QString Address() { return QString::fromStdString(s_bus->address()); }

private:
    static inline testsupport::PrivateSessionBus* s_bus = nullptr;
};

// The bus first: the program's connection to it is made on first use.
const auto* const g_bus = testing::AddGlobalTestEnvironment(new PrivateBus);
const auto* const g_sound = testing::AddGlobalTestEnvironment(new playertest::SoundServer);

// What PropertiesChanged and Seeked brought.
class Listener : public QObject {
    Q_OBJECT
public:
    QList<QVariantMap> changes;
    QList<qlonglong> seeked;

public Q_SLOTS:
    void PropertiesChanged(const QString& interface, const QVariantMap& changed,
                           const QStringList&) {
        if (interface == kPlayer) changes << changed;
    }
    void Seeked(qlonglong position) { seeked << position; }
};

QVariantMap AsMap(const QVariant& value) {
    return value.canConvert<QDBusArgument>() ? qdbus_cast<QVariantMap>(value.value<QDBusArgument>())
                                             : value.toMap();
}

class Mpris : public playertest::PlayerFixture {
protected:
    void SetUp() override {
        PlayerFixture::SetUp();
        m_client = std::make_unique<QDBusConnection>(
            QDBusConnection::connectToBus(PrivateBus::Address(), QStringLiteral("mpris-client")));
        ASSERT_TRUE(m_client->isConnected());
    }
    void TearDown() override {
        m_mpris.reset();
        m_client.reset();
        QDBusConnection::disconnectFromBus(QStringLiteral("mpris-client"));
        PlayerFixture::TearDown();
    }
    void BuildWithService() {
        Build();
        m_mpris = std::make_unique<CMprisService>(m_player.get());
        ASSERT_TRUE(m_mpris->Register());
        ASSERT_TRUE(m_client->connect(kService, kPath, kProperties,
                                      QStringLiteral("PropertiesChanged"), &m_listener,
                                      SLOT(PropertiesChanged(QString, QVariantMap, QStringList))));
        ASSERT_TRUE(m_client->connect(kService, kPath, kPlayer, QStringLiteral("Seeked"),
                                      &m_listener, SLOT(Seeked(qlonglong))));
    }

    // Calls a method and waits for the reply.
    QDBusMessage Call(const QString& interface, const QString& method,
                      const QVariantList& arguments = {}) {
        QDBusMessage message = QDBusMessage::createMethodCall(kService, kPath, interface, method);
        message.setArguments(arguments);
        QDBusPendingCall call = m_client->asyncCall(message);
        EXPECT_TRUE(QTest::qWaitFor([&] { return call.isFinished(); }, 5000))
            << method.toStdString();
        const QDBusMessage reply = call.reply();
        EXPECT_NE(reply.type(), QDBusMessage::ErrorMessage)
            << method.toStdString() << ": " << reply.errorMessage().toStdString();
        return reply;
    }
    QVariant Get(const QString& interface, const QString& name) {
        const QDBusMessage reply = Call(kProperties, QStringLiteral("Get"), {interface, name});
        if (reply.arguments().isEmpty()) return {};
        return reply.arguments().front().value<QDBusVariant>().variant();
    }
    QVariantMap Metadata() { return AsMap(Get(kPlayer, QStringLiteral("Metadata"))); }
    bool WaitStatus(const QString& status) {
        return QTest::qWaitFor(
            [&] { return Get(kPlayer, QStringLiteral("PlaybackStatus")) == status; }, 5000);
    }

    std::unique_ptr<QDBusConnection> m_client;
    std::unique_ptr<CMprisService> m_mpris;
    Listener m_listener;
};

TEST_F(Mpris, PlayPauseFromAClientPlaysAndPauses) {
    AddPlayable(1, QStringLiteral("Alpha"), 6.0, {}, {}, QStringLiteral("01/03/2020 10:00"));
    AddPlayable(2, QStringLiteral("Beta"), 6.0, {}, {}, QStringLiteral("01/02/2020 10:00"));
    BuildWithService();
    EXPECT_EQ(Get(kPlayer, QStringLiteral("PlaybackStatus")).toString(), QStringLiteral("Stopped"));
    EXPECT_TRUE(Get(kPlayer, QStringLiteral("CanPlay")).toBool());
    EXPECT_FALSE(Get(kPlayer, QStringLiteral("CanPause")).toBool());
    EXPECT_FALSE(Get(kPlayer, QStringLiteral("CanSeek")).toBool());

    Call(kPlayer, QStringLiteral("PlayPause"));
    ASSERT_TRUE(WaitStatus(QStringLiteral("Playing")));
    ASSERT_TRUE(WaitPlaying(1));
    EXPECT_TRUE(Get(kPlayer, QStringLiteral("CanPause")).toBool());
    EXPECT_TRUE(Get(kPlayer, QStringLiteral("CanSeek")).toBool());
    EXPECT_GT(Get(kPlayer, QStringLiteral("Position")).toLongLong(), 0);
    EXPECT_EQ(m_toolBar->StatusLabel()->text(), QStringLiteral("Playing"));

    Call(kPlayer, QStringLiteral("PlayPause"));
    ASSERT_TRUE(WaitStatus(QStringLiteral("Paused")));
    EXPECT_EQ(m_player->PlayState(), CPlayerController::State_Paused);
    Call(kPlayer, QStringLiteral("Play"));
    ASSERT_TRUE(WaitStatus(QStringLiteral("Playing")));
    EXPECT_EQ(m_player->PlayingRow(), Row(1)) << "resumed";
    Call(kPlayer, QStringLiteral("Pause"));
    ASSERT_TRUE(WaitStatus(QStringLiteral("Paused")));
    Call(kPlayer, QStringLiteral("Stop"));
    ASSERT_TRUE(WaitStatus(QStringLiteral("Stopped")));
    EXPECT_EQ(m_player->PlayingRow(), nullptr);
    // Play after Stop starts the stopped song again, from its beginning.
    Call(kPlayer, QStringLiteral("Play"));
    ASSERT_TRUE(WaitStatus(QStringLiteral("Playing")));
    EXPECT_EQ(m_player->PlayingRow(), Row(1));
    EXPECT_LT(m_player->Position(), 2000);

    // Each change went out once, as it happened.
    const QStringList expected{"Playing", "Paused", "Playing", "Paused", "Stopped", "Playing"};
    auto statuses = [this] {
        QStringList sent;
        for (const QVariantMap& change : m_listener.changes)
            if (change.contains(QStringLiteral("PlaybackStatus")))
                sent << change.value(QStringLiteral("PlaybackStatus")).toString();
        return sent;
    };
    (void)QTest::qWaitFor([&] { return statuses().size() >= expected.size(); }, 3000);
    uitest::Watch([&] { return statuses().size() > expected.size(); }, 200);  // and nothing more
    EXPECT_EQ(statuses(), expected);
}

TEST_F(Mpris, MetadataNamesThePlayingSongAndATrackChangeIsAnnounced) {
    AddPlayable(1, QStringLiteral("Alpha"), 3.0, QStringLiteral("Ann"), QStringLiteral("First"),
                QStringLiteral("01/03/2020 10:00"));
    AddPlayable(2, QStringLiteral("Beta"), 3.0, {}, {}, QStringLiteral("01/02/2020 10:00"));
    const QString cover = FilePath(QStringLiteral("cover1.jpg"));
    ASSERT_TRUE(WriteFile(cover, "cover"));
    DB_SetImageInfo(1, 1, cover.toUtf8().constData());
    BuildWithService();
    EXPECT_EQ(Metadata().value(QStringLiteral("mpris:trackid")).value<QDBusObjectPath>().path(),
              QStringLiteral("/org/mpris/MediaPlayer2/TrackList/NoTrack"));

    Call(kPlayer, QStringLiteral("Play"));
    ASSERT_TRUE(WaitPlaying(1));
    QVariantMap metadata = Metadata();
    EXPECT_EQ(metadata.value(QStringLiteral("mpris:trackid")).value<QDBusObjectPath>(),
              CMprisService::TrackId(1));
    EXPECT_EQ(metadata.value(QStringLiteral("xesam:title")).toString(), QStringLiteral("Alpha"));
    EXPECT_EQ(metadata.value(QStringLiteral("xesam:artist")).toStringList(),
              QStringList{QStringLiteral("Ann")});
    EXPECT_EQ(metadata.value(QStringLiteral("xesam:album")).toString(), QStringLiteral("First"));
    EXPECT_NEAR(metadata.value(QStringLiteral("mpris:length")).toLongLong(), 3000000, 50000);
    EXPECT_EQ(metadata.value(QStringLiteral("mpris:artUrl")).toString(),
              QUrl::fromLocalFile(cover).toString());
    EXPECT_TRUE(Get(kPlayer, QStringLiteral("CanGoNext")).toBool());

    m_listener.changes.clear();
    Call(kPlayer, QStringLiteral("Next"));
    ASSERT_TRUE(WaitPlaying(2));
    ASSERT_TRUE(QTest::qWaitFor(
        [&] {
            for (const QVariantMap& change : m_listener.changes)
                if (AsMap(change.value(QStringLiteral("Metadata")))
                        .value(QStringLiteral("mpris:trackid"))
                        .value<QDBusObjectPath>() == CMprisService::TrackId(2))
                    return true;
            return false;
        },
        5000));
    // The stop between the two songs never went out.
    for (const QVariantMap& change : m_listener.changes)
        EXPECT_FALSE(change.contains(QStringLiteral("PlaybackStatus")));
    metadata = Metadata();
    EXPECT_EQ(metadata.value(QStringLiteral("xesam:title")).toString(), QStringLiteral("Beta"));
    EXPECT_FALSE(metadata.contains(QStringLiteral("xesam:artist")));
    EXPECT_FALSE(metadata.contains(QStringLiteral("mpris:artUrl")));

    Call(kPlayer, QStringLiteral("Previous"));
    ASSERT_TRUE(WaitPlaying(1));
}

TEST_F(Mpris, PlayDuringARecordingAsksAsThePlayButtonDoesAndAnswersAtOnce) {
    AddPlayable(1, QStringLiteral("Alpha"), 3.0);
    BuildWithService();
    SetRecording(RecordState::Waiting);

    QDBusMessage message =
        QDBusMessage::createMethodCall(kService, kPath, kPlayer, QStringLiteral("Play"));
    bool answeredBeforeTheQuestion = false;
    QString question;
    {
        QDBusPendingCall call = m_client->asyncCall(message);
        uitest::ModalAnswer no([&](QWidget* modal) {
            answeredBeforeTheQuestion = QTest::qWaitFor([&] { return call.isFinished(); }, 3000);
            if (auto* text = modal->findChild<QLabel*>(QStringLiteral("questionText")))
                question = text->text();
            static_cast<QDialog*>(modal)->reject();  // as "No"
        });
        EXPECT_TRUE(QTest::qWaitFor([&] { return no.Seen(); }, 5000));
        EXPECT_TRUE(answeredBeforeTheQuestion) << "the reply waited for the question";
        EXPECT_NE(call.reply().type(), QDBusMessage::ErrorMessage);
    }
    EXPECT_EQ(question, QStringLiteral("The programme is recording now.\n"
                                       "Do you want to stop it and start to play music?"));
    uitest::Watch([&] { return m_player->PlayState() != CPlayerController::State_Stopped || m_stopRequests != 0; },
                  300);
    EXPECT_EQ(m_player->PlayState(), CPlayerController::State_Stopped);
    EXPECT_EQ(m_recordState, RecordState::Waiting);
    EXPECT_EQ(m_stopRequests, 0);

    {
        Answer yes(QStringLiteral("Yes"));
        Call(kPlayer, QStringLiteral("Play"));
        EXPECT_TRUE(QTest::qWaitFor([&] { return yes.Seen(); }, 5000));
    }
    EXPECT_EQ(m_stopRequests, 1);
    ASSERT_TRUE(WaitPlaying(1));
    EXPECT_TRUE(WaitStatus(QStringLiteral("Playing")));
}

TEST_F(Mpris, SetPositionAndSeekMoveTheSongAndAreAnnounced) {
    AddPlayable(1, QStringLiteral("Alpha"), 8.0, {}, {}, QStringLiteral("01/03/2020 10:00"));
    AddPlayable(2, QStringLiteral("Beta"), 3.0, {}, {}, QStringLiteral("01/02/2020 10:00"));
    BuildWithService();
    m_player->StartPlay(m_list->VisibleRows(), 0);
    ASSERT_TRUE(WaitPlaying(1));
    m_engine->seeks.clear();

    const QVariant track = QVariant::fromValue(CMprisService::TrackId(1));
    Call(kPlayer, QStringLiteral("SetPosition"), {track, qlonglong(4000000)});
    ASSERT_TRUE(QTest::qWaitFor([&] { return !m_engine->seeks.empty(); }, 3000));
    EXPECT_EQ(m_engine->seeks.back(), 5000);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !m_listener.seeked.isEmpty(); }, 3000));
    EXPECT_EQ(m_listener.seeked.front(), 4000000);
    EXPECT_GE(Get(kPlayer, QStringLiteral("Position")).toLongLong(), 4000000);

    // Another song's id, or a place past the end, is ignored.
    const QVariant other = QVariant::fromValue(CMprisService::TrackId(2));
    Call(kPlayer, QStringLiteral("SetPosition"), {other, qlonglong(1000000)});
    Call(kPlayer, QStringLiteral("SetPosition"), {track, qlonglong(9000000)});
    uitest::Watch([&] { return m_engine->seeks.size() > 1; }, 200);
    EXPECT_EQ(m_engine->seeks.size(), 1u);

    // Seek is relative; before the start is the start, past the end the next song.
    Call(kPlayer, QStringLiteral("Seek"), {qlonglong(-20000000)});
    ASSERT_TRUE(QTest::qWaitFor([&] { return m_engine->seeks.size() == 2; }, 3000));
    EXPECT_EQ(m_engine->seeks.back(), 0);
    Call(kPlayer, QStringLiteral("Seek"), {qlonglong(2000000)});
    ASSERT_TRUE(QTest::qWaitFor([&] { return m_engine->seeks.size() == 3; }, 3000));
    EXPECT_GE(m_engine->seeks.back(), 2500);
    EXPECT_LE(m_engine->seeks.back(), 3500);
    Call(kPlayer, QStringLiteral("Seek"), {qlonglong(60000000)});
    EXPECT_TRUE(WaitPlaying(2));
}

TEST_F(Mpris, TheRootObjectNamesTheProgramAndPassesRaiseQuitAndVolumeOn) {
    QApplication::setApplicationName(QStringLiteral("Tavra Tunecap"));
    BuildWithService();
    EXPECT_EQ(Get(kRoot, QStringLiteral("Identity")).toString(), QStringLiteral("Tavra Tunecap"));
    EXPECT_EQ(Get(kRoot, QStringLiteral("DesktopEntry")).toString(),
              QStringLiteral("example.tavra.Tunecap"));
    EXPECT_TRUE(Get(kRoot, QStringLiteral("CanRaise")).toBool());
    EXPECT_FALSE(Get(kRoot, QStringLiteral("HasTrackList")).toBool());
    EXPECT_FALSE(Get(kPlayer, QStringLiteral("CanPlay")).toBool()) << "an empty library";

    QSignalSpy raise(m_mpris.get(), &CMprisService::RaiseRequested);
    QSignalSpy quit(m_mpris.get(), &CMprisService::QuitRequested);
    QSignalSpy volume(m_mpris.get(), &CMprisService::VolumeRequested);
    Call(kRoot, QStringLiteral("Raise"));
    Call(kRoot, QStringLiteral("Quit"));
    Call(kProperties, QStringLiteral("Set"),
         {kPlayer, QStringLiteral("Volume"), QVariant::fromValue(QDBusVariant(0.25))});
    EXPECT_TRUE(QTest::qWaitFor([&] { return volume.size() == 1; }, 3000));
    EXPECT_EQ(raise.size(), 1);
    EXPECT_EQ(quit.size(), 1);
    EXPECT_DOUBLE_EQ(volume[0][0].toDouble(), 0.25);

    // The player's volume is what clients read, and a change goes out.
    m_listener.changes.clear();
    m_toolBar->VolumeSlider()->setValue(100);
    EXPECT_DOUBLE_EQ(Get(kPlayer, QStringLiteral("Volume")).toDouble(), 0.5);
    EXPECT_TRUE(QTest::qWaitFor(
        [&] {
            return !m_listener.changes.isEmpty() &&
                   m_listener.changes.back().value(QStringLiteral("Volume")).toDouble() == 0.5;
        },
        3000));
}

TEST_F(Mpris, WithoutABusOrWithTheNameTakenThePlayerGoesOnWithoutControls) {
    AddPlayable(1, QStringLiteral("Alpha"), 3.0);
    BuildWithService();
    {
        uitest::LogCapture log;
        CMprisService second(m_player.get());
        EXPECT_FALSE(second.Register());
        EXPECT_FALSE(second.IsRegistered());
        CMprisService offline(m_player.get());
        EXPECT_FALSE(offline.Register(QDBusConnection(QStringLiteral("no-such-connection"))));
        EXPECT_TRUE(log.Contains(QStringLiteral("CMprisService::Register no session bus")));
    }
    // The first one still answers, and the player plays.
    m_player->StartPlay({Row(1)}, 0);
    EXPECT_TRUE(WaitStatus(QStringLiteral("Playing")));
}

}  // namespace

#include "mpris_test.moc"
