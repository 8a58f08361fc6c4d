#include "setsourcedialog.h"

#include <QComboBox>
#include <QElapsedTimer>
#include <QGridLayout>
#include <QIcon>
#include <QLabel>
#include <QRadioButton>
#include <QTimer>
#include <QVBoxLayout>

#include "config.h"
#include "recording/audiosource.h"
#include "recording/installextrasdialog.h"

#include <algorithm>

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
    m_applications = new QComboBox(this);
    m_applications->setObjectName(QStringLiteral("applicationBox"));
    m_applications->setToolTip(tr("Record what all applications play, or only one of them"));
    layout->addWidget(m_applications, 5, 1);
    layout->setRowStretch(6, 1);
    layout->setVerticalSpacing(8);

    const QString chosen = m_config->GetDeviceId();
    for (const QString& name : RealInputNames(m_audioDev)) {
        m_inputs->addItem(name);
        if (name == chosen) m_inputs->setCurrentIndex(m_inputs->count() - 1);
    }
    RefreshApplications();
    if (m_config->GetRecordMode() == -1) {
        m_computer->setChecked(true);
        m_inputs->setEnabled(false);
    } else {
        m_builtIn->setChecked(true);
        m_applications->setEnabled(false);
    }
    m_refresh = new QTimer(this);
    m_refresh->setInterval(kRefreshMs);
    connect(m_refresh, &QTimer::timeout, this, [this] {
        if (isVisible()) RefreshApplications();
    });
    m_refresh->start();
    connect(m_builtIn, &QRadioButton::clicked, this, &CSetSourceDialog::RButBuiltInClick);
    connect(m_computer, &QRadioButton::clicked, this, &CSetSourceDialog::RButComputerClick);
}

void CSetSourceDialog::RButBuiltInClick() {
    m_inputs->setEnabled(true);
    m_applications->setEnabled(false);
}

void CSetSourceDialog::RefreshApplications() {
    QElapsedTimer asked;
    asked.start();
    const QList<CPlayingApplication> playing = PlayingApplications(m_audioDev);
    if (m_refresh) m_refresh->setInterval(asked.elapsed() > kRefreshMs / 2 ? kSlowRefreshMs : kRefreshMs);
    // The entry chosen now; the setting until the list is filled.
    const QString chosen = m_applications->count() > 0 ? m_applications->currentData().toString()
                                                       : m_config->GetRecordApplication();
    QStringList texts{tr("All applications")};
    QStringList choices{QString()};
    QStringList icons{QString()};
    int index = chosen.isEmpty() ? 0 : -1;
    // An application is kept by its program file's name, which does not
    // change with the language, unless another one shares it.
    auto choiceOf = [&playing](const CPlayingApplication& app) {
        const auto sharing = std::count_if(playing.begin(), playing.end(), [&](const CPlayingApplication& other) {
            return other.binary == app.binary;
        });
        return app.binary.isEmpty() || sharing > 1 ? app.name : app.binary;
    };
    for (const CPlayingApplication& app : playing) {
        const QString choice = choiceOf(app);
        if (choice.isEmpty() || choices.contains(choice)) continue;
        if (app.IsNamedBy(chosen)) index = int(choices.size());
        texts << (app.name.isEmpty() ? app.binary : app.name);
        choices << choice;
        icons << app.iconName;
    }
    // The chosen application stays in the list while it does not play.
    if (index < 0) {
        index = int(choices.size());
        texts << tr("%1 (not playing now)").arg(chosen);
        choices << chosen;
        icons << QString();
    }
    QStringList shown;
    for (int i = 0; i < m_applications->count(); ++i) shown << m_applications->itemData(i).toString();
    if (shown != choices) {
        m_applications->clear();
        for (int i = 0; i < choices.size(); ++i)
            m_applications->addItem(icons[i].isEmpty() ? QIcon() : QIcon::fromTheme(icons[i]),
                                    texts[i], choices[i]);
    }
    m_applications->setCurrentIndex(index);
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
    m_applications->setEnabled(true);
}

void CSetSourceDialog::Save() {
    if (m_builtIn->isChecked()) {
        m_config->SetDeviceId(m_inputs->currentText());
        m_config->SetRecordMode(0);
    } else if (m_computer->isChecked()) {
        m_config->SetRecordMode(-1);
        m_config->SetRecordApplication(m_applications->currentData().toString());
    }
    qDebug("CSetSourceDialog::Save record mode: %d device: %s application: %s",
           m_config->GetRecordMode(), qUtf8Printable(m_config->GetDeviceId()),
           qUtf8Printable(m_config->GetRecordApplication()));
}
