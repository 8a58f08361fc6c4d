// What following the media players costs the program: a recording of
// computer audio in the program's session while the stand-in player of the
// tests plays tones into "Tavra Audio" of a private sound server, changing
// track every 20 seconds and announcing each change on a private session
// bus. With `on` the program reaches that bus and follows the player (the
// engine holds 3 s back, every change is cut where the audio changes and
// named); with `off` it has no session bus and records as before (silence
// splitting only). Run both and compare:
//
//   for m in off on; do follow_program_bench $m 600; done
//
// Prints the program's CPU time (all its threads) over the playing, the
// songs recorded and their total length. Offscreen, no X server needed;
// PulseAudio, or PipeWire when TUNECAP_TEST_SOUND_SERVER is "pipewire".
// Exits 0 once it has measured; the figures are not a pass or fail.

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QProcess>
#include <QTest>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <memory>

#include "benchsupport.h"
#include "config.h"
#include "library/musicdb.h"
#include "library/library.h"
#include "library/librarypage.h"
#include "library/showlistwidget.h"
#include "mainui.h"
#include "privatebus.h"
#include "privatehome.h"
#include "processwait.h"
#include "pulsedaemon.h"
#include "recording/recordsession.h"

int main(int argc, char** argv) {
    const bool follow = argc > 1 && std::strcmp(argv[1], "on") == 0;
    const int seconds = argc > 2 ? std::max(40, std::atoi(argv[2])) : 600;
    if (argc < 2 || (!follow && std::strcmp(argv[1], "off") != 0)) {
        std::fprintf(stderr, "usage: %s on|off [seconds]\n", argv[0]);
        return 2;
    }
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
    testsupport::PrivateHome home;
    testsupport::KeepOutsideOnLoopback();
    testsupport::PulseDaemon daemon;
    testsupport::PrivateSessionBus bus;
    if (!daemon.ok() || !bus.ok()) {
        std::fprintf(stderr, "private sound server or bus failed: %s\n", daemon.error().c_str());
        return 2;
    }
    // Without following the program reaches no bus; the player still does.
    const QString playerBus = QString::fromStdString(bus.address());
    if (!follow) setenv("DBUS_SESSION_BUS_ADDRESS", ("unix:path=" + home.root() + "/no-bus").c_str(), 1);
    QApplication app(argc, argv);
    const QString installer = QCoreApplication::applicationDirPath() + QStringLiteral("/driver/tavra-audio-install");
    if (daemon.shell("'" + installer.toStdString() + "' 2>&1") != 0) return 2;
    const QString root = QString::fromStdString(home.root());
    if (DB_OpenFile(root + QStringLiteral("/music.db")) != 0) return 2;

    const QString folder = root + QStringLiteral("/recordings");
    CConfig* config = CConfig::instance();
    config->SetRecordMode(-1);
    config->SetOutputPath({folder});
    config->SetOutputFileType(0);
    config->SetSampleRate(44100);
    config->SetBitRate(192);
    config->SetSplitMode(1);
    config->SetSplitTime(3000);
    config->SetFilterMode(1);
    config->SetFilterTime(10);
    config->SetIdMode(0);  // identification would ask the public services
    config->SetVolumeValue(100);

    auto library = std::make_unique<CLibrary>(CConfig::instance());
    if (library->Open(root + QStringLiteral("/music.db")) != 0) return 2;
    auto window = std::make_unique<CMainUI>(std::move(library));
    CRecordSession* session = window->RecordSession();
    if (!session->StartRecording() || session->IsFollowingPlayers() != follow) return 2;
    QTest::qWait(daemon.kind() == testsupport::SoundServer::PipeWire ? 2500 : 500);

    QStringList args;
    for (int t = 0; t < seconds / 20; ++t)
        args << QStringLiteral("--track")
             << QStringLiteral("Track %1|Bench|Album|%2|20|").arg(t + 1).arg(220.0 * std::pow(2.0, (t % 7) / 3.5));
    QProcess player;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), playerBus);
    player.setProcessEnvironment(env);
    const double cpu0 = capbench::CpuSeconds(false);
    QElapsedTimer wall;
    wall.start();
    player.start(QCoreApplication::applicationDirPath() + QStringLiteral("/standinplayer"), args);
    const bool played = programbench::WaitForExit(player, (seconds + 60) * 1000);
    const double cpu = capbench::CpuSeconds(false) - cpu0;
    const double elapsed = double(wall.elapsed()) / 1000;
    QTest::qWait(CRecordSession::kFollowHoldMs + 4000);
    session->SignalStopRecord();
    QTest::qWait(1000);

    CShowListWidget* list = window->LibraryPage()->ShowList();
    int named = 0;
    for (const CTreeWidgetItem* row : list->VisibleRows()) named += row->NameOrigin() == NameOrigin_Player;
    std::printf("server %s, following %s: played %d s in %d tracks (%s) in %.1f s\n",
                daemon.kind() == testsupport::SoundServer::PipeWire ? "PipeWire" : "PulseAudio",
                follow ? "on" : "off", seconds, int(args.size() / 2),
                played && player.exitCode() == 0 ? "ok" : "failed", elapsed);
    std::printf("songs: %d (%d named by the player)\n", list->Library()->ListCount(List_AllRecordings), named);
    std::printf("program CPU (all threads): %.2f s = %.2f %% of one core\n", cpu, 100 * cpu / elapsed);
    window.reset();
    return 0;
}
