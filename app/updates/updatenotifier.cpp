#include "updatenotifier.h"

#include <QApplication>
#include <QDesktopServices>

#include "config.h"
#include "deletedialog.h"
#include "updates/updatecheck.h"

CUpdateNotifier::CUpdateNotifier(CConfig* config, const QString& currentVersion, QWidget* window)
    : QObject(window), m_config(config), m_window(window) {
    m_check = new CUpdateCheck(config, currentVersion, this);
    connect(m_check, &CUpdateCheck::Finished, this, &CUpdateNotifier::OnFinished);
}

bool CUpdateNotifier::RunScheduled(const QDate& today) {
    if (!m_config->IsUpdateCheckDue(today)) return false;
    m_config->StoreUpdateCheckDate(today);
    qDebug("CUpdateNotifier::RunScheduled Auto_update: %d", m_config->GetAutoUpdate());
    return m_check->Start();
}

void CUpdateNotifier::CheckNow() {
    m_userAsked = true;
    m_check->Start();
}

void CUpdateNotifier::OnFinished(int result, const QString& version, const QUrl& page) {
    const bool userAsked = m_userAsked;
    m_userAsked = false;
    const QString name = QApplication::applicationName();
    if (result == CUpdateCheck::Result_Newer) {
        CDeleteDialog offer(tr("A new version of %1 is available: %2.\n"
                               "Do you want to download it now?")
                                .arg(name, version),
                            m_window);
        offer.setWindowTitle(tr("Check for Updates"));
        offer.AddButton(tr("Download"), QDialogButtonBox::AcceptRole, true);
        offer.AddButton(tr("Later"), QDialogButtonBox::RejectRole);
        if (offer.Ask() == QDialogButtonBox::AcceptRole && !QDesktopServices::openUrl(page))
            qWarning("CUpdateNotifier::OnFinished cannot open the browser");
        return;
    }
    // The automatic check keeps quiet about the rest.
    if (!userAsked) return;
    const QString text = result == CUpdateCheck::Result_UpToDate
                             ? tr("%1 is up to date.").arg(name)
                             : tr("Cannot check for updates now.\nPlease check your network "
                                  "connection and try again later.");
    CDeleteDialog message(text, m_window);
    message.setWindowTitle(tr("Check for Updates"));
    message.AddButton(tr("Ok"), QDialogButtonBox::AcceptRole, true);
    message.Ask();
}
