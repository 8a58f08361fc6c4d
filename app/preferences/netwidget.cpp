#include "netwidget.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QLineEdit>
#include <QVBoxLayout>
#include <QValidator>

#include "config.h"
#include "tunecap.h"

namespace {
// Field lengths: what the service's proxy record holds.
constexpr int kHostLength = 63;
constexpr int kNameLength = 31;
constexpr int kPasswordLength = 15;

// Digits of a port from 1 to CNetWidget::kMaxPort; a keystroke that would go
// beyond is refused rather than kept as an unusable port.
class CPortValidator : public QValidator {
public:
    using QValidator::QValidator;
    State validate(QString& input, int&) const override {
        if (input.isEmpty()) return Intermediate;
        if (input.size() > 5) return Invalid;
        for (const QChar c : input)
            if (!c.isDigit()) return Invalid;
        const int port = input.toInt();
        if (port > CNetWidget::kMaxPort) return Invalid;
        return port == 0 ? Intermediate : Acceptable;
    }
};
}  // namespace

CNetWidget::CNetWidget(QWidget* parent) : CPreferencesPage(parent), m_config(CConfig::instance()) {
    setObjectName(QStringLiteral("CNetWidget"));
    m_useProxy = new QCheckBox(tr("Enable Proxy"), this);
    m_useProxy->setObjectName(QStringLiteral("proxyBox"));
    m_group = new QGroupBox(this);
    m_group->setObjectName(QStringLiteral("proxyGroup"));
    m_type = new QComboBox(m_group);
    m_type->setObjectName(QStringLiteral("proxyTypeBox"));
    m_type->addItem(QStringLiteral("Http"));
    m_host = new QLineEdit(m_group);
    m_host->setObjectName(QStringLiteral("proxyHostEdit"));
    m_host->setMaxLength(kHostLength);
    m_port = new QLineEdit(m_group);
    m_port->setObjectName(QStringLiteral("proxyPortEdit"));
    m_port->setValidator(new CPortValidator(m_port));
    m_name = new QLineEdit(m_group);
    m_name->setObjectName(QStringLiteral("proxyNameEdit"));
    m_name->setMaxLength(kNameLength);
    m_password = new QLineEdit(m_group);
    m_password->setObjectName(QStringLiteral("proxyPasswordEdit"));
    m_password->setMaxLength(kPasswordLength);
    m_password->setEchoMode(QLineEdit::Password);

    auto* form = new QFormLayout(m_group);
    form->addRow(tr("Proxy type:"), m_type);
    form->addRow(tr("Proxy host:"), m_host);
    form->addRow(tr("Proxy port:"), m_port);
    form->addRow(tr("Proxy name:"), m_name);
    form->addRow(tr("Proxy password:"), m_password);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_useProxy);
    layout->addWidget(m_group);
    layout->addStretch(1);

    MusicParserProxyParam proxy;
    m_config->FillProxyParam(&proxy);
    m_host->setText(QString::fromUtf8(proxy.host));
    if (proxy.port != 0) m_port->setText(QString::number(proxy.port));
    m_name->setText(QString::fromUtf8(proxy.userName));
    m_password->setText(QString::fromUtf8(proxy.password));
    const bool use = m_config->GetUseProxy() != 0;
    m_useProxy->setChecked(use);
    m_group->setEnabled(use);
    connect(m_useProxy, &QCheckBox::clicked, this, &CNetWidget::UserProxyChange);
}

void CNetWidget::UserProxyChange(bool checked) {
    m_group->setEnabled(checked);
}

void CNetWidget::Save() {
    m_config->SetUseProxy(m_useProxy->isChecked() ? 1 : 0);
    SetNetworkProxy();
}

void CNetWidget::SetNetworkProxy() {
    if (m_config->GetUseProxy() == 1) {
        m_config->SetProxyType(0);
        m_config->SetProxyHost(m_host->text().trimmed());
        m_config->SetProxyPort(m_port->text().toInt());
        m_config->SetProxyName(m_name->text());
        m_config->SetProxyPass(m_password->text());
    } else {
        m_config->SetProxyType(-1);
    }
    // The record as the settings now describe it: cleared, the type, and
    // for a proxy in use the fields cut to the record's sizes.
    MusicParserProxyParam proxy;
    m_config->FillProxyParam(&proxy);
    qDebug(
        "CNetWidget::SetNetworkProxy, ProxyServer: %s ProxyProt: %d UserName: %s PassWord: %s "
        "ProxyType: %d",
        proxy.host, proxy.port, proxy.userName, proxy.password[0] != '\0' ? "(set)" : "",
        proxy.type);
#ifdef RECDECK_WITH_TUNECAP
    const int result = MusicParserSetProxyParam(&proxy);
    if (result < 0)
        qWarning("CNetWidget::SetNetworkProxy MusicParserSetProxyParam res: %d", result);
#endif
}
