// The worker's full result of one request, and its conversion into the
// answer record of the exported interface.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "fixedtext.h"
#include "tunecap.h"

namespace aws {

constexpr int kMaxImages = 5;

// One artwork file found for a request.
struct ImageEntry {
    int32_t reserved;          // 0
    int32_t imageIndex;        // "imgindex", -1 when empty
    char name[128];            // request identifier, "_" and the size name
    char path[512];            // local file ("Path")
    char downloadUrl[512];     // where it came from ("DownloadUrl")
    int32_t width;             // "Width", -1 when unknown
    int32_t height;            // "Height", -1 when unknown
};

// Everything a request found. Plain data; zero-filled before use.
struct SongInfoRecord {
    int32_t reserved;
    char identifier[32];       // the request identifier ("iTunes ID")
    char albumId[128];
    char songName[128];        // "MusicName"
    char artist[128];          // "Artist"
    char album[128];           // "Album"
    char releaseDate[32];      // "ReleaseDate"
    char albumGenre[128];      // "AlbumGenre"
    char albumMusicList[1024]; // "AlbumMusicList"
    int32_t imageCount;        // "Image Count", 0 to 5
    int32_t kind;              // copy of the request kind
    int32_t stepReached;       // 1 after identification, 2 after artwork
    ImageEntry images[kMaxImages];
};

// A record with every byte zero and every image entry marked empty
// (index, width and height -1).
void ClearSongInfoRecord(SongInfoRecord* record);

// The text of a fixed field that may lack its NUL: at most N bytes.
template <std::size_t N>
std::string FieldText(const char (&field)[N]) {
    std::size_t len = 0;
    while (len < N && field[len] != '\0') ++len;
    return std::string(field, len);
}

// Builds the caller's answer from a result, field by field; an image count
// outside 0..5 is clamped.
void FillRecordMusicInfo(const SongInfoRecord& from, RecordMusicInfo* to);

}  // namespace aws
