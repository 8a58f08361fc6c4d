#pragma once

// What the recording tests share: songs to play (tones with digital silence
// between them, written by sox), a player that plays them on the private
// sound server while the event loop runs, and the settings of a recording
// from the speakers' monitor.

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QList>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTest>

#include "config.h"

namespace recordingtest {

// One stretch of a song file: a sine of hz at half scale, or silence when hz
// is 0.
struct Stretch {
    double seconds;
    int hz;
};

// Writes a 44100 Hz 16-bit stereo WAV of the stretches through sox. True on
// success.
inline bool WriteSongs(const QString& path, const QList<Stretch>& stretches) {
    QStringList parts;
    for (int i = 0; i < stretches.size(); ++i) {
        const QString part = path + QStringLiteral(".part%1.wav").arg(i);
        const Stretch& s = stretches[i];
        const QStringList args = {QStringLiteral("-n"), QStringLiteral("-r"), QStringLiteral("44100"),
                                  QStringLiteral("-c"), QStringLiteral("2"), QStringLiteral("-b"),
                                  QStringLiteral("16"), part, QStringLiteral("synth"),
                                  QString::number(s.seconds), QStringLiteral("sine"),
                                  QString::number(s.hz > 0 ? s.hz : 440), QStringLiteral("vol"),
                                  s.hz > 0 ? QStringLiteral("0.5") : QStringLiteral("0")};
        if (QProcess::execute(QStringLiteral("sox"), args) != 0) return false;
        parts << part;
    }
    const int joined = parts.size() == 1
                           ? (QFile::rename(parts[0], path) ? 0 : 1)
                           : QProcess::execute(QStringLiteral("sox"), QStringList(parts) << path);
    for (const QString& part : parts) QFile::remove(part);
    return joined == 0;
}

// Plays a file with paplay on the sound server PULSE_SERVER names (to its
// default output, or the given sink) and waits for its end while the event
// loop runs. True when paplay played it all.
inline bool Play(const QString& path, const QString& sink = QString(), int timeoutMs = 120000) {
    QProcess paplay;
    QStringList args;
    if (!sink.isEmpty()) args << QStringLiteral("--device=") + sink;
    args << path;
    paplay.start(QStringLiteral("paplay"), args);
    if (!paplay.waitForStarted(5000)) return false;
    if (!QTest::qWaitFor([&] { return paplay.state() == QProcess::NotRunning; }, timeoutMs)) {
        paplay.kill();
        paplay.waitForFinished(2000);
        return false;
    }
    return paplay.exitStatus() == QProcess::NormalExit && paplay.exitCode() == 0;
}

// Waits until `source` of the server PULSE_SERVER names (e.g.
// "tavra_audio.monitor") delivers audio, as a parec of its own sees it: a
// monitor of PipeWire starts late, and what plays before is not recorded.
inline bool WaitForAudioFrom(const QString& source, int timeoutMs = 10000) {
    QProcess parec;
    parec.start(QStringLiteral("parec"), {QStringLiteral("--device=") + source, QStringLiteral("--raw"),
                                          QStringLiteral("--latency-msec=20")});
    if (!parec.waitForStarted(5000)) return false;
    const bool delivered = QTest::qWaitFor([&] { return parec.bytesAvailable() > 0; }, timeoutMs);
    parec.kill();
    parec.waitForFinished(2000);
    return delivered;
}

// Settings of a recording from the speakers' monitor of a private server
// into folder: MP3, split after one second of silence, songs of one second
// or less discarded, no identification.
inline void RecordFromSpeakers(CConfig* config, const QString& folder) {
    config->SetRecordMode(0);
    config->SetDeviceId(QStringLiteral("Monitor of Speakers"));
    config->SetOutputPath({folder});
    config->SetOutputFileType(0);
    config->SetSampleRate(44100);
    config->SetBitRate(128);
    config->SetSplitMode(1);
    config->SetSplitTime(1000);
    config->SetFilterMode(1);
    config->SetFilterTime(1);
    config->SetIdMode(0);
    config->SetVolumeValue(100);
}

// Files in a folder with one of the suffixes ("mp3", "wav"), by name.
inline QStringList FilesIn(const QString& folder, const QStringList& suffixes) {
    QStringList found;
    const QFileInfoList entries = QDir(folder).entryInfoList(QDir::Files, QDir::Name);
    for (const QFileInfo& entry : entries)
        if (suffixes.contains(entry.suffix().toLower())) found << entry.absoluteFilePath();
    return found;
}

}  // namespace recordingtest
