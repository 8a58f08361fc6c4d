#include "wav/wavfile.h"

#include <sys/types.h>

#include <algorithm>
#include <cctype>
#include <cstring>

namespace aws {

namespace {

constexpr std::size_t kMaxFormatBody = 256;

std::uint16_t Le16(const unsigned char* p) {
    return static_cast<std::uint16_t>(p[0] | (p[1] << 8));
}

std::uint32_t Le32(const unsigned char* p) {
    return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
           (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}

// The 4-byte id as text, upper-cased for comparisons.
void UpperId(const unsigned char* id, char out[5]) {
    for (int i = 0; i < 4; ++i) {
        out[i] = static_cast<char>(std::toupper(id[i]));
    }
    out[4] = '\0';
}

// Four printable ASCII characters, as every RIFF chunk id is.
bool PlausibleId(const unsigned char* id) {
    for (int i = 0; i < 4; ++i) {
        if (id[i] < 0x20 || id[i] > 0x7E) return false;
    }
    return true;
}

void Append(std::string* messages, const std::string& line) {
    if (messages != nullptr) messages->append(line);
}

bool ReadAt(std::FILE* f, std::uint64_t position, unsigned char* buffer, std::size_t size) {
    if (position > static_cast<std::uint64_t>(INT64_MAX)) return false;
    if (fseeko(f, static_cast<off_t>(position), SEEK_SET) != 0) return false;
    return std::fread(buffer, 1, size, f) == size;
}

}  // namespace

WavFile::WavFile(FilePtr file) : m_file(std::move(file)) {}

std::unique_ptr<WavFile> WavFile::Open(const char* name, std::string* messages) {
    if (name == nullptr) {
        Append(messages, "file_name is NULL\n");
        return nullptr;
    }
    std::FILE* f = std::fopen(name, "rb");
    if (f == nullptr) {
        Append(messages, std::string("fopen ") + name + " failedly\n");
        return nullptr;
    }
    return FromStream(f, messages);
}

std::unique_ptr<WavFile> WavFile::FromStream(std::FILE* stream, std::string* messages) {
    if (stream == nullptr) {
        Append(messages, "error wav file\n");
        return nullptr;
    }
    std::unique_ptr<WavFile> wav(new WavFile(FilePtr(stream)));
    if (!wav->Walk(messages)) {
        Append(messages, "error wav file\n");
        return nullptr;
    }
    return wav;
}

bool WavFile::Walk(std::string* messages) {
    std::FILE* f = m_file.get();
    unsigned char head[12];
    if (!ReadAt(f, 0, head, sizeof head)) return false;
    std::memcpy(m_info.riffId, head, 4);
    std::memcpy(m_info.waveId, head + 8, 4);
    char waveUpper[5];
    UpperId(head + 8, waveUpper);
    if (std::memcmp(head, "RIFF", 4) != 0 || std::strcmp(waveUpper, "WAVE") != 0) return false;
    m_info.riffSize = Le32(head + 4);
    m_info.fileSize = static_cast<std::uint64_t>(m_info.riffSize) + 8;

    // The real end of the file bounds the data length.
    if (fseeko(f, 0, SEEK_END) != 0) return false;
    const off_t end = ftello(f);
    if (end < 0) return false;
    const auto realSize = static_cast<std::uint64_t>(end);

    std::uint64_t position = 12;
    bool previousOdd = false;
    for (;;) {
        unsigned char header[8];
        if (!ReadAt(f, position, header, sizeof header)) return false;
        // A writer that follows RIFF pads an odd-sized body with one byte;
        // one that does not starts the next header at once. Take the padded
        // position only when the unpadded one holds no chunk id.
        if (previousOdd && !PlausibleId(header)) {
            unsigned char padded[8];
            if (ReadAt(f, position + 1, padded, sizeof padded) && PlausibleId(padded)) {
                position += 1;
                std::memcpy(header, padded, sizeof header);
            }
        }
        const std::uint32_t size = Le32(header + 4);
        char idUpper[5];
        UpperId(header, idUpper);
        const std::uint64_t body = position + 8;

        if (std::strncmp(idUpper, "FMT", 3) == 0) {
            std::memcpy(m_info.formatId, header, 3);
            m_info.formatSize = size;
            unsigned char fmt[kMaxFormatBody] = {};
            const std::size_t want = std::min<std::size_t>(size, kMaxFormatBody);
            if (fseeko(f, static_cast<off_t>(body), SEEK_SET) != 0) return false;
            const std::size_t got = std::fread(fmt, 1, want, f);
            // Fields the body does not hold stay 0.
            if (got >= 2) m_info.formatTag = Le16(fmt);
            if (got >= 4) m_info.channels = Le16(fmt + 2);
            if (got >= 8) m_info.sampleRate = Le32(fmt + 4);
            if (got >= 12) m_info.byteRate = Le32(fmt + 8);
            if (got >= 14) m_info.blockAlign = Le16(fmt + 12);
            if (got >= 16) m_info.bitsPerSample = Le16(fmt + 14);
            if (got >= 18 && size >= 18) m_info.extraSize = Le16(fmt + 16);
            if (got >= 26 && m_info.formatTag == kFormatExtensible) {
                m_info.subFormatTag = Le16(fmt + 24);
            }
        } else if (std::strcmp(idUpper, "FACT") == 0) {
            std::memcpy(m_info.factId, header, 4);
            m_info.factSize = size;
        } else if (std::strcmp(idUpper, "DATA") == 0) {
            std::memcpy(m_info.dataId, header, 4);
            m_info.dataSize = size;
            m_info.dataOffset = body;
            const std::uint64_t available = realSize > body ? realSize - body : 0;
            m_info.dataLength = std::min<std::uint64_t>(size, available);
            m_position = body;
            return fseeko(f, static_cast<off_t>(body), SEEK_SET) == 0;
        } else {
            char printable[5];
            for (int i = 0; i < 4; ++i) {
                printable[i] = PlausibleId(header) ? static_cast<char>(header[i]) : '?';
            }
            printable[4] = '\0';
            Append(messages, std::string("unhandled chunk: ") + printable +
                                 ", size: " + std::to_string(static_cast<int>(size)) + "\n");
        }
        position = body + size;
        previousOdd = (size & 1u) != 0;
        if (position >= realSize) return false;  // no room for another header
    }
}

bool WavFile::IsUsablePcm() const {
    const WavFileInfo& i = m_info;
    const bool pcm = i.formatTag == kFormatPcm ||
                     (i.formatTag == kFormatExtensible && i.subFormatTag == kFormatPcm);
    const bool bitsOk = i.bitsPerSample == 8 || i.bitsPerSample == 16 ||
                        i.bitsPerSample == 24 || i.bitsPerSample == 32;
    return pcm && bitsOk && i.channels > 0 && i.sampleRate > 0 &&
           i.blockAlign == static_cast<std::uint32_t>(i.channels) * (i.bitsPerSample / 8);
}

bool WavFile::SeekToData() {
    if (fseeko(m_file.get(), static_cast<off_t>(m_info.dataOffset), SEEK_SET) != 0) return false;
    m_position = m_info.dataOffset;
    return true;
}

std::size_t WavFile::ReadData(void* buffer, std::size_t size) {
    const std::uint64_t dataEnd = m_info.dataOffset + m_info.dataLength;
    if (m_position < m_info.dataOffset || m_position >= dataEnd) return 0;
    const std::size_t want = static_cast<std::size_t>(std::min<std::uint64_t>(size, dataEnd - m_position));
    const std::size_t got = std::fread(buffer, 1, want, m_file.get());
    m_position += got;
    return got;
}

}  // namespace aws
