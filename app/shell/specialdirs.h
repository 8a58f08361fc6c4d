#pragma once

// Per-user special folders and folder creation. QtCore only; safe to call
// from any thread.

#include <QString>

// Kinds understood by GetSpecialDir. The numbers are fixed: callers and
// stored settings use them.
enum SpecialDirKind {
    SpecialDir_Programs = 0,         // the desktop's applications folder
    SpecialDir_Documents = 4,        // documents
    SpecialDir_Desktop = 5,          // desktop
    SpecialDir_Caches = 6,           // caches: temporary files of conversions and bug reports
    SpecialDir_ApplicationData = 7,  // application data: settings, default log and database folder
    SpecialDir_Videos = 9,           // videos
    SpecialDir_Music = 10,           // music: default output folder for recordings
    SpecialDir_Pictures = 11,        // pictures: downloaded and chosen cover images
};

// Size of the buffer that GetSpecialDir fills, terminating NUL included.
constexpr int kSpecialDirBufferSize = 512;

// Writes the user's folder of the given kind followed by "/Tavra/Tunecap"
// into buffer (kSpecialDirBufferSize bytes) as NUL-terminated UTF-8 with
// forward slashes, and returns 0. Returns 1 and leaves an empty text in the
// buffer when the kind is unknown, the folder cannot be determined or the
// path does not fit. Does not create the folder.
int GetSpecialDir(char* buffer, int kind);

// The same folder as a QString; empty when GetSpecialDir would fail.
QString SpecialDirPath(int kind);

// Creates the folder named by the UTF-8 path (at most 1023 bytes) and every
// missing parent. Returns 0 when the folder exists afterwards (also when it
// existed before), otherwise the errno value of the step that failed
// (EINVAL for a null or empty path, ENAMETOOLONG for a longer path, ENOTDIR
// when the path or a parent is a file).
int CreateDirectoryTree(const char* path);
