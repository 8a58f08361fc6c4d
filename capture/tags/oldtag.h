#pragma once

// Finds where the audio of an MP3 file starts, past any ID3v2 tag at its
// head.

#include <cstddef>
#include <cstdint>
#include <functional>

namespace capdev {

// Reads up to `bytes` bytes at `offset` into `buffer`. Returns the number
// read (fewer at the end of the file) or -1 on a read error.
using ReadAtFn = std::function<long(uint64_t offset, void* buffer, std::size_t bytes)>;

// Tags stacked one after another at the head of a file that are skipped.
constexpr int kMaxStackedTags = 16;

// Skips the ID3v2 tags at the head of a file of `fileSize` bytes: each is a
// 10-byte header "ID3", version, flags and a size in four 7-bit groups, the
// body, and a 10-byte footer when a version 4 tag says so. Stores the offset
// of the first audio byte in *audioStart (0 without a tag).
// Returns 0; MUSICTAGS_ERR_BAD_SOURCE when a header is cut short, its size
// bytes are not 7-bit, the tag runs past the end of the file, or no audio
// follows; MUSICTAGS_ERR_IO when reading fails.
int LocateAudio(const ReadAtFn& readAt, uint64_t fileSize, uint64_t* audioStart);

}  // namespace capdev
