#include "generalpage.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFileDialog>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QVBoxLayout>

#include "config.h"

namespace {
// The interval box: shown text and the update mode it stands for.
struct Interval {
    const char* text;
    int mode;
};
const Interval kIntervals[] = {
    {QT_TRANSLATE_NOOP("CGeneralPage", "Every Day"), 2},
    {QT_TRANSLATE_NOOP("CGeneralPage", "Every Week"), 3},
    {QT_TRANSLATE_NOOP("CGeneralPage", "Every Month"), 4},
};
constexpr int kFirstIntervalMode = 2;
constexpr int kMaxDays = 365;
}  // namespace

CGeneralPage::CGeneralPage(QWidget* parent)
    : CPreferencesPage(parent), m_config(CConfig::instance()) {
    setObjectName(QStringLiteral("CGeneralPage"));

    auto* output = new QGroupBox(tr("Output Folder"), this);
    m_folders = new QComboBox(output);
    m_folders->setObjectName(QStringLiteral("outputFolderBox"));
    m_folders->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    m_folders->setMinimumContentsLength(30);
    m_folders->addItems(m_config->GetOutputPath());
    m_folders->setCurrentIndex(0);
    m_folderButton = new QPushButton(tr("folder"), output);
    m_folderButton->setObjectName(QStringLiteral("folderButton"));
    auto* outputLayout = new QHBoxLayout(output);
    outputLayout->addWidget(m_folders, 1);
    outputLayout->addWidget(m_folderButton);
    connect(m_folderButton, &QPushButton::clicked, this, &CGeneralPage::OpenFile);

    auto* update = new QGroupBox(tr("Update"), this);
    m_autoUpdate = new QCheckBox(tr("Enable automatic update check"), update);
    m_autoUpdate->setObjectName(QStringLiteral("autoUpdateBox"));
    m_intervalButton = new QRadioButton(tr("Update automaticaily:"), update);
    m_intervalButton->setObjectName(QStringLiteral("intervalButton"));
    m_interval = new QComboBox(update);
    m_interval->setObjectName(QStringLiteral("intervalBox"));
    for (const Interval& interval : kIntervals)
        m_interval->addItem(tr(interval.text), interval.mode);
    m_daysButton = new QRadioButton(tr("Number of days between update checks:"), update);
    m_daysButton->setObjectName(QStringLiteral("daysButton"));
    m_days = new QSpinBox(update);
    m_days->setObjectName(QStringLiteral("daysBox"));
    m_days->setRange(1, kMaxDays);
    auto* updateLayout = new QGridLayout(update);
    updateLayout->setColumnMinimumWidth(0, 18);
    updateLayout->addWidget(m_autoUpdate, 0, 0, 1, 3);
    updateLayout->addWidget(m_intervalButton, 1, 1);
    updateLayout->addWidget(m_interval, 1, 2);
    updateLayout->addWidget(m_daysButton, 2, 1);
    updateLayout->addWidget(m_days, 2, 2);
    updateLayout->setColumnStretch(3, 1);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(output);
    layout->addWidget(update);
    layout->addStretch(1);

    BuildUpdateControls();
    connect(m_autoUpdate, &QCheckBox::clicked, this, &CGeneralPage::ChangeUpdateModle);
    connect(m_intervalButton, &QRadioButton::clicked, this, &CGeneralPage::R0Click);
    connect(m_daysButton, &QRadioButton::clicked, this, &CGeneralPage::R1Click);
    connect(m_interval, qOverload<int>(&QComboBox::currentIndexChanged), this,
            &CGeneralPage::UpdataComboxIndexChange);
    connect(m_days, qOverload<int>(&QSpinBox::valueChanged), this,
            &CGeneralPage::UpDataSpinBoxValueChange);
}

void CGeneralPage::BuildUpdateControls() {
    const int stored = m_config->GetAutoUpdate();
    // Values outside 0 to 4 mean "off" to the update schedule too.
    m_updateMode = (stored >= 0 && stored <= 4) ? stored : 0;
    m_updateDays = qBound(1, m_config->GetUpdateDays(), kMaxDays);
    m_days->setValue(m_updateDays);
    if (m_updateMode >= kFirstIntervalMode)
        m_interval->setCurrentIndex(m_updateMode - kFirstIntervalMode);

    const bool on = m_updateMode != 0;
    m_autoUpdate->setChecked(on);
    m_intervalButton->setEnabled(on);
    m_daysButton->setEnabled(on);
    m_daysButton->setChecked(m_updateMode == 1);
    m_intervalButton->setChecked(m_updateMode != 1);
    m_interval->setEnabled(on && m_updateMode != 1);
    m_days->setEnabled(on && m_updateMode == 1);
}

void CGeneralPage::OpenFile() {
    const QString chosen = QFileDialog::getExistingDirectory(
        this, tr("Choose the output folder"), m_folders->currentText(), QFileDialog::ShowDirsOnly);
    AddOutputFolder(chosen);
}

void CGeneralPage::AddOutputFolder(const QString& chosen) {
    QString folder = chosen;
    folder.replace(QLatin1Char('\\'), QLatin1Char('/'));
    if (folder.isEmpty()) return;

    QStringList folders = m_config->GetOutputPath();
    folders.removeAll(folder);
    folders.prepend(folder);
    while (folders.size() > kMaxOutputFolders) folders.removeLast();
    m_folders->clear();
    m_folders->addItems(folders);
    m_folders->setCurrentIndex(0);
    m_config->SetOutputPath(folders);
    qDebug("CGeneralPage::OpenFile output folder: %s", qUtf8Printable(folder));
}

void CGeneralPage::ChangeUpdateModle() {
    const bool on = m_autoUpdate->isChecked();
    m_intervalButton->setEnabled(on);
    m_daysButton->setEnabled(on);
    if (!on) {
        m_interval->setEnabled(false);
        m_days->setEnabled(false);
        m_updateMode = 0;
        return;
    }
    if (m_daysButton->isChecked()) {
        R1Click();
    } else {
        m_intervalButton->setChecked(true);
        R0Click();
    }
}

void CGeneralPage::R0Click() {
    m_interval->setEnabled(true);
    m_days->setEnabled(false);
    m_updateMode = m_interval->currentIndex() + kFirstIntervalMode;
}

void CGeneralPage::R1Click() {
    m_interval->setEnabled(false);
    m_days->setEnabled(true);
    m_updateMode = 1;
    m_updateDays = m_days->value();
}

void CGeneralPage::UpdataComboxIndexChange(int index) {
    if (index < 0) return;
    m_updateMode = index + kFirstIntervalMode;
}

void CGeneralPage::UpDataSpinBoxValueChange(int value) {
    m_updateDays = value;
}

void CGeneralPage::Save() {
    // The chosen folder first, the others in their order.
    QStringList folders = m_config->GetOutputPath();
    const QString current = m_folders->currentText();
    if (!current.isEmpty()) {
        folders.removeAll(current);
        folders.prepend(current);
    }
    m_config->SetOutputPath(folders);
    m_config->SetAutoUpdate(m_updateMode);
    m_config->SetUpdateDays(m_updateDays);
    qDebug("CGeneralPage::Save output: %s auto update: %d days: %d", qUtf8Printable(current),
           m_updateMode, m_updateDays);
}
