#include "wavethread.h"

#include <QMutexLocker>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>

#include "fftrealwrapper.h"
#include "myaudiobuffer.h"

static_assert(CWaveThread::kFrames == FFTRealWrapper::kLength, "one frame per transform input");

std::array<int, CSpectrumLevels::kBars> CSpectrumLevels::Copy() {
    QMutexLocker lock(&mutex);
    return level;
}

void CSpectrumLevels::Fill(int value) {
    QMutexLocker lock(&mutex);
    level.fill(value);
}

CWaveThread::CWaveThread(CSpectrumLevels* levels, QObject* parent)
    : QThread(parent),
      m_levels(levels),
      m_fft(std::make_unique<FFTRealWrapper>()),
      m_buffer(std::make_unique<CMyAudioBuffer>(kBufferBytes)),
      m_window(kWindowBytes),
      m_leftIn(kFrames),
      m_leftOut(kFrames),
      m_rightIn(kFrames),
      m_rightOut(kFrames) {}

CWaveThread::~CWaveThread() {
    wait();
}

void CWaveThread::run() {
    AnalysePass();
}

void CWaveThread::StepTowards(int* bar, int target) {
    if (*bar < target)
        ++*bar;
    else if (*bar > target)
        --*bar;
}

void CWaveThread::AnalysePass() {
    if (m_buffer->Read(kWindowBytes, m_window.data()) != 0) {
        m_levels->Fill(0);
        Q_EMIT SendDraw();
        return;
    }

    for (int i = 0; i < kFrames; ++i) {
        int16_t left = 0;
        int16_t right = 0;
        std::memcpy(&left, m_window.data() + i * 4, 2);
        std::memcpy(&right, m_window.data() + i * 4 + 2, 2);
        m_leftIn[std::size_t(i)] = float(left / 32767.0);
        m_rightIn[std::size_t(i)] = float(right / 32767.0);
    }
    m_fft->calculateFFT(m_leftOut.data(), m_leftIn.data());
    m_fft->calculateFFT(m_rightOut.data(), m_rightIn.data());

    // Loudness of a bin: 0.15 * ln |X|, limited to 0 .. 1. Silence gives a
    // tiny or zero magnitude and so 0.
    auto loudness = [](const float* out, int bin) {
        const double magnitude = FFTRealWrapper::Magnitude(out, bin);
        if (!(magnitude > 0.0)) return 0.0;
        return std::clamp(0.15 * std::log(magnitude), 0.0, 1.0);
    };

    // Each band's target: 18 segments times the loudest of its 25 bins.
    // Bins 500 .. 511 belong to no band.
    const int bins = std::min(kFrames, 1024) / 2;
    std::array<int, kBands> leftTarget{};
    std::array<int, kBands> rightTarget{};
    double leftMax = 0.0;
    double rightMax = 0.0;
    for (int i = 0; i < bins && i / kBinsPerBand < kBands; ++i) {
        leftMax = std::max(leftMax, loudness(m_leftOut.data(), i));
        rightMax = std::max(rightMax, loudness(m_rightOut.data(), i));
        if (i % kBinsPerBand != kBinsPerBand - 1) continue;
        const std::size_t band = std::size_t(i / kBinsPerBand);
        leftTarget[band] = int(CSpectrumLevels::kSegments * leftMax);
        rightTarget[band] = int(CSpectrumLevels::kSegments * rightMax);
        leftMax = 0.0;
        rightMax = 0.0;
    }
    {
        QMutexLocker lock(&m_levels->mutex);
        for (std::size_t band = 0; band < std::size_t(kBands); ++band) {
            StepTowards(&m_levels->level[band], leftTarget[band]);
            StepTowards(&m_levels->level[CSpectrumLevels::kBars - 1 - band], rightTarget[band]);
        }
    }
    Q_EMIT SendDraw();
}
