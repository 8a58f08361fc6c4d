#include "writers/audiofilewriter.h"

#include <lame/lame.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <new>
#include <stdio_ext.h>
#include <sys/stat.h>
#include <unistd.h>

#include "common/utf8.h"

namespace capdev {
namespace {

constexpr const char* kExtensions[] = {"mp3", "wav"};
constexpr size_t kMp3BufferBytes = 263552;
// Frames handed to the encoder per call, so that its output always fits the
// buffer (LAME needs 1.25 x frames + 7200 bytes at most).
constexpr unsigned kMaxFramesPerEncode = 65536;
// How many " (n)" names are tried before giving up.
constexpr int kMaxNameTries = 999;
constexpr size_t kStdioBufferBytes = 64 * 1024;

void putLe16(unsigned char* p, uint32_t v) {
    p[0] = static_cast<unsigned char>(v);
    p[1] = static_cast<unsigned char>(v >> 8);
}

void putLe32(unsigned char* p, uint32_t v) {
    putLe16(p, v);
    putLe16(p + 2, v >> 16);
}

}  // namespace

void CAudioFileWriter::LameCloser::operator()(lame_global_struct* l) const {
    if (l) lame_close(l);
}

CAudioFileWriter::CAudioFileWriter() = default;

CAudioFileWriter::~CAudioFileWriter() {
    if (isOpen()) close();
}

bool CAudioFileWriter::isOpen() const { return !m_name.empty(); }

const char* CAudioFileWriter::name() const { return m_name.empty() ? nullptr : m_name.c_str(); }

uint64_t CAudioFileWriter::bytesWritten() const { return m_bytes; }

int CAudioFileWriter::open(int type, const char* folder, PcmFormat inFormat, int inRate,
                           PcmFormat outFormat, int outRate, bool sampleFile, int bitRate) {
    if (isOpen()) close();
    m_lastError.clear();
    if (!folder || !*folder) {
        m_lastError = "no output folder";
        return kWriterNoFile;
    }
    if (type != kWriterMp3 && type != kWriterWav) {
        m_lastError = "unknown file type";
        return kWriterBadType;
    }
    if (!common::IsValidUtf8(folder)) {
        m_lastError = "the folder name is not valid UTF-8";
        return kWriterCreateFailed;
    }
    m_type = type;
    m_inFormat = inFormat;
    m_inRate = inRate;
    m_outFormat = outFormat;
    m_outRate = outRate;
    m_bitRate = bitRate;
    m_bytes = 0;
    m_lastOutput = 0;
    m_writeFailed = false;

    int res = createFile(folder, sampleFile);
    if (res == kWriterOk) res = type == kWriterMp3 ? openMp3() : openWav();
    if (res != kWriterOk) {
        discardFile();
        m_name.clear();
    }
    return res;
}

// Creates the file exclusively under the first free name; sets m_name and
// m_file. A name that exists is never opened, so no file is ever replaced.
int CAudioFileWriter::createFile(const std::string& folder, bool sampleFile) {
    const time_t now = time(nullptr);
    struct tm t {};
    localtime_r(&now, &t);
    char stamp[64];
    snprintf(stamp, sizeof stamp, "AU%04d-%02d-%02d %02d%02d%02d%s", t.tm_year + 1900, t.tm_mon + 1,
             t.tm_mday, t.tm_hour, t.tm_min, t.tm_sec, sampleFile ? " temp" : "");
    const char last = folder.back();
    const std::string stem = folder + (last == '/' || last == '\\' ? "" : "/") + stamp;
    const std::string ext = std::string(".") + kExtensions[m_type];

    for (int n = 1; n <= kMaxNameTries; ++n) {
        const std::string path = n == 1 ? stem + ext : stem + " (" + std::to_string(n) + ")" + ext;
        const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
        if (fd < 0) {
            if (errno == EEXIST) continue;
            m_lastError = "cannot create " + path + ": " + strerror(errno);
            return kWriterCreateFailed;
        }
        FILE* f = fdopen(fd, "w+b");
        if (!f) {
            ::close(fd);
            unlink(path.c_str());
            m_lastError = "cannot open a stream on " + path;
            return kWriterCreateFailed;
        }
        setvbuf(f, nullptr, _IOFBF, kStdioBufferBytes);
        m_file.reset(f);
        m_name = path;
        return kWriterOk;
    }
    m_lastError = "no free file name for " + stem + ext;
    return kWriterCreateFailed;
}

// Closes and deletes a half-made file after a failed open.
void CAudioFileWriter::discardFile() {
    m_lame.reset();
    if (m_file) {
        m_file.reset();
        unlink(m_name.c_str());
    }
}

// stdio already retries short writes of the system; fwrite gives a short
// count only on an error (disk full, size limit), which is final.
bool CAudioFileWriter::writeAll(const void* data, size_t bytes) {
    if (bytes == 0) return true;
    if (fwrite(data, 1, bytes, m_file.get()) != bytes) {
        m_writeFailed = true;
        return false;
    }
    return true;
}

int CAudioFileWriter::openMp3() {
    if (m_bitRate <= 0) m_bitRate = 320;
    m_lame.reset(lame_init());
    if (!m_lame) {
        m_lastError = "lame_init failed";
        return kWriterEncoderFailed;
    }
    const int res = configureEncoder();
    if (res != kWriterOk) return res;

    // The encoder's own ID3v2 tag, if it makes one, goes first; the song's
    // tags are written over it later.
    const size_t tagBytes = lame_get_id3v2_tag(m_lame.get(), nullptr, 0);
    if (tagBytes > 0) {
        std::unique_ptr<unsigned char[]> tag(new (std::nothrow) unsigned char[tagBytes]);
        if (!tag) return kWriterNoBuffer;
        const size_t got = lame_get_id3v2_tag(m_lame.get(), tag.get(), tagBytes);
        if (got > tagBytes) {
            m_lastError = "the encoder's tag is larger than announced";
            return kWriterBadType;
        }
        if (!writeAll(tag.get(), got)) {
            m_lastError = "cannot write the tag";
            return kWriterCreateFailed;
        }
    }
    return kWriterOk;
}

// Constant bit rate at the requested rate and channel count, no resampling,
// a LAME/Xing information frame at the start, and no tags written by the
// encoder on its own (they are fetched and written here, or added later).
int CAudioFileWriter::configureEncoder() {
    lame_t l = m_lame.get();
    if (m_inFormat.channels > 2) {
        m_lastError = "more than two channels";
        return kWriterTooManyChannels;
    }
    lame_set_num_channels(l, m_inFormat.channels);
    lame_set_out_samplerate(l, m_outRate);
    lame_set_in_samplerate(l, m_inRate);
    lame_set_VBR(l, vbr_off);
    lame_set_bWriteVbrTag(l, 1);
    lame_set_brate(l, m_bitRate);
    lame_set_quality(l, 5);
    id3tag_init(l);
    id3tag_v2_only(l);
    lame_set_write_id3tag_automatic(l, 0);
    const int res = lame_init_params(l);
    if (res < 0) {
        m_lastError = "lame_init_params failed: " + std::to_string(res);
        return res;
    }
    return kWriterOk;
}

int CAudioFileWriter::openWav() {
    const uint16_t channels = m_outFormat.channels;
    const uint16_t bits = m_outFormat.bitsPerSample;
    const uint16_t blockAlign = static_cast<uint16_t>(bits * channels / 8);
    unsigned char h[kWavHeaderBytes] = {};
    memcpy(h, "RIFF", 4);
    putLe32(h + 4, 18);
    memcpy(h + 8, "WAVE", 4);
    memcpy(h + 12, "fmt ", 4);
    putLe32(h + 16, 18);
    putLe16(h + 20, 1);
    putLe16(h + 22, channels);
    putLe32(h + 24, static_cast<uint32_t>(m_outRate));
    putLe32(h + 28, static_cast<uint32_t>(m_outRate) * blockAlign);
    putLe16(h + 32, blockAlign);
    putLe16(h + 34, bits);
    putLe16(h + 36, 0);
    memcpy(h + 38, "data", 4);
    putLe32(h + 42, 0);
    if (!writeAll(h, sizeof h)) {
        m_lastError = "cannot write the WAV header";
        return kWriterCreateFailed;
    }
    return kWriterOk;
}

int CAudioFileWriter::write(unsigned bytes, const void* data) {
    if (!isOpen()) return kWriterNoFile;
    if (!m_file) return kWriterCreateFailed;
    return m_type == kWriterMp3 ? writeMp3(bytes, data) : writeWav(bytes, data);
}

int CAudioFileWriter::writeMp3(unsigned bytes, const void* data) {
    if (!m_mp3Buffer) {
        m_mp3Buffer.reset(new (std::nothrow) unsigned char[kMp3BufferBytes]);
        if (!m_mp3Buffer) return kWriterNoBuffer;
    }
    const unsigned frameBytes = m_outFormat.channels * m_outFormat.bitsPerSample / 8u;
    if (frameBytes == 0) return kWriterBadType;
    unsigned frames = bytes / frameBytes;
    // LAME reads the samples as shorts; copy an unaligned block first.
    auto* pcm = static_cast<short*>(const_cast<void*>(data));
    std::unique_ptr<short[]> aligned;
    if (reinterpret_cast<uintptr_t>(data) % alignof(short) != 0 && frames > 0) {
        aligned.reset(new short[frames * frameBytes / sizeof(short)]);
        memcpy(aligned.get(), data, static_cast<size_t>(frames) * frameBytes);
        pcm = aligned.get();
    }
    while (frames > 0) {
        const unsigned n = std::min(frames, kMaxFramesPerEncode);
        const int out = lame_encode_buffer_interleaved(m_lame.get(), pcm, static_cast<int>(n),
                                                       m_mp3Buffer.get(), kMp3BufferBytes);
        if (out < 0) return out;
        m_lastOutput = out;
        if (!writeAll(m_mp3Buffer.get(), static_cast<size_t>(out))) return kWriterWriteFailed;
        pcm += n * frameBytes / sizeof(short);
        frames -= n;
    }
    m_bytes += bytes;
    return kWriterOk;
}

int CAudioFileWriter::writeWav(unsigned bytes, const void* data) {
    if (m_bytes + bytes > kWavDataLimit) return kWriterWriteFailed;
    if (!writeAll(data, bytes)) return kWriterWriteFailed;
    m_bytes += bytes;
    return kWriterOk;
}

int CAudioFileWriter::close() {
    if (!isOpen()) return kWriterNoFile;
    const int res = m_type == kWriterMp3 ? closeMp3() : closeWav();
    m_name.clear();
    return res;
}

int CAudioFileWriter::closeMp3() {
    if (m_mp3Buffer) {
        const int out = lame_encode_flush(m_lame.get(), m_mp3Buffer.get(), kMp3BufferBytes);
        if (out > 0) writeAll(m_mp3Buffer.get(), static_cast<size_t>(out));
        m_mp3Buffer.reset();
    }
    // Rewrites the information frame at the start with the final counts; it
    // reads the file back, hence read+write mode. A file that never got
    // audio has no frame to rewrite.
    settleStream();
    if (m_bytes > 0) lame_mp3_tags_fid(m_lame.get(), m_file.get());
    if (fclose(m_file.release()) != 0) m_writeFailed = true;
    const int res = lame_close(m_lame.release());
    return m_writeFailed ? kWriterWriteFailed : res;
}

// Flushes the stream. When the file takes no more (disk full), the bytes
// stdio still holds are dropped so that the header can still be completed.
void CAudioFileWriter::settleStream() {
    if (fflush(m_file.get()) != 0) {
        m_writeFailed = true;
        __fpurge(m_file.get());
        clearerr(m_file.get());
    }
}

// Fills in the two sizes of the header. They describe the samples that are
// really in the file, so that a file cut short by a full disk still plays.
int CAudioFileWriter::closeWav() {
    settleStream();
    const int fd = fileno(m_file.get());
    uint64_t data = m_bytes;
    struct stat st {};
    if (m_writeFailed && fstat(fd, &st) == 0) {
        const uint64_t size = static_cast<uint64_t>(st.st_size);
        const uint64_t onDisk = size > kWavHeaderBytes ? size - kWavHeaderBytes : 0;
        const unsigned align = std::max(1u, m_outFormat.channels * m_outFormat.bitsPerSample / 8u);
        data = std::min(kWavDataLimit, onDisk - onDisk % align);
    }
    unsigned char riff[4], count[4];
    putLe32(riff, static_cast<uint32_t>(data + 38));
    putLe32(count, static_cast<uint32_t>(data));
    bool ok = pwrite(fd, riff, 4, 4) == 4 && pwrite(fd, count, 4, 42) == 4;
    if (fclose(m_file.release()) != 0) ok = false;
    return ok && !m_writeFailed ? kWriterOk : kWriterWriteFailed;
}

}  // namespace capdev
