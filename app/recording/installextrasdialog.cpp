#include "installextrasdialog.h"

#include <QCoreApplication>
#include <QHBoxLayout>
#include <QIcon>
#include <QLabel>
#include <QProcess>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>

#include "preferences/settingspictures.h"
#include "recording/audiosource.h"

CInstallExtrasDialog::CInstallExtrasDialog(void* audioDev, QWidget* parent)
    : QDialog(parent),
      m_audioDev(audioDev),
      m_installer(QCoreApplication::applicationDirPath() +
                  QStringLiteral("/driver/tavra-audio-install")) {
    LoadSettingsPictures();
    setObjectName(QStringLiteral("installDialg"));
    setModal(true);
    setWindowFlags(windowFlags() & ~Qt::WindowContextHelpButtonHint);
    setWindowIcon(QIcon(QStringLiteral(":/prefix/res/tips.png")));
    setWindowTitle(tr("Install Tavra Audio Device"));

    auto* title = new QLabel(tr("Install Tavra Audio Device"), this);
    title->setObjectName(QStringLiteral("installTitle"));
    title->setStyleSheet(QStringLiteral("font-size: 16px; font-weight: bold; color: #5E2B63;"));
    auto* text = new QLabel(tr("Tavra Audio Device is not currently installed.\n") +
                                tr("Tavra Audio Device enables you to record audio from any source "
                                   "\ninstantly,with no need to quit and relaunch open "
                                   "applications.\n") +
                                tr("Now,install Tavra Audio Device for the easiest audio recording."),
                            this);
    text->setObjectName(QStringLiteral("installText"));
    m_status = new QLabel(this);
    m_status->setObjectName(QStringLiteral("installStatus"));
    m_status->setWordWrap(true);
    m_status->hide();

    m_install = new QPushButton(tr("Install"), this);
    m_install->setObjectName(QStringLiteral("installButton"));
    m_install->setCheckable(true);
    m_close = new QPushButton(tr("Cancel"), this);
    m_close->setObjectName(QStringLiteral("closeButton"));
    connect(m_install, &QPushButton::toggled, this, [this](bool on) {
        if (on) Install();
    });
    connect(m_close, &QPushButton::clicked, this, &QDialog::reject);

    m_poll = new QTimer(this);
    m_poll->setInterval(kPollMs);
    connect(m_poll, &QTimer::timeout, this, &CInstallExtrasDialog::Poll);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(m_install);
    buttons->addWidget(m_close);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(title);
    layout->addWidget(text);
    layout->addWidget(m_status);
    layout->addLayout(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);
}

CInstallExtrasDialog::~CInstallExtrasDialog() {
    // An installer cut off half-way could leave the user's sound server
    // configuration half-written: let it finish.
    if (m_process != nullptr && m_process->state() != QProcess::NotRunning &&
        !m_process->waitForFinished(5000)) {
        m_process->kill();
        m_process->waitForFinished(1000);
    }
}

QString CInstallExtrasDialog::StatusText() const {
    return m_status->text();
}

void CInstallExtrasDialog::Install() {
    m_install->setEnabled(false);
    if (VirtualDevicePresent(m_audioDev)) {
        done(1);
        return;
    }
    qDebug("CInstallExtrasDialog::Install run: %s", qUtf8Printable(m_installer));
    m_status->setText(tr("Installing Tavra Audio Device..."));
    m_status->show();
    if (m_process != nullptr) m_process->deleteLater();
    m_process = new QProcess(this);
    m_process->setProgram(m_installer);
    m_process->setProcessChannelMode(QProcess::SeparateChannels);
    connect(m_process, &QProcess::finished, this, &CInstallExtrasDialog::InstallerFinished);
    connect(m_process, &QProcess::errorOccurred, this, [this](QProcess::ProcessError error) {
        if (error == QProcess::FailedToStart)
            Fail(tr("The installer %1 could not be started.").arg(m_installer));
    });
    m_waited.start();
    m_poll->start();
    m_process->start();
}

void CInstallExtrasDialog::InstallerFinished() {
    if (m_process == nullptr) return;
    const int code = m_process->exitCode();
    qDebug("CInstallExtrasDialog::InstallerFinished exit code: %d", code);
    if (m_process->exitStatus() != QProcess::NormalExit || code != 0) {
        QString reason = QString::fromLocal8Bit(m_process->readAllStandardError()).trimmed();
        if (reason.isEmpty()) reason = tr("The installer ended with status %1.").arg(code);
        Fail(reason);
        return;
    }
    // The server has the device now; do not wait for the next tick.
    Poll();
}

void CInstallExtrasDialog::Poll() {
    if (!m_poll->isActive()) return;
    if (VirtualDevicePresent(m_audioDev)) {
        qDebug("CInstallExtrasDialog::Poll device found after ms: %lld",
               static_cast<long long>(m_waited.elapsed()));
        m_poll->stop();
        done(1);
        return;
    }
    if (m_waited.elapsed() >= m_waitLimitMs)
        Fail(tr("The device did not appear within %1 seconds.").arg((m_waitLimitMs + 999) / 1000));
}

void CInstallExtrasDialog::Fail(const QString& reason) {
    qWarning("CInstallExtrasDialog::Fail %s", qUtf8Printable(reason));
    m_poll->stop();
    m_status->setText(tr("Tavra Audio Device could not be installed.\n%1").arg(reason));
    m_status->show();
    m_install->setChecked(false);
    m_install->setEnabled(true);
}
