// The frameless window frame: its title bar moves, minimises, maximises and
// closes the window, the band around the content resizes it (by the frame
// itself where the window system does not), and the mini mode.
#include <gtest/gtest.h>

#include <QApplication>
#include <QLabel>
#include <QMouseEvent>
#include <QTest>
#include <QToolButton>
#include <QVBoxLayout>

#include <memory>

#include "chrome/mywindowframe.h"
#include "uiapp.h"

namespace {

// Sends one mouse event to widget: at its point pos, with the screen point
// global (the widget may move under a drag).
void Mouse(QWidget* widget, QEvent::Type type, const QPoint& pos, const QPoint& global,
           Qt::MouseButtons buttons) {
    const Qt::MouseButton button = (type == QEvent::MouseMove) ? Qt::NoButton : Qt::LeftButton;
    QMouseEvent event(type, QPointF(pos), QPointF(pos), QPointF(global), button, buttons,
                      Qt::NoModifier);
    QApplication::sendEvent(widget, &event);
}

void Hover(QWidget* widget, const QPoint& pos) {
    Mouse(widget, QEvent::MouseMove, pos, widget->mapToGlobal(pos), Qt::NoButton);
}

// Presses at from, moves by delta and releases, as a user's drag.
void Drag(QWidget* widget, const QPoint& from, const QPoint& delta) {
    const QPoint start = widget->mapToGlobal(from);
    Mouse(widget, QEvent::MouseButtonPress, from, start, Qt::LeftButton);
    Mouse(widget, QEvent::MouseMove, from + delta / 2, start + delta / 2, Qt::LeftButton);
    Mouse(widget, QEvent::MouseMove, from + delta, start + delta, Qt::LeftButton);
    Mouse(widget, QEvent::MouseButtonRelease, from + delta, start + delta, Qt::NoButton);
}

class ChromeTest : public testing::Test {
protected:
    void SetUp() override {
        uitest::App();
        m_frame = std::make_unique<CMyWindowFrame>();
        m_frame->setWindowTitle(QStringLiteral("Frame"));
        m_top = new QLabel(QStringLiteral("only in the full window"), m_frame.get());
        m_top->setMinimumHeight(200);
        m_bottom = new QLabel(QStringLiteral("always shown"), m_frame.get());
        m_bottom->setFixedHeight(40);
        m_frame->ContentLayout()->addWidget(m_top, 1);
        m_frame->ContentLayout()->addWidget(m_bottom);
        m_frame->setMinimumSize(400, 380);
        m_frame->setGeometry(100, 100, 600, 450);
        m_frame->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(m_frame.get()));
    }

    std::unique_ptr<CMyWindowFrame> m_frame;
    QLabel* m_top = nullptr;
    QLabel* m_bottom = nullptr;
};

TEST_F(ChromeTest, TitleBarMovesMinimisesMaximisesAndCloses) {
    CTitleBar* bar = m_frame->TitleBar();
    const QPoint before = m_frame->pos();
    Drag(bar, QPoint(200, 10), QPoint(35, 25));
    EXPECT_EQ(m_frame->pos(), before + QPoint(35, 25));
    EXPECT_EQ(m_frame->size(), QSize(600, 450));

    QTest::mouseClick(bar->MaximizeButton(), Qt::LeftButton);
    EXPECT_TRUE(m_frame->isMaximized());
    EXPECT_EQ(bar->MaximizeButton()->toolTip(), QStringLiteral("Restore"));
    EXPECT_EQ(m_frame->EdgesAt(QPoint(1, 1)), Qt::Edges());  // nothing to resize
    QTest::mouseDClick(bar, Qt::LeftButton, Qt::NoModifier, QPoint(200, 10));
    EXPECT_FALSE(m_frame->isMaximized());
    EXPECT_EQ(bar->MaximizeButton()->toolTip(), QStringLiteral("Maximize"));

    QTest::mouseClick(bar->MinimizeButton(), Qt::LeftButton);
    EXPECT_TRUE(m_frame->isMinimized());
    m_frame->showNormal();
    QTest::mouseClick(bar->CloseButton(), Qt::LeftButton);
    EXPECT_FALSE(m_frame->isVisible());
}

TEST_F(ChromeTest, EdgesResizeTheWindowDownToItsMinimum) {
    const int band = CMyWindowFrame::ResizeBorder();
    EXPECT_EQ(m_frame->EdgesAt(QPoint(300, 200)), Qt::Edges());
    EXPECT_EQ(m_frame->EdgesAt(QPoint(599, 200)), Qt::RightEdge);
    EXPECT_EQ(m_frame->EdgesAt(QPoint(0, 449)), Qt::LeftEdge | Qt::BottomEdge);
    // The band belongs to the frame, not to its content.
    EXPECT_EQ(m_frame->childAt(QPoint(band - 1, 200)), nullptr);
    EXPECT_EQ(m_frame->childAt(QPoint(600 - band, 200)), nullptr);

    Hover(m_frame.get(), QPoint(599, 200));
    EXPECT_EQ(m_frame->cursor().shape(), Qt::SizeHorCursor);
    Hover(m_frame.get(), QPoint(2, 447));
    EXPECT_EQ(m_frame->cursor().shape(), Qt::SizeBDiagCursor);

    // The right edge follows the mouse; the left one stays.
    Drag(m_frame.get(), QPoint(598, 200), QPoint(80, 40));
    EXPECT_EQ(m_frame->geometry(), QRect(100, 100, 680, 450));
    // The bottom-left corner: the right and top edges stay, the minimum
    // size stops the others.
    Drag(m_frame.get(), QPoint(1, 448), QPoint(500, -200));
    EXPECT_EQ(m_frame->geometry(), QRect(380, 100, 400, 380));
    // The top edge grows the window upwards.
    Drag(m_frame.get(), QPoint(200, 1), QPoint(0, -50));
    EXPECT_EQ(m_frame->geometry(), QRect(380, 50, 400, 430));
}

TEST_F(ChromeTest, MiniModeKeepsTheRestAtAFixedHeightAndRestoresTheFullWindow) {
    m_frame->resize(700, 500);
    m_frame->SetMiniMode(true, {m_top});
    ASSERT_TRUE(m_frame->IsMiniMode());
    EXPECT_FALSE(m_top->isVisible());
    EXPECT_TRUE(m_bottom->isVisible());
    EXPECT_LT(m_frame->height(), 120);
    EXPECT_GE(m_frame->height(), m_frame->TitleBar()->height() + m_bottom->height());
    EXPECT_EQ(m_frame->maximumHeight(), m_frame->height());
    EXPECT_EQ(m_frame->width(), 700);
    EXPECT_EQ(m_frame->TitleBar()->MiniButton()->toolTip(), QStringLiteral("Full window"));
    // Only the sides resize the mini window, and it is not maximised.
    EXPECT_EQ(m_frame->EdgesAt(QPoint(1, m_frame->height() - 1)), Qt::LeftEdge);
    EXPECT_EQ(m_frame->EdgesAt(QPoint(300, m_frame->height() - 1)), Qt::Edges());
    m_frame->ToggleMaximized();
    EXPECT_FALSE(m_frame->isMaximized());

    m_frame->SetMiniMode(false, {});
    EXPECT_FALSE(m_frame->IsMiniMode());
    EXPECT_TRUE(m_top->isVisible());
    EXPECT_EQ(m_frame->size(), QSize(700, 500));
    EXPECT_EQ(m_frame->minimumSize(), QSize(400, 380));

    // A maximised window becomes a normal one first.
    m_frame->showMaximized();
    m_frame->SetMiniMode(true, {m_top});
    EXPECT_FALSE(m_frame->isMaximized());
    EXPECT_EQ(m_frame->maximumHeight(), m_frame->height());
}

}  // namespace
