#pragma once

#include <QDesktopServices>
#include <QList>
#include <QObject>
#include <QUrl>

namespace uitest {

// Stands in for the user's browser while it exists: every http and https
// address the program opens through QDesktopServices lands in Opened()
// instead of a browser.
class Browser : public QObject {
    Q_OBJECT
public:
    Browser() {
        QDesktopServices::setUrlHandler(QStringLiteral("http"), this, "Open");
        QDesktopServices::setUrlHandler(QStringLiteral("https"), this, "Open");
    }
    ~Browser() override {
        QDesktopServices::unsetUrlHandler(QStringLiteral("http"));
        QDesktopServices::unsetUrlHandler(QStringLiteral("https"));
    }
    const QList<QUrl>& Opened() const { return m_opened; }

public Q_SLOTS:
    void Open(const QUrl& url) { m_opened << url; }

private:
    QList<QUrl> m_opened;
};

}  // namespace uitest
