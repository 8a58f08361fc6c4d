#pragma once

// Writes one recording file, MP3 through LAME or plain PCM WAV.

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>

#include "common/fileowner.h"

struct lame_global_struct;

namespace capdev {

// PCM layout of the audio handed to a writer.
struct PcmFormat {
    uint16_t bitsPerSample = 16;
    uint16_t channels = 2;
};

// Result codes (see also the negative LAME errors passed through).
enum WriterResult : int {
    kWriterOk = 0,
    kWriterCreateFailed = 1,   // file not created, or no open stream when writing
    kWriterEncoderFailed = 2,  // lame_init failed
    kWriterTooManyChannels = 3,
    kWriterNoBuffer = 4,
    kWriterBadType = 5,        // unknown type, or an oversized encoder tag
    kWriterWriteFailed = 6,    // the file took fewer bytes than given (disk full, size limit)
                               // or a WAV file would pass kWavDataLimit
    kWriterNoFile = -1,        // no folder (open) or nothing open (write, close)
};

// File types of open().
enum WriterType : int { kWriterMp3 = 0, kWriterWav = 1 };

// The most sample bytes one WAV file can hold: its 32-bit size fields must
// still fit. A write that would pass it fails with kWriterWriteFailed; the
// recorder rolls over to a new file before that (see bytesWritten()).
constexpr uint64_t kWavDataLimit = 0xFFFFFFFFull - 38;

// Size of the WAV header in front of the samples.
constexpr long kWavHeaderBytes = 46;

// Not thread-safe: one thread (the recorder's encoder thread) uses it.
//
// File names: "<folder>AU<yyyy>-<MM>-<dd> <hhmmss>[ temp].<ext>", with a "/"
// between folder and name unless the folder ends in "/" or "\". A file is
// never replaced: when the name is taken (a second file within the same
// second), the next free one of "<same> (2).<ext>", "<same> (3).<ext>", ...
// is created instead, e.g. "AU2024-03-07 140509 (2).mp3" and
// "AU2024-03-07 140509 temp (2).wav".
class CAudioFileWriter {
public:
    CAudioFileWriter();
    ~CAudioFileWriter();  // closes an open file
    CAudioFileWriter(const CAudioFileWriter&) = delete;
    CAudioFileWriter& operator=(const CAudioFileWriter&) = delete;

    // Opens a new file in `folder` (UTF-8; a folder that is not valid UTF-8,
    // or an empty one, is refused: 1 and -1). type 0 = MP3, 1 = WAV.
    // Closes a file that is still open first.
    // Returns 0 or a WriterResult / negative LAME error; on failure nothing
    // stays open and no half-made file is left behind.
    int open(int type, const char* folder, PcmFormat inFormat, int inRate,
             PcmFormat outFormat, int outRate, bool sampleFile, int bitRate);
    // Appends `bytes` of interleaved PCM. Returns 0 or an error (a failed
    // file write is an error, never a success).
    int write(unsigned bytes, const void* data);
    // Completes the header (WAV) or flushes and writes the information frame
    // (MP3), then closes. Returns 0 or an error; a write error met earlier in
    // this file, or while completing it, gives kWriterWriteFailed.
    int close();

    bool isOpen() const;
    // UTF-8 path of the open file, or nullptr.
    const char* name() const;
    // Data bytes (WAV) or PCM bytes (MP3) accepted since open.
    uint64_t bytesWritten() const;
    // Why the last open() failed, in words (empty after a success).
    const std::string& lastError() const { return m_lastError; }

private:
    struct LameCloser {
        void operator()(lame_global_struct* l) const;
    };

    int createFile(const std::string& folder, bool sampleFile);
    int openMp3();
    int openWav();
    int configureEncoder();
    int writeMp3(unsigned bytes, const void* data);
    int writeWav(unsigned bytes, const void* data);
    int closeMp3();
    int closeWav();
    bool writeAll(const void* data, size_t bytes);
    void settleStream();
    void discardFile();

    std::string m_name;  // path of the open file; empty when closed
    int m_type = kWriterMp3;
    common::UniqueFile m_file;
    std::unique_ptr<lame_global_struct, LameCloser> m_lame;  // MP3 only
    std::unique_ptr<unsigned char[]> m_mp3Buffer;            // from the first MP3 write
    int m_lastOutput = 0;         // bytes of the last encoder output
    int m_bitRate = 0;            // kbit/s
    PcmFormat m_inFormat;
    int m_inRate = 0;
    PcmFormat m_outFormat;
    int m_outRate = 0;
    uint64_t m_bytes = 0;         // PCM bytes accepted since open
    bool m_writeFailed = false;   // a file write fell short since open
    std::string m_lastError;
};

}  // namespace capdev
