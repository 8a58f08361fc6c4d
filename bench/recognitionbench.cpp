// CPU time of one identification of a four-minute song through tunecap's
// exports (fingerprint of the first 120 s, AcoustID lookup, MusicBrainz
// release, cover), against the fpcalc command on the same WAV. The services
// are the loopback stand-ins of the tests; their own CPU and every network
// wait are left out: the library's time is this process's CPU time from the
// request to its answer, fpcalc's is its child CPU time.
//
//   tunecap_recognition_bench [runs]     (default 5; the medians are compared)
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <mutex>
#include <string>
#include <vector>

#include "benchsupport.h"
#include "loopbackservers.h"
#include "privatehome.h"
#include "songmaker.h"
#include "tunecap.h"

extern char** environ;

namespace {

const char kRelease[] = "5a0a1f35-0d6e-4c8b-9a63-0a6f1c2b3d09";

struct Answer {
    std::mutex lock;
    std::condition_variable done;
    int status = -1;  // guarded by lock
};

int OnAnswer(void* user, int status, RecordMusicInfo*) {
    auto* answer = static_cast<Answer*>(user);
    std::lock_guard<std::mutex> lock(answer->lock);
    answer->status = status;
    answer->done.notify_all();
    return 0;
}

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

std::string World(const std::string& song, const std::string& cover) {
    return R"({"acoustid_key": "bench-key",
  "recordings": [{"id": "7b1c2d3e-4f50-4a61-8b72-9c83d4e5f609", "acoustid": "a-1", "title": "Long Song",
                  "artist": "Bench", "wav": ")" + song + R"("}],
  "releases": [{"id": ")" + kRelease + R"(", "title": "Bench Album", "date": "2020",
                "artist-credit": [{"name": "Bench", "joinphrase": ""}],
                "release-group": {"id": "5a0a1f35-0d6e-4c8b-9a63-0a6f1c2b3d0a", "genres": [{"name": "rock", "count": 1}]},
                "genres": [],
                "media": [{"position": 1, "tracks": [{"id": "9d000000-0000-4000-8000-00000000c009", "number": "1",
                  "position": 1, "title": "Long Song", "recording": {"id": "7b1c2d3e-4f50-4a61-8b72-9c83d4e5f609"}}]}]}],
  "covers": {")" + kRelease + R"(": {"250": ")" + cover + R"("}}})";
}

// Runs fpcalc on the file, its output thrown away; false when it fails.
bool RunFpcalc(const std::string& song) {
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    const char* argv[] = {"fpcalc", "-length", "120", song.c_str(), nullptr};
    pid_t pid = -1;
    const int rc = posix_spawnp(&pid, "fpcalc", &actions, nullptr, const_cast<char**>(argv), environ);
    posix_spawn_file_actions_destroy(&actions);
    int status = 0;
    return rc == 0 && waitpid(pid, &status, 0) == pid && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

}  // namespace

int main(int argc, char** argv) {
    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;
    const std::string dir = testsupport::makeTempDir("tunecap-recognition-bench");
    const std::string song = dir + "/song240.wav";
    const std::string cover = dir + "/cover.jpg";
    std::string error;
    if (!musictest::SynthesiseSong(song, 7, 240, 44100, 2, 0, 0, &error) ||
        !musictest::MakeFile(cover, "ffmpeg -v error -nostdin -f lavfi -i color=c=red:s=250x250 -frames:v 1 "
                                    "-f mjpeg @OUT@", &error)) {
        std::fprintf(stderr, "%s\n", error.c_str());
        return 1;
    }
    std::ofstream(dir + "/world.json") << World(song, cover);
    nettest::ChildProcess services;
    if (!services.Start({"/usr/bin/python3", std::string(TUNECAP_TEST_SUPPORT_DIR) + "/musicservices.py", "--world",
                         dir + "/world.json"},
                        true)) {
        return 1;
    }
    const std::string line = services.ReadLine(60000);
    if (line.rfind("PORT ", 0) != 0) return 1;
    const std::string base = "http://127.0.0.1:" + line.substr(5);
    nettest::ExportMusicServices(base, "bench-key");

    MusicParserInitInfo init{};
    std::snprintf(init.picturesDir, sizeof init.picturesDir, "%s/pictures", dir.c_str());
    std::snprintf(init.appSupportDir, sizeof init.appSupportDir, "%s", dir.c_str());
    if (MusicParserInit(&init, nullptr) < 0) {
        std::fprintf(stderr, "MusicParserInit failed\n");
        return 1;
    }

    std::vector<double> ours;
    for (int run = 0; run < runs; ++run) {
        Answer answer;
        MusicParserRequestInfo info{const_cast<char*>(song.c_str()), nullptr, nullptr, nullptr, &answer, &OnAnswer};
        const double start = capbench::CpuSeconds(false);
        void* request = MusicParserRequest(&info);
        {
            std::unique_lock<std::mutex> lock(answer.lock);
            answer.done.wait(lock, [&] { return answer.status != -1; });
        }
        ours.push_back(capbench::CpuSeconds(false) - start);
        MusicParserDestroyRequest(request);
        if (answer.status != STATUS_DONE) {
            std::fprintf(stderr, "run %d: the song was not identified (status %d)\n", run, answer.status);
            return 1;
        }
    }
    MusicParserCleanup();

    std::vector<double> reference;
    for (int run = 0; run < runs; ++run) {
        const double start = capbench::CpuSeconds(true);
        if (!RunFpcalc(song)) {
            std::fprintf(stderr, "fpcalc failed\n");
            return 1;
        }
        reference.push_back(capbench::CpuSeconds(true) - start);
    }
    services.Stop();
    testsupport::removeTree(dir);

    const double mine = Median(ours);
    const double theirs = Median(reference);
    std::printf("identification of a 240 s song, CPU seconds (median of %d): tunecap %.4f, fpcalc %.4f, "
                "ratio %.2f (target at most 1.2)\n",
                runs, mine, theirs, mine / theirs);
    return 0;
}
