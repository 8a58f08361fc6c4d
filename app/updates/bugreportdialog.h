#pragma once

#include <QDialog>

class CBugReport;
class CConfig;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;

// "Bug Report": the user's e-mail address (the one entered last time is
// offered again) and what went wrong. "Send" stores the address and closes
// the dialog with 1; the report itself is made by CBugReport.
class CBugReportDialog : public QDialog {
    Q_OBJECT
public:
    // config: not owned.
    explicit CBugReportDialog(CConfig* config, QWidget* parent = nullptr);

    QString UserMail() const;
    QString Description() const;
    QLineEdit* MailEdit() const { return m_mail; }
    QPlainTextEdit* DescriptionEdit() const { return m_description; }
    QPushButton* SendButton() const { return m_send; }
    QPushButton* CancelButton() const { return m_cancel; }
    // The line that tells what is missing before "Send" can go on.
    QLabel* HintLabel() const { return m_hint; }

    // The menu's "Bug Report": asks, starts the report and tells the outcome
    // when it ends (the mail program opens by itself). While a report is
    // being made, says so instead. parent: of the dialogs; report: not owned.
    static void Run(QWidget* parent, CConfig* config, CBugReport* report);

public Q_SLOTS:
    void Send();

private:
    CConfig* m_config;  // not owned
    QLineEdit* m_mail = nullptr;
    QPlainTextEdit* m_description = nullptr;
    QLabel* m_hint = nullptr;
    QPushButton* m_send = nullptr;
    QPushButton* m_cancel = nullptr;
};
