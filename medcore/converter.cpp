#include "converter.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "medcore.h"
#include "mediadecoder.h"

namespace medcore {
namespace {

static_assert(__BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__,
              "WAV samples are written as they lie in memory");

constexpr size_t kHeaderBytes = 44;
// The RIFF size field (data + 36) must stay below 4 GiB.
constexpr uint64_t kMaxDataBytes = 0xFFFFFFFFull - 36;

void PutLe16(unsigned char* p, uint32_t v) {
    p[0] = static_cast<unsigned char>(v);
    p[1] = static_cast<unsigned char>(v >> 8);
}
void PutLe32(unsigned char* p, uint32_t v) {
    PutLe16(p, v & 0xFFFF);
    PutLe16(p + 2, v >> 16);
}

// The canonical 44-byte header of a PCM WAV file.
void MakeHeader(unsigned char* h, int rate, int channels, uint32_t dataBytes) {
    const auto blockAlign = static_cast<uint32_t>(channels * 2);
    std::copy_n("RIFF", 4, h);
    PutLe32(h + 4, dataBytes + 36);
    std::copy_n("WAVEfmt ", 8, h + 8);
    PutLe32(h + 16, 16);
    PutLe16(h + 20, 1);  // integer PCM
    PutLe16(h + 22, static_cast<uint32_t>(channels));
    PutLe32(h + 24, static_cast<uint32_t>(rate));
    PutLe32(h + 28, static_cast<uint32_t>(rate) * blockAlign);
    PutLe16(h + 32, blockAlign);
    PutLe16(h + 34, 16);
    std::copy_n("data", 4, h + 36);
    PutLe32(h + 40, dataBytes);
}

struct FileCloser {
    void operator()(std::FILE* f) const { std::fclose(f); }
};

// The file being written under a temporary name; removed unless committed.
class CPartialFile {
public:
    explicit CPartialFile(const std::string& target) : m_target(target) {}
    ~CPartialFile() {
        m_file.reset();
        if (!m_path.empty()) {
            unlink(m_path.c_str());
        }
    }
    CPartialFile(const CPartialFile&) = delete;
    CPartialFile& operator=(const CPartialFile&) = delete;

    // Creates the file under a name of its own beside the target, with the
    // permissions any new file of the user gets (the umask applies).
    bool Create() {
        static std::atomic<unsigned> serial{0};
        for (int attempt = 0; attempt < 100; ++attempt) {
            std::string path = m_target + ".part" + std::to_string(getpid()) + "-" +
                               std::to_string(serial.fetch_add(1));
            const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
            if (fd < 0) {
                if (errno == EEXIST) {
                    continue;
                }
                return false;
            }
            m_path = std::move(path);
            m_file.reset(fdopen(fd, "wb"));
            if (!m_file) {
                close(fd);
                return false;
            }
            std::setvbuf(m_file.get(), nullptr, _IOFBF, 1 << 18);
            return true;
        }
        return false;
    }
    bool Write(const void* data, size_t bytes) {
        return std::fwrite(data, 1, bytes, m_file.get()) == bytes;
    }
    bool Rewind() { return std::fseek(m_file.get(), 0, SEEK_SET) == 0; }
    // Flushes, closes and renames over the target. False when any of it fails.
    bool Commit() {
        std::FILE* f = m_file.release();
        const bool flushed = std::fflush(f) == 0 && fsync(fileno(f)) == 0;
        const bool closed = std::fclose(f) == 0;
        if (!flushed || !closed || rename(m_path.c_str(), m_target.c_str()) != 0) {
            return false;
        }
        m_path.clear();
        return true;
    }

private:
    std::string m_target;
    std::string m_path;
    std::unique_ptr<std::FILE, FileCloser> m_file;
};

}  // namespace

int ConvertToWav(const std::string& input, const std::string& output, int rate, int channels,
                 const std::atomic<bool>& stop) {
    CMediaDecoder decoder;
    if (const int err = decoder.Open(input)) {
        return err;
    }
    if (decoder.SetOutput(rate, channels) != 0) {
        return WM_ERR_ARGUMENT;
    }
    const int outRate = decoder.outputRate();
    const int outChannels = decoder.outputChannels();
    CPartialFile file(output);
    if (!file.Create()) {
        return WM_ERR_WRITE;
    }
    unsigned char header[kHeaderBytes];
    MakeHeader(header, outRate, outChannels, 0);
    if (!file.Write(header, sizeof header)) {
        return WM_ERR_WRITE;
    }
    std::vector<int16_t> pcm;
    uint64_t dataBytes = 0;
    for (;;) {
        if (stop.load(std::memory_order_relaxed)) {
            return WM_ERR_CANCELLED;
        }
        const int frames = decoder.Decode(&pcm);
        if (frames < 0) {
            return frames;
        }
        if (frames == 0) {
            break;
        }
        const size_t bytes = pcm.size() * sizeof(int16_t);
        if (dataBytes + bytes > kMaxDataBytes) {
            return WM_ERR_WRITE;
        }
        if (!file.Write(pcm.data(), bytes)) {
            return WM_ERR_WRITE;
        }
        dataBytes += bytes;
    }
    MakeHeader(header, outRate, outChannels, static_cast<uint32_t>(dataBytes));
    if (!file.Rewind() || !file.Write(header, sizeof header) || !file.Commit()) {
        return WM_ERR_WRITE;
    }
    return 0;
}

}  // namespace medcore
