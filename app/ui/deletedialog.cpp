#include "deletedialog.h"

#include <QApplication>
#include <QCheckBox>
#include <QLabel>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>

CDeleteDialog::CDeleteDialog(const QString& text, QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("CDeleteDialog"));
    setModal(true);
    setWindowTitle(QApplication::applicationName());
    setWindowFlags(windowFlags() & ~Qt::WindowContextHelpButtonHint);

    m_text = new QLabel(text, this);
    m_text->setObjectName(QStringLiteral("questionText"));
    m_text->setWordWrap(false);
    m_text->setTextFormat(Qt::PlainText);
    m_text->setMinimumWidth(300);

    m_dontAsk = new QCheckBox(tr("Don't ask me again"), this);
    m_dontAsk->setObjectName(QStringLiteral("dontAskAgain"));
    m_dontAsk->hide();

    m_buttons = new QDialogButtonBox(this);
    m_countdown = new QTimer(this);
    m_countdown->setInterval(1000);
    connect(m_countdown, &QTimer::timeout, this, &CDeleteDialog::Tick);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(20, 18, 20, 14);
    layout->setSpacing(14);
    layout->addWidget(m_text);
    layout->addWidget(m_dontAsk);
    layout->addWidget(m_buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);
}

CDeleteDialog::~CDeleteDialog() = default;

QPushButton* CDeleteDialog::AddButton(const QString& text, QDialogButtonBox::ButtonRole role,
                                      bool isDefault) {
    if (m_entries.size() >= kMaxButtons) return nullptr;
    QPushButton* button = m_buttons->addButton(text, role);
    // Every button closes the dialog through Choose(), whatever its role.
    connect(button, &QPushButton::clicked, this, [this, button] { Choose(button); });
    m_entries.push_back(Entry{button, text, role});
    if (isDefault) m_defaultIndex = int(m_entries.size()) - 1;
    for (int i = 0; i < m_entries.size(); ++i) {
        m_entries[i].button->setAutoDefault(false);
        m_entries[i].button->setDefault(i == m_defaultIndex);
    }
    return button;
}

void CDeleteDialog::ShowDontAskAgain() {
    m_dontAsk->show();
}

void CDeleteDialog::SetCountdown(int seconds, const QString& textWithCount) {
    m_secondsLeft = seconds < 1 ? 1 : seconds;
    m_countText = textWithCount.contains(QLatin1String("%1")) ? textWithCount : QString();
    ShowCount();
}

QDialogButtonBox::ButtonRole CDeleteDialog::Ask() {
    exec();
    return m_chosenRole;
}

bool CDeleteDialog::DontAskAgain() const {
    return !m_dontAsk->isHidden() && m_dontAsk->isChecked();
}

QString CDeleteDialog::Text() const {
    return m_text->text();
}

void CDeleteDialog::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (m_secondsLeft > 0 && !m_countdown->isActive()) {
        ShowCount();
        m_countdown->start();
    }
    if (QPushButton* button = DefaultButton()) button->setFocus();
}

void CDeleteDialog::reject() {
    m_countdown->stop();
    m_chosenRole = QDialogButtonBox::RejectRole;
    m_chosenText.clear();
    QDialog::reject();
}

void CDeleteDialog::Choose(QPushButton* button) {
    for (const Entry& entry : m_entries) {
        if (entry.button != button) continue;
        m_countdown->stop();
        m_chosenRole = entry.role;
        m_chosenText = entry.text;
        const bool positive = entry.role == QDialogButtonBox::AcceptRole ||
                              entry.role == QDialogButtonBox::YesRole ||
                              entry.role == QDialogButtonBox::ApplyRole ||
                              entry.role == QDialogButtonBox::DestructiveRole;
        done(positive ? QDialog::Accepted : QDialog::Rejected);
        return;
    }
}

void CDeleteDialog::Tick() {
    if (m_secondsLeft > 0) --m_secondsLeft;
    ShowCount();
    if (m_secondsLeft > 0) return;
    m_countdown->stop();
    if (QPushButton* button = DefaultButton()) {
        m_countdownExpired = true;
        button->click();
    } else {
        reject();
    }
}

void CDeleteDialog::ShowCount() {
    if (!m_countText.isEmpty()) {
        m_text->setText(m_countText.arg(m_secondsLeft));
        return;
    }
    const int index = m_defaultIndex;
    if (index >= m_entries.size()) return;
    const Entry& entry = m_entries[index];
    entry.button->setText(m_secondsLeft > 0
                              ? QStringLiteral("%1 (%2)").arg(entry.text).arg(m_secondsLeft)
                              : entry.text);
}

QPushButton* CDeleteDialog::DefaultButton() const {
    return m_defaultIndex < m_entries.size() ? m_entries[m_defaultIndex].button : nullptr;
}
