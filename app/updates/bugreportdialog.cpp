#include "bugreportdialog.h"

#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QRegularExpression>
#include <QVBoxLayout>

#include <memory>

#include "config.h"
#include "deletedialog.h"
#include "updates/bugreport.h"

namespace {
// One message with "Ok".
void Tell(QWidget* parent, const QString& text) {
    CDeleteDialog message(text, parent);
    message.setWindowTitle(QObject::tr("Bug Report"));
    message.AddButton(QObject::tr("Ok"), QDialogButtonBox::AcceptRole, true);
    message.Ask();
}
}  // namespace

CBugReportDialog::CBugReportDialog(CConfig* config, QWidget* parent)
    : QDialog(parent), m_config(config) {
    setObjectName(QStringLiteral("CBugReportDialog"));
    setWindowTitle(tr("Bug Report"));
    setWindowFlags(windowFlags() & ~Qt::WindowContextHelpButtonHint);
    setModal(true);

    auto* intro = new QLabel(tr("Please tell us what went wrong. The program's log files will be "
                                "packed into one archive in your Documents folder and handed to "
                                "your mail program, ready to send."),
                             this);
    intro->setWordWrap(true);
    m_mail = new QLineEdit(m_config->GetUserMail(), this);
    m_mail->setObjectName(QStringLiteral("mailEdit"));
    m_mail->setPlaceholderText(tr("name@example.com"));
    m_description = new QPlainTextEdit(this);
    m_description->setObjectName(QStringLiteral("descriptionEdit"));
    m_description->setPlaceholderText(tr("What did you do, and what happened?"));
    m_hint = new QLabel(this);
    m_hint->setObjectName(QStringLiteral("hintLabel"));
    m_hint->setStyleSheet(QStringLiteral("color: #B3261E;"));
    m_hint->hide();
    m_send = new QPushButton(tr("Send"), this);
    m_send->setObjectName(QStringLiteral("sendButton"));
    m_send->setDefault(true);
    m_cancel = new QPushButton(tr("Cancel"), this);
    m_cancel->setObjectName(QStringLiteral("cancelButton"));
    connect(m_send, &QPushButton::clicked, this, &CBugReportDialog::Send);
    connect(m_cancel, &QPushButton::clicked, this, &QDialog::reject);

    auto* form = new QFormLayout;
    form->addRow(tr("Your e-mail:"), m_mail);
    form->addRow(tr("Description:"), m_description);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(m_hint, 1);
    buttons->addWidget(m_send);
    buttons->addWidget(m_cancel);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(intro);
    layout->addLayout(form, 1);
    layout->addLayout(buttons);
    resize(480, 360);
}

QString CBugReportDialog::UserMail() const {
    return m_mail->text().trimmed();
}

QString CBugReportDialog::Description() const {
    return m_description->toPlainText().trimmed();
}

void CBugReportDialog::Send() {
    static const QRegularExpression address(QStringLiteral("^[^@\\s]+@[^@\\s]+\\.[^@\\s]+$"));
    if (!UserMail().isEmpty() && !address.match(UserMail()).hasMatch()) {
        m_hint->setText(tr("Please enter a valid e-mail address."));
        m_hint->show();
        m_mail->setFocus();
        return;
    }
    if (UserMail() != m_config->GetUserMail()) m_config->SetUserMail(UserMail());
    done(1);
}

void CBugReportDialog::Run(QWidget* parent, CConfig* config, CBugReport* report) {
    if (report->IsSending()) {
        Tell(parent, tr("A bug report is being prepared.\nPlease wait a moment."));
        return;
    }
    CBugReportDialog dialog(config, parent);
    if (dialog.exec() != 1) return;
    QPointer<QWidget> owner(parent);
    // One outcome per report: the connection ends with it.
    auto connection = std::make_shared<QMetaObject::Connection>();
    *connection =
        connect(report, &CBugReport::Finished, report,
                [owner, connection](bool ok, const QString& archive, bool mailStarted) {
                    QObject::disconnect(*connection);
                    if (ok && mailStarted) return;
                    if (owner.isNull()) return;
                    Tell(owner, ok ? tr("The bug report was saved as:\n%1\n"
                                        "Please send it by e-mail to %2.")
                                         .arg(archive, QLatin1String(CBugReport::kReportAddress))
                                   : tr("The bug report could not be made.\n"
                                        "Please check the free space of your disk."));
                });
    if (!report->Start(dialog.UserMail(), dialog.Description())) {
        QObject::disconnect(*connection);
        Tell(parent,
             tr("The bug report could not be made.\nPlease check the free space of your disk."));
    }
}
