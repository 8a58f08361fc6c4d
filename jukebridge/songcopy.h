#pragma once

#include <string>

#include "jukebridge.h"

namespace jukebridge {

// Copies one song into folder (an existing, writable folder) and returns a
// result of jukebridge.h. The copy is written under a hidden temporary name
// in the folder, tagged there, and then given the song's file name, or the
// first of "name (2).ext" ... "name (999).ext" that is free: an existing
// entry is never replaced. On failure nothing is left in the folder.
// *added (when not null) receives the path of the new entry.
//
// Blocks while it copies; any thread. Two calls for the same folder at the
// same time are safe (names are taken atomically).
int CopySongInto(const std::string& folder, const iTunesSongInfo& song, std::string* added);

// Puts the folder's entries on the disk. False when the folder cannot be
// opened or synced.
bool SyncFolder(const std::string& folder);

}  // namespace jukebridge
