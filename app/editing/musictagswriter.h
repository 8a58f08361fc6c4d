#pragma once

// Writing a song's tags into its file. QtCore only.

struct SongRecord;

// Results of WriteMusicTags besides the tag writer's own (capdev_tags.h).
enum {
    // Written.
    MusicTags_Written = 0,
    // The file is no MP3 ("mp3" does not end its name): nothing written.
    MusicTags_NotMp3 = -100,
    // The program was built without the capture engine's tag writer.
    MusicTags_NoWriter = -101,
};

// Writes the record's title, artist, album, year and genre and its shown
// cover (image path number ImageId; the first cover when ImageId is out of
// range; none without covers) into its MP3 file as an ID3v2 tag. The tag
// writer writes the new file beside the song under a name of its own and
// renames it over the song, so the song is always either the old or the new
// file, never lost, and writers of other songs in the same folder never meet
// (a second writer of the same song leaves one complete file). Returns
// MusicTags_Written, MusicTags_NotMp3, or the tag writer's result (logged as
// "SetMusicTagsInfo failed, musicId: ..."): 1, 2, 3, -3, -4, -5 left the
// file as it was; -2 and 1 to 4 of the picture wrote it with less. Any
// thread; blocks while the file is copied.
int WriteMusicTags(const SongRecord& record);
