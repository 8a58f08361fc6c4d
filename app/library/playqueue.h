#pragma once

// The play queue. QtCore only.

#include <QList>
#include <QObject>

class CTreeWidgetItem;

// The songs the player plays, in order, with the current entry and the list
// they were taken from. The library owns it and keeps it in step
// with the library: a row that leaves the list the queue came from, or is
// deleted, leaves the queue too, and the current index follows. The player
// fills it, moves through it and is told (CLibrary's
// QueueEntriesRemoved) when the entry it plays was removed.
//
// GUI thread only.
class CPlayQueue : public QObject {
    Q_OBJECT
public:
    explicit CPlayQueue(QObject* parent = nullptr);

    const QList<CTreeWidgetItem*>& Rows() const { return m_rows; }
    int Count() const { return int(m_rows.size()); }
    bool IsEmpty() const { return m_rows.isEmpty(); }
    bool Contains(const CTreeWidgetItem* row) const;
    int IndexOf(const CTreeWidgetItem* row) const;
    // The current entry, -1 when none.
    int CurrentIndex() const { return m_current; }
    // The row at the current index, or null.
    CTreeWidgetItem* Current() const;
    // ListId the queue was taken from.
    int ListId() const { return m_listId; }

    // Replaces the queue. index is clamped into the queue (-1 when empty).
    void Set(const QList<CTreeWidgetItem*>& rows, int index, int listId);
    // Sets the current index; -1, or clamped into the queue.
    void SetCurrentIndex(int index);
    void Append(CTreeWidgetItem* row);
    void Clear();
    // Removes the row: an entry before the current one moves the index one
    // lower; removing the current entry keeps the index on the entry that
    // follows (it may now be past the end, which the player wraps). True
    // when the removed entry was the current one; false also when the row
    // was not queued.
    bool Remove(const CTreeWidgetItem* row);

Q_SIGNALS:
    // The rows or the current index changed.
    void Changed();

private:
    QList<CTreeWidgetItem*> m_rows;
    int m_current = -1;
    int m_listId = 2;
};
