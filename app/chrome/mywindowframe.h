#pragma once

#include <QFrame>
#include <QPoint>

class QLabel;
class QMenu;
class QToolButton;
class QVBoxLayout;

// Title bar of the frameless main window: the program's mark, title, the menu button, the
// mini-mode, minimise and close buttons. Dragging it moves the window.
class CTitleBar : public QFrame {
    Q_OBJECT
public:
    explicit CTitleBar(QWidget* parent = nullptr);

    // The menu shown by the menu button; not owned (the window owns it).
    void SetMenu(QMenu* menu);
    void SetTitle(const QString& title);

    QToolButton* MenuButton() const { return m_menuButton; }
    QToolButton* MiniButton() const { return m_miniButton; }
    QToolButton* MinimizeButton() const { return m_minimizeButton; }
    QToolButton* CloseButton() const { return m_closeButton; }

Q_SIGNALS:
    // The user asked to switch between the full and the mini window.
    void MiniStateChanged();
    void MinimizeClicked();
    void CloseClicked();

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;

private:
    QToolButton* MakeButton(const char* name, const QString& icon, const QString& tip);

    QLabel* m_icon = nullptr;
    QLabel* m_title = nullptr;
    QToolButton* m_menuButton = nullptr;
    QToolButton* m_miniButton = nullptr;
    QToolButton* m_minimizeButton = nullptr;
    QToolButton* m_closeButton = nullptr;
    // Offset of the press from the window's corner while dragging without
    // the window system's help; null when no drag runs.
    QPoint m_dragOffset;
    bool m_dragging = false;
};

// A frameless top-level frame with its own title bar. Subclasses put their
// content into ContentLayout(). Minimise and close of the title bar act on
// this window; closing goes through closeEvent() as usual.
class CMyWindowFrame : public QFrame {
    Q_OBJECT
public:
    explicit CMyWindowFrame(QWidget* parent = nullptr);
    ~CMyWindowFrame() override;

    CTitleBar* TitleBar() const { return m_titleBar; }
    // Layout below the title bar that holds the window's content.
    QVBoxLayout* ContentLayout() const { return m_content; }

protected:
    void changeEvent(QEvent* event) override;

private:
    CTitleBar* m_titleBar = nullptr;
    QVBoxLayout* m_content = nullptr;
};
