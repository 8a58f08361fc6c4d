#pragma once

// Waiting in the program's own event loop: QTest::qWaitFor wakes the main
// thread every 10 ms, which a measurement of the program's CPU time would
// count as the program's.

#include <QEventLoop>
#include <QProcess>
#include <QTimer>

namespace programbench {

// Runs the event loop until process has ended or timeoutMs have passed;
// true when the process has ended.
inline bool WaitForExit(QProcess& process, int timeoutMs) {
    if (process.state() == QProcess::NotRunning) return true;
    QEventLoop loop;
    QObject::connect(&process, &QProcess::finished, &loop, &QEventLoop::quit);
    QObject::connect(&process, &QProcess::errorOccurred, &loop, &QEventLoop::quit);
    QTimer::singleShot(timeoutMs, &loop, &QEventLoop::quit);
    loop.exec();
    return process.state() == QProcess::NotRunning;
}

}  // namespace programbench
