#include "selecetcoverwidget.h"

#include <QFocusEvent>
#include <QHBoxLayout>

#include "editcoverwidget.h"

namespace {
constexpr int kTileSide = 72;
}  // namespace

CSelecetCoverWidget::CSelecetCoverWidget(QWidget* parent) : QWidget(parent, Qt::Popup) {
    setObjectName(QStringLiteral("CSelecetCoverWidget"));
    setFocusPolicy(Qt::StrongFocus);
    m_layout = new QHBoxLayout(this);
    m_layout->setContentsMargins(4, 4, 4, 4);
    m_layout->setSpacing(4);
}

void CSelecetCoverWidget::SetCovers(const QStringList& paths, int selected, int tileId) {
    qDeleteAll(m_covers);
    m_covers.clear();
    m_tileId = tileId;
    for (const QString& path : paths) {
        auto* tile = new CCoverWidget(path, 0, kTileSide, this);
        tile->SetSelected(m_covers.size() == selected);
        connect(tile, &CCoverWidget::Clicked, this, &CSelecetCoverWidget::SelecetChange);
        m_layout->addWidget(tile);
        m_covers.push_back(tile);
    }
    adjustSize();
}

void CSelecetCoverWidget::SelecetChange(CCoverWidget* cover) {
    const int index = int(m_covers.indexOf(cover));
    if (index < 0) return;
    for (CCoverWidget* tile : m_covers) tile->SetSelected(tile == cover);
    Q_EMIT Selected(index, m_tileId);
    close();
}

void CSelecetCoverWidget::focusOutEvent(QFocusEvent* event) {
    QWidget::focusOutEvent(event);
    if (event->reason() != Qt::PopupFocusReason) close();
}

void CSelecetCoverWidget::hideEvent(QHideEvent* event) {
    QWidget::hideEvent(event);
    Q_EMIT FocusOuted();
}
