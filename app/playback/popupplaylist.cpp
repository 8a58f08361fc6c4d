#include "popupplaylist.h"

#include <QBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QPropertyAnimation>
#include <QScreen>

#include "download/downloadqueue.h"
#include "library/playqueue.h"
#include "library/treewidgetitem.h"
#include "res/pictures.h"

namespace {
constexpr int kWidth = 260;
constexpr int kEntryHeight = 40;
constexpr int kMaxShown = 8;
constexpr int kRowRole = Qt::UserRole + 1;
}  // namespace

CMiniListItem::CMiniListItem(const CTreeWidgetItem* row, bool current, QWidget* parent)
    : QWidget(parent) {
    m_title = new QLabel(row->ShownText(2), this);
    m_title->setObjectName(QStringLiteral("miniTitle"));
    QFont titleFont = m_title->font();
    titleFont.setBold(current);
    m_title->setFont(titleFont);
    m_artist = new QLabel(row->ShownText(4), this);
    m_artist->setObjectName(QStringLiteral("miniArtist"));
    m_artist->setStyleSheet(QStringLiteral("QLabel{color: #7A6A7D;}"));
    auto* texts = new QVBoxLayout;
    texts->setSpacing(0);
    texts->addWidget(m_title);
    texts->addWidget(m_artist);
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(6, 2, 6, 2);
    if (row->DownloadState() == DownloadTask_FAILED) {
        m_failed = new QLabel(this);
        m_failed->setPixmap(
            QIcon(QStringLiteral(":/prefix/res/Rdownload_failed.png")).pixmap(16, 16));
        layout->addWidget(m_failed);
    }
    layout->addLayout(texts, 1);
}

QString CMiniListItem::Title() const {
    return m_title->text();
}

QString CMiniListItem::Artist() const {
    return m_artist->text();
}

CPopupPlayList::CPopupPlayList(CPlayQueue* queue, QWidget* parent)
    : QFrame(parent, Qt::Popup | Qt::FramelessWindowHint), m_queue(queue) {
    LoadPictures();
    setObjectName(QStringLiteral("CPopupPlayList"));
    // The current entry is marked with a light tint, so that the artist's
    // grey stays readable on it.
    setStyleSheet(
        QStringLiteral("#CPopupPlayList{background: #FFFFFF; border: 1px solid #D5C8D8;}"
                       "#popupList::item:selected{background: #E9DDEB;}"));
    m_list = new QListWidget(this);
    m_list->setObjectName(QStringLiteral("popupList"));
    m_list->setFrameShape(QFrame::NoFrame);
    m_list->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_list->setVerticalScrollMode(QAbstractItemView::ScrollPerPixel);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(1, 1, 1, 1);
    layout->addWidget(m_list);

    connect(m_list, &QListWidget::itemDoubleClicked, this, [this](QListWidgetItem* item) {
        if (CTreeWidgetItem* row = RowOf(item)) Q_EMIT itemDoubleClicked(row);
    });
    connect(m_queue, &CPlayQueue::Changed, this, [this] {
        if (isVisible()) Rebuild();
    });
}

CTreeWidgetItem* CPopupPlayList::RowOf(const QListWidgetItem* item) const {
    if (!item) return nullptr;
    // Only rows still queued: an entry may outlive its row by an event.
    auto* row = static_cast<CTreeWidgetItem*>(item->data(kRowRole).value<void*>());
    return m_queue->Contains(row) ? row : nullptr;
}

void CPopupPlayList::Rebuild() {
    m_list->clear();
    const QList<CTreeWidgetItem*>& rows = m_queue->Rows();
    for (int i = 0; i < rows.size(); ++i) {
        auto* item = new QListWidgetItem(m_list);
        item->setData(kRowRole, QVariant::fromValue(static_cast<void*>(rows[i])));
        item->setSizeHint(QSize(kWidth - 20, kEntryHeight));
        m_list->setItemWidget(item, new CMiniListItem(rows[i], i == m_queue->CurrentIndex()));
    }
    if (QListWidgetItem* current = m_list->item(m_queue->CurrentIndex())) {
        m_list->setCurrentItem(current);
        m_list->scrollToItem(current, QAbstractItemView::PositionAtCenter);
    }
}

void CPopupPlayList::PopupAt(const QPoint& bottomLeft) {
    Rebuild();
    const int count = qBound(1, int(m_queue->Count()), kMaxShown);
    const int height = count * kEntryHeight + 4;
    const QRect open(bottomLeft.x(), bottomLeft.y() - height, kWidth, height);
    const QRect shut(bottomLeft.x(), bottomLeft.y() - 1, kWidth, 1);
    m_closing = false;
    if (m_animation) m_animation->stop();
    setGeometry(shut);
    show();
    auto* animation = new QPropertyAnimation(this, "geometry", this);
    animation->setDuration(kAnimationMs);
    animation->setStartValue(shut);
    animation->setEndValue(open);
    m_animation = animation;
    animation->start(QAbstractAnimation::DeleteWhenStopped);
}

void CPopupPlayList::HideAnimated() {
    if (!isVisible() || m_closing) return;
    m_closing = true;
    if (m_animation) m_animation->stop();
    const QRect from = geometry();
    const QRect to(from.x(), from.bottom(), from.width(), 1);
    auto* animation = new QPropertyAnimation(this, "geometry", this);
    animation->setDuration(kAnimationMs);
    animation->setStartValue(from);
    animation->setEndValue(to);
    connect(animation, &QPropertyAnimation::finished, this, [this] {
        m_closing = false;
        hide();
    });
    m_animation = animation;
    animation->start(QAbstractAnimation::DeleteWhenStopped);
}

void CPopupPlayList::hideEvent(QHideEvent* event) {
    QFrame::hideEvent(event);
    if (m_animation) m_animation->stop();
    m_closing = false;
    Q_EMIT aboutHide();
}
