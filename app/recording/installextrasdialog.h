#pragma once

#include <QDialog>
#include <QElapsedTimer>
#include <QString>

class QLabel;
class QProcess;
class QPushButton;
class QTimer;

// Offers to install the "Tavra Audio" virtual device, which recording what
// the computer plays needs. "Install" starts the installer
// driver/tavra-audio-install from the program's folder and then looks for
// the device once a second; exec() returns 1 as soon as the device is
// present. The wait is bounded (30 s): when the installer fails or the
// device does not appear in time, the dialog says so and stays open, and
// closing it returns 0. The window stays responsive throughout.
//
// GUI thread only.
class CInstallExtrasDialog : public QDialog {
    Q_OBJECT
public:
    static constexpr int kWaitLimitMs = 30000;
    static constexpr int kPollMs = 1000;

    // audioDev: the engine instance that looks for the device; not owned.
    explicit CInstallExtrasDialog(void* audioDev, QWidget* parent = nullptr);
    ~CInstallExtrasDialog() override;

    // The installer to run; driver/tavra-audio-install in the program's
    // folder unless replaced.
    QString InstallerPath() const { return m_installer; }
    void SetInstallerPath(const QString& path) { m_installer = path; }
    // How long to wait for the device after the installer started.
    void SetWaitLimit(int ms) { m_waitLimitMs = ms; }

    QPushButton* InstallButton() const { return m_install; }
    QPushButton* CloseButton() const { return m_close; }
    // The progress or failure line under the texts.
    QString StatusText() const;

public Q_SLOTS:
    // The "Install" button was toggled on.
    void Install();

private:
    void Poll();
    void InstallerFinished();
    // Stops waiting, tells the user why and offers "Install" again.
    void Fail(const QString& reason);

    void* m_audioDev;  // not owned
    QString m_installer;
    int m_waitLimitMs = kWaitLimitMs;
    QLabel* m_status = nullptr;
    QPushButton* m_install = nullptr;
    QPushButton* m_close = nullptr;
    QTimer* m_poll = nullptr;
    QProcess* m_process = nullptr;
    QElapsedTimer m_waited;
};
