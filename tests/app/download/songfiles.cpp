#include "songfiles.h"

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QImage>
#include <QJsonDocument>
#include <QProcess>
#include <QThread>

namespace songtest {

namespace {

const char kTagReader[] = R"(
import hashlib, json, sys
from mutagen.id3 import ID3, ID3NoHeaderError
out = {}
try:
    tag = ID3(sys.argv[1], translate=False)
    for frame in tag.values():
        if frame.FrameID == "APIC":
            out["APIC"] = hashlib.sha1(frame.data).hexdigest()
        elif frame.FrameID.startswith("T"):
            out[frame.FrameID] = str(frame.text[0]) if frame.text else ""
except ID3NoHeaderError:
    pass
except Exception as e:
    out["error"] = str(e)
print(json.dumps(out))
)";

// Offset of the audio: after an ID3v2 tag (10-byte header, size in four
// 7-bit groups, a footer when flagged), else 0.
qsizetype AudioOffset(const QByteArray& bytes) {
    if (bytes.size() < 10 || !bytes.startsWith("ID3")) return 0;
    qsizetype size = 0;
    for (int i = 6; i < 10; ++i) size = size * 128 + (quint8(bytes[i]) & 0x7F);
    const bool footer = (quint8(bytes[5]) & 0x10) != 0;
    return qMin(bytes.size(), 10 + size + (footer ? 10 : 0));
}

}  // namespace

bool Run(const QString& program, const QStringList& arguments, int timeoutMs) {
    QProcess process;
    process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    process.setStandardOutputFile(QProcess::nullDevice());
    process.start(program, arguments);
    if (!process.waitForFinished(timeoutMs)) {
        process.kill();
        process.waitForFinished(2000);
        return false;
    }
    return process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
}

bool MakeWav(const QString& path, double seconds, int frequency, int rate, int channels) {
    return Run(
        QStringLiteral("sox"),
        {QStringLiteral("-n"), QStringLiteral("-r"), QString::number(rate), QStringLiteral("-c"),
         QString::number(channels), QStringLiteral("-b"), QStringLiteral("16"), path,
         QStringLiteral("synth"), QString::number(seconds), QStringLiteral("sine"),
         QString::number(frequency), QStringLiteral("vol"), QStringLiteral("0.5")});
}

bool MakeMp3(const QString& path, double seconds, int frequency) {
    const QString wav = path + QStringLiteral(".source.wav");
    const bool made = MakeWav(wav, seconds, frequency) &&
                      Run(QStringLiteral("lame"), {QStringLiteral("--quiet"), QStringLiteral("-b"),
                                                   QStringLiteral("128"), wav, path});
    QFile::remove(wav);
    return made;
}

bool MakeImage(const QString& path, const QColor& color, int side) {
    QImage image(side, side, QImage::Format_RGB32);
    image.fill(color);
    return image.save(path);
}

bool WriteFile(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

QByteArray ReadFile(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

QByteArray Sha1Hex(const QByteArray& bytes) {
    return QCryptographicHash::hash(bytes, QCryptographicHash::Sha1).toHex();
}

WavFormat ReadWavFormat(const QString& path) {
    const QByteArray bytes = ReadFile(path).left(4096);
    WavFormat format;
    if (!bytes.startsWith("RIFF") || bytes.mid(8, 4) != "WAVE") return format;
    const qsizetype fmt = bytes.indexOf("fmt ");
    if (fmt < 0 || fmt + 16 > bytes.size()) return format;
    auto le16 = [&](qsizetype at) {
        return int(quint8(bytes[at])) | int(quint8(bytes[at + 1])) << 8;
    };
    format.channels = le16(fmt + 10);
    format.rate = le16(fmt + 12) | le16(fmt + 14) << 16;
    return format;
}

QJsonObject ReadTags(const QString& path) {
    QProcess process;
    process.start(QStringLiteral("/usr/bin/python3"),
                  {QStringLiteral("-c"), QString::fromLatin1(kTagReader), path});
    if (!process.waitForFinished(60000) || process.exitCode() != 0)
        return {{QStringLiteral("error"), QString::fromUtf8(process.readAllStandardError())}};
    return QJsonDocument::fromJson(process.readAllStandardOutput()).object();
}

QByteArray AudioSha1(const QString& path) {
    const QByteArray bytes = ReadFile(path);
    return Sha1Hex(bytes.mid(AudioOffset(bytes)));
}

bool WaitUntil(const std::function<bool()>& done, int timeoutMs) {
    QElapsedTimer clock;
    clock.start();
    while (!done()) {
        if (clock.elapsed() > timeoutMs) return done();
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        QThread::msleep(5);
    }
    return true;
}

void Spin(int milliseconds) {
    WaitUntil([] { return false; }, milliseconds);
}

QStringList FilesIn(const QString& folder) {
    QStringList names = QDir(folder).entryList(QDir::Files | QDir::Hidden | QDir::System);
    names.sort();
    return names;
}

}  // namespace songtest
