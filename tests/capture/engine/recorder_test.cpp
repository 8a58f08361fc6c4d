// The recorder's encoder thread, silence splitter, sample files and file
// roll-over, driven by an injected input and in-memory files.

#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <cstring>
#include <initializer_list>
#include <thread>

#include "enginefakes.h"

using namespace enginetest;

namespace {

constexpr int kRate = 44100;
constexpr unsigned kBlock = 7056;  // 40 ms at 44100 Hz, 16-bit stereo

std::vector<uint8_t> Bytes(const std::vector<int16_t>& pcm) {
    std::vector<uint8_t> out(pcm.size() * 2);
    std::memcpy(out.data(), pcm.data(), out.size());
    return out;
}

std::vector<uint8_t> Blocks(const std::vector<int16_t>& pcm, size_t first, size_t count) {
    const auto all = Bytes(pcm);
    return std::vector<uint8_t>(all.begin() + long(first * kBlock),
                                all.begin() + long(std::min(all.size(), (first + count) * kBlock)));
}

std::vector<int> Codes(const std::vector<Event>& events) {
    std::vector<int> codes;
    for (const Event& e : events)
        if (e.code != LogLine && e.code != AudioData)
            codes.push_back(e.code);
    return codes;
}

// A 40 Hz sine of `amplitude` (stereo, 16-bit), as it is: no value moved
// away from zero.
std::vector<int16_t> PlainTone(double seconds, double amplitude, double freq = 40.0) {
    const size_t frames = static_cast<size_t>(std::lround(seconds * kRate));
    std::vector<int16_t> pcm(frames * 2);
    for (size_t i = 0; i < frames; ++i)
        pcm[2 * i] = pcm[2 * i + 1] =
            static_cast<int16_t>(std::lround(amplitude * std::sin(2 * M_PI * freq * double(i) / kRate)));
    return pcm;
}

// Stereo noise spread over -within..within.
std::vector<int16_t> Noise(double seconds, int within) {
    std::vector<int16_t> pcm = Silence(seconds, kRate);
    for (size_t i = 0; i < pcm.size(); ++i)
        pcm[i] = static_cast<int16_t>(static_cast<int>(i * 7919 % size_t(2 * within + 1)) - within);
    return pcm;
}

std::vector<int16_t> Join(std::initializer_list<std::vector<int16_t>> parts) {
    std::vector<int16_t> all;
    for (const auto& part : parts)
        Append(all, part);
    return all;
}

// Records `pcm` from the injected input with the split time and stops;
// returns the song files.
std::vector<MemoryFileRecord> RecordSongs(Rig& rig, int splitMs, const std::vector<int16_t>& pcm) {
    EXPECT_EQ(0, rig.Start(splitMs));
    rig.Feed(pcm);
    rig.Stop();
    return rig.files->Main();
}

}  // namespace

TEST(SilenceTest, EveryValueOfTheBlockCountsBothSidesOfZeroAlike) {
    std::vector<int16_t> block(kBlock / 2, 0);
    EXPECT_TRUE(capdev::IsSilentBlock(block.data(), kBlock));
    for (int16_t v : {-10, -2, -1, 1, 10}) {
        block[5] = v;
        EXPECT_TRUE(capdev::IsSilentBlock(block.data(), kBlock)) << v;
    }
    for (int16_t v : {-11, 11, -32768, 32767}) {
        block[5] = v;
        EXPECT_FALSE(capdev::IsSilentBlock(block.data(), kBlock)) << v;
    }
    // A loud value anywhere in the block makes it loud, the last one too.
    block[5] = 0;
    block.back() = -11;
    EXPECT_FALSE(capdev::IsSilentBlock(block.data(), kBlock));
    EXPECT_TRUE(capdev::IsSilentBlock(block.data(), kBlock - 2));
}

// A quiet bass passage (40 Hz at about -50 dBFS, peaks of 104) between two
// loud tones is music: all of it is written, into one file, and no block
// of it is reported silent.
TEST(SplitterTest, QuietToneIsWrittenWhole) {
    Rig rig;
    const auto pcm = Join({Tone(2.0, kRate), PlainTone(6.0, 104.0), Tone(2.0, kRate, 660.0)});
    const auto files = RecordSongs(rig, 1000, pcm);
    ASSERT_EQ(1u, files.size());
    EXPECT_EQ(Bytes(pcm), files[0].data);
    EXPECT_EQ(0, rig.events.Count(SilenceState, 0));
    EXPECT_EQ(1, rig.events.Count(FileClosed));
}

// Near-silence on either side of zero (dither, a noisy input within +-10)
// is a pause like digital silence: it splits at the split time.
TEST(SplitterTest, NoiseWithinTheThresholdSplitsLikeSilence) {
    Rig rig;
    const auto pcm = Join({Tone(1.0, kRate), Noise(1.6, 10), Tone(1.0, kRate, 660.0)});
    const auto files = RecordSongs(rig, 1000, pcm);
    ASSERT_EQ(2u, files.size());
    EXPECT_EQ(Blocks(pcm, 0, 25), files[0].data);
    EXPECT_EQ(Blocks(pcm, 65, 25), files[1].data);
    // The first file closed at the silent block that reached one second.
    EXPECT_EQ(25, rig.events.Count(SilenceState, 0));
}

// 3000 ms at 44100 Hz is 529200 bytes; the file closes at the silent block
// that brings the counter to it or past it.
TEST(SplitterTest, ClosesAtTheBlockThatReachesTheSilenceLimit) {
    Rig rig;
    rig.state->blockBytes = 10000;  // 529200 / 10000 = 52.92: the 53rd block closes
    ASSERT_EQ(0, rig.Start(3000));
    rig.Feed(Tone(50000.0 / kRate, kRate));  // 20 whole blocks
    const std::vector<int16_t> block(5000, 0);
    for (int i = 0; i < 52; ++i)
        rig.Feed(block);
    ASSERT_TRUE(rig.events.WaitFor([](const std::vector<Event>& ev) {
        int n = 0;
        for (const Event& e : ev)
            n += e.code == SilenceState && e.value == 0;
        return n == 52;
    }));
    EXPECT_EQ(0, rig.events.Count(FileClosed));
    rig.Feed(block);
    ASSERT_TRUE(rig.events.WaitForCount(FileClosed, 1));
    EXPECT_EQ(53, rig.events.Count(SilenceState, 0));
    // Once closed, silence raises no more SilenceState 0.
    for (int i = 0; i < 10; ++i)
        rig.Feed(block);
    rig.Stop();
    EXPECT_EQ(53, rig.events.Count(SilenceState, 0));
    EXPECT_EQ(1, rig.events.Count(FileClosed));
    EXPECT_TRUE(rig.events.HasLog("CAudioDevRecorder::AudioEncodeProc start"));
    EXPECT_TRUE(rig.events.HasLog("CAudioDevRecorder::AudioEncodeProc stop"));
}

TEST(SplitterTest, ShortPauseNeitherSplitsNorIsWritten) {
    Rig rig;
    const auto pcm = Join({Tone(2.0, kRate), Silence(1.0, kRate), Tone(2.0, kRate, 660.0)});
    const auto files = RecordSongs(rig, 3000, pcm);
    ASSERT_EQ(1u, files.size());
    // 50 loud blocks, 25 silent ones dropped, then all 50 loud blocks: the
    // one that ends the pause is the attack of what follows.
    std::vector<uint8_t> expected = Blocks(pcm, 0, 50);
    const auto after = Blocks(pcm, 75, 50);
    expected.insert(expected.end(), after.begin(), after.end());
    EXPECT_EQ(expected, files[0].data);
    EXPECT_EQ(1, rig.events.Count(SilenceState, 1));
    EXPECT_EQ(25, rig.events.Count(SilenceState, 0));
    EXPECT_EQ(100, rig.events.Count(AudioData));
}

TEST(SplitterTest, LongPauseSplitsIntoTwoSongs) {
    Rig rig;
    const auto pcm = Join({Tone(2.0, kRate), Silence(4.0, kRate), Tone(1.2, kRate, 660.0)});
    const auto files = RecordSongs(rig, 3000, pcm);
    ASSERT_EQ(2u, files.size());
    EXPECT_EQ(Blocks(pcm, 0, 50), files[0].data);
    EXPECT_EQ(Blocks(pcm, 150, 30), files[1].data);  // from the first loud block on
    EXPECT_TRUE(files[0].closed);
    EXPECT_TRUE(files[1].closed);
    // Open, silent blocks up to the limit, close; open again; close at stop.
    const auto codes = Codes(rig.events.All());
    ASSERT_GE(codes.size(), 3u);
    EXPECT_EQ(SilenceState, codes.front());
    EXPECT_EQ(2, rig.events.Count(SilenceState, 1));
    EXPECT_EQ(75, rig.events.Count(SilenceState, 0));
    EXPECT_EQ(2, rig.events.Count(FileClosed));
    EXPECT_EQ(2, rig.events.Count(FileBegun));
}

TEST(SplitterTest, SplitZeroWritesEverythingToOneFile) {
    Rig rig;
    ASSERT_EQ(0, rig.Start(0));
    std::vector<int16_t> pcm = Silence(1.0, kRate);
    Append(pcm, Tone(1.0, kRate));
    Append(pcm, Silence(5.0, kRate));
    Append(pcm, Tone(1.0, kRate));
    rig.Feed(pcm);
    rig.Stop();

    const auto files = rig.files->Main();
    ASSERT_EQ(1u, files.size());
    EXPECT_EQ(Bytes(pcm), files[0].data);
    EXPECT_EQ(1, rig.events.Count(SilenceState, 1));
    EXPECT_EQ(0, rig.events.Count(SilenceState, 0));
    EXPECT_EQ(1, rig.events.Count(FileClosed));
}

TEST(SplitterTest, StartInSilenceOpensNoFile) {
    Rig rig;
    ASSERT_EQ(0, rig.Start(3000));
    rig.Feed(Silence(5.0, kRate));
    rig.Stop();
    EXPECT_TRUE(rig.files->Main().empty());
    EXPECT_EQ(0, rig.events.Count(SilenceState));
    EXPECT_EQ(0, rig.events.Count(FileClosed));
    EXPECT_EQ(0, rig.events.Count(AudioData));
}

TEST(SampleFileTest, ShortSongAbandonsItsSampleAndLongSongCompletesIt) {
    Rig rig;
    ASSERT_EQ(0, rig.Start(3000, 0, 1));
    std::vector<int16_t> pcm = Tone(15.0, kRate);
    Append(pcm, Silence(3.2, kRate));
    Append(pcm, Tone(25.0, kRate, 660.0));
    rig.Feed(pcm);
    rig.Stop();

    const auto main = rig.files->Main();
    const auto samples = rig.files->Samples();
    ASSERT_EQ(2u, main.size());
    ASSERT_EQ(2u, samples.size());
    EXPECT_EQ(1, samples[0].type);  // samples are always WAV
    EXPECT_EQ(375u * kBlock, samples[0].data.size());
    // 20 seconds exactly: 500 blocks of 7056 bytes.
    EXPECT_EQ(3528000u, samples[1].data.size());
    EXPECT_TRUE(std::equal(samples[1].data.begin(), samples[1].data.end(), main[1].data.begin()));

    std::vector<Event> sampleEvents;
    std::vector<int> order;
    for (const Event& e : rig.events.All()) {
        if (e.code == SampleFile)
            sampleEvents.push_back(e);
        if (e.code == SampleFile || e.code == FileClosed)
            order.push_back(e.code * 10 + e.value);
    }
    ASSERT_EQ(2u, sampleEvents.size());
    EXPECT_EQ(1, sampleEvents[0].value);
    EXPECT_EQ(samples[0].name, sampleEvents[0].text);
    EXPECT_EQ(0, sampleEvents[1].value);
    EXPECT_EQ(samples[1].name, sampleEvents[1].text);
    // Abandoned before the first song's FileClosed; completed while the
    // second song was still open.
    EXPECT_EQ((std::vector<int>{61, 10, 60, 10}), order);
}

TEST(SampleFileTest, FailedSampleWriteAbandonsTheSampleAndKeepsTheSong) {
    Rig rig;
    rig.files->failSampleAfterBytes = 100 * kBlock;
    ASSERT_EQ(0, rig.Start(3000, 0, 1));
    rig.Feed(Tone(25.0, kRate));
    rig.Stop();

    const auto main = rig.files->Main();
    const auto samples = rig.files->Samples();
    ASSERT_EQ(1u, main.size());
    ASSERT_EQ(1u, samples.size());
    EXPECT_EQ(625u * kBlock, main[0].data.size());  // the song lost nothing
    EXPECT_TRUE(samples[0].closed);
    // Reported once, as abandoned, never as complete.
    EXPECT_EQ(0, rig.events.Count(SampleFile, 0));
    EXPECT_EQ(1, rig.events.Count(SampleFile, 1));
    EXPECT_EQ(0, rig.events.Count(RecordError));
}

TEST(FileEventsTest, FileBegunOnlyAfterOneSecond) {
    Rig rig;
    ASSERT_EQ(0, rig.Start(3000));
    std::vector<int16_t> pcm = Tone(0.96, kRate);  // 24 blocks
    Append(pcm, Silence(3.2, kRate));
    Append(pcm, Tone(1.2, kRate, 660.0));
    rig.Feed(pcm);
    rig.Stop();

    const auto main = rig.files->Main();
    ASSERT_EQ(2u, main.size());
    std::vector<Event> begun, closed;
    for (const Event& e : rig.events.All()) {
        if (e.code == FileBegun)
            begun.push_back(e);
        if (e.code == FileClosed)
            closed.push_back(e);
    }
    ASSERT_EQ(1u, begun.size());
    EXPECT_EQ(0, begun[0].value);
    EXPECT_EQ(main[1].name, begun[0].text);
    ASSERT_EQ(2u, closed.size());
    EXPECT_EQ(main[0].name, closed[0].text);
    EXPECT_EQ(main[1].name, closed[1].text);
}

TEST(DrainTest, EveryByteFedReachesTheFileAtStop) {
    Rig rig(capdev::kRecorderWavLimit, 400);  // room for all of it
    std::atomic<bool> release{false};
    rig.events.onAudio = [&] {
        while (!release.load())
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
    };
    ASSERT_EQ(0, rig.Start(0));
    const auto pcm = Tone(10.0, kRate);
    rig.Feed(pcm);  // the encoder is held in its first AudioData
    // Let the encoder go only once the stop request is under way.
    std::thread releaser([&] {
        while (rig.recorder->IsRecording())
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        release = true;
    });
    EXPECT_EQ(0, rig.Stop());
    releaser.join();
    const auto files = rig.files->Main();
    ASSERT_EQ(1u, files.size());
    EXPECT_EQ(Bytes(pcm), files[0].data);
    EXPECT_TRUE(files[0].closed);
    EXPECT_EQ(0u, rig.recorder->DroppedBytes());
}

TEST(DrainTest, OverflowIsCountedAndLoggedOnce) {
    Rig rig(capdev::kRecorderWavLimit, 2);
    std::atomic<bool> entered{false}, release{false};
    rig.events.onAudio = [&] {
        entered = true;
        while (!release.load())
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
    };
    ASSERT_EQ(0, rig.Start(0));
    const auto pcm = Tone(0.2, kRate);  // 5 blocks
    const auto* bytes = reinterpret_cast<const uint8_t*>(pcm.data());
    rig.state->last->Deliver(bytes, kBlock);
    while (!entered.load())
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    // The encoder holds block 0; the ring takes two more, the rest is lost.
    for (unsigned i = 1; i < 5; ++i)
        rig.state->last->Deliver(bytes + i * kBlock, kBlock);
    EXPECT_EQ(2u * kBlock, rig.recorder->DroppedBytes());
    release = true;
    rig.Stop();
    EXPECT_EQ(2u * kBlock, rig.recorder->DroppedBytes());
    int overflowLines = 0;
    for (const Event& e : rig.events.All())
        overflowLines += e.code == LogLine && e.text.find("ring buffer full") != std::string::npos;
    EXPECT_EQ(1, overflowLines);
    EXPECT_EQ(3u * kBlock, rig.files->Main().at(0).data.size());
}

// A WAV file's 32-bit sizes must never be passed: the recorder continues in
// a new file first, announced as after a split.
TEST(WavLimitTest, RollsOverToANewFileBeforeTheLimit) {
    Rig rig(10 * kBlock + 100);
    ASSERT_EQ(0, rig.Start(0, 1));
    const auto pcm = Tone(1.0, kRate);  // 25 blocks
    rig.Feed(pcm);
    rig.Stop();

    const auto files = rig.files->Main();
    ASSERT_EQ(3u, files.size());
    EXPECT_EQ(Blocks(pcm, 0, 10), files[0].data);
    EXPECT_EQ(Blocks(pcm, 10, 10), files[1].data);
    EXPECT_EQ(Blocks(pcm, 20, 5), files[2].data);
    for (const auto& f : files)
        EXPECT_TRUE(f.closed);
    EXPECT_EQ(3, rig.events.Count(SilenceState, 1));
    EXPECT_EQ(3, rig.events.Count(FileClosed));
    // Each FileClosed comes before the SilenceState 1 of the next file.
    const auto codes = Codes(rig.events.All());
    EXPECT_EQ((std::vector<int>{SilenceState, FileClosed, SilenceState, FileClosed, SilenceState,
                                FileClosed}),
              codes);
}

TEST(WavLimitTest, Mp3FilesDoNotRollOver) {
    Rig rig(10 * kBlock);
    ASSERT_EQ(0, rig.Start(0, 0));
    rig.Feed(Tone(1.0, kRate));
    rig.Stop();
    ASSERT_EQ(1u, rig.files->Main().size());
    EXPECT_EQ(25u * kBlock, rig.files->Main()[0].data.size());
}

TEST(FailureTest, WriteErrorStopsTheEncoderWithMinus8) {
    Rig rig;
    rig.files->failAfterBytes = 30 * kBlock;
    ASSERT_EQ(0, rig.Start(0));
    rig.Feed(Tone(1.6, kRate));  // 40 blocks: what the encoder leaves fits the ring
    ASSERT_TRUE(rig.events.WaitForCount(FileClosed, 1));
    const auto events = rig.events.All();
    std::vector<int> codes = Codes(events);
    // SilenceState 1, FileBegun (one second, 25 blocks), RecordError, FileClosed.
    EXPECT_EQ((std::vector<int>{SilenceState, FileBegun, RecordError, FileClosed}), codes);
    for (const Event& e : events) {
        if (e.code == RecordError) {
            EXPECT_EQ(-8, e.value);
        }
    }
    // The recording stays in force until stopped.
    EXPECT_TRUE(rig.recorder->IsRecording());
    EXPECT_EQ(-6, rig.Start(0));
    EXPECT_EQ(0, rig.Stop());
    EXPECT_EQ(30, rig.events.Count(AudioData) - 1);  // the failing block was announced too
}

// Five seconds of sound find no file: -7. Meanwhile the log says why once
// and then once per second, not once per 40 ms block.
TEST(FailureTest, FolderThatStaysUnwritableIsReportedWithMinus7) {
    Rig rig;
    rig.files->failOpen = true;
    rig.files->openError = "cannot create /music/AU.mp3: Read-only file system";
    ASSERT_EQ(0, rig.Start(3000));
    rig.Feed(Tone(6.0, kRate));
    ASSERT_TRUE(rig.events.WaitForCount(RecordError, 1));
    rig.Stop();
    EXPECT_EQ(1, rig.events.Count(RecordError, -7));
    EXPECT_EQ(0, rig.events.Count(SilenceState, 1));
    EXPECT_TRUE(rig.files->Main().empty());

    std::vector<std::string> lines;
    for (const Event& e : rig.events.All())
        if (e.code == LogLine && e.text.find("CreateTavraFile") != std::string::npos)
            lines.push_back(e.text);
    ASSERT_EQ(5u, lines.size());  // 125 failed blocks: at 0, 1, 2, 3 and 4 seconds
    EXPECT_NE(std::string::npos, lines[0].find(rig.folder));
    EXPECT_NE(std::string::npos, lines[0].find("Read-only file system"));
    for (size_t i = 1; i < lines.size(); ++i) {
        EXPECT_EQ(std::string::npos, lines[i].find("Read-only")) << lines[i];
        EXPECT_NE(std::string::npos, lines[i].find("unsaved ms: " + std::to_string(i * 1000)))
            << lines[i];
    }
}

TEST(FailureTest, FolderThatComesBackGetsTheSongWithoutAnError) {
    Rig rig;
    rig.files->failOpen = true;
    ASSERT_EQ(0, rig.Start(3000));
    rig.Feed(Tone(1.0, kRate));
    {
        std::lock_guard<std::mutex> lock(rig.files->mutex);
        rig.files->failOpen = false;
    }
    rig.Feed(Tone(2.0, kRate));
    rig.Stop();
    EXPECT_EQ(0, rig.events.Count(RecordError));
    ASSERT_EQ(1u, rig.files->Main().size());
    EXPECT_FALSE(rig.files->Main()[0].data.empty());
}

TEST(FailureTest, LostInputClosesTheFileAndReportsMinus9WithItsName) {
    Rig rig;
    ASSERT_EQ(0, rig.Start(0));
    const auto pcm = Tone(2.0, kRate);
    rig.Feed(pcm);
    rig.state->last->Lose();
    ASSERT_TRUE(rig.events.WaitForCount(RecordError, 1));
    const auto events = rig.events.All();
    const auto codes = Codes(events);
    ASSERT_GE(codes.size(), 2u);
    EXPECT_EQ(FileClosed, codes[codes.size() - 2]);
    EXPECT_EQ(RecordError, codes.back());
    for (const Event& e : events) {
        if (e.code == RecordError) {
            EXPECT_EQ(-9, e.value);
            EXPECT_EQ("Monitor of Speakers", e.text);
        }
    }
    const auto files = rig.files->Main();
    ASSERT_EQ(1u, files.size());
    EXPECT_TRUE(files[0].closed);
    EXPECT_EQ(Bytes(pcm), files[0].data);
    EXPECT_EQ(0, rig.Stop());
    // The handle records again afterwards.
    ASSERT_EQ(0, rig.Start(0));
    rig.Feed(Tone(0.4, kRate));
    rig.Stop();
    EXPECT_EQ(2u, rig.files->Main().size());
}
