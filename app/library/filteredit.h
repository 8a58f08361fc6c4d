#pragma once

#include <QLineEdit>

class QActionGroup;
class QMenu;
class QTimer;

// The filter field above the song table: the placeholder "Filter", a menu
// of the searched column ("All", "Name", "Artist", "Album") and a 500 ms
// pause after the last keystroke before filter() is emitted.
//
// GUI thread only.
class CFilterEdit : public QLineEdit {
    Q_OBJECT
public:
    // Types of the menu: the column searched, or all three.
    enum FilterType { Filter_All = 0, Filter_Name = 2, Filter_Artist = 4, Filter_Album = 5 };
    // Pause after the last change before filtering.
    static constexpr int kDelayMs = 500;

    explicit CFilterEdit(QWidget* parent = nullptr);

    int Type() const { return m_type; }
    void SetType(int type);
    QMenu* TypeMenu() const { return m_menu; }
    QTimer* DelayTimer() const { return m_timer; }
    // Back to the placeholder without filtering (a list was chosen).
    void Reset();

Q_SIGNALS:
    // The user's filter, kDelayMs after the last change of text or type.
    void filter(int type, const QString& text);

private:
    void Fire();

    int m_type = Filter_All;
    QMenu* m_menu = nullptr;
    QActionGroup* m_group = nullptr;
    QTimer* m_timer = nullptr;
};
