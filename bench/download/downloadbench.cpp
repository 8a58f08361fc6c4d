// Song information for a batch of recorded songs: fifty four-minute MP3
// songs (made once with sox and lame and kept in the build folder) are in
// the library and queued for identification at once, as fifty recordings
// filed one after the other would be. The task manager converts, asks the
// real tunecap library (against the loopback stand-ins of AcoustID,
// MusicBrainz and the Cover Art Archive) and stores every answer, covers
// and tags included. Measured until every row is identified: wall time and
// this process's CPU time (the stand-ins' own CPU is left out), and the
// largest number of files the caches folder held at any moment (watched
// with inotify). Beside it: fpcalc on the same files, one after another,
// its wall and CPU time.
//
//   download_bench [songs] [seconds]      (default 50 240)
#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QImage>
#include <QTimer>

#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/inotify.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "config.h"
#include "download/downloadqueue.h"
#include "download/taskmanager.h"
#include "library/musicdb.h"
#include "library/library.h"
#include "library/treewidgetitem.h"
#include "loopbackservers.h"
#include "privatehome.h"
#include "songmaker.h"
#include "specialdirs.h"

extern char** environ;

namespace {

const char kRelease[] = "5a0a1f35-0d6e-4c8b-9a63-0a6f1c2b3e01";

double CpuSeconds(int who) {
    rusage usage{};
    getrusage(who, &usage);
    return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

// Counts the files of a folder as they come and go; the largest count seen.
class FolderWatcher {
public:
    explicit FolderWatcher(const std::string& folder) {
        m_fd = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
        if (m_fd < 0 || inotify_add_watch(m_fd, folder.c_str(),
                                          IN_CREATE | IN_DELETE | IN_MOVED_FROM | IN_MOVED_TO) < 0)
            return;
        for (const QString& name :
             QDir(QString::fromStdString(folder)).entryList(QDir::Files | QDir::Hidden))
            m_names.insert(name.toStdString());
        m_peak = m_names.size();
        m_thread = std::thread([this] { Run(); });
    }
    ~FolderWatcher() {
        Stop();
        if (m_fd >= 0) close(m_fd);
    }
    bool ok() const { return m_thread.joinable() || m_stopped; }
    std::size_t Stop() {
        m_stop = true;
        if (m_thread.joinable()) m_thread.join();
        m_stopped = true;
        return m_peak;
    }

private:
    void Run() {
        alignas(inotify_event) char buffer[16384];
        while (!m_stop.load()) {
            pollfd ready{m_fd, POLLIN, 0};
            if (poll(&ready, 1, 50) <= 0) continue;
            const ssize_t length = read(m_fd, buffer, sizeof buffer);
            for (ssize_t at = 0; at < length;) {
                const auto* event = reinterpret_cast<const inotify_event*>(buffer + at);
                if (event->len > 0) {
                    if (event->mask & (IN_CREATE | IN_MOVED_TO)) m_names.insert(event->name);
                    if (event->mask & (IN_DELETE | IN_MOVED_FROM)) m_names.erase(event->name);
                    m_peak = std::max(m_peak, m_names.size());
                }
                at += ssize_t(sizeof(inotify_event) + event->len);
            }
        }
    }

    int m_fd = -1;
    std::thread m_thread;
    std::atomic<bool> m_stop{false};
    bool m_stopped = false;
    std::set<std::string> m_names;
    std::size_t m_peak = 0;
};

// fpcalc on the first 120 s of the song (or all but its last two seconds
// of a shorter one: fpcalc fails on the end of an MP3 file).
bool RunFpcalc(const std::string& song, int seconds) {
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    const std::string length = std::to_string(std::min(120, seconds - 2));
    const char* argv[] = {"fpcalc", "-length", length.c_str(), song.c_str(), nullptr};
    pid_t pid = -1;
    const int rc =
        posix_spawnp(&pid, "fpcalc", &actions, nullptr, const_cast<char**>(argv), environ);
    posix_spawn_file_actions_destroy(&actions);
    int status = 0;
    return rc == 0 && waitpid(pid, &status, 0) == pid && WIFEXITED(status) &&
           WEXITSTATUS(status) == 0;
}

std::string Quoted(const std::string& text) {
    std::string out = "\"";
    for (char c : text) {
        if (c == '"' || c == '\\') out += '\\';
        out += c;
    }
    return out + "\"";
}

// The catalogue: every song a recording of one album, with its cover.
std::string World(int songs, const std::string& data, const std::string& cover) {
    std::string recordings, tracks;
    for (int i = 0; i < songs; ++i) {
        char id[64], acoustId[64], trackId[64];
        std::snprintf(id, sizeof id, "7b1c2d3e-4f50-4a61-8b72-%012d", i + 1);
        std::snprintf(acoustId, sizeof acoustId, "aaaa0000-1111-4222-8333-%012d", i + 1);
        std::snprintf(trackId, sizeof trackId, "9d000000-0000-4000-8000-%012d", i + 1);
        const std::string title = "Bench Song " + std::to_string(i + 1);
        char wav[64];
        std::snprintf(wav, sizeof wav, "/catalogue%02d.wav", i + 1);
        recordings += std::string(i ? "," : "") + "{\"id\": \"" + id + "\", \"acoustid\": \"" +
                      acoustId + "\", \"title\": " + Quoted(title) +
                      ", \"artist\": \"Bench\", \"wav\": " + Quoted(data + wav) + "}";
        tracks += std::string(i ? "," : "") + "{\"id\": \"" + trackId + "\", \"number\": \"" +
                  std::to_string(i + 1) + "\", \"position\": " + std::to_string(i + 1) +
                  ", \"title\": " + Quoted(title) + ", \"recording\": {\"id\": \"" + id + "\"}}";
    }
    return "{\"acoustid_key\": \"bench-key\", \"recordings\": [" + recordings +
           "], \"releases\": [{\"id\": \"" + kRelease +
           "\", \"title\": \"Bench Album\", \"date\": \"2020-01-01\", "
           "\"artist-credit\": [{\"name\": \"Bench\", \"joinphrase\": \"\"}], "
           "\"release-group\": {\"id\": \"5a0a1f35-0d6e-4c8b-9a63-0a6f1c2b3e02\", "
           "\"genres\": [{\"name\": \"rock\", \"count\": 1}]}, \"genres\": [], "
           "\"media\": [{\"position\": 1, \"tracks\": [" +
           tracks + "]}]}], \"covers\": {\"" + kRelease + "\": {\"250\": " + Quoted(cover) +
           ", \"500\": " + Quoted(cover) + "}}}";
}

// The songs: MP3 (as recorded) and the catalogue's WAV at 11025 Hz mono,
// made once.
bool MakeSongs(const std::string& data, int songs, int seconds) {
    std::string error;
    for (int i = 0; i < songs; ++i) {
        char name[64];
        std::snprintf(name, sizeof name, "%02d", i + 1);
        const std::string full = data + "/full" + name + ".wav";
        const std::string mp3 = data + "/song" + name + ".mp3";
        const std::string wav = data + "/catalogue" + name + ".wav";
        if (access(mp3.c_str(), F_OK) == 0 && access(wav.c_str(), F_OK) == 0) continue;
        std::fprintf(stderr, "making song %d of %d\n", i + 1, songs);
        const bool made =
            musictest::SynthesiseSong(full, 5000u + unsigned(i), seconds, 44100, 2, 0, 0, &error) &&
            musictest::MakeFile(mp3, "lame --quiet -b 192 " + musictest::Quote(full) + " @OUT@",
                                &error) &&
            musictest::MakeFile(wav, "sox " + musictest::Quote(full) + " -r 11025 -c 1 @OUT@",
                                &error);
        std::remove(full.c_str());
        if (!made) {
            std::fprintf(stderr, "%s\n", error.c_str());
            return false;
        }
    }
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    const int songs = argc > 1 ? std::clamp(std::atoi(argv[1]), 1, 99) : 50;
    const int seconds = argc > 2 ? std::clamp(std::atoi(argv[2]), 30, 600) : 240;
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
    testsupport::PrivateHome home;
    testsupport::KeepOutsideOnLoopback();

    const std::string data =
        std::string(TUNECAP_BENCH_DATA_DIR) + "/download-" + std::to_string(seconds);
    QDir().mkpath(QString::fromStdString(data));
    if (!MakeSongs(data, songs, seconds)) return 1;
    const std::string cover = data + "/cover.jpg";
    QImage picture(500, 500, QImage::Format_RGB32);
    picture.fill(Qt::darkRed);
    if (!picture.save(QString::fromStdString(cover))) return 1;

    const std::string work = testsupport::makeTempDir("tunecap-download-bench");
    std::ofstream(work + "/world.json") << World(songs, data, cover);
    nettest::ChildProcess services;
    if (!services.Start(
            {"/usr/bin/python3", std::string(TUNECAP_TEST_SUPPORT_DIR) + "/musicservices.py",
             "--world", work + "/world.json"},
            true))
        return 1;
    const std::string line = services.ReadLine(600000);
    if (line.rfind("PORT ", 0) != 0) {
        std::fprintf(stderr, "the service stand-ins did not start\n");
        return 1;
    }
    const std::string base = "http://127.0.0.1:" + line.substr(5);
    nettest::ExportMusicServices(base, "bench-key");

    QApplication app(argc, argv);
    if (DB_OpenFile(QString::fromStdString(work + "/music.db")) != 0) return 1;
    std::unique_ptr<CConfig> config =
        CConfig::CreateForTesting(QString::fromStdString(work + "/tunecap.ini"));
    const QString out = QString::fromStdString(work + "/out");
    QDir().mkpath(out);
    std::vector<std::string> files;
    for (int i = 0; i < songs; ++i) {
        char name[64];
        std::snprintf(name, sizeof name, "%02d", i + 1);
        SongRecord record;
        record.MusicId = i + 1;
        record.MusicPath = out + QStringLiteral("/AU%1.mp3").arg(QString::fromLatin1(name));
        record.DateAdded = LibraryDateText();
        if (!QFile::copy(QString::fromStdString(data + "/song" + name + ".mp3"),
                         record.MusicPath) ||
            DB_SetMusicInfo(record) != 0)
            return 1;
        files.push_back(data + "/song" + name + ".mp3");
    }

    int identified = 0;
    int failed = 0;
    double wall = 0;
    double cpu = 0;
    std::size_t peak = 0;
    {
        CLibrary library(config.get());
        if (library.Open(QString::fromStdString(work + "/music.db")) != 0) return 1;
        CTaskManager manager(config.get());
        library.SetDownloadQueue(&manager);
        // The event loop sleeps until something happens; it is left when
        // done() holds, looked at every 100 ms and after every report.
        auto runUntil = [&](const std::function<bool()>& done, int timeoutMs) {
            QEventLoop loop;
            QTimer check;
            QElapsedTimer clock;
            clock.start();
            auto test = [&] {
                if (done() || clock.elapsed() > timeoutMs) loop.quit();
            };
            QObject::connect(&check, &QTimer::timeout, &loop, test);
            QObject::connect(&manager, &CDownloadQueue::TaskNotified, &loop, test);
            check.start(100);
            if (!done()) loop.exec();
        };
        runUntil([&] { return manager.IsServiceReady(); }, 60000);
        if (!manager.IsServiceReady()) {
            std::fprintf(stderr, "the music information service did not start\n");
            return 1;
        }
        const QString caches = SpecialDirPath(SpecialDir_Caches);
        QDir().mkpath(caches);
        FolderWatcher watcher(caches.toStdString());

        QElapsedTimer clock;
        clock.start();
        const double cpuStart = CpuSeconds(RUSAGE_SELF);
        for (int id = 1; id <= songs; ++id) {
            manager.AddTask(id, true);
            manager.SongFiled(id, true, true);
        }
        auto ended = [&] {
            identified = failed = 0;
            for (int id = 1; id <= songs; ++id) {
                const CTreeWidgetItem* row = library.FindRow(id);
                if (row && row->DownloadState() == DownloadTask_SUCESS) ++identified;
                if (row && row->DownloadState() == DownloadTask_FAILED) ++failed;
            }
            return identified + failed == songs;
        };
        runUntil(ended, 1800000);
        wall = double(clock.nsecsElapsed()) / 1e9;
        cpu = CpuSeconds(RUSAGE_SELF) - cpuStart;
        peak = watcher.Stop();
        library.SetDownloadQueue(nullptr);
    }

    QElapsedTimer fpcalcClock;
    fpcalcClock.start();
    const double fpcalcStart = CpuSeconds(RUSAGE_CHILDREN);
    for (const std::string& file : files) {
        if (!RunFpcalc(file, seconds)) {
            std::fprintf(stderr, "fpcalc failed on %s\n", file.c_str());
            return 1;
        }
    }
    const double fpcalcWall = double(fpcalcClock.nsecsElapsed()) / 1e9;
    const double fpcalcCpu = CpuSeconds(RUSAGE_CHILDREN) - fpcalcStart;
    services.Stop();
    config.reset();
    testsupport::removeTree(work);

    std::printf("%d songs of %d s queued at once: %d identified, %d failed\n", songs, seconds,
                identified, failed);
    std::printf("  download tasks: wall %.1f s, CPU %.1f s (%.2f s CPU per song)\n", wall, cpu,
                cpu / songs);
    std::printf("  fpcalc, one file after another: wall %.1f s, CPU %.1f s (%.2f s CPU per song)\n",
                fpcalcWall, fpcalcCpu, fpcalcCpu / songs);
    std::printf("  most files in the caches folder at once: %zu (at most 2 expected)\n", peak);
    return identified == songs && peak <= 2 ? 0 : 2;
}
