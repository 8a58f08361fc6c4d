#include "musicinfomodel.h"

#include <QCoreApplication>
#include <QHash>

#include <algorithm>
#include <thread>
#include <unordered_set>

#include "download/downloadqueue.h"
#include "musicdb.h"
#include "res/pictures.h"
#include "treewidgetitem.h"

namespace {

QString Tr(const char* text) {
    return QCoreApplication::translate("CShowListWidget", text);
}

QString SortKey(const CTreeWidgetItem* row, int column, int listId) {
    const QString text = row->Text(column, listId);
    return column == CMusicInfoModel::Column_Date ? DateSortKey(text) : text;
}

}  // namespace

CMusicInfoModel::CMusicInfoModel(QObject* parent) : QAbstractTableModel(parent) {
    LoadPictures();
    m_playingIcon = QIcon(QStringLiteral(":/prefix/res/tasklist_playing.png"));
    m_missingIcon = QIcon(QStringLiteral(":/prefix/res/notic.png"));
    m_stateIcons[DownloadTask_SUCESS] = QIcon(QStringLiteral(":/prefix/res/download_done.png"));
    m_stateIcons[DownloadTask_FAILED] = QIcon(QStringLiteral(":/prefix/res/Rdownload_failed.png"));
    m_stateIcons[DownloadTask_WAITING] = QIcon(QStringLiteral(":/prefix/res/download_waiting.png"));
    m_stateIcons[DownloadTask_RUNNING] = QIcon(QStringLiteral(":/prefix/res/download_running.png"));
    m_stateIcons[DownloadTask_REQUESTING] = m_stateIcons[DownloadTask_RUNNING];
}

int CMusicInfoModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : int(m_shown.size());
}

int CMusicInfoModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : Column_Count;
}

QVariant CMusicInfoModel::data(const QModelIndex& index, int role) const {
    const CTreeWidgetItem* row = Row(index);
    if (!row) return QVariant();
    const int column = index.column();
    switch (role) {
    case Qt::DisplayRole:
        if (column >= Column_Name && column <= Column_Date) return row->Text(column, m_listId);
        return QVariant();
    case Qt::DecorationRole:
        if (column == Column_Mark) {
            if (row->IsMissing()) return m_missingIcon;
            if (row->IsPlaying()) return m_playingIcon;
        } else if (column == Column_State) {
            const int state = row->IsBusy() ? int(DownloadTask_RUNNING) : row->DownloadState();
            if (state >= DownloadTask_SUCESS && state <= DownloadTask_REQUESTING)
                return m_stateIcons[state];
        }
        return QVariant();
    case Qt::ToolTipRole:
        if (column == Column_Mark && row->IsMissing()) return Tr("The file is missing");
        if (column == Column_Name) {
            switch (row->NameOrigin()) {
            case NameOrigin_Player:
                return row->NamePlayer().isEmpty()
                           ? Tr("Name from the player")
                           : Tr("Name from the player \"%1\"").arg(row->NamePlayer());
            case NameOrigin_Identified: return Tr("Name identified from the song's sound");
            default: return QVariant();
            }
        }
        if (column == Column_State) {
            switch (row->IsBusy() ? int(DownloadTask_RUNNING) : row->DownloadState()) {
            case DownloadTask_SUCESS: return Tr("Song information downloaded");
            case DownloadTask_FAILED: return Tr("No song information found");
            case DownloadTask_WAITING: return Tr("Waiting to download song information");
            case DownloadTask_RUNNING:
            case DownloadTask_REQUESTING: return Tr("Downloading song information");
            default: return QVariant();
            }
        }
        return QVariant();
    case CoverRole:
        return row->CoverPath();
    case MusicIdRole:
        return row->MusicId();
    default:
        return QVariant();
    }
}

QVariant CMusicInfoModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal) return QVariant();
    if (role == Qt::DecorationRole && section == Column_Mark)
        return QIcon(QStringLiteral(":/prefix/res/headertitle_playing.png"));
    if (role != Qt::DisplayRole) return QVariant();
    switch (section) {
    case Column_Name: return Tr("Name");
    case Column_Time: return Tr("Time");
    case Column_Artist: return Tr("Artist");
    case Column_Album: return Tr("Album");
    case Column_Genre: return Tr("Genre");
    case Column_Date:
        return m_listId == List_RecentlyPlayed ? Tr("Date Played") : Tr("Date Added");
    default: return QVariant();
    }
}

Qt::ItemFlags CMusicInfoModel::flags(const QModelIndex& index) const {
    if (!index.isValid()) return Qt::NoItemFlags;
    return Qt::ItemIsSelectable | Qt::ItemIsEnabled | Qt::ItemIsDragEnabled |
           Qt::ItemNeverHasChildren;
}

void CMusicInfoModel::sort(int column, Qt::SortOrder order) {
    if (column < 0 || column >= Column_Count) return;
    Q_EMIT layoutAboutToBeChanged({}, QAbstractItemModel::VerticalSortHint);
    const QModelIndexList persistent = persistentIndexList();
    std::vector<CTreeWidgetItem*> persistentRows;
    persistentRows.reserve(std::size_t(persistent.size()));
    for (const QModelIndex& index : persistent) persistentRows.push_back(Row(index));

    m_sortColumn = column;
    m_sortOrder = order;
    SortMembers();
    m_shown = Select(m_members);

    QHash<const CTreeWidgetItem*, int> position;
    position.reserve(qsizetype(persistentRows.size()));
    for (const CTreeWidgetItem* row : persistentRows) position.insert(row, -1);
    for (int i = 0; i < int(m_shown.size()); ++i) {
        auto found = position.find(m_shown[std::size_t(i)]);
        if (found != position.end()) *found = i;
    }
    QModelIndexList moved;
    moved.reserve(persistent.size());
    for (qsizetype i = 0; i < persistent.size(); ++i) {
        const int at = persistentRows[std::size_t(i)] ? position.value(persistentRows[std::size_t(i)], -1) : -1;
        moved.push_back(at < 0 ? QModelIndex() : index(at, persistent[i].column()));
    }
    changePersistentIndexList(persistent, moved);
    Q_EMIT layoutChanged({}, QAbstractItemModel::VerticalSortHint);
}

void CMusicInfoModel::SortMembers() {
    std::vector<std::pair<QString, CTreeWidgetItem*>> keyed;
    keyed.reserve(m_members.size());
    for (CTreeWidgetItem* row : m_members) keyed.emplace_back(SortKey(row, m_sortColumn, m_listId), row);
    if (m_sortOrder == Qt::AscendingOrder)
        std::stable_sort(keyed.begin(), keyed.end(),
                         [](const auto& a, const auto& b) { return a.first < b.first; });
    else
        std::stable_sort(keyed.begin(), keyed.end(),
                         [](const auto& a, const auto& b) { return b.first < a.first; });
    for (std::size_t i = 0; i < keyed.size(); ++i) m_members[i] = keyed[i].second;
}

std::vector<CTreeWidgetItem*> CMusicInfoModel::Select(
    const std::vector<CTreeWidgetItem*>& rows) const {
    if (!m_filter) return rows;
    auto pick = [this, &rows](std::size_t begin, std::size_t end) {
        std::vector<CTreeWidgetItem*> picked;
        for (std::size_t i = begin; i < end; ++i)
            if (m_filter(rows[i])) picked.push_back(rows[i]);
        return picked;
    };
    // A large list is searched in two halves at once: the rows are spread
    // over memory, and waiting for them is most of the work.
    constexpr std::size_t kParallelFrom = 20000;
    if (rows.size() < kParallelFrom || std::thread::hardware_concurrency() < 2)
        return pick(0, rows.size());
    const std::size_t half = rows.size() / 2;
    std::vector<CTreeWidgetItem*> first;
    std::thread worker([&] { first = pick(0, half); });
    std::vector<CTreeWidgetItem*> second = pick(half, rows.size());
    worker.join();
    first.insert(first.end(), second.begin(), second.end());
    return first;
}

void CMusicInfoModel::SetMembers(std::vector<CTreeWidgetItem*> members, int listId) {
    beginResetModel();
    m_members = std::move(members);
    m_listId = listId;
    m_filter = nullptr;
    SortMembers();
    m_shown = m_members;
    endResetModel();
    Q_EMIT headerDataChanged(Qt::Horizontal, Column_Date, Column_Date);
}

void CMusicInfoModel::Filter(Matcher matches, bool narrow) {
    beginResetModel();
    const bool fromShown = narrow && m_filter && matches;
    m_filter = std::move(matches);
    m_shown = Select(fromShown ? m_shown : m_members);
    endResetModel();
}

void CMusicInfoModel::AddMember(CTreeWidgetItem* row) {
    if (!row || IsMember(row)) return;
    const QString key = SortKey(row, m_sortColumn, m_listId);
    // After the members that sort before it or equal to it.
    auto before = [&](const CTreeWidgetItem* other) {
        const QString otherKey = SortKey(other, m_sortColumn, m_listId);
        return m_sortOrder == Qt::AscendingOrder ? !(key < otherKey) : !(otherKey < key);
    };
    auto at = std::partition_point(m_members.begin(), m_members.end(), before);
    m_members.insert(at, row);
    auto shownAt = std::partition_point(m_shown.begin(), m_shown.end(), before);
    const int position = int(shownAt - m_shown.begin());
    beginInsertRows(QModelIndex(), position, position);
    m_shown.insert(shownAt, row);
    endInsertRows();
}

void CMusicInfoModel::InsertTop(CTreeWidgetItem* row) {
    if (!row || IsMember(row)) return;
    m_members.insert(m_members.begin(), row);
    beginInsertRows(QModelIndex(), 0, 0);
    m_shown.insert(m_shown.begin(), row);
    endInsertRows();
}

void CMusicInfoModel::RemoveMembers(const std::vector<const CTreeWidgetItem*>& rows) {
    if (rows.empty()) return;
    const std::unordered_set<const CTreeWidgetItem*> gone(rows.begin(), rows.end());
    auto isGone = [&gone](const CTreeWidgetItem* row) { return gone.count(row) != 0; };
    // Shown rows go in runs, from the last run to the first, so that the
    // views keep their selection and position.
    int end = int(m_shown.size());
    while (end > 0) {
        while (end > 0 && !isGone(m_shown[std::size_t(end) - 1])) --end;
        if (end == 0) break;
        int begin = end - 1;
        while (begin > 0 && isGone(m_shown[std::size_t(begin) - 1])) --begin;
        beginRemoveRows(QModelIndex(), begin, end - 1);
        m_shown.erase(m_shown.begin() + begin, m_shown.begin() + end);
        endRemoveRows();
        end = begin;
    }
    m_members.erase(std::remove_if(m_members.begin(), m_members.end(), isGone), m_members.end());
}

void CMusicInfoModel::RowChanged(const CTreeWidgetItem* row) {
    const QModelIndex first = IndexOf(row, 0);
    if (first.isValid()) Q_EMIT dataChanged(first, index(first.row(), Column_Count - 1));
}

void CMusicInfoModel::ListTitleChanged() {
    Q_EMIT headerDataChanged(Qt::Horizontal, Column_Date, Column_Date);
}

bool CMusicInfoModel::IsMember(const CTreeWidgetItem* row) const {
    return std::find(m_members.begin(), m_members.end(), row) != m_members.end();
}

CTreeWidgetItem* CMusicInfoModel::Row(const QModelIndex& index) const {
    if (!index.isValid() || index.model() != this || index.row() < 0 ||
        index.row() >= int(m_shown.size()))
        return nullptr;
    return m_shown[std::size_t(index.row())];
}

QModelIndex CMusicInfoModel::IndexOf(const CTreeWidgetItem* row, int column) const {
    const auto found = std::find(m_shown.begin(), m_shown.end(), row);
    if (found == m_shown.end()) return QModelIndex();
    return index(int(found - m_shown.begin()), column);
}
