#pragma once

#include <QDate>
#include <QObject>
#include <QUrl>

class CConfig;
class CUpdateCheck;
class QWidget;

// The update check as the user meets it: the automatic check at start-up
// when the schedule says so (silent unless a newer version exists), and
// "Check for Updates", which reports every outcome. A newer version is
// offered with "Download", which opens its page in the browser.
//
// GUI thread only.
class CUpdateNotifier : public QObject {
    Q_OBJECT
public:
    // config: not owned. window: parent of the messages; not owned.
    CUpdateNotifier(CConfig* config, const QString& currentVersion, QWidget* window);

    CUpdateCheck* Check() const { return m_check; }

    // Runs the automatic check when it is due today (Auto_update and the
    // date of the last check) and stores today as its date. Returns whether
    // a check started.
    bool RunScheduled(const QDate& today = QDate::currentDate());
    // "Check for Updates": checks now and reports the outcome. While a check
    // runs, that check's outcome is reported instead.
    void CheckNow();

private:
    void OnFinished(int result, const QString& version, const QUrl& page);

    CConfig* m_config;                // not owned
    QWidget* m_window;                // not owned
    CUpdateCheck* m_check = nullptr;  // child
    // Whether the running check was asked for by the user.
    bool m_userAsked = false;
};
