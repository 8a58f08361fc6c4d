#include "filteredit.h"

#include <QAction>
#include <QActionGroup>
#include <QMenu>
#include <QTimer>
#include <QToolButton>

CFilterEdit::CFilterEdit(QWidget* parent) : QLineEdit(parent) {
    setObjectName(QStringLiteral("CFilterEdit"));
    setPlaceholderText(tr("Filter"));
    setClearButtonEnabled(true);

    m_menu = new QMenu(this);
    m_group = new QActionGroup(this);
    m_group->setExclusive(true);
    const struct {
        const char* text;
        int type;
    } types[] = {{"All", Filter_All}, {"Name", Filter_Name}, {"Artist", Filter_Artist},
                 {"Album", Filter_Album}};
    for (const auto& t : types) {
        QAction* action = m_menu->addAction(tr(t.text));
        action->setCheckable(true);
        action->setChecked(t.type == m_type);
        action->setData(t.type);
        m_group->addAction(action);
    }
    connect(m_group, &QActionGroup::triggered, this, [this](QAction* action) {
        m_type = action->data().toInt();
        if (!text().isEmpty()) m_timer->start();
    });
    QAction* menuButton = addAction(QIcon(QStringLiteral(":/prefix/res/icon_filter.png")),
                                    QLineEdit::LeadingPosition);
    menuButton->setToolTip(tr("Filter by"));
    connect(menuButton, &QAction::triggered, this, [this] {
        m_menu->popup(mapToGlobal(QPoint(0, height())));
    });

    m_timer = new QTimer(this);
    m_timer->setSingleShot(true);
    m_timer->setInterval(kDelayMs);
    connect(m_timer, &QTimer::timeout, this, &CFilterEdit::Fire);
    connect(this, &QLineEdit::textChanged, this, [this] { m_timer->start(); });
}

void CFilterEdit::SetType(int type) {
    for (QAction* action : m_group->actions())
        if (action->data().toInt() == type) action->trigger();
}

void CFilterEdit::Reset() {
    const QSignalBlocker quiet(this);
    clear();
    m_timer->stop();
}

void CFilterEdit::Fire() {
    m_timer->stop();
    Q_EMIT filter(m_type, text());
}
