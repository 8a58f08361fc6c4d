#include "chrome/mywindowframe.h"

#include <QEvent>
#include <QHBoxLayout>
#include <QIcon>
#include <QLabel>
#include <QMenu>
#include <QMouseEvent>
#include <QToolButton>
#include <QVBoxLayout>
#include <QWindow>

#include "res/pictures.h"

namespace {
// Height of the title bar in pixels.
constexpr int kTitleHeight = 34;
// Width of the resize band around the window's content.
constexpr int kResizeBorder = 5;
// The frame's own line, inside the band.
constexpr int kFrameLine = 1;

Qt::CursorShape CursorFor(Qt::Edges edges) {
    const bool left = edges & Qt::LeftEdge, right = edges & Qt::RightEdge;
    const bool top = edges & Qt::TopEdge, bottom = edges & Qt::BottomEdge;
    if ((left && top) || (right && bottom)) return Qt::SizeFDiagCursor;
    if ((right && top) || (left && bottom)) return Qt::SizeBDiagCursor;
    if (left || right) return Qt::SizeHorCursor;
    return Qt::SizeVerCursor;
}
}  // namespace

CTitleBar::CTitleBar(QWidget* parent) : QFrame(parent) {
    LoadPictures();
    setObjectName(QStringLiteral("titleBar"));
    setFixedHeight(kTitleHeight);
    setAutoFillBackground(true);
    setStyleSheet(QStringLiteral(
        "#titleBar{background-color: #5E2B63;}"
        "#titleBar QLabel{color: #FFFFFF; font-weight: bold;}"
        "#titleBar QToolButton{border: none; padding: 4px;}"
        "#titleBar QToolButton:hover{background-color: #7A4380;}"
        "#titleBar QToolButton::menu-indicator{image: none;}"
        "#titleBar #closeButton:hover{background-color: #E0364B;}"));

    m_icon = new QLabel(this);
    m_icon->setFixedSize(22, 22);
    m_icon->setPixmap(QIcon(QStringLiteral(":/prefix/res/title_icon.png")).pixmap(22, 22));
    m_title = new QLabel(this);
    m_menuButton = MakeButton("menuButton", QStringLiteral(":/prefix/res/menu.png"), tr("Menu"));
    m_menuButton->setPopupMode(QToolButton::InstantPopup);
    m_miniButton = MakeButton("miniButton", QStringLiteral(":/prefix/res/mini.png"), tr("Mini mode"));
    m_minimizeButton =
        MakeButton("minimizeButton", QStringLiteral(":/prefix/res/minimize.png"), tr("Minimize"));
    m_maximizeButton =
        MakeButton("maximizeButton", QStringLiteral(":/prefix/res/maximize.png"), tr("Maximize"));
    m_closeButton = MakeButton("closeButton", QStringLiteral(":/prefix/res/close.png"), tr("Close"));

    connect(m_miniButton, &QToolButton::clicked, this, &CTitleBar::MiniStateChanged);
    connect(m_minimizeButton, &QToolButton::clicked, this, &CTitleBar::MinimizeClicked);
    connect(m_maximizeButton, &QToolButton::clicked, this, &CTitleBar::MaximizeClicked);
    connect(m_closeButton, &QToolButton::clicked, this, &CTitleBar::CloseClicked);

    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(10, 0, 4, 0);
    layout->setSpacing(2);
    layout->addWidget(m_icon);
    layout->addSpacing(6);
    layout->addWidget(m_title);
    layout->addStretch(1);
    layout->addWidget(m_menuButton);
    layout->addWidget(m_miniButton);
    layout->addWidget(m_minimizeButton);
    layout->addWidget(m_maximizeButton);
    layout->addWidget(m_closeButton);
}

QToolButton* CTitleBar::MakeButton(const char* name, const QString& icon, const QString& tip) {
    auto* button = new QToolButton(this);
    button->setObjectName(QLatin1String(name));
    if (!icon.isEmpty()) button->setIcon(QIcon(icon));
    button->setIconSize(QSize(16, 16));
    button->setFixedSize(30, 26);
    button->setToolTip(tip);
    button->setFocusPolicy(Qt::NoFocus);
    button->setStyleSheet(QStringLiteral("color: #FFFFFF;"));
    return button;
}

void CTitleBar::SetMenu(QMenu* menu) {
    m_menuButton->setMenu(menu);
}

void CTitleBar::SetTitle(const QString& title) {
    m_title->setText(title);
}

void CTitleBar::SetMaximized(bool maximized) {
    m_maximizeButton->setIcon(QIcon(maximized ? QStringLiteral(":/prefix/res/restore.png")
                                              : QStringLiteral(":/prefix/res/maximize.png")));
    m_maximizeButton->setToolTip(maximized ? tr("Restore") : tr("Maximize"));
}

void CTitleBar::SetMini(bool mini) {
    m_miniButton->setToolTip(mini ? tr("Full window") : tr("Mini mode"));
}

void CTitleBar::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) return QFrame::mousePressEvent(event);
    QWidget* top = window();
    // The window system moves the window itself where it can (X11 window
    // managers, Wayland); otherwise the window follows the mouse.
    if (top->windowHandle() && top->windowHandle()->startSystemMove()) {
        event->accept();
        return;
    }
    m_dragging = true;
    m_dragOffset = event->globalPosition().toPoint() - top->frameGeometry().topLeft();
    event->accept();
}

void CTitleBar::mouseMoveEvent(QMouseEvent* event) {
    if (!m_dragging || !(event->buttons() & Qt::LeftButton)) return QFrame::mouseMoveEvent(event);
    window()->move(event->globalPosition().toPoint() - m_dragOffset);
    event->accept();
}

void CTitleBar::mouseReleaseEvent(QMouseEvent* event) {
    m_dragging = false;
    QFrame::mouseReleaseEvent(event);
}

void CTitleBar::mouseDoubleClickEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) return QFrame::mouseDoubleClickEvent(event);
    m_dragging = false;
    Q_EMIT MaximizeClicked();
    event->accept();
}

CMyWindowFrame::CMyWindowFrame(QWidget* parent)
    : QFrame(parent, Qt::Window | Qt::FramelessWindowHint | Qt::WindowMinMaxButtonsHint) {
    setObjectName(QStringLiteral("CMyWindowFrame"));
    setFrameShape(QFrame::Box);
    setLineWidth(kFrameLine);
    setStyleSheet(QStringLiteral("#CMyWindowFrame{border: 1px solid #5E2B63; background: #F6F3F7;}"));
    // Moves over the resize band reach the frame without a button held.
    setMouseTracking(true);

    m_titleBar = new CTitleBar(this);
    connect(m_titleBar, &CTitleBar::MinimizeClicked, this, &QWidget::showMinimized);
    connect(m_titleBar, &CTitleBar::MaximizeClicked, this, &CMyWindowFrame::ToggleMaximized);
    connect(m_titleBar, &CTitleBar::CloseClicked, this, &QWidget::close);

    m_outer = new QVBoxLayout(this);
    m_outer->setSpacing(0);
    m_outer->addWidget(m_titleBar);
    m_content = new QVBoxLayout;
    m_content->setContentsMargins(0, 0, 0, 0);
    m_content->setSpacing(0);
    m_outer->addLayout(m_content, 1);
    UpdateBorder();
}

CMyWindowFrame::~CMyWindowFrame() = default;

int CMyWindowFrame::ResizeBorder() {
    return kResizeBorder;
}

void CMyWindowFrame::UpdateBorder() {
    // A maximised window has nothing to resize: its content reaches the
    // screen's edges.
    const int band = (isMaximized() || isFullScreen()) ? 0 : kResizeBorder - kFrameLine;
    m_outer->setContentsMargins(band, band, band, band);
}

void CMyWindowFrame::ToggleMaximized() {
    if (isMaximized()) {
        showNormal();
    } else {
        // The mini window is not made large: it keeps its fixed height.
        if (m_mini) return;
        showMaximized();
    }
}

Qt::Edges CMyWindowFrame::EdgesAt(const QPoint& pos) const {
    Qt::Edges edges;
    if (isMaximized() || isFullScreen() || !rect().contains(pos)) return edges;
    if (pos.x() < kResizeBorder) edges |= Qt::LeftEdge;
    if (pos.x() >= width() - kResizeBorder) edges |= Qt::RightEdge;
    if (!m_mini) {
        if (pos.y() < kResizeBorder) edges |= Qt::TopEdge;
        if (pos.y() >= height() - kResizeBorder) edges |= Qt::BottomEdge;
    }
    return edges;
}

void CMyWindowFrame::mousePressEvent(QMouseEvent* event) {
    const Qt::Edges edges = event->button() == Qt::LeftButton ? EdgesAt(event->position().toPoint())
                                                                : Qt::Edges();
    if (!edges) return QFrame::mousePressEvent(event);
    event->accept();
    if (windowHandle() && windowHandle()->startSystemResize(edges)) return;
    m_resizeEdges = edges;
    m_pressGlobal = event->globalPosition().toPoint();
    m_pressGeometry = geometry();
}

void CMyWindowFrame::mouseMoveEvent(QMouseEvent* event) {
    if (!m_resizeEdges) {
        const Qt::Edges edges = EdgesAt(event->position().toPoint());
        if (edges) {
            setCursor(CursorFor(edges));
        } else {
            unsetCursor();
        }
        return QFrame::mouseMoveEvent(event);
    }
    if (!(event->buttons() & Qt::LeftButton)) {
        m_resizeEdges = Qt::Edges();
        return;
    }
    // Each edge moves with the mouse; the opposite edge stays put, also when
    // the minimum size stops the one that moves.
    const QPoint delta = event->globalPosition().toPoint() - m_pressGlobal;
    QRect g = m_pressGeometry;
    const QSize least = minimumSize().expandedTo(minimumSizeHint());
    const QSize most = maximumSize();
    if (m_resizeEdges & Qt::LeftEdge)
        g.setLeft(qBound(g.right() + 1 - most.width(), g.left() + delta.x(), g.right() + 1 - least.width()));
    if (m_resizeEdges & Qt::RightEdge)
        g.setRight(qBound(g.left() - 1 + least.width(), g.right() + delta.x(), g.left() - 1 + most.width()));
    if (m_resizeEdges & Qt::TopEdge)
        g.setTop(qBound(g.bottom() + 1 - most.height(), g.top() + delta.y(), g.bottom() + 1 - least.height()));
    if (m_resizeEdges & Qt::BottomEdge)
        g.setBottom(qBound(g.top() - 1 + least.height(), g.bottom() + delta.y(), g.top() - 1 + most.height()));
    setGeometry(g);
    event->accept();
}

void CMyWindowFrame::mouseReleaseEvent(QMouseEvent* event) {
    m_resizeEdges = Qt::Edges();
    QFrame::mouseReleaseEvent(event);
}

void CMyWindowFrame::leaveEvent(QEvent* event) {
    if (!m_resizeEdges) unsetCursor();
    QFrame::leaveEvent(event);
}

void CMyWindowFrame::SetMiniMode(bool mini, const QList<QWidget*>& fullOnly) {
    if (mini == m_mini) return;
    if (mini) {
        if (isMaximized()) showNormal();
        m_fullOnly = fullOnly;
        m_fullSize = size();
        m_fullMinimum = minimumSize();
        for (QWidget* widget : m_fullOnly) widget->hide();
        m_mini = true;
        // The height of what is left, fixed; the width stays free, at least
        // what is left needs.
        layout()->activate();
        const QSize needed = layout()->totalMinimumSize();
        m_miniWidened = width() < needed.width();
        setMinimumSize(qMax(m_fullMinimum.width(), needed.width()), needed.height());
        setMaximumHeight(needed.height());
        resize(qMax(width(), minimumWidth()), needed.height());
    } else {
        m_mini = false;
        for (QWidget* widget : m_fullOnly) widget->show();
        m_fullOnly.clear();
        setMaximumHeight(QWIDGETSIZE_MAX);
        setMinimumSize(m_fullMinimum);
        // A window the mini mode widened goes back to its full width.
        const int fullWidth = m_miniWidened ? m_fullSize.width() : width();
        m_miniWidened = false;
        resize(qMax(fullWidth, m_fullMinimum.width()),
               qMax(m_fullSize.height(), m_fullMinimum.height()));
    }
    m_titleBar->SetMini(m_mini);
}

void CMyWindowFrame::changeEvent(QEvent* event) {
    if (event->type() == QEvent::WindowTitleChange) m_titleBar->SetTitle(windowTitle());
    if (event->type() == QEvent::WindowStateChange) {
        m_titleBar->SetMaximized(isMaximized());
        UpdateBorder();
    }
    QFrame::changeEvent(event);
}
