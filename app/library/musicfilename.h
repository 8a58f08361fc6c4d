#pragma once

// Naming a recording's file after its song. QtCore only.

#include <QString>

// The song name made safe as a file name: a leading "." becomes "_", and
// each of * / \ : ? " < > | becomes "_".
QString SafeMusicFileName(const QString& name);

// Renames the recording at path after the song name, in its folder and with
// its extension, and returns the path the record should keep: the new path
// once the file has it; path itself when the name is blank, already the
// file's base name, or the rename failed (the old file missing, say). The
// new name never collides with a ".m4a", ".mp3" or ".wav" file of the
// folder: " 1", " 2", ... is appended until it is free, so no other
// recording is ever replaced. Any thread; touches only the two paths.
QString SaveLoadMuiscName(const QString& name, const QString& path);
