#include "recordingwidget.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QPainter>
#include <QPainterPath>
#include <QTimer>
#include <QtMath>
#include <QVBoxLayout>

#include "download/downloadqueue.h"
#include "editing/selecetcoverwidget.h"
#include "editing/showcoverwidget.h"
#include "library/library.h"
#include "library/showinfolder.h"
#include "library/treewidgetitem.h"
#include "localfile.h"

namespace {
// Degrees per animation step and the step interval: one turn in 3.6 s.
constexpr int kStepDegrees = 4;
constexpr int kStepMs = 40;
// Diameter of the disc as a share of the smaller side of its area.
constexpr double kDiscShare = 0.8;
// Height of the area above the texts and the list that the disc takes.
constexpr int kDiscAreaHeight = 230;
}  // namespace

CRecordingWidget::CRecordingWidget(CLibrary* library, QWidget* parent)
    : QWidget(parent), m_library(library) {
    setObjectName(QStringLiteral("CRecordingWidget"));
    m_turn = new QTimer(this);
    m_turn->setInterval(kStepMs);
    connect(m_turn, &QTimer::timeout, this, [this] {
        m_angle = (m_angle + kStepDegrees) % 360;
        update(DiscArea());
    });
    m_title = new QLabel(this);
    m_title->setObjectName(QStringLiteral("coverTitle"));
    m_title->setAlignment(Qt::AlignCenter);
    m_title->setStyleSheet(QStringLiteral("color: #2A222C; font-size: 16px; font-weight: bold;"));
    m_artist = new QLabel(this);
    m_artist->setObjectName(QStringLiteral("coverArtist"));
    m_artist->setAlignment(Qt::AlignCenter);
    m_artist->setStyleSheet(QStringLiteral("color: #6E5A72; font-size: 13px;"));
    m_caption = new QLabel(this);
    m_caption->setAlignment(Qt::AlignCenter);
    m_caption->setStyleSheet(QStringLiteral("color: #5E2B63; font-size: 14px;"));
    m_songs = new QListWidget(this);
    m_songs->setObjectName(QStringLiteral("sessionSongs"));
    m_songs->setSelectionMode(QAbstractItemView::NoSelection);
    m_songs->setFocusPolicy(Qt::NoFocus);
    m_songs->setStyleSheet(QStringLiteral(
        "#sessionSongs{border: none; background: transparent; color: #2A222C;}"
        "#sessionSongs::item{padding: 3px 6px; border-bottom: 1px solid #E0D3E3;}"));

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(24, kDiscAreaHeight, 24, 12);
    layout->setSpacing(2);
    layout->addWidget(m_title);
    layout->addWidget(m_artist);
    layout->addWidget(m_caption);
    layout->addWidget(m_songs, 1);
    m_tiles = new QHBoxLayout;
    m_tiles->addStretch(1);
    layout->addLayout(m_tiles);
}

void CRecordingWidget::StartAnimation() {
    m_turn->start();
}

void CRecordingWidget::StopAnimation() {
    m_turn->stop();
    m_downloading = false;
    update();
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

QString CRecordingWidget::CoverTitle() const {
    return m_title->text();
}

QString CRecordingWidget::CoverArtist() const {
    return m_artist->text();
}

void CRecordingWidget::ClearItems() {
    m_items.clear();
    m_curIndex = -1;
    ShowItems();
}

CRecordingWidget::AnimItem CRecordingWidget::ItemOf(const CTreeWidgetItem* row, int kind) {
    AnimItem item;
    item.musicId = row->MusicId();
    item.kind = kind;
    item.title = row->Text(2, 0);
    item.artist = row->Text(4, 0);
    item.time = row->TimeRecorded();
    return item;
}

int CRecordingWidget::IndexOf(int musicId) const {
    for (int i = 0; i < m_items.size(); ++i)
        if (m_items[i].musicId == musicId) return i;
    return -1;
}

int CRecordingWidget::AddAnimItem(CTreeWidgetItem* row, int kind) {
    if (!row) return -1;
    m_items.prepend(ItemOf(row, kind));
    ++m_curIndex;
    qDebug("CRecordingWidget::AddAnimItem m_curIndex: %d", m_curIndex);
    ShowItems();
    m_songs->scrollToTop();
    return m_curIndex;
}

void CRecordingWidget::StartDownloadAnimation() {
    m_downloading = true;
    update();
}

void CRecordingWidget::ReflashItem(CTreeWidgetItem* row) {
    if (!row) return;
    const int index = IndexOf(row->MusicId());
    if (index < 0) return;
    qDebug("CRecordingWidget::ReflashItem : %p", static_cast<void*>(row));
    m_items[index] = ItemOf(row, m_items[index].kind);
    ShowItems();
}

void CRecordingWidget::AutoDownloadFinish(CTreeWidgetItem* row) {
    m_downloading = false;
    if (row && row->DownloadState() == DownloadTask_SUCESS) {
        m_title->setText(row->Text(2, 0));
        m_artist->setText(row->Text(4, 0));
        m_cover = ReadPicture(row->CoverPath());
        m_roundCover = QPixmap();
        // Its information is there now.
        if (const int index = IndexOf(row->MusicId()); index >= 0) {
            m_items[index] = ItemOf(row, Kind_NoInfo);
            ShowItems();
        }
    } else {
        m_title->clear();
        m_artist->clear();
        m_cover = QImage();
        m_roundCover = QPixmap();
    }
    update();
}

void CRecordingWidget::RemoveItem(CTreeWidgetItem* row) {
    if (!row) return;
    const int index = IndexOf(row->MusicId());
    if (index < 0) return;
    m_items.removeAt(index);
    ShowItems();
}

void CRecordingWidget::ShowItems() {
    m_songs->clear();
    for (const AnimItem& item : m_items) {
        QString line = item.title;
        if (!item.artist.isEmpty()) line += QStringLiteral("  —  ") + item.artist;
        if (!item.time.isEmpty()) line += QStringLiteral("   ") + item.time;
        if (item.kind == Kind_Identifying) line += QStringLiteral("   ") + tr("(identifying...)");
        m_songs->addItem(line);
    }
}

int CRecordingWidget::DiscSide() const {
    return int(qMin(width(), kDiscAreaHeight - 20) * kDiscShare);
}

QRect CRecordingWidget::DiscArea() const {
    // The mark circles at 0.56 of the side from the centre, 0.03 wide.
    const int half = int(DiscSide() * 0.6) + 2;
    return QRect(width() / 2 - half, kDiscAreaHeight / 2 - half, 2 * half, 2 * half);
}

namespace {
// A transparent pixmap of side × side logical pixels for the screen of w.
QPixmap TransparentSquare(const QWidget* w, int side) {
    const qreal ratio = w->devicePixelRatioF();
    QPixmap pixmap(qCeil(side * ratio), qCeil(side * ratio));
    pixmap.setDevicePixelRatio(ratio);
    pixmap.fill(Qt::transparent);
    return pixmap;
}
}  // namespace

void CRecordingWidget::paintEvent(QPaintEvent*) {
    const int side = DiscSide();
    if (side <= 0) return;
    // The disc turns 25 times a second: what looks the same at every angle
    // is drawn once and only copied afterwards.
    if (m_discBody.isNull() || m_discBody.deviceIndependentSize().toSize() != QSize(side, side)) {
        m_discBody = TransparentSquare(this, side);
        m_roundCover = QPixmap();
        QPainter body(&m_discBody);
        body.setRenderHint(QPainter::Antialiasing);
        body.translate(side / 2.0, side / 2.0);
        body.setPen(Qt::NoPen);
        body.setBrush(QColor(0x2A, 0x22, 0x2C));
        body.drawEllipse(QRectF(-side / 2.0, -side / 2.0, side, side));
        // Grooves.
        body.setBrush(Qt::NoBrush);
        body.setPen(QPen(QColor(0x4A, 0x40, 0x4D), 1));
        for (double r = side * 0.22; r < side * 0.48; r += side * 0.035)
            body.drawEllipse(QPointF(0, 0), r, r);
    }
    const QRectF label(-side * 0.18, -side * 0.18, side * 0.36, side * 0.36);
    if (!m_cover.isNull() && m_roundCover.isNull()) {
        m_roundCover = TransparentSquare(this, qCeil(label.width()));
        QPainter round(&m_roundCover);
        round.setRenderHint(QPainter::Antialiasing);
        round.setRenderHint(QPainter::SmoothPixmapTransform);
        const QRectF whole(0, 0, label.width(), label.height());
        QPainterPath clip;
        clip.addEllipse(whole);
        round.setClipPath(clip);
        round.drawImage(whole, m_cover);
    }

    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.translate(width() / 2.0, kDiscAreaHeight / 2.0);
    if (m_downloading) {
        // The identification mark circles the disc against its turn.
        painter.save();
        painter.rotate(-2 * m_angle);
        painter.setPen(Qt::NoPen);
        painter.setBrush(QColor(0xE0, 0x36, 0x4B));
        painter.drawEllipse(QPointF(0, -side * 0.56), side * 0.03, side * 0.03);
        painter.restore();
    }
    painter.drawPixmap(QPointF(-side / 2.0, -side / 2.0), m_discBody);
    painter.rotate(m_angle);
    // Label: the cover of the last identified song, or a mark that shows
    // the turning.
    painter.setPen(Qt::NoPen);
    if (!m_roundCover.isNull()) {
        painter.setRenderHint(QPainter::SmoothPixmapTransform);
        painter.drawPixmap(label.topLeft(), m_roundCover);
    } else {
        painter.setBrush(QColor(0x5E, 0x2B, 0x63));
        painter.drawEllipse(label);
        painter.setBrush(QColor(0xE0, 0x36, 0x4B));
        painter.drawEllipse(QPointF(0, -side * 0.11), side * 0.035, side * 0.035);
    }
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
    const std::unique_ptr<SongRecord> record = m_library->LoadRecord(tile->Row());
    if (!record) return;
    QStringList covers;
    for (int i = 0; i < record->tags.imageCount && i < 5; ++i)
        covers.push_back(TagText(record->tags.imagePaths[i]));
    if (covers.isEmpty()) return;
    if (!m_selecet) {
        m_selecet = new CSelecetCoverWidget(this);
        connect(m_selecet, &CSelecetCoverWidget::Selected, this,
                &CRecordingWidget::CoverSelecetChange);
    }
    m_selecet->SetCovers(covers, record->ImageId, tile->Id());
    m_selecet->move(tile->mapToGlobal(QPoint(0, tile->height())));
    m_selecet->show();
    m_selecet->setFocus(Qt::PopupFocusReason);
}

void CRecordingWidget::CoverSelecetChange(int imageIndex, int tileId) {
    for (CShowCoverWidget* tile : m_coverTiles) {
        if (tile->Id() != tileId) continue;
        if (const std::unique_ptr<SongRecord> record = m_library->LoadRecord(tile->Row())) {
            if (imageIndex >= 0 && imageIndex < record->tags.imageCount && imageIndex < 5)
                tile->ShowImage(TagText(record->tags.imagePaths[imageIndex]));
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
