// The follower of the media players against a player on a private session
// bus that sends values of the wrong D-Bus types, at discovery and in its
// announcements: nothing crashes, the wrong values are ignored and logged
// once, and its well-formed announcements still count.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDBusConnectionInterface>
#include <QProcess>
#include <QSignalSpy>
#include <QTest>

#include "privatebus.h"
#include "recording/mprisfollower.h"

namespace {

QStringList g_warnings;

void KeepWarnings(QtMsgType type, const QMessageLogContext&, const QString& text) {
    if (type == QtWarningMsg) g_warnings << text;
}

TEST(MprisFollower, ValuesOfTheWrongTypeAreIgnoredAndLoggedOnce) {
    static int argc = 1;
    static char name[] = "followertest";
    static char* argv[] = {name, nullptr};
    QCoreApplication app(argc, argv);
    testsupport::PrivateSessionBus bus;
    ASSERT_TRUE(bus.ok());

    // Already on the bus when following starts: found through ListNames,
    // and its Metadata property is a{ss}.
    QProcess player;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("ASAN_OPTIONS"), QStringLiteral("detect_leaks=0"));
    player.setProcessEnvironment(env);
    player.start(qEnvironmentVariable("TUNECAP_BIN_DIR") + QStringLiteral("/standinplayer"),
                 {QStringLiteral("--malformed")});
    const QString busName = QStringLiteral("org.mpris.MediaPlayer2.malformed");
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return QDBusConnection::sessionBus().interface()->isServiceRegistered(busName).value(); },
        10000));

    const QtMessageHandler previous = qInstallMessageHandler(KeepWarnings);
    CMprisFollower follower;
    QSignalSpy changes(&follower, &CMprisFollower::TrackChanged);
    follower.Start(CFollowTarget());
    // Each line makes it announce a{ss}, a plain string and two tracks;
    // once it has been judged a track change comes through.
    ASSERT_TRUE(QTest::qWaitFor(
        [&] {
            player.write("go\n");
            return QTest::qWaitFor([&] { return !changes.isEmpty(); }, 300);
        },
        15000));
    follower.Stop();
    qInstallMessageHandler(previous);
    player.closeWriteChannel();
    EXPECT_TRUE(player.waitForFinished(10000));
    EXPECT_EQ(player.exitCode(), 0) << player.readAllStandardError().toStdString();

    const auto track = changes.first().at(1).value<CPlayerTrack>();
    EXPECT_TRUE(track.title == QLatin1String("First") || track.title == QLatin1String("Second"))
        << track.title.toStdString();
    EXPECT_TRUE(track.artist.isEmpty());  // a list of integers is no text
    EXPECT_EQ(g_warnings.filter(busName).size(), 1) << g_warnings.join(QLatin1Char('\n')).toStdString();
}

}  // namespace
