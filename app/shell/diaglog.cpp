#include "diaglog.h"

#include "config.h"
#include "specialdirs.h"

#include <QFile>
#include <QStringList>

#include <atomic>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr int kMaxLogFiles = 10;
constexpr int kMaxLogNameChars = 1023;

QString CurrentName(const QString& folder) {
    return folder + QStringLiteral("/tunecap.log");
}

QString NumberedName(const QString& folder, int number) {
    return folder + QStringLiteral("/tunecap %1.log").arg(number);
}

// The log folder of the process-wide log. Before the settings object
// exists (or while it is being created, which logs) the folder a first
// run would use stands in.
QString ProcessLogFolder() {
    if (CConfig* config = CConfig::instanceIfCreated()) return config->GetLogPath();
    return SpecialDirPath(SpecialDir_ApplicationData);
}

CDiagLog& ProcessLog() {
    // Never destroyed: messages may still arrive while static objects are
    // being torn down at exit.
    static CDiagLog* const log = new CDiagLog(ProcessLogFolder);
    return *log;
}

// The log MessageHandler writes to; null drops messages.
std::atomic<CDiagLog*> g_activeLog{nullptr};

}  // namespace

CDiagLog::CDiagLog(FolderSource folder, qint64 sizeLimit)
    : m_folder(std::move(folder)), m_sizeLimit(sizeLimit) {}

CDiagLog::~CDiagLog() = default;

std::FILE* CDiagLog::OpenLog() const {
    const QString folder = m_folder();
    if (folder.isEmpty()) return nullptr;
    const QString name = CurrentName(folder);
    if (name.size() > kMaxLogNameChars) return nullptr;
    // Appending, binary, not inherited by programs the process starts.
    return std::fopen(QFile::encodeName(name).constData(), "a+be");
}

void CDiagLog::SetFile(std::FILE* file) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_file.reset(file);
}

void CDiagLog::Close() {
    SetFile(nullptr);
}

bool CDiagLog::IsOpen() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_file != nullptr;
}

QString CDiagLog::FormatLine(QtMsgType type, const QString& text, const QDateTime& when) {
    const char* pattern = nullptr;
    switch (type) {
    case QtDebugMsg:
    case QtInfoMsg: pattern = "%1 Debug: %2\n"; break;  // Info is a newer kind of debug output.
    case QtWarningMsg: pattern = "%1 Warning: %2\n"; break;
    case QtCriticalMsg: pattern = "%1 Critical: %2\n"; break;
    case QtFatalMsg: pattern = "%1 Fatal: %2\n"; break;
    }
    if (!pattern) return QString();
    return QString::fromLatin1(pattern).arg(when.toString(QStringLiteral("MM/dd hh:mm:ss:zzz")), text);
}

bool CDiagLog::Write(QtMsgType type, const QString& text) {
    return WriteLine(FormatLine(type, text, QDateTime::currentDateTime()), type == QtFatalMsg);
}

bool CDiagLog::WriteLine(const QString& line, bool durable) {
    if (line.isEmpty()) return false;
    const QByteArray bytes = line.toUtf8();
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_file) {
        // Opened for appending and flushed after every line, so the size
        // is the position.
        struct stat st;
        const qint64 position = fstat(fileno(m_file.get()), &st) == 0 ? st.st_size : 0;
        if (position + line.size() > m_sizeLimit) {
            m_file.reset();
            RotateLogs();
            m_file.reset(OpenLog());
        }
    }
    if (!m_file) return false;
    std::fwrite(bytes.constData(), 1, static_cast<size_t>(bytes.size()), m_file.get());
    std::fflush(m_file.get());
    if (durable) fsync(fileno(m_file.get()));
    return true;
}

void CDiagLog::RotateLogs() {
    const QString folder = m_folder();
    if (folder.isEmpty()) return;
    QStringList present;
    for (int i = 0; i < kMaxLogFiles; ++i) {
        const QString name = i == 0 ? CurrentName(folder) : NumberedName(folder, i);
        if (QFile::exists(name)) present.append(name);
    }
    // From the oldest down, so that no rename lands on a file still to move.
    for (int k = static_cast<int>(present.size()); k >= 1; --k) {
        const QString& name = present[k - 1];
        if (k == kMaxLogFiles) {
            QFile::remove(name);
        } else {
            const QString target = NumberedName(folder, k);
            if (name != target) QFile::rename(name, target);
        }
    }
}

std::FILE* OpenLog() {
    // The log folder is a setting: make sure the settings exist (this
    // reads or creates the settings file) before the folder is asked for.
    CConfig::instance();
    return ProcessLog().OpenLog();
}

void InstallLogHandler(std::FILE* file) {
    InstallLogHandlerForTesting(&ProcessLog(), file);
}

void InstallLogHandlerForTesting(CDiagLog* log, std::FILE* file) {
    if (log) log->SetFile(file);
    else if (file) std::fclose(file);
    g_activeLog.store(log);
    qInstallMessageHandler(MessageHandler);
}

void EnsureMessageHandler() {
    const QtMessageHandler previous = qInstallMessageHandler(MessageHandler);
    if (previous != MessageHandler) g_activeLog.store(&ProcessLog());
}

void CloseLog() {
    if (CDiagLog* log = g_activeLog.load()) log->Close();
}

void MessageHandler(QtMsgType type, const QMessageLogContext& /*context*/, const QString& text) {
    // A message raised by the log itself (while this thread holds the log
    // lock) would deadlock: drop it.
    thread_local bool inside = false;
    if (!inside) {
        inside = true;
        CDiagLog* log = g_activeLog.load();
        const bool written = log && log->Write(type, text);
        // A fatal message with no log file to take it still says why the
        // process ends.
        if (!written && type == QtFatalMsg) {
            const QByteArray line = CDiagLog::FormatLine(type, text, QDateTime::currentDateTime()).toUtf8();
            std::fwrite(line.constData(), 1, static_cast<size_t>(line.size()), stderr);
            std::fflush(stderr);
        }
        inside = false;
    }
    if (type == QtFatalMsg) {
        // The line is flushed and synced. Static objects are not torn down:
        // other threads may still be running.
        _exit(kFatalExitCode);
    }
}

#define TUNECAP_STRINGIFY2(x) #x
#define TUNECAP_STRINGIFY(x) TUNECAP_STRINGIFY2(x)

QString GetProductVersion() {
#if defined(TUNECAP_VERSION_MAJOR) && defined(TUNECAP_VERSION_MINOR) && defined(TUNECAP_VERSION_PATCH) \
    && defined(TUNECAP_VERSION_TWEAK)
    const char* const parts[] = {TUNECAP_STRINGIFY(TUNECAP_VERSION_MAJOR), TUNECAP_STRINGIFY(TUNECAP_VERSION_MINOR),
                                 TUNECAP_STRINGIFY(TUNECAP_VERSION_PATCH), TUNECAP_STRINGIFY(TUNECAP_VERSION_TWEAK)};
    QStringList numbers;
    for (const char* part : parts) {
        bool ok = false;
        const uint value = QString::fromLatin1(part).toUInt(&ok);
        if (!ok) return QString();  // a component the build left empty
        numbers.append(QString::number(value));
    }
    return numbers.join(QLatin1Char('.'));
#else
    return QString();
#endif
}
