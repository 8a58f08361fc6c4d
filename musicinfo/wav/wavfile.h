// Reader of RIFF/WAVE files: walks the chunks up to the sample data and
// describes the PCM format. It does not decode samples; the fingerprint step
// reads them through ReadData().
//
// Every size in the file is distrusted: chunk bodies that run past the end
// of the file, huge or odd sizes, a missing or short format chunk and data
// shorter than announced give either a clear failure or a description whose
// data length is what the file really holds.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>

#include "common/fileowner.h"

namespace aws {

// The description of one opened file. Numbers are as in the file
// (little-endian there); ids are NUL-terminated.
struct WavFileInfo {
    char riffId[8];            // first 4 bytes of the file
    std::uint32_t riffSize;    // RIFF chunk size
    char waveId[8];            // form type
    char formatId[8];          // first 3 characters of the format chunk id
    std::uint32_t formatSize;  // size of the format chunk
    std::uint16_t formatTag;
    std::uint16_t channels;
    std::uint32_t sampleRate;
    std::uint32_t byteRate;
    std::uint16_t blockAlign;
    std::uint16_t bitsPerSample;
    std::uint16_t extraSize;     // only with a format chunk of 18 bytes or more
    std::uint16_t subFormatTag;  // first word of the sub-format of an extensible format
    char factId[8];              // the "fact" chunk, when present
    std::uint32_t factSize;
    char dataId[8];              // the "data" chunk
    std::uint32_t dataSize;      // as announced
    std::uint64_t fileSize;      // RIFF size + 8
    std::uint64_t dataOffset;    // file position of the first sample byte
    std::uint64_t dataLength;    // sample bytes the file really holds: the
                                 // announced size, cut at the end of the file
};

class WavFile {
public:
    static constexpr std::uint16_t kFormatPcm = 1;
    static constexpr std::uint16_t kFormatExtensible = 0xFFFE;

    // Opens a file by its UTF-8 name ("rb") and walks its chunks up to the
    // "data" chunk. Returns nullptr when the name is NULL, the file cannot be
    // opened, it is not RIFF/WAVE or has no "data" chunk. Diagnostic lines
    // ("error wav file\n", "unhandled chunk: ...") are appended to `messages`
    // when it is given. The file is positioned after the data header.
    static std::unique_ptr<WavFile> Open(const char* name, std::string* messages = nullptr);

    // The same on a stream opened by the caller, positioned at its start;
    // the WavFile owns the stream from then on, also on failure.
    static std::unique_ptr<WavFile> FromStream(std::FILE* stream, std::string* messages = nullptr);

    const WavFileInfo& Info() const { return m_info; }

    // True for integer PCM (plain or extensible) with channels, sample rate
    // and bits of 8, 16, 24 or 32, and a block alignment that matches them.
    bool IsUsablePcm() const;

    // Moves to the first sample byte. False on a seek error.
    bool SeekToData();

    // Reads up to `size` sample bytes from the current position, never past
    // the end of the data. Returns the bytes read; 0 at the end or on error.
    std::size_t ReadData(void* buffer, std::size_t size);

private:
    using FilePtr = common::UniqueFile;

    explicit WavFile(FilePtr file);
    bool Walk(std::string* messages);

    FilePtr m_file;
    WavFileInfo m_info{};
    std::uint64_t m_position = 0;  // file position while reading data
};

}  // namespace aws
