#pragma once

#include <QMutex>
#include <QThread>

#include <array>
#include <memory>
#include <vector>

class CMyAudioBuffer;
class FFTRealWrapper;

// The bar levels the analysis writes and the spectrum widget paints: 40 bars
// of 0 .. 18 segments. Bars 0 .. 19 are the left channel's bands from low to
// high frequencies; bars 39 .. 20 the right channel's, mirrored.
struct CSpectrumLevels {
    static constexpr int kBars = 40;
    static constexpr int kSegments = 18;

    QMutex mutex;
    std::array<int, kBars> level{};  // guarded by mutex

    // A copy of the levels, taken under the mutex.
    std::array<int, kBars> Copy();
    // Sets every level to value under the mutex.
    void Fill(int value);
};

// One analysis pass per start(): reads the newest 8192 bytes (2048 frames of
// 16-bit stereo) from its buffer, transforms both channels and moves every
// bar one segment towards the loudness of its band, then emits SendDraw().
// start() while a pass runs does nothing, so passes never overlap.
//
// The buffer is written by the capture engine's thread through Buffer(); the
// levels are shared with the widget that owns this thread and must outlive
// it. The thread owns the buffer and the transform.
class CWaveThread : public QThread {
    Q_OBJECT
public:
    static constexpr int kFrames = 2048;
    static constexpr int kWindowBytes = kFrames * 4;
    // About 1.09 s of 44100 Hz 16-bit stereo.
    static constexpr int kBufferBytes = 192000;
    // Bins in a band, and the bands per channel.
    static constexpr int kBinsPerBand = 25;
    static constexpr int kBands = CSpectrumLevels::kBars / 2;

    explicit CWaveThread(CSpectrumLevels* levels, QObject* parent = nullptr);
    ~CWaveThread() override;

    CMyAudioBuffer* Buffer() const { return m_buffer.get(); }

    // One pass, on the calling thread; run() does exactly this.
    void AnalysePass();

Q_SIGNALS:
    // After each pass. Emitted on the analysis thread.
    void SendDraw();

protected:
    void run() override;

private:
    // Moves bar towards target by one segment.
    static void StepTowards(int* bar, int target);

    CSpectrumLevels* m_levels;  // not owned
    std::unique_ptr<FFTRealWrapper> m_fft;
    std::unique_ptr<CMyAudioBuffer> m_buffer;
    // Used by the pass only (one at a time).
    std::vector<char> m_window;
    std::vector<float> m_leftIn, m_leftOut, m_rightIn, m_rightOut;
};
