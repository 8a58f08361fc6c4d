#pragma once

// The recorder's view of one output file, so that tests can stand in for
// the real writer (a failing disk, many files within one second).

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "writers/audiofilewriter.h"

namespace capdev {

// Same contract as CAudioFileWriter; used by the encoder thread only.
class IRecordFile {
public:
    virtual ~IRecordFile() = default;
    virtual int open(int type, const char* folder, PcmFormat format, int rate, bool sampleFile,
                     int bitRate) = 0;
    virtual int write(unsigned bytes, const void* data) = 0;
    virtual int close() = 0;
    virtual bool isOpen() const = 0;
    // UTF-8 path of the open file, or nullptr.
    virtual const char* name() const = 0;
    // PCM bytes accepted since open.
    virtual uint64_t bytesWritten() const = 0;
    // Why the last open() failed, in words (empty after a success).
    virtual std::string lastError() const = 0;
};

// Makes a fresh, closed file object. Called on the caller's thread at start.
using RecordFileFactory = std::function<std::unique_ptr<IRecordFile>()>;

// The real writer (MP3 through LAME, or WAV).
std::unique_ptr<IRecordFile> CreateWriterRecordFile();

}  // namespace capdev
