#pragma once

// The application object of a test program that tests no widget: a
// QCoreApplication, created on first use unless the program already made
// one (a window test makes its QApplication first), and kept until exit.

#include <QCoreApplication>

namespace testsupport {

inline QCoreApplication& CoreApp() {
    if (QCoreApplication* existing = QCoreApplication::instance()) return *existing;
    static int argc = 1;
    static char name[] = "coretest";
    static char* argv[] = {name, nullptr};
    return *new QCoreApplication(argc, argv);
}

}  // namespace testsupport
