// Following a media player while computer audio is recorded, on PulseAudio
// and on PipeWire with a private session bus: a stand-in player plays three
// tones of different pitch gaplessly and announces each track; the program's
// session must cut where the pitch changes (within 50 ms), name each song
// after its track and keep the player's pictures. With one application
// chosen another client keeps playing on the speakers, unrecorded, and the
// default output never changes. Pausing, resuming and seeking cut nothing.
#include <gtest/gtest.h>

#include <QBuffer>
#include <QtEndian>
#include <QImage>
#include <QProcess>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <cmath>
#include <memory>
#include <ostream>
#include <sstream>

#include "config.h"
#include "library/librarypage.h"
#include "library/musicinfomodel.h"
#include "library/showlistwidget.h"
#include "loopbackhttp.h"
#include "mainui.h"
#include "privatebus.h"
#include "pulsedaemon.h"
#include "recording/recordsession.h"
#include "recordingtest.h"
#include "specialdirs.h"
#include "toolbar.h"
#include "uiapp.h"

namespace testsupport {
void PrintTo(SoundServer server, std::ostream* out) {
    *out << (server == SoundServer::PipeWire ? "PipeWire" : "PulseAudio");
}
}  // namespace testsupport

namespace {

using testsupport::SoundServer;

// The bus before anything in the program connects to it.
class PrivateBus : public testing::Environment {
public:
    void SetUp() override {
        m_bus = std::make_unique<testsupport::PrivateSessionBus>();
        ASSERT_TRUE(m_bus->ok());
    }
    void TearDown() override { m_bus.reset(); }

private:
    std::unique_ptr<testsupport::PrivateSessionBus> m_bus;
};
const auto* const g_bus = testing::AddGlobalTestEnvironment(new PrivateBus);

constexpr int kRate = 44100;
constexpr int kWindow = kRate / 100;  // 10 ms
const double kPitches[] = {300, 600, 1200};
constexpr double kOtherHz = 2000;

// Left channel of a WAV file the engine wrote.
std::vector<double> ReadLeft(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) return {};
    const QByteArray bytes = file.readAll();
    const qsizetype data = bytes.indexOf("data");
    std::vector<double> left;
    for (qsizetype at = data + 8; data >= 0 && at + 3 < bytes.size(); at += 4)
        left.push_back(qFromLittleEndian<qint16>(bytes.constData() + at));
    return left;
}

// Power of hz in samples [from, from + count) (Goertzel).
double Power(const std::vector<double>& pcm, size_t from, size_t count, double hz) {
    const double k = 2 * std::cos(2 * M_PI * hz / kRate);
    double s1 = 0, s2 = 0;
    for (size_t i = from; i < from + count && i < pcm.size(); ++i) {
        const double s = pcm[i] + k * s1 - s2;
        s2 = s1;
        s1 = s;
    }
    return s1 * s1 + s2 * s2 - k * s1 * s2;
}

// Milliseconds of `foreign` pitch at the start (or the end) of a song of
// pitch `own`, in 10 ms windows.
int ForeignMs(const std::vector<double>& pcm, double own, double foreign, bool atEnd) {
    const size_t windows = pcm.size() / kWindow;
    int found = 0;
    for (size_t w = 0; w < windows; ++w, ++found) {
        const size_t from = atEnd ? pcm.size() - (w + 1) * kWindow : w * kWindow;
        const double theirs = Power(pcm, from, kWindow, foreign);
        if (theirs <= Power(pcm, from, kWindow, own) || theirs < 1e9) break;
    }
    return found * 10;
}

class FollowTest : public testing::TestWithParam<SoundServer> {
protected:
    void SetUp() override {
        uitest::App();
        ASSERT_TRUE(m_pulse.ok()) << m_pulse.error();
        ASSERT_TRUE(m_dir.isValid() && m_library.ok());
        std::string out;
        const std::string installer = qEnvironmentVariable("TUNECAP_BIN_DIR").toStdString() + "/driver/tavra-audio-install";
        ASSERT_EQ(m_pulse.shell("'" + installer + "' 2>&1", &out), 0) << out;
        m_folder = m_dir.filePath(QStringLiteral("rec"));
        m_config = CConfig::instance();
        recordingtest::RecordFromSpeakers(m_config, m_folder);
        m_config->SetRecordMode(-1);
        m_config->SetOutputFileType(1);  // WAV: the samples as recorded
        m_config->SetRecordApplication(QString());
        m_window = std::make_unique<CMainUI>(m_library.Take());
        m_session = m_window->RecordSession();
        m_list = m_window->LibraryPage()->ShowList();
    }
    void TearDown() override {
        m_window.reset();
        m_config->SetRecordApplication(QString());
    }

    std::string Pactl(const std::string& args) {
        std::string out;
        m_pulse.pactl(args, &out);
        while (!out.empty() && out.back() == '\n') out.pop_back();
        return out;
    }
    // The sink (by name) the stream of application `name` plays on.
    std::string SinkOf(const std::string& name) {
        std::istringstream inputs(Pactl("list sink-inputs")), sinks(Pactl("list short sinks"));
        std::string sink, line, found;
        while (std::getline(inputs, line)) {
            if (line.find("\tSink: ") == 0) sink = line.substr(7);
            if (line.find("application.name = \"" + name + "\"") != std::string::npos) found = sink;
        }
        while (std::getline(sinks, line))
            if (!found.empty() && line.rfind(found + "\t", 0) == 0) return line.substr(found.size() + 1, line.find('\t', found.size() + 1) - found.size() - 1);
        return {};
    }

    // Records while the stand-in plays the three tracks (with its extra
    // arguments); returns the songs' rows in the order they were recorded.
    QList<CTreeWidgetItem*> RecordStandIn(const QStringList& extra, const QStringList& artUrls) {
        QSignalSpy ended(m_session, &CRecordSession::SongEnded);
        EXPECT_TRUE(m_session->StartRecording());
        EXPECT_TRUE(m_session->IsFollowingPlayers());
        EXPECT_TRUE(QTest::qWaitFor([&] { return !m_pulse.recordingSource().empty(); }));
        EXPECT_TRUE(recordingtest::WaitForAudioFrom(QString::fromStdString(m_pulse.recordingSource())));
        QStringList args = extra;
        const char* names[] = {"Alpha", "Beta", "Gamma"};
        for (int i = 0; i < 3; ++i)
            args << QStringLiteral("--track")
                 << QStringLiteral("%1|Artist %1|Album|%2|5|%3").arg(QLatin1String(names[i])).arg(kPitches[i]).arg(artUrls.value(i));
        QProcess player;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("ASAN_OPTIONS"), QStringLiteral("detect_leaks=0"));
        player.setProcessEnvironment(env);
        player.start(qEnvironmentVariable("TUNECAP_BIN_DIR") + QStringLiteral("/standinplayer"), args);
        EXPECT_TRUE(QTest::qWaitFor([&] { return player.state() == QProcess::NotRunning; }, 40000));
        EXPECT_EQ(player.exitCode(), 0) << player.readAllStandardError().toStdString();
        m_defaultsSeen.push_back(Pactl("get-default-sink"));
        EXPECT_TRUE(QTest::qWaitFor([&] { return ended.count() >= 3; }, 15000)) << ended.count();
        m_session->SignalStopRecord();
        EXPECT_TRUE(QTest::qWaitFor([&] {
            return m_session->State() == RecordState::Idle && m_list->VisibleRows().size() >= 3;
        }));
        QList<CTreeWidgetItem*> rows = m_list->VisibleRows();
        std::reverse(rows.begin(), rows.end());  // newest first on show
        return rows;
    }

    // Each song is one track: named after it, cut within 50 ms of where the
    // pitch changes, and holding nothing of the other client.
    void ExpectThreeTracks(const QList<CTreeWidgetItem*>& rows) {
        ASSERT_EQ(rows.size(), 3);
        std::vector<std::vector<double>> pcm;
        for (int i = 0; i < 3; ++i) {
            const QString name = QStringLiteral("%1").arg(QLatin1String(i == 0 ? "Alpha" : i == 1 ? "Beta" : "Gamma"));
            EXPECT_EQ(rows[i]->MusicName().toStdString(), name.toStdString());
            EXPECT_EQ(rows[i]->Artist().toStdString(), "Artist " + name.toStdString());
            EXPECT_EQ(rows[i]->NameOrigin(), NameOrigin_Player);
            EXPECT_EQ(QFileInfo(rows[i]->Path()).fileName().toStdString(), name.toStdString() + ".wav");
            pcm.push_back(ReadLeft(rows[i]->Path()));
            ASSERT_GT(pcm.back().size(), size_t(kRate));
            const double own = Power(pcm[i], 0, pcm[i].size(), kPitches[i]);
            EXPECT_LT(Power(pcm[i], 0, pcm[i].size(), kOtherHz), own * 1e-4) << name.toStdString();
        }
        for (int b = 0; b < 2; ++b) {
            const int late = ForeignMs(pcm[b + 1], kPitches[b + 1], kPitches[b], false);
            const int early = ForeignMs(pcm[b], kPitches[b], kPitches[b + 1], true);
            EXPECT_LE(late + early, 50) << "boundary " << b + 1 << ": late " << late << " early " << early;
        }
    }

    testsupport::PulseDaemon m_pulse{GetParam()};
    QTemporaryDir m_dir;
    uitest::TestLibrary m_library;
    QString m_folder;
    CConfig* m_config = nullptr;
    std::unique_ptr<CMainUI> m_window;
    CRecordSession* m_session = nullptr;
    CShowListWidget* m_list = nullptr;
    std::vector<std::string> m_defaultsSeen;
};

TEST_P(FollowTest, OneApplicationsTracksBecomeSongsWithTheirNamesAndPicturesAndNothingElseMoves) {
    // Another client plays on the speakers all the while.
    const QString other = m_dir.filePath(QStringLiteral("other.wav"));
    ASSERT_TRUE(recordingtest::WriteSongs(other, {{40, int(kOtherHz)}}));
    QProcess otherClient;
    otherClient.start(QStringLiteral("pacat"), {QStringLiteral("--playback"), QStringLiteral("--client-name=Other"),
                                                QStringLiteral("--file-format=wav"), other});
    ASSERT_TRUE(QTest::qWaitFor([&] { return SinkOf("Other") == "speakers"; }, 5000));
    // The player's pictures: one on a loopback server, one a file.
    QImage image(32, 32, QImage::Format_RGB32);
    image.fill(Qt::red);
    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    uitest::LoopbackHttp http;
    http.SetReply(200, png, "image/png");
    image.fill(Qt::blue);
    const QString file = m_dir.filePath(QStringLiteral("art.png"));
    ASSERT_TRUE(image.save(file));

    m_config->SetRecordApplication(QStringLiteral("standinplayer"));
    const QList<CTreeWidgetItem*> rows =
        RecordStandIn({}, {http.Url(QStringLiteral("/a.png")), QUrl::fromLocalFile(file).toString()});
    ExpectThreeTracks(rows);
    ASSERT_EQ(rows.size(), 3);
    EXPECT_EQ(m_list->Model()->data(m_list->Model()->IndexOf(rows[0]), Qt::ToolTipRole).toString().toStdString(),
              "Name from the player \"Stand-in Player\"");

    // Alpha and Beta keep copies of their pictures; Gamma has none.
    const QString pictures = SpecialDirPath(SpecialDir_Pictures);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !rows[0]->CoverPath().isEmpty(); }, 5000));
    QFile kept(rows[0]->CoverPath());
    ASSERT_TRUE(kept.open(QIODevice::ReadOnly));
    EXPECT_TRUE(kept.readAll() == png);
    EXPECT_TRUE(rows[0]->CoverPath().startsWith(pictures));
    EXPECT_TRUE(rows[1]->CoverPath().startsWith(pictures)) << rows[1]->CoverPath().toStdString();
    EXPECT_NE(rows[1]->CoverPath(), file);
    EXPECT_TRUE(rows[2]->CoverPath().isEmpty());

    // The other client was never moved, the default output never changed.
    EXPECT_EQ(SinkOf("Other"), "speakers");
    m_defaultsSeen.push_back(Pactl("get-default-sink"));
    EXPECT_EQ(m_defaultsSeen, (std::vector<std::string>{"speakers", "speakers"}));
    otherClient.kill();
    otherClient.waitForFinished(3000);
}

TEST_P(FollowTest, PausingResumingAndSeekingWithoutTrackIdsCutNothing) {
    const QList<CTreeWidgetItem*> rows = RecordStandIn(
        {QStringLiteral("--no-trackid"), QStringLiteral("--pause-at"), QStringLiteral("1.5"), QStringLiteral("--pause-ms"),
         QStringLiteral("500"), QStringLiteral("--seek-at"), QStringLiteral("7"), QStringLiteral("--seek-by"),
         QStringLiteral("0.8")},
        {});
    ExpectThreeTracks(rows);
}

INSTANTIATE_TEST_SUITE_P(SoundServers, FollowTest,
                         testing::Values(SoundServer::PulseAudio, SoundServer::PipeWire),
                         [](const testing::TestParamInfo<SoundServer>& server) {
                             return server.param == SoundServer::PipeWire ? "PipeWire" : "PulseAudio";
                         });

}  // namespace
