#pragma once

#include <QByteArray>
#include <QWidget>

#include <array>
#include <atomic>
#include <memory>

#include "wavethread.h"

class QTimer;

// The live spectrum of the recording: 40 bars of up to 18 segments with a
// falling peak marker each, the left channel's bands on the left half and the
// right channel's mirrored on the right half (low frequencies at the outer
// edges). A 50 ms timer starts an analysis pass on CWaveThread while the
// monitor is active; the thread's SendDraw() repaints.
//
// Feeding: PushAudio() from any thread (the capture engine's encoder thread
// hands it each block it writes). Everything else on the GUI thread.
class wavfile_widget : public QWidget {
    Q_OBJECT
public:
    static constexpr int kTimerMs = 50;
    // Drawings of a peak marker before it drops.
    static constexpr int kPeakHold = 10;

    explicit wavfile_widget(QWidget* parent = nullptr);
    ~wavfile_widget() override;

    // Appends a block of interleaved 16-bit stereo PCM while the monitor is
    // active. Returns the bytes taken: 0 while inactive, -1 when the buffer
    // is full. Any thread.
    int PushAudio(const QByteArray& block);
    // Bytes the buffer drops per pass: 50 ms of the recording (sample rate
    // × 4 / 20). Values of 0 or less are ignored.
    void SetStep(int bytes);
    // The recording display starts: passes run and peaks are drawn.
    void Activate();
    // The recording display stops: the buffer is emptied and every bar drops
    // to 0 at once.
    void Deactivate();
    // Empties the buffer (the engine reported a silent block).
    void Clear();
    bool IsActive() const { return m_active.load(); }

    // The bar levels as the analysis left them.
    std::array<int, CSpectrumLevels::kBars> Levels() { return m_levels.Copy(); }
    CWaveThread* Thread() const { return m_thread.get(); }
    QTimer* Timer() const { return m_timer; }

public Q_SLOTS:
    // Timer tick: starts a pass unless one runs or the monitor is inactive.
    void ProgramWaveData();
    // A pass finished: repaint.
    void DrawSpectrum();

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    // Shared with m_thread, which is destroyed first.
    CSpectrumLevels m_levels;
    std::unique_ptr<CWaveThread> m_thread;
    QTimer* m_timer = nullptr;
    // GUI thread only: painting moves them.
    std::array<int, CSpectrumLevels::kBars> m_peak;
    std::array<qint16, CSpectrumLevels::kBars> m_hold;
    std::atomic<bool> m_active{false};
};
