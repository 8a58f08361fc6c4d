#include "wavfile_widget.h"

#include <QColor>
#include <QImage>
#include <QPainter>
#include <QTimer>

#include <algorithm>

#include "myaudiobuffer.h"

namespace {
const QColor kLitColour(0x76, 0x6f, 0x35);    // "#766f35"
const QColor kEmptyColour(0xd1, 0xcd, 0x94);  // "#d1cd94"
// Left and right margin of the bars, and the gap between the two halves.
constexpr int kMargin = 5;
constexpr int kHalfGap = 10;
}  // namespace

wavfile_widget::wavfile_widget(QWidget* parent)
    : QWidget(parent), m_thread(std::make_unique<CWaveThread>(&m_levels)) {
    setObjectName(QStringLiteral("wavfile_widget"));
    setContentsMargins(0, 0, 0, 0);
    setMinimumSize(2 * kMargin + kHalfGap + 2 * CSpectrumLevels::kBars,
                   2 * CSpectrumLevels::kSegments + 4);
    m_peak.fill(-1);
    m_hold.fill(0);
    connect(m_thread.get(), &CWaveThread::SendDraw, this, &wavfile_widget::DrawSpectrum);
    m_timer = new QTimer(this);
    m_timer->setInterval(kTimerMs);
    connect(m_timer, &QTimer::timeout, this, &wavfile_widget::ProgramWaveData);
    m_timer->start();
}

wavfile_widget::~wavfile_widget() {
    m_timer->stop();
    m_active = false;
    m_thread->wait();
}

int wavfile_widget::PushAudio(const QByteArray& block) {
    if (!m_active.load() || block.isEmpty()) return 0;
    return m_thread->Buffer()->Push(int(block.size()), block.constData());
}

void wavfile_widget::SetStep(int bytes) {
    m_thread->Buffer()->SetStep(bytes);
}

void wavfile_widget::Activate() {
    m_active = true;
}

void wavfile_widget::Deactivate() {
    m_active = false;
    // A pass still running would move the bars again after they were reset.
    m_thread->wait();
    m_thread->Buffer()->Clear();
    m_levels.Fill(0);
    update();
}

void wavfile_widget::Clear() {
    m_thread->Buffer()->Clear();
}

void wavfile_widget::ProgramWaveData() {
    if (m_active.load()) m_thread->start(QThread::InheritPriority);
}

void wavfile_widget::DrawSpectrum() {
    update();
}

void wavfile_widget::paintEvent(QPaintEvent*) {
    std::array<int, CSpectrumLevels::kBars> levels = m_levels.Copy();
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
    const bool active = m_active.load();

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
