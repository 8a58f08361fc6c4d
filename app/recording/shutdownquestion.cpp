#include "shutdownquestion.h"

#include "deletedialog.h"
#include "recording/poweroff.h"

bool AskShutdown(QWidget* parent, int seconds) {
    CDeleteDialog question(
        CDeleteDialog::tr("Your computer will be shutdown in %1 seconds").arg(seconds), parent);
    question.setObjectName(QStringLiteral("shutdownQuestion"));
    question.AddButton(CDeleteDialog::tr("Cancel"), QDialogButtonBox::RejectRole);
    // The countdown presses the default button.
    question.AddButton(CDeleteDialog::tr("Shutdown"), QDialogButtonBox::AcceptRole, true);
    question.SetCountdown(seconds, CDeleteDialog::tr("Your computer will be shutdown in %1 seconds"));
    if (question.Ask() != QDialogButtonBox::AcceptRole) {
        qDebug("AskShutdown cancelled");
        return false;
    }
    qDebug("shutdown computer!");
    if (EnableShutdown()) return true;
    qWarning("shutdown computer failed!");
    return false;
}
