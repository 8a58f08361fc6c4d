#include "librarypage.h"

#include <QHBoxLayout>
#include <QSplitter>

#include "library.h"
#include "showlistwidget.h"
#include "treelib.h"

CLibraryPage::CLibraryPage(CLibrary* library, CConfig* config, QWidget* parent)
    : QWidget(parent), m_library(library) {
    setObjectName(QStringLiteral("libraryPage"));
    m_splitter = new QSplitter(Qt::Horizontal, this);
    m_tree = new CTreeLib(library, m_splitter);
    m_list = new CShowListWidget(library, config, m_splitter);
    m_splitter->addWidget(m_tree);
    m_splitter->addWidget(m_list);
    m_splitter->setStretchFactor(1, 1);
    m_splitter->setSizes({qMax(190, m_tree->sizeHint().width()), 700});
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_splitter);

    // The fixed lists count what the list holds; playlists are in the menu.
    for (CListTreeItem* row : m_tree->Rows()) {
        if (row->ListId() < List_FirstPlaylist)
            m_tree->SetListItemNum(row->ListId(), m_library->ListCount(row->ListId()));
        else
            m_list->AddPlaylistAction(row->ListId(), row->Name());
    }
    connect(m_tree, &CTreeLib::SelectChanged, m_list, &CShowListWidget::ShowList);
    connect(m_library, &CLibrary::ListCountChanged, m_tree, &CTreeLib::SetListItemNum);
    connect(m_library, &CLibrary::MusicInOtherListDeleted, m_tree, &CTreeLib::SetListItemNum);
    connect(m_tree, &CTreeLib::listNameChanged, this, [this](QTreeWidgetItem* item) {
        if (auto* row = dynamic_cast<CListTreeItem*>(item))
            m_list->RenamePlaylistAction(row->ListId(), row->Name());
    });
    m_tree->SelectList(m_list->CurrentListId());
}

void CLibraryPage::SetRecordStateSource(const std::function<RecordState()>& source) {
    m_tree->SetRecordStateSource(source);
    m_list->SetRecordStateSource(source);
}

int CLibraryPage::AddPlayList() {
    const int listId = m_tree->AddPlayList();
    if (listId < 0) return -1;
    if (CListTreeItem* row = m_tree->Row(listId)) m_list->AddPlaylistAction(listId, row->Name());
    return listId;
}

bool CLibraryPage::DeleteMusicList() {
    CListTreeItem* row = m_tree->CurrentRow();
    if (!row || row->ListId() < List_FirstPlaylist) return false;
    const int listId = row->ListId();
    if (!m_list->RemoveAllFromList(listId)) return false;
    m_list->DeleteAction(listId);
    qDebug("CMainUI::DeleteMusicList ListId: %d", listId);
    const int next = m_tree->NextListId();
    m_tree->DeleteItem(row);
    if (!m_tree->SelectList(next)) m_tree->SelectList(List_AllRecordings);
    return true;
}

int CLibraryPage::DragItemToList(const QString& ids, int listId) {
    QList<CTreeWidgetItem*> rows;
    for (const QString& part : ids.split(QLatin1Char(' '), Qt::SkipEmptyParts)) {
        bool ok = false;
        const int musicId = part.toInt(&ok);
        if (CTreeWidgetItem* row = ok ? m_library->FindRow(musicId) : nullptr) rows.push_back(row);
    }
    m_library->AddToList(rows, listId);
    return int(rows.size());
}
