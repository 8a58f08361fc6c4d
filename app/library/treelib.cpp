#include "treelib.h"

#include <QDragEnterEvent>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QMenu>
#include <QMessageBox>
#include <QMimeData>
#include <QScrollBar>
#include <QStyle>
#include <QStyleOptionViewItem>
#include <QToolButton>
#include <QVBoxLayout>

#include "deletedialog.h"
#include "library.h"
#include "res/pictures.h"

namespace {

constexpr char kSongMimeType[] = "application/tunecap";
constexpr int kColumns = 5;

QString IconFor(int listId) {
    const char* name = listId == List_AllRecordings      ? "icon_allrecordings"
                       : listId == List_NewlyRecordings  ? "icon_newly"
                       : listId == List_RecentlyPlayed   ? "icon_recently"
                                                         : "icon_list";
    return QStringLiteral(":/prefix/res/%1.png").arg(QLatin1String(name));
}

QString FixedName(int listId) {
    switch (listId) {
    case List_AllRecordings: return CTreeLib::tr("All Recordings");
    case List_NewlyRecordings: return CTreeLib::tr("Newly Recordings");
    case List_RecentlyPlayed: return CTreeLib::tr("Recently Played");
    default: return QString();
    }
}

}  // namespace

// ---- CLibItem -------------------------------------------------------------------

CLibItem::CLibItem(const QString& icon, const QString& text, QWidget* parent) : QFrame(parent) {
    setObjectName(QStringLiteral("CLibItem"));
    auto* picture = new QLabel(this);
    picture->setPixmap(QIcon(icon).pixmap(16, 16));
    m_label = new QLabel(text, this);
    m_arrow = new QToolButton(this);
    m_arrow->setAutoRaise(true);
    m_arrow->setArrowType(Qt::DownArrow);
    connect(m_arrow, &QToolButton::clicked, this, [this] { SetOpen(!m_open); });
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(6, 4, 4, 4);
    layout->addWidget(picture);
    layout->addWidget(m_label, 1);
    layout->addWidget(m_arrow);
}

QString CLibItem::Text() const {
    return m_label->text();
}

void CLibItem::SetOpen(bool open) {
    if (open == m_open) return;
    m_open = open;
    m_arrow->setArrowType(open ? Qt::DownArrow : Qt::RightArrow);
    Q_EMIT ChangeStatus(open);
}

void CLibItem::mouseReleaseEvent(QMouseEvent* event) {
    QFrame::mouseReleaseEvent(event);
    SetOpen(!m_open);
}

// ---- Rows, editor, drop tree ------------------------------------------------------

CListTreeItem::CListTreeItem(int listId, const QString& name, int count) : m_listId(listId) {
    setIcon(Column_Icon, QIcon(IconFor(listId)));
    setText(Column_Name, name);
    setTextAlignment(Column_Count, Qt::AlignRight | Qt::AlignVCenter);
    if (listId >= List_FirstPlaylist) setFlags(flags() | Qt::ItemIsEditable);
    SetCount(count);
}

void CListTreeItem::SetCount(int count) {
    m_count = count;
    setText(Column_Count, QString::number(count));
}

void CItemLineEdit::focusOutEvent(QFocusEvent* event) {
    QLineEdit::focusOutEvent(event);
    Q_EMIT focusOut(event);
}

QWidget* CMItemDelegate::createEditor(QWidget* parent, const QStyleOptionViewItem&,
                                      const QModelIndex& index) const {
    if (index.column() != CListTreeItem::Column_Name) return nullptr;
    auto* editor = new CItemLineEdit(parent);
    editor->setObjectName(QStringLiteral("CItemLineEdit"));
    editor->setMaxLength(255);
    Q_EMIT EditorCreated(editor);
    return editor;
}

CAcDopTreeWidget::CAcDopTreeWidget(QWidget* parent) : QTreeWidget(parent) {
    setObjectName(QStringLiteral("CAcDopTreeWidget"));
    setAcceptDrops(true);
    viewport()->setAcceptDrops(true);
    setDropIndicatorShown(true);
    setDragDropMode(QAbstractItemView::DropOnly);
}

CListTreeItem* CAcDopTreeWidget::DropTarget(const QMimeData* mime, const QPoint& pos) const {
    if (!mime || !mime->hasFormat(QLatin1String(kSongMimeType))) return nullptr;
    auto* row = dynamic_cast<CListTreeItem*>(itemAt(pos));
    // Songs go into playlists; a play time is never made up by a drop.
    return row && row->ListId() >= List_FirstPlaylist ? row : nullptr;
}

void CAcDopTreeWidget::dragEnterEvent(QDragEnterEvent* event) {
    if (event->mimeData()->hasFormat(QLatin1String(kSongMimeType)))
        event->acceptProposedAction();
    else
        event->ignore();
}

void CAcDopTreeWidget::dragMoveEvent(QDragMoveEvent* event) {
    CListTreeItem* row = DropTarget(event->mimeData(), event->position().toPoint());
    if (!row) {
        event->ignore();
        dragRelease();
        return;
    }
    // Marks the row under the drag without making it the list on show.
    dragRelease();
    row->setSelected(true);
    event->setDropAction(Qt::CopyAction);
    event->accept();
}

void CAcDopTreeWidget::dragLeaveEvent(QDragLeaveEvent* event) {
    dragRelease();
    event->accept();
}

void CAcDopTreeWidget::dropEvent(QDropEvent* event) {
    CListTreeItem* row = DropTarget(event->mimeData(), event->position().toPoint());
    if (!row) {
        event->ignore();
        return;
    }
    event->setDropAction(Qt::CopyAction);
    event->accept();
    const QString ids = QString::fromUtf8(event->mimeData()->data(QLatin1String(kSongMimeType)));
    dragRelease();
    Q_EMIT DragItemToList(ids, row->ListId());
}

void CAcDopTreeWidget::dragRelease() {
    // Only the current row keeps its mark.
    for (QTreeWidgetItem* item : selectedItems())
        if (item != currentItem()) item->setSelected(false);
}

void CAcDopTreeWidget::ItemLineEidtFocusOut(QFocusEvent*) {
    if (QWidget* editor = indexWidget(currentIndex())) commitData(editor);
}

// ---- CTreeLib -------------------------------------------------------------------

CTreeLib::CTreeLib(CLibrary* library, QWidget* parent) : QWidget(parent), m_library(library) {
    setObjectName(QStringLiteral("CTreeLib"));
    LoadPictures();
    m_recordState = [] { return RecordState::Idle; };

    m_libHeader = new CLibItem(QStringLiteral(":/prefix/res/icon_library.png"), tr("Library"), this);
    m_playHeader =
        new CLibItem(QStringLiteral(":/prefix/res/icon_playlist.png"), tr("PlayList"), this);
    m_libTree = MakeTree(new QTreeWidget(this));
    m_libTree->setObjectName(QStringLiteral("libTree"));
    m_playTree = new CAcDopTreeWidget(this);
    MakeTree(m_playTree);
    auto* delegate = new CMItemDelegate(m_playTree);
    m_playTree->setItemDelegate(delegate);
    connect(delegate, &CMItemDelegate::EditorCreated, this, [this](CItemLineEdit* editor) {
        m_editing = true;
        connect(editor, &CItemLineEdit::focusOut, m_playTree, &CAcDopTreeWidget::ItemLineEidtFocusOut);
    });

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(m_libHeader);
    layout->addWidget(m_libTree);
    layout->addWidget(m_playHeader);
    layout->addWidget(m_playTree, 1);
    layout->addStretch(0);

    m_menu = new QMenu(this);
    m_playAction = m_menu->addAction(tr("Play"));
    m_renameAction = m_menu->addAction(tr("Rename"));
    m_iTunesAction = m_menu->addAction(tr("Add to iTunes Library"));
    m_deleteAction = m_menu->addAction(tr("Delete"));
    connect(m_playAction, &QAction::triggered, this,
            [this] { Q_EMIT PlayListRequested(m_currentList); });
    connect(m_renameAction, &QAction::triggered, this, &CTreeLib::Rename);
    connect(m_iTunesAction, &QAction::triggered, this,
            [this] { Q_EMIT AddListToiTunesRequested(m_currentList); });
    connect(m_deleteAction, &QAction::triggered, this, &CTreeLib::deleteActionTrigger);

    connect(m_libHeader, &CLibItem::ChangeStatus, this, &CTreeLib::LibChangeStatus);
    connect(m_playHeader, &CLibItem::ChangeStatus, this, &CTreeLib::PlayListChangeStatus);
    for (QTreeWidget* tree : {m_libTree, static_cast<QTreeWidget*>(m_playTree)}) {
        connect(tree, &QTreeWidget::currentItemChanged, this, &CTreeLib::itemClick);
        connect(tree, &QTreeWidget::itemDoubleClicked, this, &CTreeLib::itemDoubleClick);
        connect(tree, &QTreeWidget::itemChanged, this, &CTreeLib::itemChange);
        tree->installEventFilter(this);
    }
    connect(m_libTree, &QWidget::customContextMenuRequested, this,
            &CTreeLib::LibContextMenuRequested);
    connect(m_playTree, &QWidget::customContextMenuRequested, this,
            &CTreeLib::PlayListContextMenuRequested);
    connect(m_playTree, &CAcDopTreeWidget::DragItemToList, this, &CTreeLib::DragItemToList);

    Load();
}

QTreeWidget* CTreeLib::MakeTree(QTreeWidget* tree) {
    tree->setColumnCount(kColumns);
    tree->setHeaderHidden(true);
    tree->setRootIsDecorated(false);
    tree->setIndentation(0);
    tree->setUniformRowHeights(true);
    tree->setSelectionMode(QAbstractItemView::SingleSelection);
    tree->setEditTriggers(QAbstractItemView::NoEditTriggers);
    tree->setContextMenuPolicy(Qt::CustomContextMenu);
    tree->setFocusPolicy(Qt::StrongFocus);
    QHeaderView* header = tree->header();
    header->setStretchLastSection(false);
    header->setMinimumSectionSize(1);
    header->resizeSection(0, 8);
    header->resizeSection(CListTreeItem::Column_Icon, 22);
    header->resizeSection(2, 4);
    header->setSectionResizeMode(CListTreeItem::Column_Name, QHeaderView::Stretch);
    header->resizeSection(CListTreeItem::Column_Count, 48);
    return tree;
}

void CTreeLib::Load() {
    QList<MusicListInfo> lists;
    if (m_library->Lists(&lists) != 0) {
        QMessageBox box(QMessageBox::Critical, tr("Create Library Failed!"),
                        tr("Get Library info failed!"), QMessageBox::Cancel);
        box.exec();
        return;
    }
    m_building = true;
    for (const MusicListInfo& list : lists) {
        const QString fixed = FixedName(list.ListId);
        AppendRow(list.ListId, fixed.isEmpty() ? list.ListName : fixed, list.ItemCount);
    }
    m_building = false;
    // The library section's tree is only as high as its rows.
    const int rowHeight = m_libTree->sizeHintForRow(0) > 0 ? m_libTree->sizeHintForRow(0) : 22;
    m_libTree->setFixedHeight(rowHeight * qMax(1, m_libTree->topLevelItemCount()) + 4);
}

QSize CTreeLib::sizeHint() const {
    // Wide enough for the names of the fixed lists beside their icons and
    // counts.
    QHeaderView* header = m_libTree->header();
    int width = 0;
    for (int column = 0; column < kColumns; ++column)
        if (column != CListTreeItem::Column_Name) width += header->sectionSize(column);
    // A name cell as the tree's delegate measures it.
    QStyleOptionViewItem cell;
    cell.initFrom(m_libTree);
    cell.font = m_libTree->font();
    cell.fontMetrics = m_libTree->fontMetrics();
    cell.features = QStyleOptionViewItem::HasDisplay;
    int name = 0;
    for (int listId : {List_AllRecordings, List_NewlyRecordings, List_RecentlyPlayed}) {
        cell.text = FixedName(listId);
        name = qMax(name, m_libTree->style()
                              ->sizeFromContents(QStyle::CT_ItemViewItem, &cell, QSize(), m_libTree)
                              .width());
    }
    width += name + 2 * m_libTree->frameWidth();
    return QSize(width, QWidget::sizeHint().height());
}

CListTreeItem* CTreeLib::AppendRow(int listId, const QString& name, int count) {
    auto* row = new CListTreeItem(listId, name, count);
    QTreeWidget* tree = listId == List_AllRecordings || listId == List_NewlyRecordings
                            ? m_libTree
                            : static_cast<QTreeWidget*>(m_playTree);
    tree->addTopLevelItem(row);
    m_rows.push_back(row);
    return row;
}

void CTreeLib::SetRecordStateSource(std::function<RecordState()> source) {
    m_recordState = source ? std::move(source) : [] { return RecordState::Idle; };
}

CListTreeItem* CTreeLib::Row(int listId) const {
    for (CListTreeItem* row : m_rows)
        if (row->ListId() == listId) return row;
    return nullptr;
}

bool CTreeLib::SelectList(int listId) {
    CListTreeItem* row = Row(listId);
    if (!row) return false;
    row->treeWidget()->setCurrentItem(row, CListTreeItem::Column_Name);
    // The row may have been current already (after its neighbour was taken
    // out): no change is reported then.
    if (m_currentList != listId) itemClick(row, nullptr);
    return true;
}

int CTreeLib::NextListId() const {
    const int index = int(m_rows.indexOf(CurrentRow()));
    if (index < 0) return 0;
    if (index + 1 < m_rows.size()) return m_rows[index + 1]->ListId();
    return index > 0 ? m_rows[index - 1]->ListId() : 0;
}

int CTreeLib::AddPlayList() {
    QString name;
    QString error;
    bool full = false;
    const int listId = m_library->CreatePlaylist(&name, &full, &error);
    if (full) {
        CDeleteDialog question(tr("The number of playlists has reached the maximum.\n"
                              "Note: the maximum playlists are 999.\n"),
                           this);
        question.AddButton(tr("Cancel"), QDialogButtonBox::RejectRole);
        question.AddButton(tr("Ok"), QDialogButtonBox::AcceptRole, true);
        question.Ask();
        return -1;
    }
    if (listId < 0) {
        QMessageBox box(QMessageBox::Critical, tr("Create List Failed!"), error, QMessageBox::Cancel);
        box.exec();
        return -1;
    }
    m_building = true;
    CListTreeItem* row = AppendRow(listId, name, 0);
    m_building = false;
    m_playHeader->SetOpen(true);
    m_playTree->setCurrentItem(row, CListTreeItem::Column_Name);
    MoveToBottom();
    m_playTree->setFocus();
    m_playTree->editItem(row, CListTreeItem::Column_Name);
    qDebug("CTreeLib::AddPlayList ListId: %d name: %s", listId, qUtf8Printable(name));
    Q_EMIT NewListAdded();
    return listId;
}

int CTreeLib::DeleteItem(CListTreeItem* row) {
    qDebug("CTreeLib::DeleteItem item: %p ID: %d", static_cast<void*>(row), row ? row->ListId() : 0);
    if (!row || row->ListId() < List_FirstPlaylist) return -1;
    m_library->DeletePlaylist(row->ListId());
    QTreeWidget* tree = row->treeWidget();
    {
        const QSignalBlocker quiet(tree);
        tree->takeTopLevelItem(tree->indexOfTopLevelItem(row));
    }
    m_rows.removeOne(row);
    if (m_currentList == row->ListId()) m_currentList = 0;
    delete row;
    return 0;
}

void CTreeLib::LibContextMenuRequested(const QPoint& pos) {
    ShowMenu(m_libTree, pos);
}

void CTreeLib::PlayListContextMenuRequested(const QPoint& pos) {
    ShowMenu(m_playTree, pos);
}

void CTreeLib::ShowMenu(QTreeWidget* tree, const QPoint& pos) {
    auto* row = dynamic_cast<CListTreeItem*>(tree->itemAt(pos));
    if (!row) return;
    if (row->ListId() != m_currentList) tree->setCurrentItem(row, CListTreeItem::Column_Name);
    const bool hasSongs = row->Count() > 0;
    m_playAction->setEnabled(hasSongs && m_recordState() == RecordState::Idle);
    m_iTunesAction->setEnabled(hasSongs);
    const bool playlist = row->ListId() >= List_FirstPlaylist;
    m_renameAction->setEnabled(playlist);
    m_deleteAction->setEnabled(playlist);
    m_menu->popup(tree->viewport()->mapToGlobal(pos));
}

void CTreeLib::Rename() {
    CListTreeItem* row = CurrentRow();
    if (!row || row->ListId() < List_FirstPlaylist) return;
    m_playTree->setFocus();
    m_playTree->editItem(row, CListTreeItem::Column_Name);
}

void CTreeLib::SelectRecording() {
    SelectList(List_AllRecordings);
}

void CTreeLib::itemClick(QTreeWidgetItem* current, QTreeWidgetItem*) {
    auto* row = dynamic_cast<CListTreeItem*>(current);
    if (!row) return;
    // One section holds the current row at a time.
    QTreeWidget* other = row->treeWidget() == m_libTree ? static_cast<QTreeWidget*>(m_playTree)
                                                        : m_libTree;
    {
        const QSignalBlocker quiet(other);
        other->clearSelection();
        other->setCurrentItem(nullptr);
    }
    row->setSelected(true);
    if (row->ListId() == m_currentList) return;
    m_currentList = row->ListId();
    Q_EMIT SelectChanged(m_currentList);
}

void CTreeLib::itemDoubleClick(QTreeWidgetItem* item, int column) {
    auto* row = dynamic_cast<CListTreeItem*>(item);
    if (row && row->ListId() >= List_FirstPlaylist && column == CListTreeItem::Column_Name)
        m_playTree->editItem(row, CListTreeItem::Column_Name);
}

void CTreeLib::LibChangeStatus(bool open) {
    m_libTree->setVisible(open);
    if (!open && (m_currentList == List_AllRecordings || m_currentList == List_NewlyRecordings)) {
        const QSignalBlocker quiet(m_libTree);
        m_libTree->clearSelection();
    }
}

void CTreeLib::PlayListChangeStatus(bool open) {
    m_playTree->setVisible(open);
    if (!open && m_currentList != List_AllRecordings && m_currentList != List_NewlyRecordings) {
        m_libHeader->SetOpen(true);
        SelectRecording();
    }
}

void CTreeLib::MoveToBottom() {
    m_playTree->verticalScrollBar()->setValue(m_playTree->verticalScrollBar()->maximum());
}

void CTreeLib::SetListItemNum(int listId, int count) {
    if (CListTreeItem* row = Row(listId)) {
        m_building = true;
        row->SetCount(count);
        m_building = false;
    }
}

void CTreeLib::itemChange(QTreeWidgetItem* item, int column) {
    auto* row = dynamic_cast<CListTreeItem*>(item);
    if (m_building || !row || column != CListTreeItem::Column_Name) return;
    if (row->ListId() < List_FirstPlaylist) return;
    m_editing = false;
    // An empty name is not taken: the stored one comes back.
    const QString name = m_library->RenamePlaylist(row->ListId(), row->Name());
    m_building = true;
    if (name != row->Name()) row->setText(CListTreeItem::Column_Name, name);
    m_building = false;
    Q_EMIT listNameChanged(row);
}

bool CTreeLib::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::KeyRelease) {
        auto* key = static_cast<QKeyEvent*>(event);
        // Only the tree with the focus sees it; a name editor keeps its own
        // keys.
        if (key->key() == Qt::Key_Backspace && key->modifiers() == Qt::NoModifier &&
            !key->isAutoRepeat()) {
            CListTreeItem* row = CurrentRow();
            if (row && row->ListId() >= List_FirstPlaylist) Q_EMIT deleteActionTrigger();
        }
    }
    return QWidget::eventFilter(watched, event);
}
