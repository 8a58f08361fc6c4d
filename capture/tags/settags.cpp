// The export SetMusicTagsInfo: a new ID3v2 tag, then the source's audio.

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <memory>
#include <new>
#include <vector>

#include "atomicfile.h"
#include "capdev_tags.h"
#include "common/regularfile.h"
#include "id3tagbuilder.h"
#include "oldtag.h"
#include "tagtext.h"

namespace capdev {

namespace {

constexpr std::size_t kCopyChunk = 262144;

long ReadAt(int fd, uint64_t offset, void* buffer, std::size_t bytes) {
    std::size_t done = 0;
    while (done < bytes) {
        const ssize_t n = ::pread(fd, static_cast<char*>(buffer) + done, bytes - done,
                                  static_cast<off_t>(offset + done));
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n < 0) {
            return -1;
        }
        if (n == 0) {
            break;
        }
        done += static_cast<std::size_t>(n);
    }
    return static_cast<long>(done);
}

bool HasItems(const MusicTagsInfo* tags) {
    return tags != nullptr && (tags->title != nullptr || tags->artist != nullptr ||
                               tags->album != nullptr || tags->year != nullptr ||
                               tags->genre != nullptr || tags->picture != nullptr);
}

// Builds the tag from the present items; without any item there is no tag.
// Returns the result of the last step.
int BuildTag(const MusicTagsInfo* tags, std::vector<unsigned char>* tag) {
    CId3TagBuilder builder;
    int result = builder.Init();
    if (result == MUSICTAGS_ERR_ENCODER) {
        return result;
    }
    tag->clear();
    if (HasItems(tags)) {
        const struct {
            const char* frame;
            const char* text;
        } frames[] = {{"TIT2", tags->title},
                      {"TPE1", tags->artist},
                      {"TALB", tags->album},
                      {"TCON", tags->genre},
                      {"TYER", tags->year}};
        for (const auto& f : frames) {
            if (f.text != nullptr) {
                result = builder.SetText(f.frame, f.text);
            }
        }
        if (tags->picture != nullptr) {
            result = builder.SetPicture(tags->picture);
        }
        const int fetched = builder.Fetch(tag);
        if (fetched != 0) {
            result = fetched;
        }
    }
    return result;
}

// Copies the source from `from` to its end (`size`) into `out`.
bool CopyAudio(int fd, uint64_t from, uint64_t size, CAtomicFile* out) {
    std::unique_ptr<char[]> chunk(new (std::nothrow) char[kCopyChunk]);
    if (!chunk) {
        return false;
    }
    uint64_t offset = from;
    while (offset < size) {
        const long n = ReadAt(fd, offset, chunk.get(), kCopyChunk);
        if (n <= 0 || !out->Write(chunk.get(), static_cast<std::size_t>(n))) {
            return false;
        }
        offset += static_cast<uint64_t>(n);
    }
    return true;
}

int WriteTaggedCopy(const MusicTagsInfo* tags, const wchar_t* source,
                    const wchar_t* destination) {
    if (source == nullptr) {
        return MUSICTAGS_ERR_NO_SOURCE;
    }
    const auto sourcePath = WideToUtf8(source);
    if (!sourcePath) {
        return MUSICTAGS_ERR_OPEN_SOURCE;
    }
    // Only a regular file is copied: a FIFO or a device named as the source
    // is refused at once instead of holding the call.
    struct stat st {};
    const common::UniqueFd in = common::OpenRegularFile(sourcePath->c_str(), &st);
    if (!in.valid()) {
        return MUSICTAGS_ERR_OPEN_SOURCE;
    }
    const auto size = static_cast<uint64_t>(st.st_size);
    uint64_t audioStart = 0;
    const int located = LocateAudio(
        [&in](uint64_t offset, void* buffer, std::size_t bytes) {
            return ReadAt(in.get(), offset, buffer, bytes);
        },
        size, &audioStart);
    if (located != 0) {
        return located;
    }

    // The tag (and the picture it reads) is complete before the temporary
    // file exists, so that only the copy itself can leave one behind.
    std::vector<unsigned char> tag;
    const int result = BuildTag(tags, &tag);

    const auto destinationPath = WideToUtf8(destination);
    CAtomicFile out;
    if (!destinationPath || !out.Create(*destinationPath)) {
        return MUSICTAGS_ERR_CREATE_DESTINATION;
    }
    if (result == MUSICTAGS_ERR_ENCODER) {
        return result;
    }
    if (!tag.empty() && !out.Write(tag.data(), tag.size())) {
        return MUSICTAGS_ERR_IO;
    }
    if (!CopyAudio(in.get(), audioStart, size, &out) || !out.Commit()) {
        return MUSICTAGS_ERR_IO;
    }
    return result;
}

}  // namespace

}  // namespace capdev

extern "C" CAPDEV_EXPORT int SetMusicTagsInfo(const MusicTagsInfo* tags, const wchar_t* source,
                                              const wchar_t* destination) {
    try {
        return capdev::WriteTaggedCopy(tags, source, destination);
    } catch (...) {
        return MUSICTAGS_ERR_IO;
    }
}
