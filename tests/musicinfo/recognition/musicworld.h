// What the recognition tests run against: songs synthesised with sox (kept
// in the build folder and shared by every test program), cover images made
// by ffmpeg, and the loopback stand-ins of the music services
// (tests/support/musicservices.py) with a catalogue made of those songs.
#pragma once

#include <json/json.h>

#include <string>
#include <vector>

#include "loopbackservers.h"

namespace musictest {

// The shared test songs; each built once per build folder, on first use.
struct Songs {
    std::string songA;        // 130 s, 44.1 kHz stereo, the catalogue's "Second Wave"
    std::string songB;        // 130 s, another melody: "First Light"
    std::string songAMp3;     // songA through a 128 kbit/s MP3 and back to WAV
    std::string sampleA;      // the first 20 s of songAMp3
    std::string stranger;     // 130 s: songA's first 30 s, then a melody of its own
    std::string cover250Jpeg; // 250x250 JPEG
    std::string cover500Png;  // 500x500 PNG
    std::string cover1200Jpeg;
};

// The songs, made if missing. Fails the calling test (and answers empty
// paths) when sox, lame or ffmpeg fail.
const Songs& TestSongs();

// Identifiers of the catalogue.
extern const char kReleaseId[];
extern const char kReleaseGroupId[];
extern const char kRecordingA[];
extern const char kRecordingB[];
extern const char kAcoustIdKey[];

// The catalogue of the stand-ins: recordings A and B on one release with
// its genres, covers of every size, and nothing else.
Json::Value StandardWorld(const Songs& songs);

// The stand-ins of AcoustID, MusicBrainz, the Cover Art Archive and an image
// search, on one loopback port.
class MusicServices {
public:
    // On `port`, or a free one when 0.
    explicit MusicServices(const Json::Value& world, int port = 0);
    ~MusicServices();
    bool ok() const { return m_port > 0; }
    std::string Base() const { return "http://127.0.0.1:" + std::to_string(m_port); }

    // Every request so far: service ("acoustid", "mb", "caa", "archive",
    // "files", "images"), path, query, time in seconds, User-Agent, Via.
    struct Request {
        std::string service;
        std::string path;
        std::string query;
        double time = 0;
        std::string agent;
        std::string via;  // the Via header a proxy adds
    };
    std::vector<Request> Log() const;
    std::vector<Request> Log(const std::string& service) const;

    // Points the service addresses, the client key and the probe hosts of
    // the library at the stand-ins (the image search at /images unless
    // builtInSearch).
    void Export(bool builtInSearch) const;

private:
    nettest::ChildProcess m_process;
    std::string m_worldFile;
    int m_port = 0;
};

// The value of one parameter of a query text, decoded; empty when missing.
std::string QueryValue(const std::string& query, const std::string& name);

// A 44-byte-header WAV with the given format fields and `dataBytes` of silence.
bool WriteWavHeaderFile(const std::string& path, int channels, int rate, int bits, int dataBytes);

std::string ReadWhole(const std::string& path);

}  // namespace musictest
