#include "localfile.h"

#include <QBuffer>
#include <QFile>
#include <QFileInfo>
#include <QImageReader>

#include <cerrno>
#include <unistd.h>

#include "common/regularfile.h"

namespace {

// The largest picture file read: far above any cover, far below memory.
constexpr qint64 kMaxPictureBytes = 64 * 1024 * 1024;

QImage ReadScaled(QImageReader& reader, int side) {
    const QSize size = reader.size();
    if (side > 0 && size.isValid()) reader.setScaledSize(size.scaled(side, side, Qt::KeepAspectRatio));
    return reader.read();
}

}  // namespace

bool IsRegularFile(const QString& path) {
    return !path.isEmpty() && common::IsRegularFile(QFile::encodeName(path).constData());
}

bool LiesIn(const QString& path, const QString& folder) {
    if (path.isEmpty() || folder.isEmpty()) return false;
    const QString within = QFileInfo(QFileInfo(path).absolutePath()).canonicalFilePath();
    const QString root = QFileInfo(folder).canonicalFilePath();
    if (within.isEmpty() || root.isEmpty()) return false;
    return within == root || within.startsWith(root.endsWith(QLatin1Char('/')) ? root : root + QLatin1Char('/'));
}

bool ReadRegularFile(const QString& path, qint64 maxBytes, QByteArray* contents) {
    contents->clear();
    struct stat st {};
    const common::UniqueFd file = common::OpenRegularFile(QFile::encodeName(path).constData(), &st);
    if (!file.valid() || st.st_size > maxBytes) return false;
    QByteArray bytes(qsizetype(st.st_size), Qt::Uninitialized);
    qsizetype done = 0;
    while (done < bytes.size()) {
        const ssize_t got = ::read(file.get(), bytes.data() + done, size_t(bytes.size() - done));
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) return false;  // an error, or the file shrank meanwhile
        done += got;
    }
    *contents = std::move(bytes);
    return true;
}

QImage ReadPicture(const QString& path, int side) {
    if (path.startsWith(QLatin1Char(':'))) {
        QImageReader reader(path);
        return ReadScaled(reader, side);
    }
    QByteArray bytes;
    if (!ReadRegularFile(path, kMaxPictureBytes, &bytes)) return QImage();
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer);
    return ReadScaled(reader, side);
}
