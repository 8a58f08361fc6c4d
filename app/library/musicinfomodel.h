#pragma once

// The rows of the list on show, as a Qt item model. QtCore and QtGui only.

#include <QAbstractTableModel>
#include <QIcon>

#include <functional>
#include <vector>

class CTreeWidgetItem;

// Presents the members of the list on show to the table and the cover grid:
// ten columns, sorted by one of them, with the rows the filter left out
// hidden. The rows belong to CLibrary; the model only orders
// pointers to them.
//
// GUI thread only.
class CMusicInfoModel : public QAbstractTableModel {
    Q_OBJECT
public:
    enum Column {
        Column_Margin = 0,
        Column_Mark = 1,  // playing mark or missing-file mark
        Column_Name = 2,
        Column_Time = 3,
        Column_Artist = 4,
        Column_Album = 5,
        Column_Genre = 6,
        Column_Date = 7,
        Column_State = 8,  // download state
        Column_Rest = 9,
        Column_Count = 10,
    };
    enum Role {
        CoverRole = Qt::UserRole + 1,  // path of the shown cover (QString, may be empty)
        MusicIdRole,                   // int
    };

    explicit CMusicInfoModel(QObject* parent = nullptr);

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    // Sorts the members by the column's text (the date column year first);
    // equal texts keep their order. Selection and current row follow their
    // rows.
    void sort(int column, Qt::SortOrder order = Qt::AscendingOrder) override;
    Qt::DropActions supportedDragActions() const override { return Qt::CopyAction; }

    int SortColumn() const { return m_sortColumn; }
    Qt::SortOrder SortOrder() const { return m_sortOrder; }
    int ListId() const { return m_listId; }

    // Shows the members of a list, sorted, none filtered out.
    void SetMembers(std::vector<CTreeWidgetItem*> members, int listId);
    // Which members the filter lets through. Called from two threads at
    // once on large lists: it must only read the row.
    using Matcher = std::function<bool(const CTreeWidgetItem*)>;
    // Shows the members that match, in order; null shows all. narrow: test
    // only the rows shown now, for a search that can only match fewer. The
    // filter holds until the next list or filter; a re-sort applies it
    // again.
    void Filter(Matcher matches, bool narrow = false);
    // Adds a member at its sorted place, shown whatever the filter.
    void AddMember(CTreeWidgetItem* row);
    // Puts a new member at the top, whatever the sorting.
    void InsertTop(CTreeWidgetItem* row);
    // Takes rows out of the members (rows that are not members are ignored).
    void RemoveMembers(const std::vector<const CTreeWidgetItem*>& rows);
    // Tells the views that a row's texts or marks changed.
    void RowChanged(const CTreeWidgetItem* row);
    // Every member's date column changes with the list (list 3 shows play
    // times): for the header text.
    void ListTitleChanged();

    // The shown rows in order, and their count.
    const std::vector<CTreeWidgetItem*>& Shown() const { return m_shown; }
    const std::vector<CTreeWidgetItem*>& Members() const { return m_members; }
    bool IsMember(const CTreeWidgetItem* row) const;
    // The row at a model index, or null.
    CTreeWidgetItem* Row(const QModelIndex& index) const;
    // The index of a shown row in a column; invalid when it is not shown.
    QModelIndex IndexOf(const CTreeWidgetItem* row, int column = Column_Name) const;

private:
    void SortMembers();
    // The rows of `rows` that m_filter lets through, in order.
    std::vector<CTreeWidgetItem*> Select(const std::vector<CTreeWidgetItem*>& rows) const;

    std::vector<CTreeWidgetItem*> m_members;  // sorted
    std::vector<CTreeWidgetItem*> m_shown;    // members the filter let through, in order
    Matcher m_filter;
    int m_listId = 1;
    int m_sortColumn = Column_Date;
    Qt::SortOrder m_sortOrder = Qt::DescendingOrder;
    QIcon m_playingIcon;
    QIcon m_missingIcon;
    QIcon m_stateIcons[6];
};
