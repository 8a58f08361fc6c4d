#include "controlpage.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QLabel>
#include <QSpinBox>

#include <cstdlib>

#include "config.h"

namespace {
// The split silence box: shown text and milliseconds.
struct SplitEntry {
    const char* text;
    int milliseconds;
};
const SplitEntry kSplitEntries[] = {
    {"0.2", 200},  {"0.4", 400},  {"0.6", 600},  {"0.8", 800},  {"1.0", 1000},   {"1.5", 1500},
    {"2.0", 2000}, {"3.0", 3000}, {"4.0", 4000}, {"5.0", 5000}, {"10.0", 10000},
};
constexpr int kSplitEntryCount = int(sizeof kSplitEntries / sizeof kSplitEntries[0]);

// The entry equal to milliseconds, else the nearest one (a hand-edited file
// may hold any number).
int NearestSplitEntry(unsigned milliseconds) {
    int best = 0;
    for (int i = 1; i < kSplitEntryCount; ++i) {
        const long distance = std::labs(long(kSplitEntries[i].milliseconds) - long(milliseconds));
        const long bestDistance =
            std::labs(long(kSplitEntries[best].milliseconds) - long(milliseconds));
        if (distance < bestDistance) best = i;
    }
    return best;
}
}  // namespace

int CControlPage::SplitMilliseconds(int index) {
    return (index >= 0 && index < kSplitEntryCount) ? kSplitEntries[index].milliseconds : -1;
}

CControlPage::CControlPage(QWidget* parent)
    : CPreferencesPage(parent), m_config(CConfig::instance()) {
    setObjectName(QStringLiteral("CControlPage"));
    m_split = new QCheckBox(tr("Automatically split when the silence is more than"), this);
    m_split->setObjectName(QStringLiteral("splitBox"));
    m_splitTime = new QComboBox(this);
    m_splitTime->setObjectName(QStringLiteral("splitTimeBox"));
    for (const SplitEntry& entry : kSplitEntries)
        m_splitTime->addItem(QString::fromLatin1(entry.text), entry.milliseconds);
    m_filter = new QCheckBox(tr("Automatically filter,only save tracks longer than"), this);
    m_filter->setObjectName(QStringLiteral("filterBox"));
    m_filterTime = new QSpinBox(this);
    m_filterTime->setObjectName(QStringLiteral("filterTimeBox"));
    m_id = new QCheckBox(tr("Automatically get music info while recording"), this);
    m_id->setObjectName(QStringLiteral("idBox"));

    auto* layout = new QGridLayout(this);
    layout->addWidget(m_split, 0, 0);
    layout->addWidget(m_splitTime, 0, 1);
    layout->addWidget(new QLabel(tr("seconds"), this), 0, 2);
    layout->addWidget(m_filter, 1, 0);
    layout->addWidget(m_filterTime, 1, 1);
    layout->addWidget(new QLabel(tr("seconds"), this), 1, 2);
    layout->addWidget(m_id, 2, 0, 1, 3);
    layout->setColumnStretch(3, 1);
    layout->setRowStretch(3, 1);
    layout->setVerticalSpacing(12);

    m_split->setChecked(m_config->GetSplitMode() == 1);
    m_filter->setChecked(m_config->GetFilterMode() == 1);
    m_id->setChecked(m_config->GetIdMode() == 1);
    m_filterTime->setRange(1, kMaxFilterSeconds);
    m_filterTime->setValue(int(qMin<unsigned>(m_config->GetFilterTime(), kMaxFilterSeconds)));
    m_splitTime->setCurrentIndex(NearestSplitEntry(m_config->GetSplitTime()));
    SpliterIndexchange(m_splitTime->currentIndex());
    ChangeSpliteModle();
    ChangeFilterModle();

    connect(m_splitTime, qOverload<int>(&QComboBox::currentIndexChanged), this,
            &CControlPage::SpliterIndexchange);
    connect(m_split, &QCheckBox::toggled, this, &CControlPage::ChangeSpliteModle);
    connect(m_filter, &QCheckBox::toggled, this, &CControlPage::ChangeFilterModle);
}

void CControlPage::SpliterIndexchange(int index) {
    const int milliseconds = SplitMilliseconds(index);
    if (milliseconds < 0) return;
    const int minimum = milliseconds / 1000 + 1;
    if (m_config->GetFilterTime() < unsigned(minimum)) {
        m_config->SetFilterTime(unsigned(minimum));
        qDebug("CControlPage::SpliterIndexchange Filter_Time raised to: %d", minimum);
    }
    // What the user typed stays unless it is now too short.
    const int value = qMax(m_filterTime->value(), minimum);
    m_filterTime->setRange(minimum, kMaxFilterSeconds);
    m_filterTime->setValue(value);
}

void CControlPage::ChangeSpliteModle() {
    m_splitTime->setEnabled(m_split->isChecked());
}

void CControlPage::ChangeFilterModle() {
    m_filterTime->setEnabled(m_filter->isChecked());
}

void CControlPage::Save() {
    if (m_split->isChecked()) {
        m_config->SetSplitMode(1);
        m_config->SetSplitTime(unsigned(SplitMilliseconds(m_splitTime->currentIndex())));
    } else {
        m_config->SetSplitMode(0);
    }
    if (m_filter->isChecked()) {
        m_config->SetFilterMode(1);
        m_config->SetFilterTime(unsigned(m_filterTime->value()));
    } else {
        m_config->SetFilterMode(0);
    }
    m_config->SetIdMode(m_id->isChecked() ? 1 : 0);
    qDebug("CControlPage::Save split: %d %u filter: %d %u id: %d", m_config->GetSplitMode(),
           m_config->GetSplitTime(), m_config->GetFilterMode(), m_config->GetFilterTime(),
           m_config->GetIdMode());
}
