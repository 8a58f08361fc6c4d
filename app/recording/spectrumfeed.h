#pragma once

#include <QByteArray>
#include <QObject>

#include <array>
#include <atomic>
#include <memory>

#include "wavethread.h"

class QTimer;

// The live spectrum of the recording, without its picture: the capture
// engine feeds blocks of what it writes, a 50 ms timer starts an analysis
// pass on CWaveThread while the feed is active, and LevelsChanged() tells
// the view to paint the 40 bar levels again. QtCore only.
//
// Feeding: PushAudio() from any thread (the capture engine's encoder thread
// hands it each block it writes). Everything else on the GUI thread.
class CSpectrumFeed : public QObject {
    Q_OBJECT
public:
    static constexpr int kTimerMs = 50;

    explicit CSpectrumFeed(QObject* parent = nullptr);
    ~CSpectrumFeed() override;

    // Appends a block of interleaved 16-bit stereo PCM while the feed is
    // active. Returns the bytes taken: 0 while inactive, -1 when the buffer
    // is full. Any thread.
    int PushAudio(const QByteArray& block);
    // Bytes the buffer drops per pass: 50 ms of the recording (sample rate
    // × 4 / 20). Values of 0 or less are ignored.
    void SetStep(int bytes);
    // The recording display starts: passes run.
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
    // Timer tick: starts a pass unless one runs or the feed is inactive.
    void ProgramWaveData();

Q_SIGNALS:
    // The levels changed (a pass finished, or the feed stopped). GUI thread.
    void LevelsChanged();

private:
    // Shared with m_thread, which is destroyed first.
    CSpectrumLevels m_levels;
    std::unique_ptr<CWaveThread> m_thread;
    QTimer* m_timer = nullptr;
    std::atomic<bool> m_active{false};
};
