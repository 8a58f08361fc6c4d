#include "wavfile_widget.h"

#include <QColor>
#include <QImage>
#include <QPainter>
#include <algorithm>

namespace {
const QColor kLitColour(0x76, 0x6f, 0x35);    // "#766f35"
const QColor kEmptyColour(0xd1, 0xcd, 0x94);  // "#d1cd94"
// Left and right margin of the bars, and the gap between the two halves.
constexpr int kMargin = 5;
constexpr int kHalfGap = 10;
}  // namespace

wavfile_widget::wavfile_widget(CSpectrumFeed* feed, QWidget* parent)
    : QWidget(parent), m_feed(feed) {
    setObjectName(QStringLiteral("wavfile_widget"));
    setContentsMargins(0, 0, 0, 0);
    setMinimumSize(2 * kMargin + kHalfGap + 2 * CSpectrumLevels::kBars,
                   2 * CSpectrumLevels::kSegments + 4);
    m_peak.fill(-1);
    m_hold.fill(0);
    if (m_feed) connect(m_feed, &CSpectrumFeed::LevelsChanged, this, &wavfile_widget::DrawSpectrum);
}

void wavfile_widget::DrawSpectrum() {
    update();
}

void wavfile_widget::paintEvent(QPaintEvent*) {
    std::array<int, CSpectrumLevels::kBars> levels{};
    if (m_feed) levels = m_feed->Levels();
    constexpr int last = CSpectrumLevels::kBars - 1;
    // The outermost bars never stand above their neighbours.
    if (levels[0] > levels[1]) levels[0] = levels[1] - 1;
    if (levels[last] > levels[last - 1]) levels[last] = levels[last - 1] - 1;

    // Bars are barPitch apart and one pixel narrower; the right half starts
    // kHalfGap further on. Rows are one-pixel lines two pixels apart, row 0
    // at the bottom.
    const int barPitch = (width() - 2 * kMargin) / CSpectrumLevels::kBars;
    const int barWidth = barPitch - 1;
    const int bottom = height() / 2 + CSpectrumLevels::kSegments;
    const bool active = m_feed && m_feed->IsActive();

    QImage image(size(), QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    for (int i = 0; i < CSpectrumLevels::kBars; ++i) {
        const std::size_t bar = std::size_t(i);
        const int level = levels[bar];
        if (level > m_peak[bar]) {
            m_peak[bar] = level;
            m_hold[bar] = 0;
        }
        // A peak of 18 lies above the top row: its marker shows on the top
        // row once the bar has dropped below it.
        const int peakRow = std::min(m_peak[bar], CSpectrumLevels::kSegments - 1);
        const int lit = (level >= 1 && level <= CSpectrumLevels::kSegments) ? level : 0;
        const int x = kMargin + kHalfGap * (i / (CSpectrumLevels::kBars / 2)) + i * barPitch;
        for (int row = 0; row < CSpectrumLevels::kSegments; ++row) {
            QColor colour = kEmptyColour;
            if (row < lit) {
                colour = kLitColour;
            } else if (row == peakRow && active) {
                colour = kLitColour;
                if (++m_hold[bar] >= kPeakHold) {
                    m_hold[bar] = 0;
                    m_peak[bar] = 0;
                }
            }
            if (barWidth > 0) painter.fillRect(x, bottom - 2 * row, barWidth, 1, colour);
        }
    }
    painter.end();
    QPainter(this).drawImage(0, 0, image);
}
