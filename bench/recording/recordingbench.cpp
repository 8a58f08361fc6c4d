// A long recording of what the computer plays, in the program as the user
// runs it: the main window shown on an X server, "Tavra Audio" installed in
// a private sound server, music-like audio played to it, recorded to MP3 at
// 192 kbit/s with the live spectrum running. Beside it, in the same run,
// `parec | lame` records the same device's monitor at the same settings as
// the reference.
//
//   xvfb-run -a recording_bench [seconds]     (default 600)
//
// The sound server is PulseAudio, or PipeWire when TUNECAP_TEST_SOUND_SERVER
// is "pipewire". Prints the program's CPU time (all its threads) and that of
// `parec | lame` over the recording, the program's resident memory after
// the start, at 2 minutes and at the end, and the bytes the capture dropped.
// Exits 0 once it has measured; the figures are not a pass or fail.

#include <sys/resource.h>

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTest>
#include <QTimer>

#include <atomic>
#include <cstdio>
#include <memory>
#include <vector>

#include "benchsupport.h"
#include "config.h"
#include "library/library.h"
#include "library/musicdb.h"
#include "mainui.h"
#include "medcore.h"
#include "privatehome.h"
#include "processwait.h"
#include "pulsedaemon.h"
#include "recording/recordsession.h"
#include "recording/wavfile_widget.h"

namespace {

constexpr int kRate = 44100;
// The music repeats after this many seconds (it is generated in memory).
constexpr int kLoopSeconds = 60;

// Bytes the capture dropped in the recording, from the engine's line at its
// stop (written only when it dropped any); its other lines show the moments.
std::atomic<unsigned long long> g_dropped{0};
QtMessageHandler g_previousHandler = nullptr;

void CountDrops(QtMsgType type, const QMessageLogContext& context, const QString& text) {
    static const QRegularExpression total(QStringLiteral("StopRecord dropped bytes: (\\d+)"));
    if (const QRegularExpressionMatch match = total.match(text); match.hasMatch())
        g_dropped = match.captured(1).toULongLong();
    if (text.contains(QStringLiteral("dropped"))) std::fprintf(stderr, "%s\n", qUtf8Printable(text));
    if (type != QtDebugMsg && g_previousHandler) g_previousHandler(type, context, text);
}

long RssKb() {
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly)) return 0;
    for (const QByteArray& line : status.readAll().split('\n'))
        if (line.startsWith("VmRSS:")) return line.mid(6).trimmed().split(' ').first().toLong();
    return 0;
}

// The music of the run, repeated to its length.
bool WriteMusic(const QString& path, int seconds) {
    const std::vector<int16_t> loop = capbench::MusicSignal(kLoopSeconds, kRate);
    std::vector<int16_t> pcm;
    pcm.reserve(size_t(seconds) * kRate * 2);
    while (pcm.size() < size_t(seconds) * kRate * 2) {
        const size_t left = size_t(seconds) * kRate * 2 - pcm.size();
        pcm.insert(pcm.end(), loop.begin(), loop.begin() + long(std::min(left, loop.size())));
    }
    return capbench::WriteWav(path.toStdString(), pcm, kRate);
}

// Seconds of audio in a file, as the media engine measures it.
double MediaSeconds(const QString& path) {
    const int handle = WM_AddFile(path.toUtf8().constData());
    if (handle <= 0) return 0;
    int64_t ms = 0;
    WM_GetMediaDuration(handle, &ms);
    WM_DeleteFile(handle);
    return double(ms) / 1000;
}

// "0m1.234s" as seconds.
double ShellSeconds(const QString& text) {
    static const QRegularExpression form(QStringLiteral("(\\d+)m([\\d.]+)s"));
    const QRegularExpressionMatch m = form.match(text);
    return m.hasMatch() ? m.captured(1).toDouble() * 60 + m.captured(2).toDouble() : -1;
}

// User plus system seconds of the children of bash, from its `times` line.
double ChildrenSeconds(const QByteArray& timesOutput) {
    const QList<QByteArray> lines = timesOutput.trimmed().split('\n');
    if (lines.size() < 2) return -1;
    const QStringList parts = QString::fromLatin1(lines.last()).split(QLatin1Char(' '));
    return parts.size() == 2 ? ShellSeconds(parts[0]) + ShellSeconds(parts[1]) : -1;
}

}  // namespace

int main(int argc, char** argv) {
    const int seconds = argc > 1 ? std::max(10, std::atoi(argv[1])) : 600;
    if (qEnvironmentVariableIsEmpty("DISPLAY")) {
        std::fprintf(stderr, "needs an X server: run it as  xvfb-run -a %s [seconds]\n", argv[0]);
        return 2;
    }
    setenv("QT_QPA_PLATFORM", "xcb", 1);
    testsupport::PrivateHome home;
    testsupport::KeepOutsideOnLoopback();
    testsupport::PulseDaemon daemon;
    if (!daemon.ok()) {
        std::fprintf(stderr, "private sound server: %s\n", daemon.error().c_str());
        return 2;
    }
    QApplication app(argc, argv);
    g_previousHandler = qInstallMessageHandler(&CountDrops);

    const QString root = QString::fromStdString(home.root());
    const QString installer = QCoreApplication::applicationDirPath() +
                              QStringLiteral("/driver/tavra-audio-install");
    if (daemon.shell("'" + installer.toStdString() + "' 2>&1") != 0) {
        std::fprintf(stderr, "cannot install the device with %s\n", qUtf8Printable(installer));
        return 2;
    }
    const QString music = root + QStringLiteral("/music.wav");
    if (!WriteMusic(music, seconds)) {
        std::fprintf(stderr, "cannot write %s\n", qUtf8Printable(music));
        return 2;
    }
    if (DB_OpenFile(root + QStringLiteral("/music.db")) != 0) return 2;

    const QString folder = root + QStringLiteral("/recordings");
    CConfig* config = CConfig::instance();
    config->SetRecordMode(-1);
    config->SetOutputPath({folder});
    config->SetOutputFileType(0);
    config->SetSampleRate(kRate);
    config->SetBitRate(192);
    config->SetSplitMode(1);
    config->SetSplitTime(3000);
    config->SetFilterMode(1);
    config->SetFilterTime(10);
    config->SetIdMode(1);
    config->SetVolumeValue(100);

    auto library = std::make_unique<CLibrary>(CConfig::instance());
    if (library->Open(root + QStringLiteral("/music.db")) != 0) return 2;
    auto window = std::make_unique<CMainUI>(std::move(library));
    window->show();
    if (!QTest::qWaitForWindowExposed(window.get())) return 2;
    CRecordSession* session = window->RecordSession();
    if (!session->StartRecording()) return 2;
    if (!QTest::qWaitFor([&] { return !daemon.recordingSource().empty(); }, 5000)) return 2;
    QTest::qWait(daemon.kind() == testsupport::SoundServer::PipeWire ? 2500 : 500);
    const long rssStart = RssKb();

    // The reference records the same monitor for as long as the music
    // plays (and a second more); bash reports its children's CPU time.
    const QString reference =
        QStringLiteral("timeout -s INT %1 parec -d tavra_audio.monitor --raw --format=s16le "
                       "--rate=44100 --channels=2 | lame --quiet -r -s 44.1 --bitwidth 16 "
                       "--signed --little-endian -m j -b 192 --cbr - '%2/reference.mp3'; times")
            .arg(seconds + 1)
            .arg(root);
    QProcess parecLame;
    parecLame.start(QStringLiteral("bash"), {QStringLiteral("-c"), reference});
    QProcess player;
    const double cpu0 = capbench::CpuSeconds(false);
    QElapsedTimer wall;
    wall.start();
    player.start(QStringLiteral("paplay"), {music});
    long rss2 = 0;
    QTimer::singleShot(120000, [&] { rss2 = RssKb(); });
    const bool played = programbench::WaitForExit(player, (seconds + 60) * 1000);
    const double cpu = capbench::CpuSeconds(false) - cpu0;
    const double elapsed = double(wall.elapsed()) / 1000;
    const long rssEnd = RssKb();
    const bool spectrum = window->Waveform()->Feed()->IsActive();
    QTest::qWait(1000);
    session->SignalStopRecord();
    QTest::qWait(500);
    parecLame.waitForFinished(10000);
    const double referenceCpu = ChildrenSeconds(parecLame.readAllStandardOutput());

    const QStringList files = QDir(folder).entryList({QStringLiteral("*.mp3")}, QDir::Files);
    double recorded = 0;
    for (const QString& file : files) recorded += MediaSeconds(folder + QLatin1Char('/') + file);
    std::printf("server %s; played %d s of music (paplay %s) in %.1f s\n",
                daemon.kind() == testsupport::SoundServer::PipeWire ? "PipeWire" : "PulseAudio",
                seconds, played && player.exitCode() == 0 ? "ok" : "failed", elapsed);
    std::printf("program recorded %.1f s into %lld MP3 file(s) at 192 kbit/s, spectrum %s; "
                "parec | lame %.1f s\n",
                recorded, static_cast<long long>(files.size()), spectrum ? "running" : "idle",
                MediaSeconds(root + QStringLiteral("/reference.mp3")));
    std::printf("program CPU (all threads, window shown, spectrum running): %.2f s = %.2f %% of one core\n",
                cpu, 100 * cpu / elapsed);
    std::printf("parec | lame CPU: %.2f s = %.2f %% of one core; program / reference = %.2f\n",
                referenceCpu, 100 * referenceCpu / elapsed,
                referenceCpu > 0 ? cpu / referenceCpu : 0.0);
    std::printf("resident memory: %.1f MB after the start, %.1f MB at 2 min, %.1f MB at the end "
                "(growth from 2 min: %+.2f MB)\n",
                rssStart / 1024.0, rss2 / 1024.0, rssEnd / 1024.0,
                rss2 > 0 ? (rssEnd - rss2) / 1024.0 : 0.0);
    std::printf("dropped: %llu bytes\n", g_dropped.load());
    window.reset();
    qInstallMessageHandler(g_previousHandler);
    return 0;
}
