#pragma once

#include <QFrame>
#include <QList>
#include <QPoint>
#include <QRect>
#include <QSize>

class QLabel;
class QMenu;
class QToolButton;
class QVBoxLayout;

// Title bar of the frameless main window: the program's mark, title, the menu button, the
// mini-mode, minimise, maximise and close buttons. Dragging it moves the window; a double
// click maximises or restores it.
class CTitleBar : public QFrame {
    Q_OBJECT
public:
    explicit CTitleBar(QWidget* parent = nullptr);

    // The menu shown by the menu button; not owned (the window owns it).
    void SetMenu(QMenu* menu);
    void SetTitle(const QString& title);
    // Shows the maximise or the restore picture on the maximise button.
    void SetMaximized(bool maximized);
    // Shows whether the window is in its mini mode (the mini button's tip).
    void SetMini(bool mini);

    QToolButton* MenuButton() const { return m_menuButton; }
    QToolButton* MiniButton() const { return m_miniButton; }
    QToolButton* MinimizeButton() const { return m_minimizeButton; }
    QToolButton* MaximizeButton() const { return m_maximizeButton; }
    QToolButton* CloseButton() const { return m_closeButton; }

Q_SIGNALS:
    // The user asked to switch between the full and the mini window.
    void MiniStateChanged();
    void MinimizeClicked();
    // The maximise button or a double click on the bar.
    void MaximizeClicked();
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
    QToolButton* m_maximizeButton = nullptr;
    QToolButton* m_closeButton = nullptr;
    // Offset of the press from the window's corner while dragging without
    // the window system's help; null when no drag runs.
    QPoint m_dragOffset;
    bool m_dragging = false;
};

// A frameless top-level frame with its own title bar. Subclasses put their
// content into ContentLayout(). Minimise, maximise and close of the title bar
// act on this window; closing goes through closeEvent() as usual. A band of
// ResizeBorder() pixels around the content resizes the window: the window
// system does it where it can (X11 window managers, Wayland compositors),
// else the frame follows the mouse itself.
//
// The mini mode shows only the title bar and the content that is not
// listed as full-window-only, at its smallest height; leaving it restores
// the full window's size.
//
// GUI thread only.
class CMyWindowFrame : public QFrame {
    Q_OBJECT
public:
    explicit CMyWindowFrame(QWidget* parent = nullptr);
    ~CMyWindowFrame() override;

    CTitleBar* TitleBar() const { return m_titleBar; }
    // Layout below the title bar that holds the window's content.
    QVBoxLayout* ContentLayout() const { return m_content; }
    // Width of the resize band around the content, in pixels.
    static int ResizeBorder();
    // The window edges a press at pos (in this widget) would resize; none
    // while maximised, and only the sides in the mini mode.
    Qt::Edges EdgesAt(const QPoint& pos) const;

    // Enters (mini true) or leaves the mini mode; fullOnly: the widgets that
    // the mini window hides. Nothing happens when the mode is already set.
    void SetMiniMode(bool mini, const QList<QWidget*>& fullOnly);
    bool IsMiniMode() const { return m_mini; }

public Q_SLOTS:
    // Maximises the window, or restores a maximised one.
    void ToggleMaximized();

protected:
    void changeEvent(QEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void leaveEvent(QEvent* event) override;

private:
    void UpdateBorder();

    CTitleBar* m_titleBar = nullptr;
    QVBoxLayout* m_outer = nullptr;
    QVBoxLayout* m_content = nullptr;
    // A resize this frame does itself: the edges, where the press was and
    // the geometry then. No edges: none runs.
    Qt::Edges m_resizeEdges;
    QPoint m_pressGlobal;
    QRect m_pressGeometry;
    // The mini mode, and what the full window had before it.
    bool m_mini = false;
    QList<QWidget*> m_fullOnly;
    QSize m_fullSize;
    QSize m_fullMinimum;
    // Whether the mini mode had to widen the window.
    bool m_miniWidened = false;
};
