#pragma once

// Writes one recording file, MP3 through LAME or plain PCM WAV.

#include <cstdint>

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
    kWriterNoFile = -1,        // no folder (open) or nothing open (write, close)
};

// Not thread-safe: one thread (the recorder's encoder thread) uses it.
class CAudioFileWriter {
public:
    CAudioFileWriter();
    ~CAudioFileWriter();  // closes an open file
    CAudioFileWriter(const CAudioFileWriter&) = delete;
    CAudioFileWriter& operator=(const CAudioFileWriter&) = delete;

    // Opens a new file "AU<date> <time>[ temp].<mp3|wav>" in `folder` (UTF-8).
    // type 0 = MP3, 1 = WAV. Closes a file that is still open first.
    // Returns 0 or a WriterResult / negative LAME error; on failure nothing
    // stays open and no half-made file is left behind.
    int open(int type, const char* folder, PcmFormat inFormat, int inRate,
             PcmFormat outFormat, int outRate, bool sampleFile, int bitRate);
    // Appends `bytes` of interleaved PCM. Returns 0 or an error (a failed
    // file write is an error, never a success).
    int write(unsigned bytes, const void* data);
    // Completes the header (WAV) or flushes and writes the information frame
    // (MP3), then closes. Returns 0 or an error.
    int close();

    bool isOpen() const;
    // UTF-8 path of the open file, or nullptr.
    const char* name() const;
    // Data bytes (WAV) or PCM bytes (MP3) accepted since open.
    uint64_t bytesWritten() const;
};

}  // namespace capdev
