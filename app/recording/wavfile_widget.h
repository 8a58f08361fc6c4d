#pragma once

#include <QPointer>
#include <QWidget>

#include <array>

#include "spectrumfeed.h"

// The picture of the live spectrum (CSpectrumFeed): 40 bars of up to 18
// segments with a falling peak marker each, the left channel's bands on the
// left half and the right channel's mirrored on the right half (low
// frequencies at the outer edges). It paints what the feed analysed, again
// on each LevelsChanged(). GUI thread.
class wavfile_widget : public QWidget {
    Q_OBJECT
public:
    // Drawings of a peak marker before it drops.
    static constexpr int kPeakHold = 10;

    // feed: what is painted; not owned, may be null (empty bars).
    explicit wavfile_widget(CSpectrumFeed* feed = nullptr, QWidget* parent = nullptr);

    CSpectrumFeed* Feed() const { return m_feed; }

public Q_SLOTS:
    // A pass finished or the feed stopped: repaint.
    void DrawSpectrum();

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QPointer<CSpectrumFeed> m_feed;
    // Painting moves them.
    std::array<int, CSpectrumLevels::kBars> m_peak;
    std::array<qint16, CSpectrumLevels::kBars> m_hold;
};
