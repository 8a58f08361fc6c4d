#pragma once

// Builds an ID3v2 tag through LAME's tag interface.

#include <cstddef>
#include <memory>
#include <string>
#include <vector>

#include <lame/lame.h>

namespace capdev {

struct LameDeleter {
    void operator()(lame_global_flags* gfp) const { lame_close(gfp); }
};
using LamePtr = std::unique_ptr<lame_global_flags, LameDeleter>;

// Results of SetPicture.
enum PictureResult : int {
    kPictureOk = 0,
    kPictureOpenFailed = 1,   // the image cannot be opened, or is no regular file
    kPictureNoMemory = 2,
    kPictureShortRead = 3,
    kPictureRefused = 4,      // empty, larger than kPictureMaxBytes, or LAME does
                              // not take it (not JPEG, PNG or GIF)
};

// The largest picture taken: far beyond any cover, and small enough that the
// frame and tag sizes (28 bits) cannot wrap.
constexpr std::size_t kPictureMaxBytes = 16u * 1024u * 1024u;

// One tag in the making. Not thread-safe; each call of the export makes its
// own.
class CId3TagBuilder {
public:
    // Creates the encoder context and prepares its tag support (version 2
    // only, no padding). Returns the result of lame_init_params, or
    // MUSICTAGS_ERR_ENCODER when the context cannot be created.
    int Init();

    // Adds a UTF-16 text frame ("TIT2", "TPE1", ...) from UTF-8 text.
    // Returns LAME's result (0 on success). The genre ("TCON") is kept as
    // given: LAME would store a text it finds in its genre list as that
    // list's Latin-1 spelling and refuse a number outside it, so the builder
    // writes that frame itself.
    int SetText(const char* frameId, const char* utf8);

    // Adds the picture held in the file at `path` (UTF-8). Never blocks on a
    // FIFO or device. Returns a PictureResult.
    int SetPicture(const char* path);

    // Fetches the finished tag into *tag (empty when no item was set).
    // Returns 0, or MUSICTAGS_ERR_TAG_SIZE (and an empty tag) when LAME
    // returned more bytes than it announced.
    int Fetch(std::vector<unsigned char>* tag);

private:
    LamePtr m_lame;
    std::vector<unsigned char> m_genreFrame;  // a complete TCON frame, or empty
};

}  // namespace capdev
