#include "recordingwidget.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QTimer>
#include <QVBoxLayout>

#include "editing/selecetcoverwidget.h"
#include "editing/showcoverwidget.h"
#include "library/musicdb.h"
#include "library/showinfolder.h"
#include "library/treewidgetitem.h"

namespace {
// Degrees per animation step and the step interval: one turn in 3.6 s.
constexpr int kStepDegrees = 4;
constexpr int kStepMs = 40;
// Diameter of the disc as a share of the smaller side of the widget.
constexpr double kDiscShare = 0.62;
}  // namespace

CRecordingWidget::CRecordingWidget(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("CRecordingWidget"));
    m_turn = new QTimer(this);
    m_turn->setInterval(kStepMs);
    connect(m_turn, &QTimer::timeout, this, [this] {
        m_angle = (m_angle + kStepDegrees) % 360;
        update();
    });
    m_caption = new QLabel(this);
    m_caption->setAlignment(Qt::AlignCenter);
    m_caption->setStyleSheet(QStringLiteral("color: #5E2B63; font-size: 14px;"));
    auto* layout = new QVBoxLayout(this);
    layout->addStretch(1);
    layout->addWidget(m_caption);
    m_tiles = new QHBoxLayout;
    m_tiles->addStretch(1);
    layout->addLayout(m_tiles);
    layout->setContentsMargins(12, 12, 12, 24);
}

void CRecordingWidget::StartAnimation() {
    m_turn->start();
}

void CRecordingWidget::StopAnimation() {
    m_turn->stop();
}

bool CRecordingWidget::IsAnimating() const {
    return m_turn->isActive();
}

void CRecordingWidget::ResetCoverAnimation() {
    m_angle = 0;
    update();
}

void CRecordingWidget::SetCaption(const QString& text) {
    m_caption->setText(text);
}

QString CRecordingWidget::Caption() const {
    return m_caption->text();
}

void CRecordingWidget::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const int side = int(qMin(width(), height() - 60) * kDiscShare);
    if (side <= 0) return;
    painter.translate(width() / 2.0, (height() - 40) / 2.0);
    painter.rotate(m_angle);
    const QRectF disc(-side / 2.0, -side / 2.0, side, side);
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(0x2A, 0x22, 0x2C));
    painter.drawEllipse(disc);
    // Grooves.
    painter.setBrush(Qt::NoBrush);
    painter.setPen(QPen(QColor(0x4A, 0x40, 0x4D), 1));
    for (double r = side * 0.22; r < side * 0.48; r += side * 0.035)
        painter.drawEllipse(QPointF(0, 0), r, r);
    // Label with a mark that shows the turning.
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(0x5E, 0x2B, 0x63));
    painter.drawEllipse(QPointF(0, 0), side * 0.18, side * 0.18);
    painter.setBrush(QColor(0xE0, 0x36, 0x4B));
    painter.drawEllipse(QPointF(0, -side * 0.11), side * 0.035, side * 0.035);
    painter.setBrush(QColor(0xF6, 0xF3, 0xF7));
    painter.drawEllipse(QPointF(0, 0), side * 0.025, side * 0.025);
}

// ---- Cover tiles --------------------------------------------------------------

CShowCoverWidget* CRecordingWidget::AddCoverTile(CTreeWidgetItem* row) {
    if (!row) return nullptr;
    if (CShowCoverWidget* tile = CoverTile(row)) return tile;
    auto* tile = new CShowCoverWidget(row, m_nextTileId++, this);
    connect(tile, &CShowCoverWidget::ButCliked, this, &CRecordingWidget::ShowSelecetWidget);
    connect(tile, &CShowCoverWidget::PlayActionTriggered, this, &CRecordingWidget::DoubleClickPlay);
    connect(tile, &CShowCoverWidget::DeleteActionTriggered, this,
            &CRecordingWidget::DeleteCoverWidget);
    connect(tile, &CShowCoverWidget::EditActionTriggered, this, &CRecordingWidget::EditCoverWidget);
    connect(tile, &CShowCoverWidget::FinderActionTriggered, this,
            &CRecordingWidget::ShowMusicFileInFinder);
    m_tiles->insertWidget(int(m_coverTiles.size()), tile);
    m_coverTiles.push_back(tile);
    return tile;
}

CShowCoverWidget* CRecordingWidget::CoverTile(const CTreeWidgetItem* row) const {
    for (CShowCoverWidget* tile : m_coverTiles)
        if (tile->Row() == row) return tile;
    return nullptr;
}

void CRecordingWidget::UpdateCoverTile(CTreeWidgetItem* row) {
    if (CShowCoverWidget* tile = CoverTile(row)) tile->Refresh();
}

void CRecordingWidget::RemoveCoverTile(CTreeWidgetItem* row) {
    CShowCoverWidget* tile = CoverTile(row);
    if (!tile) return;
    if (m_selecet && m_selecet->TileId() == tile->Id()) m_selecet->close();
    m_coverTiles.removeOne(tile);
    delete tile;
}

void CRecordingWidget::ShowSelecetWidget(CShowCoverWidget* tile) {
    if (!tile || !tile->Row()) return;
    SongRecord record;
    if (DB_GetMusicInfo(tile->Row()->MusicId(), &record) != 1) return;
    DB_GetImageInfo(&record);
    QStringList covers;
    for (int i = 0; i < record.tags.imageCount && i < 5; ++i)
        covers.push_back(TagText(record.tags.imagePaths[i]));
    if (covers.isEmpty()) return;
    if (!m_selecet) {
        m_selecet = new CSelecetCoverWidget(this);
        connect(m_selecet, &CSelecetCoverWidget::Selected, this,
                &CRecordingWidget::CoverSelecetChange);
    }
    m_selecet->SetCovers(covers, record.ImageId, tile->Id());
    m_selecet->move(tile->mapToGlobal(QPoint(0, tile->height())));
    m_selecet->show();
    m_selecet->setFocus(Qt::PopupFocusReason);
}

void CRecordingWidget::CoverSelecetChange(int imageIndex, int tileId) {
    for (CShowCoverWidget* tile : m_coverTiles) {
        if (tile->Id() != tileId) continue;
        SongRecord record;
        if (DB_GetMusicInfo(tile->Row()->MusicId(), &record) == 1) {
            DB_GetImageInfo(&record);
            if (imageIndex >= 0 && imageIndex < record.tags.imageCount && imageIndex < 5)
                tile->ShowImage(TagText(record.tags.imagePaths[imageIndex]));
        }
        Q_EMIT CoverChosen(tile->Row(), imageIndex);
        return;
    }
}

void CRecordingWidget::DoubleClickPlay(CShowCoverWidget* tile) {
    if (tile && tile->Row()) Q_EMIT PlayMusic(tile->Row());
}

void CRecordingWidget::DeleteCoverWidget(CShowCoverWidget* tile) {
    if (tile && tile->Row()) Q_EMIT DeleteMusic(tile->Row());
}

void CRecordingWidget::EditCoverWidget(CShowCoverWidget* tile) {
    if (tile && tile->Row()) Q_EMIT EditMusic(tile->Row());
}

void CRecordingWidget::ShowMusicFileInFinder(CShowCoverWidget* tile) {
    if (tile && tile->Row()) ShowFileInFolder(tile->Row()->Path());
}
