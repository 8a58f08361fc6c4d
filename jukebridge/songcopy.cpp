#include "songcopy.h"

#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QString>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <string>

#include "capdev_tags.h"
#include "common/regularfile.h"

namespace jukebridge {

namespace {

// Longest file name the folder takes (bytes, as most Linux file systems).
constexpr std::size_t kMaxName = 255;
// Highest number put before the extension of a taken name.
constexpr int kMaxNumber = 999;

std::atomic<unsigned> g_tempCounter{0};

// Removes a temporary file unless released.
class CTempFile {
public:
    explicit CTempFile(std::string path) : m_path(std::move(path)) {}
    ~CTempFile() {
        if (!m_path.empty()) ::unlink(m_path.c_str());
    }
    CTempFile(const CTempFile&) = delete;
    CTempFile& operator=(const CTempFile&) = delete;
    const std::string& path() const { return m_path; }
    void Release() { m_path.clear(); }

private:
    std::string m_path;
};

bool Exists(const std::string& path) {
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0;
}

// text cut to at most bytes, never inside a UTF-8 character.
std::string CutUtf8(const std::string& text, std::size_t bytes) {
    if (text.size() <= bytes) return text;
    std::size_t end = bytes;
    while (end > 0 && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80) --end;
    return text.substr(0, end);
}

std::string BaseName(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// "name.ext" -> {"name", ".ext"}; a name without a dot (or only a leading
// one) has no extension.
std::pair<std::string, std::string> SplitExtension(const std::string& name) {
    const std::size_t dot = name.rfind('.');
    if (dot == std::string::npos || dot == 0) return {name, std::string()};
    return {name.substr(0, dot), name.substr(dot)};
}

// The n-th name tried for a song file: the name itself, then "stem (n).ext",
// the stem shortened when the name would be too long.
std::string Candidate(const std::string& name, int number) {
    if (number == 1) return name;
    const auto [stem, extension] = SplitExtension(name);
    const std::string suffix = " (" + std::to_string(number) + ")" + extension;
    const std::size_t room = suffix.size() < kMaxName ? kMaxName - suffix.size() : 0;
    return CutUtf8(stem, room) + suffix;
}

// A free hidden name in folder for the copy in progress.
std::string TemporaryPath(const std::string& folder, const std::string& name) {
    const std::string stem = CutUtf8(SplitExtension(name).first, 100);
    for (;;) {
        const std::string path = folder + "/." + stem + ".jukebridge-" +
                                 std::to_string(::getpid()) + "-" +
                                 std::to_string(g_tempCounter.fetch_add(1)) + ".part";
        if (!Exists(path)) return path;
    }
}

// Gives from the name to without ever replacing an entry. 0, EEXIST when to
// is taken, or another errno.
int RenameNoReplace(const std::string& from, const std::string& to) {
    if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) return 0;
    int err = errno;
    if (err != EINVAL && err != ENOSYS && err != ENOTSUP) return err;
    // The file system cannot rename without replacing: a hard link cannot
    // replace either.
    if (::link(from.c_str(), to.c_str()) == 0) {
        ::unlink(from.c_str());
        return 0;
    }
    err = errno;
    if (err != EPERM && err != ENOTSUP && err != ENOSYS && err != EMLINK) return err;
    // Neither (some removable-media file systems): look first. Another
    // program creating the name in between is the one case left open.
    if (Exists(to)) return EEXIST;
    return ::rename(from.c_str(), to.c_str()) == 0 ? 0 : errno;
}

// Whether the file starts like MP3 audio: an ID3v2 tag or an MPEG frame.
// Anything else (a WAV file above all) is copied without new tags.
bool LooksLikeMp3(int fd) {
    unsigned char head[3] = {};
    const ssize_t n = ::pread(fd, head, sizeof head, 0);
    if (n < 2) return false;
    if (n == 3 && std::memcmp(head, "ID3", 3) == 0) return true;
    return head[0] == 0xFF && (head[1] & 0xE0) == 0xE0;
}

// Copies the open source into a new file at temp. false on any failure.
bool CopyPlain(int source, const std::string& temp) {
    common::UniqueFd out(::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644));
    if (out.get() < 0) return false;
    char buffer[64 * 1024];
    off_t offset = 0;
    for (;;) {
        const ssize_t got = ::pread(source, buffer, sizeof buffer, offset);
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) return false;
        if (got == 0) break;
        offset += got;
        for (ssize_t done = 0; done < got;) {
            const ssize_t put = ::write(out.get(), buffer + done, std::size_t(got - done));
            if (put < 0 && errno == EINTR) continue;
            if (put <= 0) return false;
            done += put;
        }
    }
    return ::fsync(out.get()) == 0 && out.Close();
}

const char* TextOrNull(const char* text) {
    return (text != nullptr && *text != '\0') ? text : nullptr;
}

// Writes the tagged copy to temp. A result of jukebridge.h.
int CopyTagged(int source, const std::string& sourcePath, const std::string& temp,
               const iTunesSongInfo& song) {
    const std::string year = song.year > 0 ? std::to_string(song.year) : std::string();
    MusicTagsInfo tags{};
    tags.title = TextOrNull(song.title);
    tags.artist = TextOrNull(song.artist);
    tags.album = TextOrNull(song.album);
    tags.genre = TextOrNull(song.genre);
    tags.year = year.empty() ? nullptr : year.c_str();
    tags.picture = TextOrNull(song.cover);
    const std::wstring from = QString::fromUtf8(sourcePath.c_str()).toStdWString();
    const std::wstring to = QString::fromUtf8(temp.c_str()).toStdWString();
    const int result = SetMusicTagsInfo(&tags, from.c_str(), to.c_str());

    if (Exists(temp)) {
        // The copy is written; what the result says is what it lacks.
        if (result == 0) return JUKEBRIDGE_OK;
        if (tags.picture != nullptr && result >= 1 && result <= 4)
            return JUKEBRIDGE_COPIED_WITHOUT_COVER;
        return JUKEBRIDGE_COPIED_WITHOUT_TAGS;
    }
    switch (result) {
        case MUSICTAGS_ERR_OPEN_SOURCE:
        case MUSICTAGS_ERR_BAD_SOURCE:
            return JUKEBRIDGE_ERR_SOURCE;
        case MUSICTAGS_ERR_ENCODER:
            // No tags can be made at all: the song still goes over as it is.
            return CopyPlain(source, temp) ? JUKEBRIDGE_COPIED_WITHOUT_TAGS : JUKEBRIDGE_ERR_WRITE;
        default:
            return JUKEBRIDGE_ERR_WRITE;
    }
}

}  // namespace

int CopySongInto(const std::string& folder, const iTunesSongInfo& song, std::string* added) {
    if (song.file == nullptr || *song.file == '\0') return JUKEBRIDGE_ERR_NO_FILE;
    const std::string sourcePath = song.file;
    // A FIFO or a device named as the song is refused without blocking.
    const common::UniqueFd source = common::OpenRegularFile(sourcePath.c_str());
    if (!source.valid()) return JUKEBRIDGE_ERR_SOURCE;

    const std::string name = BaseName(sourcePath);
    CTempFile temp(TemporaryPath(folder, name));
    int result = JUKEBRIDGE_COPIED_WITHOUT_TAGS;
    if (LooksLikeMp3(source.get())) {
        result = CopyTagged(source.get(), sourcePath, temp.path(), song);
    } else if (!CopyPlain(source.get(), temp.path())) {
        result = JUKEBRIDGE_ERR_WRITE;
    }
    if (result < 0) return result;

    for (int number = 1; number <= kMaxNumber; ++number) {
        const std::string target = folder + "/" + Candidate(name, number);
        const int err = RenameNoReplace(temp.path(), target);
        if (err == EEXIST) continue;
        if (err != 0) return JUKEBRIDGE_ERR_WRITE;
        temp.Release();
        if (added != nullptr) *added = target;
        return result;
    }
    return JUKEBRIDGE_ERR_NAME_TAKEN;
}

bool SyncFolder(const std::string& folder) {
    common::UniqueFd dir(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    return dir.get() >= 0 && ::fsync(dir.get()) == 0 && dir.Close();
}

}  // namespace jukebridge
