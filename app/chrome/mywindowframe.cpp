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
    m_miniButton = MakeButton("miniButton", QString(), tr("Mini mode"));
    m_miniButton->setText(QStringLiteral("\u25A3"));
    m_minimizeButton =
        MakeButton("minimizeButton", QStringLiteral(":/prefix/res/minimize.png"), tr("Minimize"));
    m_closeButton = MakeButton("closeButton", QStringLiteral(":/prefix/res/close.png"), tr("Close"));

    connect(m_miniButton, &QToolButton::clicked, this, &CTitleBar::MiniStateChanged);
    connect(m_minimizeButton, &QToolButton::clicked, this, &CTitleBar::MinimizeClicked);
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
    QWidget* top = window();
    top->isMaximized() ? top->showNormal() : top->showMaximized();
    event->accept();
}

CMyWindowFrame::CMyWindowFrame(QWidget* parent)
    : QFrame(parent, Qt::Window | Qt::FramelessWindowHint | Qt::WindowMinMaxButtonsHint) {
    setObjectName(QStringLiteral("CMyWindowFrame"));
    setFrameShape(QFrame::Box);
    setLineWidth(1);
    setStyleSheet(QStringLiteral("#CMyWindowFrame{border: 1px solid #5E2B63; background: #F6F3F7;}"));

    m_titleBar = new CTitleBar(this);
    connect(m_titleBar, &CTitleBar::MinimizeClicked, this, &QWidget::showMinimized);
    connect(m_titleBar, &CTitleBar::CloseClicked, this, &QWidget::close);

    auto* outer = new QVBoxLayout(this);
    outer->setContentsMargins(1, 1, 1, 1);
    outer->setSpacing(0);
    outer->addWidget(m_titleBar);
    m_content = new QVBoxLayout;
    m_content->setContentsMargins(0, 0, 0, 0);
    m_content->setSpacing(0);
    outer->addLayout(m_content, 1);
}

CMyWindowFrame::~CMyWindowFrame() = default;

void CMyWindowFrame::changeEvent(QEvent* event) {
    if (event->type() == QEvent::WindowTitleChange) m_titleBar->SetTitle(windowTitle());
    QFrame::changeEvent(event);
}
