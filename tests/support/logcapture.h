#pragma once

#include <QString>
#include <QStringList>
#include <QtGlobal>

namespace testsupport {

// Collects the messages logged while it exists (they are not printed).
class LogCapture {
public:
    LogCapture() {
        Lines().clear();
        m_previous = qInstallMessageHandler(
            [](QtMsgType, const QMessageLogContext&, const QString& text) { Lines() << text; });
    }
    ~LogCapture() { qInstallMessageHandler(m_previous); }
    LogCapture(const LogCapture&) = delete;
    LogCapture& operator=(const LogCapture&) = delete;

    // Whether a collected line contains text.
    bool Contains(const QString& text) const { return Count(text) > 0; }
    // How many collected lines contain text.
    int Count(const QString& text) const {
        int count = 0;
        for (const QString& line : Lines())
            if (line.contains(text)) ++count;
        return count;
    }

private:
    static QStringList& Lines() {
        static QStringList lines;
        return lines;
    }
    QtMessageHandler m_previous = nullptr;
};

}  // namespace testsupport
