#pragma once

#include "preferences/preferencespage.h"

class CConfig;
class QCheckBox;
class QComboBox;
class QGroupBox;
class QLineEdit;

// The "Connection" page: whether the program goes through an HTTP proxy,
// and the proxy's host, port, user name and password. Saving stores the
// settings and hands the proxy to the music information service at once.
class CNetWidget : public CPreferencesPage {
    Q_OBJECT
public:
    // Highest port the port field takes.
    static constexpr int kMaxPort = 65535;

    explicit CNetWidget(QWidget* parent = nullptr);

    // b_proxy from "Enable Proxy", then SetNetworkProxy().
    void Save() override;
    // Stores the proxy settings (Proxy_type 0 and the fields when b_proxy is
    // 1, else Proxy_type -1) and hands the resulting record to the music
    // information service.
    void SetNetworkProxy();

    QCheckBox* ProxyBox() const { return m_useProxy; }
    QGroupBox* ProxyGroup() const { return m_group; }
    QComboBox* TypeBox() const { return m_type; }
    QLineEdit* HostEdit() const { return m_host; }
    QLineEdit* PortEdit() const { return m_port; }
    QLineEdit* NameEdit() const { return m_name; }
    QLineEdit* PasswordEdit() const { return m_password; }

public Q_SLOTS:
    // "Enable Proxy" was clicked: the proxy fields are usable exactly when
    // it is ticked.
    void UserProxyChange(bool checked);

private:
    CConfig* m_config;  // not owned
    QCheckBox* m_useProxy = nullptr;
    QGroupBox* m_group = nullptr;
    QComboBox* m_type = nullptr;
    QLineEdit* m_host = nullptr;
    QLineEdit* m_port = nullptr;
    QLineEdit* m_name = nullptr;
    QLineEdit* m_password = nullptr;
};
