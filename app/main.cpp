// recdeck: start-up and exit of the program.
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFont>
#include <QFontDatabase>
#include <QPointer>
#include <QScreen>
#include <QSocketNotifier>
#include <QTimer>
#include <QTranslator>

#include <csignal>
#include <memory>
#include <new>
#include <sys/socket.h>
#include <unistd.h>

#include "chrome/mstyle.h"
#include "config.h"
#include "diaglog.h"
#include "library/library.h"
#include "library/opendatabase.h"
#include "mainui.h"
#include "singleinstance.h"

namespace {

// Self-pipe of the termination signals: the handler writes one byte, the
// GUI thread reads it through a QSocketNotifier.
int g_signalPipe[2] = {-1, -1};

extern "C" void OnTerminationSignal(int) {
    const char byte = 1;
    const ssize_t ignored = write(g_signalPipe[1], &byte, 1);
    (void)ignored;
}

// SIGTERM and SIGINT close the main window through its normal close
// sequence, so that a desktop session that ends (or a test) still gets the
// exit banner and a stopped engine. The handler is installed early; a
// signal that comes before the event loop runs waits in the pipe until it
// does. False when the pipe could not be made (the signals then keep their
// default action).
bool CatchTerminationSignals() {
    if (socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, g_signalPipe) != 0) return false;
    struct sigaction action = {};
    action.sa_handler = OnTerminationSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    sigaction(SIGTERM, &action, nullptr);
    sigaction(SIGINT, &action, nullptr);
    return true;
}

// The main window once it exists; a caught signal closes it.
QPointer<CMainUI> g_window;

// Ends the run when a caught signal arrives, at any moment of it: the main
// window closes without questions, and before it exists every window that
// is open closes (the "Cannot open database" box, say), so that the box's
// own event loop returns. Null without the pipe.
std::unique_ptr<QSocketNotifier> WatchTerminationSignals() {
    if (g_signalPipe[0] < 0) return nullptr;
    auto notifier = std::make_unique<QSocketNotifier>(g_signalPipe[0], QSocketNotifier::Read);
    QObject::connect(notifier.get(), &QSocketNotifier::activated, [] {
        char byte = 0;
        const ssize_t ignored = read(g_signalPipe[0], &byte, 1);
        (void)ignored;
        if (g_window) {
            qDebug("main: termination signal, closing the main window");
            g_window->CloseForTermination();
        } else {
            qDebug("main: termination signal, closing every window");
            QApplication::closeAllWindows();
        }
    });
    return notifier;
}

// Memory held back for the fatal log line of OnOutOfMemory: formatting and
// writing the line allocate, which would otherwise fail again.
std::unique_ptr<char[]> g_memoryReserve;

// The new handler: gives back the reserve, logs the fatal line (which ends
// the process) and lets a further failure throw rather than come back here.
void OnOutOfMemory() {
    g_memoryReserve.reset();
    std::set_new_handler(nullptr);
    qFatal("Failed to allocate memory!");
}

}  // namespace

int main(int argc, char* argv[]) {
    auto app = std::make_unique<QApplication>(argc, argv);
    const QString programDir = QCoreApplication::applicationDirPath();
    QDir::setCurrent(programDir);
    QCoreApplication::setOrganizationName(QStringLiteral("tavra"));
    QCoreApplication::setOrganizationDomain(QStringLiteral("tavra.example"));
    QCoreApplication::setApplicationName(QStringLiteral("Tavra Tunecap"));
    QGuiApplication::setDesktopFileName(QStringLiteral("example.tavra.Tunecap"));

    // One copy per user: a second one ends at once, silently, before it
    // writes anything.
    auto instance = std::make_unique<CSingleInstance>();
    if (!instance->TryAcquire()) {
        instance.reset();
        app.reset();
        return 1;
    }

    CatchTerminationSignals();
    auto signalWatch = WatchTerminationSignals();

    // The log's folder is the Log_Path setting: the settings object (and on
    // a first run the settings file) comes first.
    CConfig::instance();
    InstallLogHandler(OpenLog());
    qDebug("\nRecorder Application start ##########################################");

    g_memoryReserve = std::make_unique<char[]>(256 * 1024);
    std::set_new_handler(OnOutOfMemory);

    QCoreApplication::setApplicationVersion(GetProductVersion());

    QTranslator translator;
    if (translator.load(QStringLiteral("qt_"), programDir))
        QCoreApplication::installTranslator(&translator);

    const int fontId =
        QFontDatabase::addApplicationFont(programDir + QStringLiteral("/font/segoeui.ttf"));
    const QStringList families =
        fontId < 0 ? QStringList() : QFontDatabase::applicationFontFamilies(fontId);
    if (!families.isEmpty()) {
        QFont font(families.first());
        font.setPixelSize(12);
        QApplication::setFont(font);
        qDebug("main: application font %s", qUtf8Printable(families.first()));
    }

    // Texts are UTF-8 throughout; there is no locale codec to set.

    // The library database. When it cannot be used, the box says so and the
    // run ends with -1 after closing the log and releasing the lock.
    auto library = std::make_unique<CLibrary>(CConfig::instance());
    if (OpenLibraryDatabase(library.get()) != 0) {
        library.reset();
        signalWatch.reset();
        CloseLog();
        instance.reset();
        app.reset();
        return -1;
    }

    auto* style = new CMStyle;
    for (const char* name : {"QTreeWidget", "QLineEdit", "QTimeEdit", "QSpinBox", "QListWidget",
                             "QGraphicsView", "QGraphicsScene"})
        style->AddWidgetClass(QString::fromLatin1(name));
    QApplication::setStyle(style);  // the application owns it

    QFile styleSheet(programDir + QStringLiteral("/StyleSheet1.css"));
    QString sheet;
    if (styleSheet.open(QIODevice::ReadOnly)) sheet = QString::fromLatin1(styleSheet.readAll());
    app->setStyleSheet(sheet);

    auto window = std::make_unique<CMainUI>(std::move(library));
    g_window = window.get();
    if (const QScreen* screen = QGuiApplication::primaryScreen())
        window->move(screen->availableGeometry().center() - window->rect().center());
    window->show();
    QTimer::singleShot(0, [] { qDebug("main: start-up done"); });
    window->StartupUpdateCheck();
    const int result = QApplication::exec();

    qDebug("\nRecorder Application exit ##########################################");
    // Nothing reads the pipe any more: a second SIGTERM during the tear-down
    // (say the engine hangs on a dead sound server) ends the process at once.
    signalWatch.reset();
    std::signal(SIGTERM, SIG_DFL);
    std::signal(SIGINT, SIG_DFL);
    window.reset();
    CloseLog();
    instance.reset();
    app.reset();
    return result;
}
