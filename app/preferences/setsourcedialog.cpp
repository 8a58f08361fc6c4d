#include "setsourcedialog.h"

#include <QComboBox>
#include <QGridLayout>
#include <QLabel>
#include <QRadioButton>
#include <QVBoxLayout>

#include "config.h"
#include "recording/audiosource.h"
#include "recording/installextrasdialog.h"

CSetSourceDialog::CSetSourceDialog(void* audioDev, QWidget* parent)
    : CPreferencesPage(parent), m_audioDev(audioDev), m_config(CConfig::instance()) {
    setObjectName(QStringLiteral("CSetSourceDialog"));
    m_builtIn = new QRadioButton(tr("Record Audio Input"), this);
    m_builtIn->setObjectName(QStringLiteral("builtInButton"));
    auto* builtInText = new QLabel(tr("Record Mic or other built-in input audio stream"), this);
    m_inputs = new QComboBox(this);
    m_inputs->setObjectName(QStringLiteral("inputBox"));
    m_computer = new QRadioButton(tr("Record Computer Audio"), this);
    m_computer->setObjectName(QStringLiteral("computerButton"));
    auto* computerText = new QLabel(tr("Record computer audio stream or online music"), this);
    for (QLabel* label : {builtInText, computerText})
        label->setStyleSheet(QStringLiteral("color: #6E5A72;"));

    auto* layout = new QGridLayout(this);
    layout->setColumnMinimumWidth(0, 24);
    layout->addWidget(m_builtIn, 0, 0, 1, 2);
    layout->addWidget(builtInText, 1, 1);
    layout->addWidget(m_inputs, 2, 1);
    layout->addWidget(m_computer, 3, 0, 1, 2);
    layout->addWidget(computerText, 4, 1);
    layout->setRowStretch(5, 1);
    layout->setVerticalSpacing(8);

    const QString chosen = m_config->GetDeviceId();
    for (const QString& name : RealInputNames(m_audioDev)) {
        m_inputs->addItem(name);
        if (name == chosen) m_inputs->setCurrentIndex(m_inputs->count() - 1);
    }
    if (m_config->GetRecordMode() == -1) {
        m_computer->setChecked(true);
        m_inputs->setEnabled(false);
    } else {
        m_builtIn->setChecked(true);
    }
    connect(m_builtIn, &QRadioButton::clicked, this, &CSetSourceDialog::RButBuiltInClick);
    connect(m_computer, &QRadioButton::clicked, this, &CSetSourceDialog::RButComputerClick);
}

void CSetSourceDialog::RButBuiltInClick() {
    m_inputs->setEnabled(true);
}

void CSetSourceDialog::RButComputerClick() {
    if (!VirtualDevicePresent(m_audioDev)) {
        qDebug("CSetSourceDialog::RButComputerClick the virtual device is missing");
        CInstallExtrasDialog install(m_audioDev, this);
        if (install.exec() != 1) {
            m_builtIn->setChecked(true);
            m_computer->setChecked(false);
            m_inputs->setEnabled(true);
            return;
        }
    }
    m_inputs->setEnabled(false);
}

void CSetSourceDialog::Save() {
    if (m_builtIn->isChecked()) {
        m_config->SetDeviceId(m_inputs->currentText());
        m_config->SetRecordMode(0);
    } else if (m_computer->isChecked()) {
        m_config->SetRecordMode(-1);
    }
    qDebug("CSetSourceDialog::Save record mode: %d device: %s", m_config->GetRecordMode(),
           qUtf8Printable(m_config->GetDeviceId()));
}
