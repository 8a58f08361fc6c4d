// Feeds arbitrary bytes to the WAV reader as a file in memory, then reads all
// of the sample data it announces, checking that it never reads outside the
// file or the data chunk.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "wav/wavfile.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;  // fmemopen refuses empty buffers
    std::FILE* stream = fmemopen(const_cast<std::uint8_t*>(data), size, "rb");
    if (stream == nullptr) return 0;
    std::string messages;
    std::unique_ptr<aws::WavFile> wav = aws::WavFile::FromStream(stream, &messages);
    if (!wav) return 0;

    const aws::WavFileInfo& info = wav->Info();
    if (info.dataOffset > size || info.dataLength > size - info.dataOffset) std::abort();
    (void)wav->IsUsablePcm();
    if (!wav->SeekToData()) return 0;
    char buffer[4096];
    std::uint64_t total = 0;
    for (std::size_t got; (got = wav->ReadData(buffer, sizeof buffer)) > 0;) total += got;
    if (total != info.dataLength) std::abort();
    return 0;
}
