#include "editcoverwidget.h"

#include <QDragEnterEvent>
#include <QDropEvent>
#include <QHBoxLayout>
#include <QImageReader>
#include <QLabel>
#include <QMimeData>
#include <QMouseEvent>
#include <QPainter>
#include <QUrl>

#include "library/musicdb.h"
#include "localfile.h"
#include "res/pictures.h"

namespace {
constexpr int kTileSide = 96;

// The image scaled into a square of side pixels; a null pixmap when the
// file is no image.
QPixmap LoadScaled(const QString& path, int side) {
    return QPixmap::fromImage(ReadPicture(path, side));
}
}  // namespace

// ---- CCoverWidget -------------------------------------------------------------

CCoverWidget::CCoverWidget(const QString& path, int coverId, int side, QWidget* parent)
    : QWidget(parent), m_path(path), m_coverId(coverId), m_picture(LoadScaled(path, side - 6)) {
    setFixedSize(side, side);
    setCursor(Qt::PointingHandCursor);
    setToolTip(path);
}

void CCoverWidget::SetSelected(bool selected) {
    if (m_selected == selected) return;
    m_selected = selected;
    update();
}

void CCoverWidget::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    if (!m_picture.isNull()) {
        const QPoint corner((width() - m_picture.width()) / 2, (height() - m_picture.height()) / 2);
        painter.drawPixmap(corner, m_picture);
    }
    if (m_selected) {
        painter.setPen(QPen(QColor(0xE0, 0x36, 0x4B), 3));
        painter.drawRect(rect().adjusted(1, 1, -2, -2));
    }
}

void CCoverWidget::mousePressEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton) Q_EMIT Clicked(this);
    QWidget::mousePressEvent(event);
}

// ---- CEditCoverWidget -----------------------------------------------------------

CEditCoverWidget::CEditCoverWidget(QWidget* parent) : QWidget(parent) {
    LoadPictures();
    setObjectName(QStringLiteral("CEditCoverWidget"));
    setAcceptDrops(true);
    setMinimumHeight(kTileSide + 8);
    m_layout = new QHBoxLayout(this);
    m_layout->setContentsMargins(4, 4, 4, 4);
    m_placeholder = new QLabel(this);
    m_placeholder->setAlignment(Qt::AlignCenter);
    m_placeholder->setPixmap(
        QPixmap(QStringLiteral(":/prefix/res/drag_artwork_here.png"))
            .scaled(kTileSide, kTileSide, Qt::KeepAspectRatio, Qt::SmoothTransformation));
    m_layout->addWidget(m_placeholder);
    m_layout->addStretch(1);
}

void CEditCoverWidget::SetCovers(const SongRecord& record) {
    qDeleteAll(m_covers);
    m_covers.clear();
    const int count = qBound(0, int(record.tags.imageCount), kMaxCovers);
    for (int i = 0; i < count; ++i)
        AddTile(TagText(record.tags.imagePaths[i]), record.tags.reserved[i]);
    if (!m_covers.isEmpty())
        SelecetChange(
            m_covers.value(record.ImageId >= 0 && record.ImageId < count ? record.ImageId : 0));
    UpdatePlaceholder();
}

int CEditCoverWidget::SelectedIndex() const {
    for (int i = 0; i < m_covers.size(); ++i)
        if (m_covers[i]->IsSelected()) return i;
    return -1;
}

bool CEditCoverWidget::IsAcceptableImage(const QString& path) {
    static const QStringList endings = {QStringLiteral("jpg"), QStringLiteral("png"),
                                        QStringLiteral("bmp"), QStringLiteral("JPG"),
                                        QStringLiteral("PNG"), QStringLiteral("BMP")};
    return endings.contains(path.right(3)) && !ReadPicture(path).isNull();
}

int CEditCoverWidget::AddFiles(const QStringList& paths) {
    int added = 0;
    for (const QString& path : paths) {
        if (m_covers.size() >= kMaxCovers) break;
        if (!IsAcceptableImage(path)) {
            qDebug("CEditCoverWidget::AddFiles not an image: %s", qUtf8Printable(path));
            continue;
        }
        AddTile(path, 0);
        ++added;
    }
    if (added == 0) return 0;
    if (SelectedIndex() < 0) SelecetChange(m_covers.first());
    UpdatePlaceholder();
    Q_EMIT CoverAdded();
    return added;
}

bool CEditCoverWidget::DeleteSelected() {
    const int index = SelectedIndex();
    if (index < 0) return false;
    delete m_covers.takeAt(index);
    if (!m_covers.isEmpty()) SelecetChange(m_covers.value(qMin(index, int(m_covers.size()) - 1)));
    UpdatePlaceholder();
    return true;
}

void CEditCoverWidget::SelecetChange(CCoverWidget* cover) {
    for (CCoverWidget* tile : m_covers) tile->SetSelected(tile == cover);
}

CCoverWidget* CEditCoverWidget::AddTile(const QString& path, int coverId) {
    auto* tile = new CCoverWidget(path, coverId, kTileSide, this);
    connect(tile, &CCoverWidget::Clicked, this, &CEditCoverWidget::SelecetChange);
    m_layout->insertWidget(int(m_covers.size()), tile);
    m_covers.push_back(tile);
    return tile;
}

void CEditCoverWidget::UpdatePlaceholder() {
    m_placeholder->setVisible(m_covers.isEmpty());
}

void CEditCoverWidget::dragEnterEvent(QDragEnterEvent* event) {
    if (event->mimeData()->hasUrls() && m_covers.size() < kMaxCovers)
        event->acceptProposedAction();
    else
        event->ignore();
}

void CEditCoverWidget::dropEvent(QDropEvent* event) {
    if (m_covers.size() >= kMaxCovers) {
        event->ignore();
        return;
    }
    QStringList paths;
    for (const QUrl& url : event->mimeData()->urls())
        if (url.isLocalFile()) paths.push_back(url.toLocalFile());
    if (AddFiles(paths) > 0)
        event->acceptProposedAction();
    else
        event->ignore();
}
