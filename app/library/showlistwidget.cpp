#include "showlistwidget.h"

#include <QAction>
#include <QApplication>
#include <QDate>
#include <QDrag>
#include <QFile>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QImageReader>
#include <QKeyEvent>
#include <QListView>
#include <QMenu>
#include <QMimeData>
#include <QPainter>
#include <QPixmapCache>
#include <QPushButton>
#include <QStackedWidget>
#include <QStringMatcher>
#include <QStyle>
#include <QStyleOptionViewItem>
#include <QStyledItemDelegate>
#include <QUrl>
#include <QVBoxLayout>

#include <algorithm>
#include <cstring>
#include <unordered_set>

#include "config.h"
#include "deletedialog.h"
#include "download/downloadqueue.h"
#include "download/songinfostore.h"
#include "editing/musictagswriter.h"
#include "editing/songediting.h"
#include "filteredit.h"
#include "libraryfiles.h"
#include "localfile.h"
#include "musicfilename.h"
#include "musicinfomodel.h"
#include "playqueue.h"
#include "res/pictures.h"
#include "showinfolder.h"
#include "specialdirs.h"

namespace {

const int kColumnWidths[CMusicInfoModel::Column_Count] = {1, 20, 100, 80, 120, 120, 80, 100, 20, 0};
constexpr int kCoverSize = 120;
// How many days back a play time keeps a song in "Recently Played".
constexpr int kRecentDays = 2;

QString Ptr(const void* p) {
    return QStringLiteral("0x%1").arg(quintptr(p), 0, 16);
}

// The date of a library date text ("MM/dd/yyyy..."); invalid when it is none.
QDate DateOf(QStringView text) {
    if (text.size() < 10 || text[2] != QLatin1Char('/') || text[5] != QLatin1Char('/'))
        return QDate();
    bool okMonth = false, okDay = false, okYear = false;
    const int month = text.mid(0, 2).toInt(&okMonth);
    const int day = text.mid(3, 2).toInt(&okDay);
    const int year = text.mid(6, 4).toInt(&okYear);
    if (!okMonth || !okDay || !okYear) return QDate();
    return QDate(year, month, day);
}

// Paints a song of the cover grid: its cover (or the default artwork) and
// its name below.
class CCoverGridDelegate : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;

    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override {
        painter->save();
        if (option.state & QStyle::State_Selected)
            painter->fillRect(option.rect, option.palette.highlight());
        const QRect coverRect(option.rect.x() + (option.rect.width() - kCoverSize) / 2,
                              option.rect.y() + 4, kCoverSize, kCoverSize);
        painter->drawPixmap(coverRect, Cover(index.data(CMusicInfoModel::CoverRole).toString()));
        const QRect textRect(option.rect.x() + 2, coverRect.bottom() + 4, option.rect.width() - 4,
                             option.rect.bottom() - coverRect.bottom() - 4);
        painter->setPen(option.state & QStyle::State_Selected
                            ? option.palette.color(QPalette::HighlightedText)
                            : option.palette.color(QPalette::Text));
        painter->drawText(textRect, Qt::AlignHCenter | Qt::AlignTop | Qt::TextWordWrap,
                          option.fontMetrics.elidedText(index.data().toString(), Qt::ElideRight,
                                                        textRect.width() * 2));
        painter->restore();
    }
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex&) const override {
        return QSize(kCoverSize + 16, kCoverSize + 12 + 2 * option.fontMetrics.height());
    }

private:
    // The cover scaled to the grid, read once and kept in the pixmap cache.
    static QPixmap Cover(const QString& path) {
        const QString source = path.isEmpty() || !IsRegularFile(path)
                                   ? QStringLiteral(":/prefix/res/default_artwork.png")
                                   : path;
        const QString key = QStringLiteral("cover:") + source;
        QPixmap pixmap;
        if (QPixmapCache::find(key, &pixmap)) return pixmap;
        pixmap = QPixmap::fromImage(ReadPicture(source, kCoverSize));
        if (pixmap.isNull() && source != QStringLiteral(":/prefix/res/default_artwork.png"))
            return Cover(QString());
        QPixmapCache::insert(key, pixmap);
        return pixmap;
    }
};

}  // namespace

// ---- CMusicInfoTreeWidget ---------------------------------------------------

CMusicInfoTreeWidget::CMusicInfoTreeWidget(QWidget* parent) : QTreeView(parent) {
    setObjectName(QStringLiteral("CMusicInfoTreeWidget"));
    setRootIsDecorated(false);
    setItemsExpandable(false);
    setUniformRowHeights(true);
    setAlternatingRowColors(true);
    setSelectionMode(QAbstractItemView::ExtendedSelection);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setContextMenuPolicy(Qt::CustomContextMenu);
    setDragEnabled(true);
    setDragDropMode(QAbstractItemView::DragOnly);
    header()->setSectionsMovable(false);
    header()->setStretchLastSection(true);
}

QMimeData* CMusicInfoTreeWidget::MimeForRows(const QList<CTreeWidgetItem*>& rows) {
    auto* mime = new QMimeData;
    QByteArray ids;
    QList<QUrl> urls;
    for (const CTreeWidgetItem* row : rows) {
        ids += QByteArray::number(row->MusicId()) + ' ';
        urls.push_back(QUrl::fromLocalFile(row->Path()));
    }
    mime->setData(QLatin1String(kMimeType), ids);
    mime->setUrls(urls);
    return mime;
}

void CMusicInfoTreeWidget::startDrag(Qt::DropActions supportedActions) {
    auto* model = qobject_cast<CMusicInfoModel*>(this->model());
    if (!model) return;
    QList<CTreeWidgetItem*> rows;
    const QModelIndexList selected = selectionModel()->selectedRows(CMusicInfoModel::Column_Name);
    for (const QModelIndex& index : selected)
        if (CTreeWidgetItem* row = model->Row(index)) rows.push_back(row);
    if (rows.isEmpty()) return;

    auto* drag = new QDrag(this);
    drag->setMimeData(MimeForRows(rows));
    LoadPictures();
    QPixmap picture(QStringLiteral(":/prefix/res/dragmusicfile.png"));
    if (!picture.isNull()) {
        QPainter painter(&picture);
        painter.setPen(Qt::white);
        QFont font = painter.font();
        font.setBold(true);
        painter.setFont(font);
        painter.drawText(picture.rect(), Qt::AlignCenter, QString::number(rows.size()));
        painter.end();
        drag->setPixmap(picture);
    }
    drag->exec(supportedActions & Qt::CopyAction ? Qt::CopyAction : supportedActions);
}

void CMusicInfoTreeWidget::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Delete && event->modifiers() == Qt::NoModifier) {
        Q_EMIT DeletePressed();
        event->accept();
        return;
    }
    QTreeView::keyPressEvent(event);
}

void CMusicInfoTreeWidget::KeepColumnsFilled() {
    QHeaderView* columns = header();
    m_leastWidths.clear();
    for (int column = 0; column < columns->count() - 1; ++column)
        m_leastWidths.push_back(columns->sectionSize(column));
    if (!m_watchingSections) {
        m_watchingSections = true;
        connect(columns, &QHeaderView::sectionResized, this, [this, columns](int column) {
            if (!m_filling && column != columns->count() - 1) m_userSized = true;
        });
    }
    FillWidth();
}

void CMusicInfoTreeWidget::resizeEvent(QResizeEvent* event) {
    QTreeView::resizeEvent(event);
    FillWidth();
}

void CMusicInfoTreeWidget::FillWidth() {
    if (m_userSized || m_leastWidths.empty()) return;
    int least = 0;
    for (int width : m_leastWidths) least += width;
    const int spare = qMax(0, viewport()->width() - least);
    // The texts of any length share the room, in the ratio of their widths.
    const int sharing[] = {CMusicInfoModel::Column_Name, CMusicInfoModel::Column_Artist,
                           CMusicInfoModel::Column_Album};
    int shares = 0;
    for (int column : sharing) shares += m_leastWidths[std::size_t(column)];
    m_filling = true;
    QHeaderView* columns = header();
    for (int column = 0; column < int(m_leastWidths.size()); ++column) {
        int width = m_leastWidths[std::size_t(column)];
        if (std::find(std::begin(sharing), std::end(sharing), column) != std::end(sharing))
            width += spare * width / qMax(1, shares);
        columns->resizeSection(column, width);
    }
    m_filling = false;
}

// ---- CShowListWidget ----------------------------------------------------------

CShowListWidget::CShowListWidget(CConfig* config, QWidget* parent)
    : QWidget(parent), m_config(config) {
    setObjectName(QStringLiteral("CShowListWidget"));
    LoadPictures();
    m_queue = new CPlayQueue(this);
    m_pendingDownloads = new CPendingDownloadQueue(this);
    SetDownloadQueue(nullptr);
    m_recordState = [] { return 0; };

    BuildWidgets();
    BuildMenu();
    if (!LoadLibrary()) {
        // Nothing may be concluded from a song that was not read: no
        // clean-up, and no change at all while the rows are not all known.
        m_incomplete = true;
        qCritical("CShowListWidget: the library could not be read whole, it is kept unchanged");
        DB_KeepUnchanged();
    }
    ShowList(List_AllRecordings);
}

CShowListWidget::~CShowListWidget() {
    // The views go before the rows they point at.
    delete m_views;
    m_views = nullptr;
    m_rows.clear();
    DB_Close();
}

void CShowListWidget::BuildWidgets() {
    m_model = new CMusicInfoModel(this);

    m_filter = new CFilterEdit(this);
    m_filter->setMaximumWidth(220);
    m_coverButton = new QPushButton(this);
    m_coverButton->setObjectName(QStringLiteral("button_coverflow"));
    m_coverButton->setToolTip(tr("Cover view"));
    m_coverButton->setIcon(QIcon(QStringLiteral(":/prefix/res/button_coverflow.png")));
    m_tableButton = new QPushButton(this);
    m_tableButton->setObjectName(QStringLiteral("button_tablist"));
    m_tableButton->setToolTip(tr("List view"));
    m_tableButton->setIcon(QIcon(QStringLiteral(":/prefix/res/button_tablist.png")));
    m_tableButton->setEnabled(false);

    m_views = new QStackedWidget(this);
    m_table = new CMusicInfoTreeWidget(m_views);
    m_table->setModel(m_model);
    m_table->setSortingEnabled(true);
    m_table->sortByColumn(CMusicInfoModel::Column_Date, Qt::DescendingOrder);
    QHeaderView* header = m_table->header();
    header->setMinimumSectionSize(1);
    for (int column = 0; column < CMusicInfoModel::Column_Count - 1; ++column) {
        header->resizeSection(column, kColumnWidths[column]);
        const bool fixed = column == CMusicInfoModel::Column_Margin ||
                           column == CMusicInfoModel::Column_Mark ||
                           column == CMusicInfoModel::Column_State;
        header->setSectionResizeMode(column, fixed ? QHeaderView::Fixed : QHeaderView::Interactive);
    }
    // The last column takes what is left, without a width of its own.
    header->resizeSection(CMusicInfoModel::Column_Rest, 0);
    FitColumnsToFont();
    m_table->KeepColumnsFilled();

    m_coverView = new QListView(m_views);
    m_coverView->setObjectName(QStringLiteral("coverView"));
    m_coverView->setViewMode(QListView::IconMode);
    m_coverView->setResizeMode(QListView::Adjust);
    m_coverView->setMovement(QListView::Static);
    m_coverView->setUniformItemSizes(true);
    m_coverView->setLayoutMode(QListView::Batched);
    m_coverView->setSelectionMode(QAbstractItemView::ExtendedSelection);
    m_coverView->setContextMenuPolicy(Qt::CustomContextMenu);
    m_coverView->setItemDelegate(new CCoverGridDelegate(m_coverView));
    m_coverView->setModel(m_model);
    m_coverView->setModelColumn(CMusicInfoModel::Column_Name);
    m_coverView->setSelectionModel(m_table->selectionModel());
    m_views->addWidget(m_table);
    m_views->addWidget(m_coverView);

    auto* top = new QHBoxLayout;
    top->setContentsMargins(4, 4, 4, 4);
    top->addWidget(m_tableButton);
    top->addWidget(m_coverButton);
    top->addStretch(1);
    top->addWidget(m_filter);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addLayout(top);
    layout->addWidget(m_views, 1);

    connect(m_filter, &CFilterEdit::filter, this, &CShowListWidget::Filter);
    connect(m_coverButton, &QPushButton::clicked, this, &CShowListWidget::AddView);
    connect(m_tableButton, &QPushButton::clicked, this, &CShowListWidget::RemoveView);
    connect(header, &QHeaderView::sectionClicked, this, &CShowListWidget::sectionClick);
    connect(m_table, &QWidget::customContextMenuRequested, this,
            &CShowListWidget::customContextMenuRequested);
    connect(m_coverView, &QWidget::customContextMenuRequested, this,
            &CShowListWidget::customContextMenuRequested);
    connect(m_table, &CMusicInfoTreeWidget::DeletePressed, this, &CShowListWidget::DeleteSelection);
    auto playRow = [this](const QModelIndex& index) {
        if (CTreeWidgetItem* row = m_model->Row(index)) Q_EMIT PlayMusicRequested(row);
    };
    connect(m_table, &QAbstractItemView::doubleClicked, this, playRow);
    connect(m_coverView, &QAbstractItemView::doubleClicked, this, playRow);
}

void CShowListWidget::BuildMenu() {
    m_menu = new QMenu(this);
    m_playAction = m_menu->addAction(tr("Play"));
    m_editAction = m_menu->addAction(tr("Edit Music Tags"));
    m_downloadAction = m_menu->addAction(tr("Download Info"));
    m_menu->addSeparator();
    m_playlistMenu = m_menu->addMenu(tr("Add to playlist"));
    m_iTunesAction = m_menu->addAction(tr("Add to iTunes"));
    m_selectAllAction = m_menu->addAction(tr("Select All"));
    m_unselectAction = m_menu->addAction(tr("Unselect All"));
    m_menu->addSeparator();
    m_finderAction = m_menu->addAction(tr("Show in Folder"));
    m_deleteAction = m_menu->addAction(tr("Delete"));

    connect(m_playAction, &QAction::triggered, this, [this] {
        if (CTreeWidgetItem* row = CurrentRow()) Q_EMIT PlayMusicRequested(row);
    });
    connect(m_editAction, &QAction::triggered, this,
            qOverload<>(&CShowListWidget::EditTagsMusic));
    connect(m_downloadAction, &QAction::triggered, this, &CShowListWidget::DownloadInfo);
    connect(m_iTunesAction, &QAction::triggered, this, &CShowListWidget::AddToiTunesRequested);
    connect(m_selectAllAction, &QAction::triggered, this, &CShowListWidget::selectAll);
    connect(m_unselectAction, &QAction::triggered, this, &CShowListWidget::clearSelection);
    connect(m_finderAction, &QAction::triggered, this, &CShowListWidget::ShowMusicFileInFinder);
    connect(m_deleteAction, &QAction::triggered, this, &CShowListWidget::DeleteSelection);
}

// ---- Loading --------------------------------------------------------------------

bool CShowListWidget::LoadLibrary() {
    m_rows.reserve(1024);
    bool whole = true;
    whole &= DB_ForEachMusicInfo([this](const MusicInfoView& view) {
        auto row = std::make_unique<CTreeWidgetItem>(view.MusicId);
        row->SetFromView(view);
        m_rows[view.MusicId] = std::move(row);
    }) >= 0;
    // Every song's shown cover in one pass: cover number ImageId of the
    // song's first five.
    int song = 0;
    int number = 0;
    CTreeWidgetItem* row = nullptr;
    whole &= DB_ForEachCover([&](int musicId, int, const char* path) {
        if (musicId != song) {
            song = musicId;
            number = 0;
            row = FindRow(musicId);
        }
        if (row && number < 5 && number == row->ImageId()) row->SetCoverPath(QString::fromUtf8(path));
        ++number;
    }) >= 0;
    whole &= DB_ForEachNameOrigin([this](int musicId, int origin, const char* player) {
        if (CTreeWidgetItem* found = FindRow(musicId))
            found->SetNameOrigin(origin, QString::fromUtf8(player));
    }) >= 0;
    whole &= BuildMemberships(whole);
    qDebug("CShowListWidget::LoadLibrary songs: %d", int(m_rows.size()));
    return whole;
}

bool CShowListWidget::BuildMemberships(bool tidy) {
    QList<MusicListInfo> lists;
    const bool listsRead = DB_GetMusicList(&lists) == 0;
    tidy = tidy && listsRead;
    for (const MusicListInfo& list : lists) m_lists[list.ListId];
    Membership& all = m_lists[List_AllRecordings];
    Membership& newly = m_lists[List_NewlyRecordings];
    Membership& recent = m_lists[List_RecentlyPlayed];
    const QDate today = QDate::currentDate();
    const QString todayText = today.toString(QStringLiteral("MM/dd/yyyy"));

    CLibraryTransaction transaction;
    std::vector<CTreeWidgetItem*> stalePlayTimes;
    all.reserve(qsizetype(m_rows.size()));
    for (const auto& [musicId, row] : m_rows) {
        all.insert(musicId, 0);
        if (QStringView(row->DateAdded()).left(10) == todayText) newly.insert(musicId, 0);
        if (!row->HasPlayTime()) continue;
        const QDate played = DateOf(QStringView(row->DateAdded()).mid(kDateTextLength + 1));
        if (!played.isValid()) continue;
        if (played.daysTo(today) <= kRecentDays)
            recent.insert(musicId, 0);
        else
            stalePlayTimes.push_back(row.get());
    }
    // A play time older than two days is dropped for good.
    if (tidy)
        for (CTreeWidgetItem* stale : stalePlayTimes) SetRowDateAdded(stale, stale->AddedText());

    std::vector<int> orphans;
    const bool whole = DB_ForEachMusicItem([&](const MusicItemInfo& item) {
        if (item.ListId < List_FirstPlaylist) return;
        auto list = m_lists.find(item.ListId);
        if (list == m_lists.end()) return;  // items of a list that is gone
        if (m_rows.count(item.MusicId))
            list->second.insert(item.MusicId, item.ItemId);
        else
            orphans.push_back(item.ItemId);
    }) >= 0;
    // Memberships of songs that no longer exist, known only after every
    // song and every membership was read.
    if (tidy && whole)
        for (int itemId : orphans) DB_DeleteMusicItem(itemId);
    return listsRead && whole;
}

CShowListWidget::Membership* CShowListWidget::ListMembers(int listId) {
    auto found = m_lists.find(listId);
    return found == m_lists.end() ? nullptr : &found->second;
}

const CShowListWidget::Membership* CShowListWidget::ListMembers(int listId) const {
    auto found = m_lists.find(listId);
    return found == m_lists.end() ? nullptr : &found->second;
}

// ---- Wiring ---------------------------------------------------------------------

void CShowListWidget::SetDownloadQueue(CDownloadQueue* queue) {
    if (m_downloads) disconnect(m_downloads, nullptr, this, nullptr);
    m_downloads = queue ? queue : m_pendingDownloads;
    connect(m_downloads, &CDownloadQueue::TaskNotified, this,
            &CShowListWidget::HandleDownloadNotify);
    m_downloads->StartService();
}

void CShowListWidget::SetRecordStateSource(std::function<int()> source) {
    m_recordState = source ? std::move(source) : [] { return 0; };
}

bool CShowListWidget::IsCoverViewShown() const {
    return m_views->currentWidget() == m_coverView;
}

// ---- Lists ----------------------------------------------------------------------

void CShowListWidget::ShowList(int listId) {
    if (listId == m_currentList) return;
    const Membership* members = ListMembers(listId);
    std::vector<CTreeWidgetItem*> rows;
    if (members) {
        rows.reserve(std::size_t(members->size()));
        for (auto it = members->cbegin(); it != members->cend(); ++it)
            if (CTreeWidgetItem* row = FindRow(it.key())) rows.push_back(row);
    }
    m_currentList = listId;
    m_filter->Reset();
    m_filterText.clear();
    m_model->SetMembers(std::move(rows), listId);
    QHeaderView* header = m_table->header();
    if (!header->isSortIndicatorShown()) {
        header->setSortIndicatorShown(true);
        m_table->sortByColumn(CMusicInfoModel::Column_Date, Qt::DescendingOrder);
    }
    UpdataPicView();
    Q_EMIT FilterListToNull(m_model->Shown().empty());
}

int CShowListWidget::ListCount(int listId) const {
    const Membership* members = ListMembers(listId);
    return members ? int(members->size()) : 0;
}

bool CShowListWidget::IsInList(const CTreeWidgetItem* row, int listId) const {
    const Membership* members = ListMembers(listId);
    return row && members && members->contains(row->MusicId());
}

void CShowListWidget::EmitCount(int listId) {
    Q_EMIT ListCountChanged(listId, ListCount(listId));
}

void CShowListWidget::SetRowDateAdded(CTreeWidgetItem* row, const QString& dateAdded) {
    std::unique_ptr<SongRecord> record = LoadRecord(row);
    if (!record) return;
    record->DateAdded = dateAdded;
    DB_UpdateMusicInfo(*record);
    row->SetDateAdded(dateAdded);
}

void CShowListWidget::AddToList(const QList<CTreeWidgetItem*>& rows, int listId) {
    Membership* members = ListMembers(listId);
    if (!members || listId < List_RecentlyPlayed || rows.isEmpty()) return;
    {
        CLibraryTransaction transaction;
        for (CTreeWidgetItem* row : rows) {
            if (!row || !m_rows.count(row->MusicId()) || row == m_newRecord) continue;
            if (listId == List_RecentlyPlayed) {
                SetRowDateAdded(row, row->AddedText() + QLatin1Char(';') + LibraryDateText());
                members->insert(row->MusicId(), 0);
            } else {
                if (members->contains(row->MusicId())) continue;
                const int itemId = DB_CreateItemKey();
                if (itemId < 0) {
                    qWarning("CShowListWidget::AddToList no free item key, listId: %d", listId);
                    break;
                }
                DB_SetMusicItem(itemId, listId, row->MusicId());
                members->insert(row->MusicId(), itemId);
            }
            if (listId == m_currentList) {
                if (m_model->IsMember(row))
                    m_model->RowChanged(row);
                else
                    m_model->AddMember(row);
            }
        }
    }
    EmitCount(listId);
    if (listId == m_currentList) Q_EMIT FilterListToNull(m_model->Shown().empty());
}

bool CShowListWidget::RemoveFromQueue(const std::vector<const CTreeWidgetItem*>& rows, int listId) {
    if (m_queue->IsEmpty() || (listId != 0 && m_queue->ListId() != listId)) return false;
    bool playing = false;
    bool removed = false;
    for (const CTreeWidgetItem* row : rows) {
        if (!m_queue->Contains(row)) continue;
        removed = true;
        if (m_queue->Remove(row)) playing = true;
        if (auto it = m_rows.find(row->MusicId()); it != m_rows.end() && it->second->IsPlaying()) {
            it->second->SetPlaying(false);
            m_model->RowChanged(row);
        }
    }
    return removed && playing;
}

void CShowListWidget::RemoveFromList(const QList<CTreeWidgetItem*>& rows, int listId) {
    Membership* members = ListMembers(listId);
    if (!members || listId < List_RecentlyPlayed) return;
    std::vector<const CTreeWidgetItem*> removed;
    {
        CLibraryTransaction transaction;
        for (CTreeWidgetItem* row : rows) {
            if (!row || !members->contains(row->MusicId())) continue;
            if (listId == List_RecentlyPlayed) {
                SetRowDateAdded(row, row->AddedText());
            } else {
                DB_DeleteMusicItem(members->value(row->MusicId()));
            }
            members->remove(row->MusicId());
            removed.push_back(row);
        }
    }
    if (removed.empty()) return;
    const bool queueTouched = std::any_of(removed.begin(), removed.end(), [this](auto* row) {
        return m_queue->Contains(row);
    }) && m_queue->ListId() == listId;
    const bool playing = RemoveFromQueue(removed, listId);
    if (listId == m_currentList) {
        m_model->RemoveMembers(removed);
        Q_EMIT FilterListToNull(m_model->Shown().empty());
    }
    EmitCount(listId);
    if (queueTouched) Q_EMIT QueueEntriesRemoved(playing);
}

bool CShowListWidget::RemoveAllFromList(int listId) {
    const Membership* members = ListMembers(listId);
    if (!members) return true;
    if (!members->isEmpty() && !AskDelete(tr("Are you sure to delete the selected file?")))
        return false;
    QList<CTreeWidgetItem*> rows;
    for (auto it = members->cbegin(); it != members->cend(); ++it)
        if (CTreeWidgetItem* row = FindRow(it.key())) rows.push_back(row);
    RemoveFromList(rows, listId);
    return true;
}

void CShowListWidget::AddPlaylistAction(int listId, const QString& name) {
    if (listId < List_FirstPlaylist) return;
    m_lists[listId];
    for (const auto& entry : m_playlistActions)
        if (entry.first == listId) return;
    QAction* action = m_playlistMenu->addAction(name);
    connect(action, &QAction::triggered, this, [this, listId] { PlaylistActionTriggered(listId); });
    m_playlistActions.push_back({listId, action});
}

void CShowListWidget::RenamePlaylistAction(int listId, const QString& name) {
    for (const auto& entry : m_playlistActions)
        if (entry.first == listId) entry.second->setText(name);
}

void CShowListWidget::DeleteAction(int listId) {
    qDebug("CShowListWidget::DeleteAction listId: %d", listId);
    for (int i = 0; i < m_playlistActions.size(); ++i) {
        if (m_playlistActions[i].first != listId) continue;
        delete m_playlistActions[i].second;
        m_playlistActions.removeAt(i);
        return;
    }
}

void CShowListWidget::DeletePlaylist(int listId) {
    if (listId < List_FirstPlaylist) return;
    DeleteAction(listId);
    m_lists.erase(listId);
    if (m_queue->ListId() == listId) m_queue->Set(m_queue->Rows(), m_queue->CurrentIndex(), 0);
}

void CShowListWidget::PlaylistActionTriggered(int listId) {
    QList<CTreeWidgetItem*> rows;
    for (CTreeWidgetItem* row : SelectedRows())
        if (CheckFile(row)) rows.push_back(row);
    AddToList(rows, listId);
}

void CShowListWidget::FitColumnsToFont() {
    QHeaderView* header = m_table->header();
    const QFontMetrics titles = header->fontMetrics();
    QStyle* style = m_table->style();
    const int titleMargin = 2 * style->pixelMetric(QStyle::PM_HeaderMargin, nullptr, header);
    const int sortMark =
        style->pixelMetric(QStyle::PM_HeaderMarkSize, nullptr, header) + titleMargin / 2;
    // A cell as the table's delegate measures it.
    QStyleOptionViewItem cell;
    cell.initFrom(m_table);
    cell.font = m_table->font();
    cell.fontMetrics = m_table->fontMetrics();
    cell.features = QStyleOptionViewItem::HasDisplay;
    // Texts of fixed form: a recording's file name (the name until the song
    // has one), a length with hours, a library date.
    const struct {
        int column;
        QString sample;
    } samples[] = {
        {CMusicInfoModel::Column_Name, QStringLiteral("AU0000-00-00 000000")},
        {CMusicInfoModel::Column_Time, QStringLiteral("00:00:00")},
        {CMusicInfoModel::Column_Artist, tr("Unknown Artist")},
        {CMusicInfoModel::Column_Album, tr("Unknown Album")},
        {CMusicInfoModel::Column_Genre, tr("Other")},
        {CMusicInfoModel::Column_Date, QStringLiteral("00/00/0000 00:00")},
    };
    for (const auto& sample : samples) {
        cell.text = sample.sample;
        int need =
            style->sizeFromContents(QStyle::CT_ItemViewItem, &cell, QSize(), m_table).width();
        const QString title = m_model->headerData(sample.column, Qt::Horizontal).toString();
        need = qMax(need, titles.horizontalAdvance(title) + titleMargin + sortMark);
        if (sample.column == CMusicInfoModel::Column_Date)
            need = qMax(need, titles.horizontalAdvance(tr("Date Played")) + titleMargin + sortMark);
        if (header->sectionSize(sample.column) < need) header->resizeSection(sample.column, need);
    }
}

// ---- Rows -----------------------------------------------------------------------

CTreeWidgetItem* CShowListWidget::FindRow(int musicId) const {
    auto found = m_rows.find(musicId);
    return found == m_rows.end() ? nullptr : found->second.get();
}

QList<CTreeWidgetItem*> CShowListWidget::VisibleRows() const {
    const auto& shown = m_model->Shown();
    return QList<CTreeWidgetItem*>(shown.begin(), shown.end());
}

QList<CTreeWidgetItem*> CShowListWidget::SelectedRows() const {
    QModelIndexList selected = m_table->selectionModel()->selectedRows(CMusicInfoModel::Column_Name);
    std::sort(selected.begin(), selected.end(),
              [](const QModelIndex& a, const QModelIndex& b) { return a.row() < b.row(); });
    QList<CTreeWidgetItem*> rows;
    rows.reserve(selected.size());
    for (const QModelIndex& index : selected)
        if (CTreeWidgetItem* row = m_model->Row(index)) rows.push_back(row);
    return rows;
}

QList<CTreeWidgetItem*> CShowListWidget::SelectedOrVisibleRows() const {
    QList<CTreeWidgetItem*> rows = SelectedRows();
    return rows.isEmpty() ? VisibleRows() : rows;
}

CTreeWidgetItem* CShowListWidget::CurrentRow() const {
    return m_model->Row(m_table->currentIndex());
}

bool CShowListWidget::SetCurrentRow(CTreeWidgetItem* row) {
    const QModelIndex index = m_model->IndexOf(row, CMusicInfoModel::Column_Name);
    if (!index.isValid()) return false;
    m_table->selectionModel()->setCurrentIndex(
        index, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    m_table->scrollTo(index);
    return true;
}

bool CShowListWidget::IsOwnSongFile(const QString& path) const {
    return m_config && InMusicFolders(path, m_config->GetOutputPath());
}

bool CShowListWidget::CheckFile(CTreeWidgetItem* row) {
    if (!row) return false;
    // A FIFO or a device in the song's place is no song: opening it would
    // hold the window.
    const bool exists = IsRegularFile(row->Path());
    if (row->IsMissing() == exists) {
        row->SetMissing(!exists);
        m_model->RowChanged(row);
    }
    return exists;
}

void CShowListWidget::SetPlayingMark(CTreeWidgetItem* row, bool playing) {
    if (!row || row->IsPlaying() == playing) return;
    row->SetPlaying(playing);
    m_model->RowChanged(row);
}

std::unique_ptr<SongRecord> CShowListWidget::LoadRecord(const CTreeWidgetItem* row) const {
    if (!row) return nullptr;
    auto record = std::make_unique<SongRecord>();
    if (DB_GetMusicInfo(row->MusicId(), record.get()) != 1) return nullptr;
    DB_GetImageInfo(record.get());
    return record;
}

int CShowListWidget::StoreRecord(const SongRecord& record) {
    const int code = DB_UpdateMusicInfo(record);
    if (CTreeWidgetItem* row = FindRow(record.MusicId)) {
        row->SetFromRecord(record);
        m_model->RowChanged(row);
        Q_EMIT MusicItemInfoChanged(row);
    }
    return code;
}

void CShowListWidget::RefreshRow(CTreeWidgetItem* row) {
    std::unique_ptr<SongRecord> record = LoadRecord(row);
    if (!record) return;
    row->SetFromRecord(*record);
    QString player;
    const int origin = DB_GetNameOrigin(row->MusicId(), &player);
    row->SetNameOrigin(origin, player);
    m_model->RowChanged(row);
}

void CShowListWidget::SetNameOrigin(CTreeWidgetItem* row, int origin, const QString& player) {
    if (!row) return;
    DB_SetNameOrigin(row->MusicId(), origin, player);
    row->SetNameOrigin(origin, origin == NameOrigin_Player ? player : QString());
    m_model->RowChanged(row);
}

// ---- Deleting -------------------------------------------------------------------

bool CShowListWidget::AskDelete(const QString& text) {
    if (m_config && m_config->GetDeleteType() != 0) return true;
    CDeleteDialog question(text, this);
    question.AddButton(tr("Cancel"), QDialogButtonBox::RejectRole, true);
    question.AddButton(tr("Delete"), QDialogButtonBox::DestructiveRole);
    question.ShowDontAskAgain();
    question.Ask();
    if (question.ChosenRole() != QDialogButtonBox::DestructiveRole) return false;
    if (question.DontAskAgain() && m_config) m_config->SetDeleteType(1);
    return true;
}

void CShowListWidget::DeleteSelection() {
    const QList<CTreeWidgetItem*> rows = SelectedRows();
    if (rows.isEmpty()) return;
    const bool library = m_currentList == List_AllRecordings || m_currentList == List_NewlyRecordings;
    const auto own = std::count_if(rows.begin(), rows.end(), [this](CTreeWidgetItem* row) {
        return IsOwnSongFile(row->Path());
    });
    QString text = tr("Are you sure to delete the selected file?\n");
    if (library && own == rows.size())
        text = tr("Are you sure you want to delete the \nselected file from "
                  "Library?\nIts original file will also be deleted.\n ");
    else if (library && own == 0)
        text = tr("Are you sure you want to delete the \nselected file from Library?\nIts original "
                  "file is outside the music folders and will be kept.\n ");
    else if (library)
        text = tr("Are you sure you want to delete the \nselected files from Library?\nOriginal "
                  "files in the music folders will also be deleted;\nfiles outside them will be "
                  "kept.\n ");
    if (!AskDelete(text)) return;
    if (library)
        DeleteMusicRows(rows);
    else
        RemoveFromList(rows, m_currentList);
}

void CShowListWidget::DeleteMusic(CTreeWidgetItem* row) {
    if (row) DeleteMusicRows({row});
}

void CShowListWidget::DeleteMusicRows(const QList<CTreeWidgetItem*>& rows) {
    std::vector<const CTreeWidgetItem*> gone;
    std::unordered_set<int> changedLists;
    {
        CLibraryTransaction transaction;
        for (CTreeWidgetItem* row : rows) {
            if (!row || !m_rows.count(row->MusicId())) continue;
            const int musicId = row->MusicId();
            gone.push_back(row);
            std::unique_ptr<SongRecord> record = LoadRecord(row);
            if (!record) {
                qDebug("CShowListWidget::DeleteMusic can not found record, item: %s musicId: %d",
                       qUtf8Printable(Ptr(row)), musicId);
            }
            // Playlists: through the table, so that lists that are not
            // loaded lose their rows too.
            QList<MusicItemInfo> items;
            DB_GetMusicItem(&items, "MusicId", musicId);
            for (const MusicItemInfo& item : items) {
                DB_DeleteMusicItem(item.ItemId);
                if (Membership* members = ListMembers(item.ListId)) {
                    members->remove(musicId);
                    changedLists.insert(item.ListId);
                }
            }
            for (int listId : {int(List_AllRecordings), int(List_NewlyRecordings),
                               int(List_RecentlyPlayed)}) {
                if (Membership* members = ListMembers(listId); members && members->remove(musicId))
                    changedLists.insert(listId);
            }
            if (m_downloads) m_downloads->CancelTask(musicId);
            if (!record) continue;

            // A file outside the music folders is the user's own: only the
            // library forgets it. The song being recorded is always ours.
            if (row != m_newRecord && !IsOwnSongFile(record->MusicPath)) {
                qDebug("CShowListWidget::DeleteMusic file kept, not in a music folder: %s",
                       qUtf8Printable(record->MusicPath));
            } else if (QFile::exists(record->MusicPath) && !QFile::remove(record->MusicPath)) {
                qWarning("CShowListWidget::DeleteMusic cannot remove file: %s",
                         qUtf8Printable(record->MusicPath));
            }
            DB_DeleteMusicinfo(musicId);
            for (int i = 0; i < record->tags.imageCount && i < 5; ++i) {
                DB_DeleteImage(record->tags.reserved[i]);
                // An image another cover still names stays.
                RemoveUnusedCoverFile(TagText(record->tags.imagePaths[i]));
            }
            if (const QString sample = m_finishedSamples.take(musicId); !sample.isEmpty())
                QFile::remove(sample);
        }
    }
    if (gone.empty()) return;

    const bool queueTouched = std::any_of(gone.begin(), gone.end(),
                                          [this](auto* row) { return m_queue->Contains(row); });
    const bool playing = RemoveFromQueue(gone, 0);
    m_model->RemoveMembers(gone);
    for (int listId : changedLists) {
        if (listId != m_currentList && listId >= List_RecentlyPlayed)
            Q_EMIT MusicInOtherListDeleted(listId, ListCount(listId));
        EmitCount(listId);
    }
    for (const CTreeWidgetItem* row : gone) {
        CTreeWidgetItem* doomed = const_cast<CTreeWidgetItem*>(row);
        if (doomed == m_newRecord) m_newRecord = nullptr;
        Q_EMIT MusicItemDeleted(doomed);
        m_rows.erase(doomed->MusicId());
    }
    if (queueTouched) Q_EMIT QueueEntriesRemoved(playing);
    Q_EMIT FilterListToNull(m_model->Shown().empty());
    UpdataPicView();
}

// ---- The song being recorded ----------------------------------------------------

int CShowListWidget::CreateNewRecord(const QString& path) {
    SongRecord record;
    record.MusicPath = path;
    record.DateAdded = LibraryDateText();
    record.MusicId = CreatePrimaryKey("MusicInfo", "MusicId", kMusicIdMin, kMusicIdMax);
    if (record.MusicId < 0) {
        CDeleteDialog full(tr("The number of songs in this playlist has reached the maximum.\n"
                              "Note: the maximum songs in a playlist are 100,000."),
                           this);
        full.AddButton(tr("Cancel"), QDialogButtonBox::RejectRole, true);
        full.Ask();
        return -1;
    }
    if (const int code = DB_SetMusicInfo(record)) {
        qWarning("CShowListWidget::CreateNewRecord cannot store musicId: %d err: %d",
                 record.MusicId, code);
        return -1;
    }
    if (m_newRecord) {
        qWarning("CShowListWidget::CreateNewRecord the previous new record %d was never filed",
                 m_newRecord->MusicId());
        FileNewRecord(false);
    }
    auto row = std::make_unique<CTreeWidgetItem>(record.MusicId);
    row->SetFromRecord(record);
    m_newRecord = row.get();
    m_rows[record.MusicId] = std::move(row);
    qDebug("CShowListWidget::CreateNewRecord item: %s musicId: %d file: %s",
           qUtf8Printable(Ptr(m_newRecord)), record.MusicId, qUtf8Printable(path));
    return 0;
}

int CShowListWidget::StartAutoDownload(const QString& samplePath) {
    std::unique_ptr<SongRecord> record = LoadRecord(m_newRecord);
    if (!record) {
        QFile::remove(samplePath);
        qDebug("CShowListWidget::StartAutoDownload no new record, remove file: %s",
               qUtf8Printable(samplePath));
        return -1;
    }
    qDebug("CShowListWidget::StartAutoDownload item %s musicId: %d temp file: %s",
           qUtf8Printable(Ptr(m_newRecord)), record->MusicId, qUtf8Printable(samplePath));
    // The task works on the record's file: the sample, until the song ends.
    m_autoDownloadId = record->MusicId;
    m_autoDownloadFile = record->MusicPath;
    record->MusicPath = samplePath;
    DB_UpdateMusicInfo(*record);
    m_newRecord->SetFromRecord(*record);
    m_downloads->AddTask(record->MusicId, true);
    return 0;
}

int CShowListWidget::CompleteNewRecord(const QString& finalPath) {
    if (!m_newRecord) return -1;
    std::unique_ptr<SongRecord> record = LoadRecord(m_newRecord);
    if (!record) return 1;
    QString sample;
    if (m_autoDownloadId == record->MusicId && !m_autoDownloadFile.isEmpty()) {
        sample = record->MusicPath;
        m_autoDownloadFile.clear();
        m_autoDownloadId = 0;
    }
    record->MusicPath = finalPath;
    const int state = m_newRecord->DownloadState();
    if (!sample.isEmpty() && sample != finalPath) {
        if (state < DownloadTask_WAITING) {
            QFile::remove(sample);
            qDebug("CShowListWidget::CompleteNewRecord item %s musicId: %d remove file: %s",
                   qUtf8Printable(Ptr(m_newRecord)), record->MusicId, qUtf8Printable(sample));
        } else {
            m_finishedSamples.insert(record->MusicId, sample);
        }
    }
    // The song information came while recording, or the player named the
    // song: the file takes its name.
    const QString name = TagText(record->tags.songName);
    const bool named =
        state == DownloadTask_SUCESS || m_newRecord->NameOrigin() == NameOrigin_Player;
    if (named && !name.isEmpty()) record->MusicPath = SaveLoadMuiscName(name, record->MusicPath);
    DB_UpdateMusicInfo(*record);
    m_newRecord->SetFromRecord(*record);
    return 0;
}

void CShowListWidget::FileNewRecord(bool identify) {
    CTreeWidgetItem* row = m_newRecord;
    if (!row) return;
    m_newRecord = nullptr;
    m_lists[List_AllRecordings].insert(row->MusicId(), 0);
    m_lists[List_NewlyRecordings].insert(row->MusicId(), 0);
    if (m_currentList == List_AllRecordings || m_currentList == List_NewlyRecordings) {
        m_model->InsertTop(row);
        SetCurrentRow(row);
        Q_EMIT FilterListToNull(false);
    }
    EmitCount(List_AllRecordings);
    EmitCount(List_NewlyRecordings);
    UpdataPicView();
    if (!identify && row->DownloadState() == DownloadTask_WAITING) {
        // Identification is not wanted after all: the queue drops the task
        // that waited for the song, and its sample goes.
        if (const QString sample = m_finishedSamples.take(row->MusicId()); !sample.isEmpty())
            QFile::remove(sample);
        row->SetDownloadState(0);
        m_model->RowChanged(row);
    }
    // The player's texts go into the file now, before identification reads
    // it; an answer found later writes its own.
    if (row->NameOrigin() == NameOrigin_Player) {
        if (std::unique_ptr<SongRecord> record = LoadRecord(row)) WriteMusicTags(*record);
    }
    m_downloads->SongFiled(row->MusicId(), true, identify);
    Q_EMIT NewRecordFiled(row, identify);
}

void CShowListWidget::DiscardNewRecord() {
    CTreeWidgetItem* row = m_newRecord;
    if (!row) return;
    qDebug("CShowListWidget::DiscardNewRecord item: %s musicId: %d", qUtf8Printable(Ptr(row)),
           row->MusicId());
    // While its sample is identified, the record names the sample and the
    // song's own file is remembered here.
    if (m_autoDownloadId == row->MusicId() && !m_autoDownloadFile.isEmpty()) {
        QFile::remove(m_autoDownloadFile);
        m_autoDownloadFile.clear();
        m_autoDownloadId = 0;
    }
    const int musicId = row->MusicId();
    m_downloads->SongFiled(musicId, false, false);
    DeleteMusicRows({row});
    m_newRecord = nullptr;
}

int CShowListWidget::SetPlayerTexts(const QString& title, const QString& artist,
                                    const QString& album, const QString& player) {
    std::unique_ptr<SongRecord> record = LoadRecord(m_newRecord);
    if (!record) return -1;
    RecordMusicInfo& tags = record->tags;
    if (!title.isEmpty()) SetTagText(tags.songName, title);
    if (!artist.isEmpty()) SetTagText(tags.artist, artist);
    if (!album.isEmpty()) SetTagText(tags.album, album);
    qDebug("CShowListWidget::SetPlayerTexts item %s musicId: %d name: %s player: %s",
           qUtf8Printable(Ptr(m_newRecord)), record->MusicId, qUtf8Printable(title),
           qUtf8Printable(player));
    DB_UpdateMusicInfo(*record);
    m_newRecord->SetFromRecord(*record);
    if (!title.isEmpty()) SetNameOrigin(m_newRecord, NameOrigin_Player, player);
    m_model->RowChanged(m_newRecord);
    Q_EMIT MusicItemInfoChanged(m_newRecord);
    return 0;
}

int CShowListWidget::AddPlayerCover(int musicId, const QString& imagePath) {
    CTreeWidgetItem* row = FindRow(musicId);
    std::unique_ptr<SongRecord> record = LoadRecord(row);
    RecordMusicInfo picture;
    std::memset(&picture, 0, sizeof picture);
    SetTagText(picture.imagePaths[0], imagePath);
    picture.imageCount = 1;
    if (!record || SaveCovers(record.get(), picture, SpecialDirPath(SpecialDir_Pictures)) == 0) {
        qDebug("CShowListWidget::AddPlayerCover not stored, musicId: %d remove file: %s", musicId,
               qUtf8Printable(imagePath));
        RemoveUnusedCoverFile(imagePath);
        return -1;
    }
    DB_UpdateMusicInfo(*record);
    row->SetFromRecord(*record);
    m_model->RowChanged(row);
    if (row == CurrentRow()) UpdataPicView();
    Q_EMIT MusicItemInfoChanged(row);
    // While recording, the record may name the sample: the song's own file
    // is tagged when the song is filed.
    if (row != m_newRecord && !row->IsPlaying()) WriteMusicTags(*record);
    return 0;
}

// ---- Slots ----------------------------------------------------------------------

void CShowListWidget::customContextMenuRequested(const QPoint& pos) {
    QAbstractItemView* view = IsCoverViewShown() ? static_cast<QAbstractItemView*>(m_coverView)
                                                 : static_cast<QAbstractItemView*>(m_table);
    if (!m_model->Row(view->indexAt(pos))) return;
    const QList<CTreeWidgetItem*> selected = SelectedRows();
    bool anyExists = false;
    for (CTreeWidgetItem* row : selected)
        if (CheckFile(row)) anyExists = true;
    const bool one = selected.size() == 1;
    m_downloadAction->setEnabled(anyExists);
    m_playlistMenu->setEnabled(anyExists);
    m_iTunesAction->setEnabled(anyExists);
    m_editAction->setEnabled(anyExists && one);
    m_finderAction->setEnabled(anyExists && one);
    for (const auto& entry : m_playlistActions) entry.second->setEnabled(entry.first != m_currentList);
    const int state = m_recordState();
    m_playAction->setEnabled(anyExists && state != 1 && state != 2);
    m_menu->popup(view->viewport()->mapToGlobal(pos + QPoint(5, 0)));
}

void CShowListWidget::EditTagsMusic(CTreeWidgetItem* row) {
    if (!row || !m_rows.count(row->MusicId()) || !EditSongTags(this, row, this)) return;
    Filter(m_filterType, m_filterText);
    Q_EMIT AutoDownloadFinished(row);
}

void CShowListWidget::EditTagsMusic() {
    EditTagsMusic(CurrentRow());
}

void CShowListWidget::AddView() {
    m_views->setCurrentWidget(m_coverView);
    m_coverButton->setEnabled(false);
    m_tableButton->setEnabled(true);
    UpdataPicView();
}

void CShowListWidget::RemoveView() {
    m_views->setCurrentWidget(m_table);
    m_coverButton->setEnabled(true);
    m_tableButton->setEnabled(false);
    if (m_table->currentIndex().isValid()) m_table->scrollTo(m_table->currentIndex());
}

void CShowListWidget::selectAll() {
    m_table->selectAll();
}

void CShowListWidget::clearSelection() {
    m_table->clearSelection();
}

void CShowListWidget::sectionClick(int column) {
    m_table->header()->setSortIndicatorShown(column != CMusicInfoModel::Column_Mark);
}

void CShowListWidget::ShowMusicFileInFinder() {
    CTreeWidgetItem* row = CurrentRow();
    if (!row || !CheckFile(row)) return;
    ShowFileInFolder(row->Path());
}

void CShowListWidget::Filter(int type, const QString& text) {
    if (text.isEmpty()) {
        m_model->Filter(nullptr);
    } else {
        // A text that holds the previous one matches only rows that match
        // now: typing on searches the rows shown instead of the whole list.
        const bool narrow = type == m_filterType && !m_filterText.isEmpty() &&
                            text.contains(m_filterText, Qt::CaseInsensitive);
        // Folded once here and once per row at load: the search itself is a
        // plain substring search.
        const QStringMatcher matcher(text.toCaseFolded(), Qt::CaseSensitive);
        const int column = type == CFilterEdit::Filter_All ? 0 : type;
        m_model->Filter(
            [column, matcher](const CTreeWidgetItem* row) {
                return matcher.indexIn(row->SearchText(column)) >= 0;
            },
            narrow);
    }
    m_filterType = type;
    m_filterText = text;
    UpdataPicView();
    Q_EMIT FilterListToNull(m_model->Shown().empty());
}

void CShowListWidget::UpdataPicView() {
    if (!IsCoverViewShown()) return;
    m_coverView->viewport()->update();
    if (m_table->currentIndex().isValid()) m_coverView->scrollTo(m_table->currentIndex());
}

void CShowListWidget::DownloadInfo() {
    for (CTreeWidgetItem* row : SelectedRows())
        if (CheckFile(row)) m_downloads->AddTask(row->MusicId(), false);
}

void CShowListWidget::HandleDownloadNotify(int musicId, int state) {
    CTreeWidgetItem* row = FindRow(musicId);
    const bool finished = state == DownloadTask_SUCESS || state == DownloadTask_FAILED;
    if (finished) {
        if (const QString sample = m_finishedSamples.take(musicId); !sample.isEmpty()) {
            QFile::remove(sample);
            qDebug("AutoDownload finished item %s musicId: %d temp file: %s",
                   qUtf8Printable(Ptr(row)), musicId, qUtf8Printable(sample));
        }
    }
    if (!row) return;
    switch (state) {
    case DownloadTask_WAITING:
        row->SetDownloadState(state);
        break;
    case DownloadTask_RUNNING:
        row->SetBusy(true);
        row->SetDownloadState(state);
        break;
    case DownloadTask_REQUESTING:
        row->SetBusy(false);
        row->SetDownloadState(state);
        break;
    case DownloadTask_FAILED:
        row->SetBusy(false);
        qDebug("CShowListWidget::HandleDownloadNotify DownloadTask_FAILED item %s musicId: %d",
               qUtf8Printable(Ptr(row)), musicId);
        row->SetDownloadState(state);
        break;
    case DownloadTask_SUCESS: {
        row->SetBusy(false);
        qDebug("CShowListWidget::HandleDownloadNotify DownloadTask_SUCESS item %s musicId: %d",
               qUtf8Printable(Ptr(row)), musicId);
        if (std::unique_ptr<SongRecord> record = LoadRecord(row)) {
            const QString name = TagText(record->tags.songName);
            if (!name.isEmpty()) record->MusicPath = SaveLoadMuiscName(name, record->MusicPath);
            DB_UpdateMusicInfo(*record);
            row->SetFromRecord(*record);
            QString player;
            const int origin = DB_GetNameOrigin(musicId, &player);
            row->SetNameOrigin(origin, player);
            if (row == CurrentRow()) UpdataPicView();
            Q_EMIT MusicItemInfoChanged(row);
        }
        row->SetDownloadState(state);
        break;
    }
    default:
        row->SetBusy(false);
        break;
    }
    m_model->RowChanged(row);
    if (finished) Q_EMIT AutoDownloadFinished(row);
}
