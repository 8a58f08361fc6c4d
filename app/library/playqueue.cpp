#include "playqueue.h"

#include <algorithm>

CPlayQueue::CPlayQueue(QObject* parent) : QObject(parent) {}

bool CPlayQueue::Contains(const CTreeWidgetItem* row) const {
    return IndexOf(row) >= 0;
}

int CPlayQueue::IndexOf(const CTreeWidgetItem* row) const {
    for (int i = 0; i < m_rows.size(); ++i)
        if (m_rows[i] == row) return i;
    return -1;
}

CTreeWidgetItem* CPlayQueue::Current() const {
    return m_current >= 0 && m_current < m_rows.size() ? m_rows[m_current] : nullptr;
}

void CPlayQueue::Set(const QList<CTreeWidgetItem*>& rows, int index, int listId) {
    m_rows = rows;
    m_listId = listId;
    m_current = m_rows.isEmpty() || index < 0 ? -1 : std::min(index, int(m_rows.size()) - 1);
    Q_EMIT Changed();
}

void CPlayQueue::SetCurrentIndex(int index) {
    m_current = m_rows.isEmpty() || index < 0 ? -1 : std::min(index, int(m_rows.size()) - 1);
    Q_EMIT Changed();
}

void CPlayQueue::Append(CTreeWidgetItem* row) {
    if (!row) return;
    m_rows.push_back(row);
    Q_EMIT Changed();
}

void CPlayQueue::Clear() {
    m_rows.clear();
    m_current = -1;
    Q_EMIT Changed();
}

bool CPlayQueue::Remove(const CTreeWidgetItem* row) {
    const int index = IndexOf(row);
    if (index < 0) return false;
    m_rows.removeAt(index);
    const bool current = index == m_current;
    if (index < m_current) --m_current;
    if (m_rows.isEmpty()) m_current = -1;
    Q_EMIT Changed();
    return current;
}
