#include "specialdirs.h"

#include <QStandardPaths>

#include <cerrno>
#include <cstring>
#include <string>
#include <sys/stat.h>

namespace {

constexpr char kMakerSuffix[] = "/Tavra/Tunecap";
constexpr size_t kMaxTreePathBytes = 1023;

bool LocationOfKind(int kind, QStandardPaths::StandardLocation* location) {
    switch (kind) {
    case SpecialDir_Programs: *location = QStandardPaths::ApplicationsLocation; return true;
    case SpecialDir_Documents: *location = QStandardPaths::DocumentsLocation; return true;
    case SpecialDir_Desktop: *location = QStandardPaths::DesktopLocation; return true;
    case SpecialDir_Caches: *location = QStandardPaths::GenericCacheLocation; return true;
    case SpecialDir_ApplicationData: *location = QStandardPaths::GenericDataLocation; return true;
    case SpecialDir_Videos: *location = QStandardPaths::MoviesLocation; return true;
    case SpecialDir_Music: *location = QStandardPaths::MusicLocation; return true;
    case SpecialDir_Pictures: *location = QStandardPaths::PicturesLocation; return true;
    default: return false;
    }
}

// 0 when path names a folder now, else the errno of the failure.
int IsDirectory(const std::string& path) {
    struct stat st;
    if (stat(path.c_str(), &st) != 0) return errno;
    return S_ISDIR(st.st_mode) ? 0 : ENOTDIR;
}

int MakeOneDirectory(const std::string& path) {
    if (mkdir(path.c_str(), 0777) == 0) return 0;
    const int err = errno;
    // Another thread or process may have made it meanwhile; an existing
    // folder is success, an existing file is not.
    if (err == EEXIST) return IsDirectory(path);
    return err;
}

}  // namespace

QString SpecialDirPath(int kind) {
    QStandardPaths::StandardLocation location;
    if (!LocationOfKind(kind, &location)) return QString();
    QString base = QStandardPaths::writableLocation(location);
    if (base.isEmpty()) return QString();
    base.replace(QLatin1Char('\\'), QLatin1Char('/'));
    while (base.size() > 1 && base.endsWith(QLatin1Char('/'))) base.chop(1);
    const QString path = base + QLatin1String(kMakerSuffix);
    if (path.toUtf8().size() >= kSpecialDirBufferSize) return QString();
    return path;
}

int GetSpecialDir(char* buffer, int kind) {
    if (!buffer) return 1;
    buffer[0] = '\0';
    const QByteArray utf8 = SpecialDirPath(kind).toUtf8();
    if (utf8.isEmpty()) return 1;
    std::memcpy(buffer, utf8.constData(), static_cast<size_t>(utf8.size()) + 1);
    return 0;
}

int CreateDirectoryTree(const char* path) {
    if (!path || !*path) return EINVAL;
    std::string full(path);
    if (full.size() > kMaxTreePathBytes) return ENAMETOOLONG;
    if (IsDirectory(full) == 0) return 0;

    // Create each missing component from the top down.
    size_t pos = 0;
    while (pos != std::string::npos) {
        pos = full.find('/', pos + 1);
        const std::string part = full.substr(0, pos);
        if (part.empty() || part.back() == '/') continue;  // repeated slashes
        const int err = MakeOneDirectory(part);
        if (err != 0) return err;
    }
    return IsDirectory(full);
}
