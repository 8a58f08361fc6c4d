#pragma once

#include <QFrame>
#include <QPointer>

class CPlayQueue;
class CTreeWidgetItem;
class QLabel;
class QListWidget;
class QListWidgetItem;
class QPropertyAnimation;

// One entry of the pop-up queue: the song's title above its artist, or the
// failed-download picture before them when identifying the song failed.
class CMiniListItem : public QWidget {
    Q_OBJECT
public:
    CMiniListItem(const CTreeWidgetItem* row, bool current, QWidget* parent = nullptr);

    QString Title() const;
    QString Artist() const;
    // Whether the failed-download picture is shown.
    bool ShowsFailedDownload() const { return m_failed != nullptr; }

private:
    QLabel* m_title = nullptr;
    QLabel* m_artist = nullptr;
    QLabel* m_failed = nullptr;
};

// The play queue as a pop-up above the tool bar: one CMiniListItem per
// entry, the current one in bold and scrolled into view. It grows open and
// shrinks shut with a short animation, scrolls with the wheel, follows the
// queue while it is open, and closes on a click elsewhere.
//
// The rows belong to the library; the pop-up only points at them
// while it shows them and builds its entries anew whenever the queue
// changes. GUI thread only.
class CPopupPlayList : public QFrame {
    Q_OBJECT
public:
    static constexpr int kAnimationMs = 150;

    // queue: not owned; outlives the pop-up.
    explicit CPopupPlayList(CPlayQueue* queue, QWidget* parent = nullptr);

    // Opens with its bottom-left corner at the global point.
    void PopupAt(const QPoint& bottomLeft);
    // Closes with the animation.
    void HideAnimated();
    QListWidget* List() const { return m_list; }
    // The row of an entry of the list, or null.
    CTreeWidgetItem* RowOf(const QListWidgetItem* item) const;

Q_SIGNALS:
    void itemDoubleClicked(CTreeWidgetItem* row);
    // The pop-up is closing.
    void aboutHide();

protected:
    void hideEvent(QHideEvent* event) override;

private:
    void Rebuild();

    CPlayQueue* m_queue;
    QListWidget* m_list = nullptr;
    QPointer<QPropertyAnimation> m_animation;
    bool m_closing = false;
};
