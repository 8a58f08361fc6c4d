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
#include "editing/songediting.h"
#include "filteredit.h"
#include "library.h"
#include "localfile.h"
#include "musicinfomodel.h"
#include "res/pictures.h"
#include "showinfolder.h"

namespace {

const int kColumnWidths[CMusicInfoModel::Column_Count] = {1, 20, 100, 80, 120, 120, 80, 100, 20, 0};
constexpr int kCoverSize = 120;

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

CShowListWidget::CShowListWidget(CLibrary* library, CConfig* config, QWidget* parent)
    : QWidget(parent), m_library(library), m_config(config) {
    setObjectName(QStringLiteral("CShowListWidget"));
    LoadPictures();
    m_recordState = [] { return RecordState::Idle; };

    BuildWidgets();
    BuildMenu();
    connect(m_library, &CLibrary::RowChanged, this, &CShowListWidget::ShowRowChanged);
    connect(m_library, &CLibrary::MembersAdded, this, &CShowListWidget::ShowMembersAdded);
    connect(m_library, &CLibrary::MembersRemoved, this, &CShowListWidget::ShowMembersRemoved);
    connect(m_library, &CLibrary::NewRecordFiled, this, &CShowListWidget::ShowNewRecord);
    connect(m_library, &CLibrary::LibraryFull, this, &CShowListWidget::ShowLibraryFull);
    ShowList(List_AllRecordings);
}

CShowListWidget::~CShowListWidget() = default;

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

// ---- Wiring ---------------------------------------------------------------------

void CShowListWidget::SetRecordStateSource(std::function<RecordState()> source) {
    m_recordState = source ? std::move(source) : [] { return RecordState::Idle; };
}

bool CShowListWidget::IsCoverViewShown() const {
    return m_views->currentWidget() == m_coverView;
}

// ---- Lists ----------------------------------------------------------------------

void CShowListWidget::ShowList(int listId) {
    if (listId == m_currentList) return;
    m_currentList = listId;
    m_filter->Reset();
    m_filterText.clear();
    m_model->SetMembers(m_library->Members(listId), listId);
    QHeaderView* header = m_table->header();
    if (!header->isSortIndicatorShown()) {
        header->setSortIndicatorShown(true);
        m_table->sortByColumn(CMusicInfoModel::Column_Date, Qt::DescendingOrder);
    }
    UpdataPicView();
    Q_EMIT FilterListToNull(m_model->Shown().empty());
}

bool CShowListWidget::RemoveAllFromList(int listId) {
    const std::vector<CTreeWidgetItem*> members = m_library->Members(listId);
    if (!members.empty() && !AskDelete(tr("Are you sure to delete the selected file?")))
        return false;
    m_library->RemoveFromList(QList<CTreeWidgetItem*>(members.begin(), members.end()), listId);
    return true;
}

void CShowListWidget::AddPlaylistAction(int listId, const QString& name) {
    if (listId < List_FirstPlaylist) return;
    m_library->AddList(listId);
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

void CShowListWidget::PlaylistActionTriggered(int listId) {
    QList<CTreeWidgetItem*> rows;
    for (CTreeWidgetItem* row : SelectedRows())
        if (m_library->CheckFile(row)) rows.push_back(row);
    m_library->AddToList(rows, listId);
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
        return m_library->IsOwnSongFile(row->Path());
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
        m_library->DeleteSongs(rows);
    else
        m_library->RemoveFromList(rows, m_currentList);
}

// ---- Slots ----------------------------------------------------------------------

void CShowListWidget::customContextMenuRequested(const QPoint& pos) {
    QAbstractItemView* view = IsCoverViewShown() ? static_cast<QAbstractItemView*>(m_coverView)
                                                 : static_cast<QAbstractItemView*>(m_table);
    if (!m_model->Row(view->indexAt(pos))) return;
    const QList<CTreeWidgetItem*> selected = SelectedRows();
    bool anyExists = false;
    for (CTreeWidgetItem* row : selected)
        if (m_library->CheckFile(row)) anyExists = true;
    const bool one = selected.size() == 1;
    m_downloadAction->setEnabled(anyExists);
    m_playlistMenu->setEnabled(anyExists);
    m_iTunesAction->setEnabled(anyExists);
    m_editAction->setEnabled(anyExists && one);
    m_finderAction->setEnabled(anyExists && one);
    for (const auto& entry : m_playlistActions) entry.second->setEnabled(entry.first != m_currentList);
    m_playAction->setEnabled(anyExists && m_recordState() == RecordState::Idle);
    m_menu->popup(view->viewport()->mapToGlobal(pos + QPoint(5, 0)));
}

void CShowListWidget::EditTagsMusic(CTreeWidgetItem* row) {
    if (!row || m_library->FindRow(row->MusicId()) != row || !EditSongTags(m_library, row, this))
        return;
    Filter(m_filterType, m_filterText);
    m_library->TagsEdited(row);
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
    if (!row || !m_library->CheckFile(row)) return;
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
        if (m_library->CheckFile(row)) m_library->DownloadQueue()->AddTask(row->MusicId(), false);
}

// ---- Following the library ------------------------------------------------------

void CShowListWidget::ShowRowChanged(CTreeWidgetItem* row) {
    m_model->RowChanged(row);
    if (row == CurrentRow()) UpdataPicView();
}

void CShowListWidget::ShowMembersAdded(int listId, const QList<CTreeWidgetItem*>& rows) {
    if (listId != m_currentList) return;
    for (CTreeWidgetItem* row : rows) {
        if (m_model->IsMember(row))
            m_model->RowChanged(row);
        else
            m_model->AddMember(row);
    }
    Q_EMIT FilterListToNull(m_model->Shown().empty());
}

void CShowListWidget::ShowMembersRemoved(int listId,
                                         const std::vector<const CTreeWidgetItem*>& rows) {
    if (listId != 0 && listId != m_currentList) return;
    m_model->RemoveMembers(rows);
    Q_EMIT FilterListToNull(m_model->Shown().empty());
    UpdataPicView();
}

void CShowListWidget::ShowNewRecord(CTreeWidgetItem* row) {
    if (m_currentList == List_AllRecordings || m_currentList == List_NewlyRecordings) {
        m_model->InsertTop(row);
        SetCurrentRow(row);
        Q_EMIT FilterListToNull(false);
    }
    UpdataPicView();
}

void CShowListWidget::ShowLibraryFull() {
    // Told while a recording's engine report is handled: shown without
    // holding that report up.
    auto* full = new CDeleteDialog(tr("The number of songs in this playlist has reached the maximum.\n"
                                      "Note: the maximum songs in a playlist are 100,000."),
                                   this);
    full->setAttribute(Qt::WA_DeleteOnClose);
    full->AddButton(tr("Cancel"), QDialogButtonBox::RejectRole, true);
    full->open();
}

