// The media engine against FFmpeg's own tools, one run side by side:
// - the length of a one-hour MP3 (with and without its information frame)
//   by WM_AddFile + WM_GetMediaDuration, against ffprobe;
// - converting a four-minute MP3 to WAV by WM_Converter, against
//   `ffmpeg -i in.mp3 out.wav` (CPU time), and to 11025 Hz mono;
// - CPU while playing that MP3 into a private PulseAudio daemon, against
//   `ffplay -nodisp` and `paplay` of the decoded WAV over the same time.
//
//   medcore_bench [play seconds]     (default 30)

#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>

#include "benchsupport.h"
#include "medcore.h"
#include "pulsedaemon.h"

namespace {

constexpr int kRate = 44100;

double Now() {
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

bool Run(const std::string& command) { return std::system((command + " >/dev/null 2>&1").c_str()) == 0; }

// CPU seconds and wall seconds of a shell command run as a child.
struct Cost {
    double cpu = 0;
    double wall = 0;
    bool ok = false;
};
Cost Measure(const std::string& command) {
    const double cpu0 = capbench::CpuSeconds(true);
    const double wall0 = Now();
    Cost c;
    c.ok = Run(command);
    c.wall = Now() - wall0;
    c.cpu = capbench::CpuSeconds(true) - cpu0;
    return c;
}

int64_t EngineLength(const std::string& path, double* seconds) {
    const double wall0 = Now();
    const int h = WM_AddFile(path.c_str());
    int64_t ms = -1;
    WM_GetMediaDuration(h, &ms);
    WM_DeleteFile(h);
    *seconds = Now() - wall0;
    return ms;
}

int Progress(int, int state, void*) { return state; }

}  // namespace

int main(int argc, char** argv) {
    const double playSeconds = argc > 1 ? std::atof(argv[1]) : 30.0;
    char folderTemplate[] = "/tmp/medcore-bench-XXXXXX";
    if (!mkdtemp(folderTemplate)) {
        std::perror("mkdtemp");
        return 2;
    }
    const std::string folder = folderTemplate;
    const std::string wav = folder + "/music.wav", mp3 = folder + "/music.mp3",
                      hour = folder + "/hour.mp3", hourBare = folder + "/hour-noinfo.mp3";
    std::printf("preparing files in %s\n", folder.c_str());
    // Fifteen copies of the four minutes, joined by ffmpeg (which writes a
    // new information frame for the whole hour).
    if (std::FILE* list = std::fopen((folder + "/list.txt").c_str(), "w")) {
        for (int i = 0; i < 15; ++i) std::fputs("file 'music.mp3'\n", list);
        std::fclose(list);
    }
    if (!capbench::WriteWav(wav, capbench::MusicSignal(240, kRate), kRate) ||
        !Run("lame --quiet -b 192 '" + wav + "' '" + mp3 + "'") ||
        !Run("ffmpeg -y -f concat -safe 0 -i '" + folder + "/list.txt' -c copy '" + hour + "'") ||
        !Run("ffmpeg -y -i '" + hour + "' -c copy -write_xing 0 '" + hourBare + "'")) {
        std::fprintf(stderr, "cannot make the test files\n");
        return 2;
    }
    WM_Create("medcore bench");

    // Length.
    for (const std::string& file : {hour, hourBare}) {
        double engine = 0;
        const int64_t ms = EngineLength(file, &engine);
        std::string probe;
        const double wall0 = Now();
        testsupport::runCommand(
            "ffprobe -v error -show_entries format=duration -of csv=p=0 '" + file + "'", &probe);
        const double probeWall = Now() - wall0;
        std::printf("length %s: engine %.3f s in %.1f ms; ffprobe %.3f s in %.1f ms\n",
                    file.substr(folder.size() + 1).c_str(), double(ms) / 1000, engine * 1000,
                    std::atof(probe.c_str()), probeWall * 1000);
    }

    // Conversion.
    const int h = WM_AddFile(mp3.c_str());
    double cpu0 = capbench::CpuSeconds(false);
    double wall0 = Now();
    const int converted = WM_Converter(h, (folder + "/engine.wav").c_str(), nullptr);
    const double engineCpu = capbench::CpuSeconds(false) - cpu0, engineWall = Now() - wall0;
    cpu0 = capbench::CpuSeconds(false);
    wall0 = Now();
    const WM_ConvertFormat small{11025, 1};
    const int convertedSmall = WM_ConverterEx(h, (folder + "/small.wav").c_str(), &small, nullptr);
    const double smallCpu = capbench::CpuSeconds(false) - cpu0, smallWall = Now() - wall0;
    const Cost ffmpeg = Measure("ffmpeg -y -i '" + mp3 + "' '" + folder + "/ffmpeg.wav'");
    std::printf("convert 4 min MP3 -> WAV: engine %.3f s CPU (%.3f s wall, result %d); "
                "ffmpeg %.3f s CPU (%.3f s wall); ratio %.2f\n",
                engineCpu, engineWall, converted, ffmpeg.cpu, ffmpeg.wall, engineCpu / ffmpeg.cpu);
    std::printf("convert 4 min MP3 -> WAV 11025 Hz mono: engine %.3f s CPU (%.3f s wall, result %d)\n",
                smallCpu, smallWall, convertedSmall);

    // Playing, on a private sound server.
    {
        testsupport::PulseDaemon daemon;
        if (!daemon.ok()) {
            std::fprintf(stderr, "private PulseAudio daemon: %s\n", daemon.error().c_str());
            return 2;
        }
        cpu0 = capbench::CpuSeconds(false);
        wall0 = Now();
        const int created = WM_CreatePlay(h, &Progress, nullptr);
        WM_Play();
        std::this_thread::sleep_for(std::chrono::duration<double>(playSeconds));
        WM_DestroyPlay();
        const double playCpu = capbench::CpuSeconds(false) - cpu0, playWall = Now() - wall0;
        const std::string seconds = std::to_string(static_cast<int>(playSeconds));
        const Cost ffplay = Measure("PULSE_SERVER='" + daemon.server() +
                                    "' SDL_AUDIODRIVER=pulseaudio ffplay -nodisp -autoexit -loglevel error -t " +
                                    seconds + " '" + mp3 + "'");
        const Cost paplay = Measure("PULSE_SERVER='" + daemon.server() + "' timeout " + seconds +
                                    " paplay '" + folder + "/ffmpeg.wav'; true");
        std::printf("play %s s: engine %.3f s CPU over %.1f s (%.2f %% of a core, create %d); "
                    "ffplay -nodisp %.3f s CPU over %.1f s (%.2f %%%s); paplay of the WAV %.3f s CPU "
                    "over %.1f s (%.2f %%)\n",
                    seconds.c_str(), playCpu, playWall, 100 * playCpu / playWall, created, ffplay.cpu,
                    ffplay.wall, 100 * ffplay.cpu / ffplay.wall, ffplay.ok ? "" : ", failed", paplay.cpu,
                    paplay.wall, 100 * paplay.cpu / paplay.wall);
    }
    WM_DeleteFile(h);
    WM_Destroy();
    Run("rm -rf '" + folder + "'");
    return converted == 0 && convertedSmall == 0 ? 0 : 1;
}
