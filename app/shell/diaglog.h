#pragma once

// The program's diagnostic log: every Qt message becomes one timestamped
// UTF-8 line of "tunecap.log" in the log folder, rotated over ten files.
// QtCore only.

#include <QDateTime>
#include <QString>
#include <QtGlobal>

#include <cstdio>
#include <functional>
#include <memory>
#include <mutex>

#include "common/fileowner.h"

class QMessageLogContext;

// A file reaches at most this many characters before the next line goes
// to a fresh file.
constexpr qint64 kLogSizeLimit = 1000000;
// Exit code of the process after a fatal message.
constexpr int kFatalExitCode = 138;

// One rotating log in one folder. Write() may be called from any thread;
// the size check, rotation, reopening and the write run under one lock, so
// lines never interleave and a full file is rotated once.
class CDiagLog {
public:
    // Gives the log folder; asked anew each time a file name is built. It
    // is called under the log lock and must not log.
    using FolderSource = std::function<QString()>;

    explicit CDiagLog(FolderSource folder, qint64 sizeLimit = kLogSizeLimit);
    ~CDiagLog();
    CDiagLog(const CDiagLog&) = delete;
    CDiagLog& operator=(const CDiagLog&) = delete;

    // Opens "<folder>/tunecap.log" for appending. Returns the handle, which
    // the caller passes to SetFile() or closes, or null when the folder is
    // unknown, the name is longer than 1023 characters or opening failed.
    std::FILE* OpenLog() const;
    // Makes file (may be null) the open file and takes ownership of it; a
    // file opened before is closed.
    void SetFile(std::FILE* file);
    // Closes the open file; later lines are dropped.
    void Close();
    bool IsOpen() const;

    // The line for a message: "MM/dd hh:mm:ss:zzz Debug: text\n" and
    // likewise Warning, Critical and Fatal. Info messages, which the design
    // did not know, are logged as Debug.
    static QString FormatLine(QtMsgType type, const QString& text, const QDateTime& when);
    // Formats the message with the current local time (outside the lock)
    // and writes it with WriteLine(). Never ends the process.
    // Returns whether the line went into a file.
    bool Write(QtMsgType type, const QString& text);
    // Writes a formatted line: when the open file's size plus the line's
    // length in UTF-16 units would pass the size limit, the file is closed,
    // the files rotated and a fresh one opened first. The line is flushed;
    // with durable also synced to the disk. Nothing happens when no file is
    // open. Returns whether the line went into a file.
    bool WriteLine(const QString& line, bool durable = false);

private:
    // Current file becomes number 1, older files move one number up with
    // gaps closed, the tenth is deleted. Failures are ignored. Caller holds
    // m_mutex.
    void RotateLogs();

    const FolderSource m_folder;
    const qint64 m_sizeLimit;
    mutable std::mutex m_mutex;
    common::UniqueFile m_file;  // guarded by m_mutex
};

// The process-wide log, whose folder is the Log_Path setting. Start-up
// calls InstallLogHandler(OpenLog()) before the first message it wants
// kept, and CloseLog() after the main window is gone.

// Opens the current file of the process-wide log (creating the settings
// object if need be); see CDiagLog::OpenLog().
std::FILE* OpenLog();
// Makes file the process-wide log's open file (taking ownership) and
// installs MessageHandler as Qt's message handler.
void InstallLogHandler(std::FILE* file);
// Closes the process-wide log's file. The handler stays installed: later
// messages are dropped, fatal ones still end the process.
void CloseLog();
// Qt message handler, callable from any thread: writes the message to the
// installed log and, for a fatal message, ends the process with
// kFatalExitCode once the line is on disk (or on the standard error when no
// log file is open). A message raised while the same thread is inside the
// handler is dropped.
void MessageHandler(QtMsgType type, const QMessageLogContext& context, const QString& text);
// Installs MessageHandler if it is not yet, leaving the log as it is: for
// fatal errors found before the log can be opened, so that they still end
// the process with kFatalExitCode.
void EnsureMessageHandler();
// For tests only: directs MessageHandler at log (not owned; null drops
// every message), gives it file and installs the handler.
void InstallLogHandlerForTesting(CDiagLog* log, std::FILE* file);

// The program's version "major.minor.patch.tweak" from the build; empty
// when the build did not set one.
QString GetProductVersion();
