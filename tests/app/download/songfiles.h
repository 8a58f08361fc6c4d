#pragma once

// What the download and editing tests make and read: short songs made with
// sox and lame, cover images, the tags of a file as an independent reader
// (mutagen, through /usr/bin/python3) sees them, and waiting with the event
// loop running.

#include <QByteArray>
#include <QColor>
#include <QJsonObject>
#include <QString>
#include <QStringList>

#include <functional>

namespace songtest {

// Runs the program with the arguments; true when it exits with 0 in time.
bool Run(const QString& program, const QStringList& arguments, int timeoutMs = 120000);

// A 16-bit WAV of a tone (frequency Hz) of the given length.
bool MakeWav(const QString& path, double seconds, int frequency = 440, int rate = 44100,
             int channels = 2);
// An MP3 (128 kbit/s, no tag) of a tone.
bool MakeMp3(const QString& path, double seconds, int frequency = 440);
// A solid-colour square image in the format its suffix names.
bool MakeImage(const QString& path, const QColor& color, int side = 64);
bool WriteFile(const QString& path, const QByteArray& bytes);
QByteArray ReadFile(const QString& path);
QByteArray Sha1Hex(const QByteArray& bytes);

// Sample rate and channels of a WAV file; zeros when it is none.
struct WavFormat {
    int rate = 0;
    int channels = 0;
};
WavFormat ReadWavFormat(const QString& path);

// The tags of an MP3 file as mutagen reads them: each text frame by its
// identifier ("TIT2", "TPE1", ...), "APIC" as the SHA-1 (hex) of the
// picture's bytes; "error" when the file cannot be read.
QJsonObject ReadTags(const QString& path);
// The SHA-1 (hex) of the bytes after the file's ID3v2 tag.
QByteArray AudioSha1(const QString& path);

// Runs the event loop until done() holds or timeoutMs passed; done()'s last
// answer.
bool WaitUntil(const std::function<bool()>& done, int timeoutMs);
// Runs the event loop for the given time.
void Spin(int milliseconds);

// Names of the files (hidden ones too) in a folder, sorted.
QStringList FilesIn(const QString& folder);

}  // namespace songtest
