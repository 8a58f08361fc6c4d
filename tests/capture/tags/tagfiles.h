#pragma once

// Helpers of the tag tests: files, commands and the independent readers.

#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace tagtest {

using Bytes = std::vector<unsigned char>;

// A 2x2 RGB PNG, the cover picture of the tests.
extern const Bytes kPng;

Bytes ReadBytes(const std::string& path);
void WriteBytes(const std::string& path, const Bytes& bytes);
bool Exists(const std::string& path);
// Names in `folder`, dot files included.
std::vector<std::string> ListFolder(const std::string& folder);

// Runs a shell command; returns its exit status and its standard output.
int Run(const std::string& command, std::string* out);
// Quotes a path for the shell.
std::string Quote(const std::string& s);

// A 440 Hz stereo tone of the given length made by sox as "tone.wav" in
// folder and encoded by lame (128 kbit/s, no tag) as "tone.mp3". Fails the
// test when a tool fails; the files' bytes go to mp3 and wav when given.
void MakeTone(const std::string& folder, double seconds, Bytes* mp3, Bytes* wav = nullptr);

// UTF-8 to wchar_t (UTF-32), as the program hands paths to the export.
std::wstring Wide(const std::string& utf8);

// An ID3v2.3 header announcing `bodySize` bytes.
Bytes Id3Header(uint32_t bodySize, unsigned char version = 3, unsigned char flags = 0);

// The tag as mutagen reads it.
struct TagReadBack {
    bool hasTag = false;
    int version = 0;
    std::size_t size = 0;                          // header included
    std::map<std::string, std::string> text;       // frame id -> UTF-8 text
    std::map<std::string, int> encoding;           // frame id -> ID3 encoding byte
    std::string pictureMime;
    int pictureType = -1;
    Bytes picture;
};
// Reads `path` with the test folder's mutagen script; fails the test on a
// reader error.
TagReadBack ReadWithMutagen(const std::string& path);
// "key=value" format tags as ffprobe reports them (keys in lower case).
std::map<std::string, std::string> ReadWithFfprobe(const std::string& path);

}  // namespace tagtest
