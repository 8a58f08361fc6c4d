#include "id3tagbuilder.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <cstdio>
#include <cstring>
#include <new>

#include "capdev_tags.h"
#include "common/regularfile.h"
#include "tagtext.h"

namespace capdev {

namespace {

// A harmless encoder set-up: the tag does not depend on it.
constexpr int kChannels = 2;
constexpr int kSampleRate = 44100;
constexpr int kBitRate = 192;

constexpr std::size_t kTagHeaderBytes = 10;
constexpr unsigned char kEncodingUtf16 = 1;

// An ID3v2.3 text frame: header (identifier, 32-bit size, no flags), the
// encoding byte and the units, little-endian after their byte-order mark.
std::vector<unsigned char> TextFrame(const char* frameId, const TagText& text) {
    const std::size_t units = TagTextLength(text);
    const auto size = static_cast<uint32_t>(1 + 2 * units);
    std::vector<unsigned char> frame(frameId, frameId + 4);
    for (int shift = 24; shift >= 0; shift -= 8) {
        frame.push_back(static_cast<unsigned char>(size >> shift));
    }
    frame.insert(frame.end(), {0, 0, kEncodingUtf16});
    for (std::size_t i = 0; i < units; ++i) {
        frame.push_back(static_cast<unsigned char>(text[i] & 0xFF));
        frame.push_back(static_cast<unsigned char>(text[i] >> 8));
    }
    return frame;
}

// Appends `frame` to a complete tag (or makes a tag of it) and updates the
// header's size.
void AppendFrame(std::vector<unsigned char>* tag, const std::vector<unsigned char>& frame) {
    if (tag->size() < kTagHeaderBytes) {
        *tag = {'I', 'D', '3', 3, 0, 0, 0, 0, 0, 0};
    }
    tag->insert(tag->end(), frame.begin(), frame.end());
    const std::size_t body = tag->size() - kTagHeaderBytes;
    for (int i = 0; i < 4; ++i) {
        (*tag)[9 - static_cast<std::size_t>(i)] = static_cast<unsigned char>((body >> (7 * i)) & 0x7F);
    }
}

}  // namespace

int CId3TagBuilder::Init() {
    m_lame.reset(lame_init());
    if (!m_lame) {
        return MUSICTAGS_ERR_ENCODER;
    }
    lame_global_flags* gfp = m_lame.get();
    lame_set_num_channels(gfp, kChannels);
    lame_set_in_samplerate(gfp, kSampleRate);
    lame_set_out_samplerate(gfp, kSampleRate);
    lame_set_brate(gfp, kBitRate);
    lame_set_write_id3tag_automatic(gfp, 0);
    id3tag_init(gfp);
    id3tag_v2_only(gfp);
    id3tag_set_pad(gfp, 0);
    return lame_init_params(gfp);
}

int CId3TagBuilder::SetText(const char* frameId, const char* utf8) {
    const TagText text = Utf8ToTagText(utf8);
    if (std::strcmp(frameId, "TCON") == 0) {
        m_genreFrame = TextFrame(frameId, text);
        return 0;
    }
    return id3tag_set_textinfo_utf16(m_lame.get(), frameId, text.data());
}

int CId3TagBuilder::SetPicture(const char* path) {
    // Only a regular file is a picture: a FIFO or a device cannot hold the
    // call.
    struct stat st {};
    common::UniqueFd fd = common::OpenRegularFile(path, &st);
    if (!fd.valid()) {
        return kPictureOpenFailed;
    }
    if (st.st_size <= 0 || st.st_size > static_cast<off_t>(kPictureMaxBytes)) {
        return kPictureRefused;
    }
    common::UniqueFile file(::fdopen(fd.get(), "rb"));
    if (!file) {
        return kPictureOpenFailed;
    }
    fd.release();  // the stream owns it now
    const auto wanted = static_cast<std::size_t>(st.st_size);
    std::unique_ptr<char[]> bytes(new (std::nothrow) char[wanted]);
    if (!bytes) {
        return kPictureNoMemory;
    }
    if (std::fread(bytes.get(), 1, wanted, file.get()) != wanted) {
        return kPictureShortRead;
    }
    return id3tag_set_albumart(m_lame.get(), bytes.get(), wanted) != 0 ? kPictureRefused
                                                                          : kPictureOk;
}

int CId3TagBuilder::Fetch(std::vector<unsigned char>* tag) {
    tag->clear();
    const std::size_t announced = lame_get_id3v2_tag(m_lame.get(), nullptr, 0);
    if (announced == 0) {
        return 0;
    }
    tag->assign(announced, 0);
    const std::size_t got = lame_get_id3v2_tag(m_lame.get(), tag->data(), tag->size());
    if (got > announced) {
        tag->clear();
        return MUSICTAGS_ERR_TAG_SIZE;
    }
    tag->resize(got);
    if (!m_genreFrame.empty()) {
        AppendFrame(tag, m_genreFrame);
    }
    return 0;
}

}  // namespace capdev
