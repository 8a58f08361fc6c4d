#include "musicworld.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "songmaker.h"

namespace musictest {

const char kReleaseId[] = "5a0a1f35-0d6e-4c8b-9a63-0a6f1c2b3d01";
const char kReleaseGroupId[] = "5a0a1f35-0d6e-4c8b-9a63-0a6f1c2b3d02";
const char kRecordingA[] = "7b1c2d3e-4f50-4a61-8b72-9c83d4e5f601";
const char kRecordingB[] = "7b1c2d3e-4f50-4a61-8b72-9c83d4e5f602";
const char kAcoustIdKey[] = "loopback-client-key";

namespace {

class FolderLock {
public:
    explicit FolderLock(const std::string& folder) : m_fd(::open((folder + "/.lock").c_str(), O_CREAT | O_RDWR, 0644)) {
        if (m_fd >= 0) ::flock(m_fd, LOCK_EX);
    }
    ~FolderLock() {
        if (m_fd >= 0) ::close(m_fd);
    }

private:
    int m_fd;
};

Songs BuildSongs() {
    const std::string folder = std::string(TUNECAP_TEST_DATA_DIR) + "/recognition";
    std::filesystem::create_directories(folder);
    FolderLock lock(folder);
    Songs s;
    s.songA = folder + "/songA.wav";
    s.songB = folder + "/songB.wav";
    s.songAMp3 = folder + "/songA-mp3.wav";
    s.sampleA = folder + "/songA-sample20.wav";
    s.stranger = folder + "/stranger.wav";
    s.cover250Jpeg = folder + "/cover250.jpg";
    s.cover500Png = folder + "/cover500.png";
    s.cover1200Jpeg = folder + "/cover1200.jpg";
    bool ok = true;
    std::string error;
    auto Make = [&](const std::string& path, const std::string& command) {
        const bool made = MakeFile(path, command, &error);
        if (!made) ADD_FAILURE() << error;
        return made;
    };
    auto song = [&](const std::string& path, unsigned seed, unsigned sharedSeed, int sharedNotes) {
        if (ok && !SynthesiseSong(path, seed, 130, 44100, 2, sharedSeed, sharedNotes, &error)) {
            ADD_FAILURE() << error;
            ok = false;
        }
    };
    song(s.songA, 101, 0, 0);
    song(s.songB, 202, 0, 0);
    song(s.stranger, 303, 101, 100);
    const std::string mp3 = folder + "/songA.mp3";
    ok = ok && Make(mp3, "lame --quiet -b 128 " + Quote(s.songA) + " @OUT@");
    ok = ok && Make(s.songAMp3, "lame --quiet --decode " + Quote(mp3) + " @OUT@");
    ok = ok && Make(s.sampleA, "sox " + Quote(s.songAMp3) + " -t wav @OUT@ trim 0 20");
    const std::string image = "ffmpeg -v error -nostdin -f lavfi -i ";
    ok = ok && Make(s.cover250Jpeg, image + "color=c=red:s=250x250 -frames:v 1 -f mjpeg @OUT@");
    ok = ok && Make(s.cover500Png, image + "color=c=blue:s=500x500 -frames:v 1 -f image2 -c:v png @OUT@");
    ok = ok && Make(s.cover1200Jpeg, image + "color=c=green:s=1200x1200 -frames:v 1 -f mjpeg @OUT@");
    return ok ? s : Songs();
}

}  // namespace

const Songs& TestSongs() {
    static const Songs songs = BuildSongs();
    return songs;
}

Json::Value StandardWorld(const Songs& songs) {
    Json::Value world(Json::objectValue);
    world["acoustid_key"] = kAcoustIdKey;
    auto recording = [](const char* id, const char* acoustId, const char* title, const std::string& wav) {
        Json::Value r(Json::objectValue);
        r["id"] = id;
        r["acoustid"] = acoustId;
        r["title"] = title;
        r["artist"] = "Test Artist";
        r["wav"] = wav;
        return r;
    };
    world["recordings"].append(recording(kRecordingA, "aaaa0000-1111-4222-8333-444455556601", "Second Wave",
                                         songs.songA));
    world["recordings"].append(recording(kRecordingB, "aaaa0000-1111-4222-8333-444455556602", "First Light",
                                         songs.songB));

    Json::Value release(Json::objectValue);
    release["id"] = kReleaseId;
    release["title"] = "Synthetic Album";
    release["date"] = "2021-06-15";
    release["status"] = "Official";
    Json::Value credit1(Json::objectValue), credit2(Json::objectValue);
    credit1["name"] = "Test Artist";
    credit1["joinphrase"] = " & ";
    credit1["artist"]["id"] = "0b0b0b0b-0000-4000-8000-00000000a001";
    credit1["artist"]["name"] = "Test Artist";
    credit2["name"] = "Second Artist";
    credit2["joinphrase"] = "";
    credit2["artist"]["id"] = "0b0b0b0b-0000-4000-8000-00000000a002";
    credit2["artist"]["name"] = "Second Artist";
    release["artist-credit"].append(credit1);
    release["artist-credit"].append(credit2);
    auto genre = [](const char* name, int count) {
        Json::Value g(Json::objectValue);
        g["name"] = name;
        g["count"] = count;
        g["disambiguation"] = "";
        return g;
    };
    release["release-group"]["id"] = kReleaseGroupId;
    release["release-group"]["title"] = "Synthetic Album";
    release["release-group"]["primary-type"] = "Album";
    release["release-group"]["genres"].append(genre("rock", 5));
    release["genres"].append(genre("alternative rock", 3));
    release["genres"].append(genre("rock", 1));
    Json::Value medium(Json::objectValue);
    medium["position"] = 1;
    medium["format"] = "Digital Media";
    auto track = [](const char* id, const char* number, int position, const char* title, const char* recordingId) {
        Json::Value t(Json::objectValue);
        t["id"] = id;
        t["number"] = number;
        t["position"] = position;
        t["title"] = title;
        t["length"] = 130000;
        t["recording"]["id"] = recordingId;
        t["recording"]["title"] = title;
        return t;
    };
    medium["tracks"].append(track("9d000000-0000-4000-8000-00000000c001", "1", 1, "First Light", kRecordingB));
    medium["tracks"].append(track("9d000000-0000-4000-8000-00000000c002", "2", 2, "Second Wave", kRecordingA));
    release["media"].append(medium);
    world["releases"].append(release);

    Json::Value covers(Json::objectValue);
    covers["250"] = songs.cover250Jpeg;
    covers["500"] = songs.cover500Png;
    covers["1200"] = songs.cover1200Jpeg;
    covers["original"] = songs.cover1200Jpeg;
    world["covers"][kReleaseId] = covers;
    world["image_search"] = Json::Value(Json::objectValue);
    return world;
}

MusicServices::MusicServices(const Json::Value& world, int port) {
    char dir[] = "/tmp/musicservices-XXXXXX";
    if (!mkdtemp(dir)) return;
    m_worldFile = std::string(dir) + "/world.json";
    {
        std::ofstream out(m_worldFile);
        out << Json::writeString(Json::StreamWriterBuilder(), world);
    }
    const char* support = std::getenv("TUNECAP_TEST_SUPPORT_DIR");
    const std::string script = std::string(support ? support : ".") + "/musicservices.py";
    if (!m_process.Start({"/usr/bin/python3", script, "--world", m_worldFile, "--port", std::to_string(port)}, true))
        return;
    const std::string line = m_process.ReadLine(60000);
    if (line.rfind("PORT ", 0) == 0) m_port = std::atoi(line.c_str() + 5);
}

MusicServices::~MusicServices() {
    m_process.Stop();
    if (!m_worldFile.empty()) {
        std::remove(m_worldFile.c_str());
        ::rmdir(std::filesystem::path(m_worldFile).parent_path().c_str());
    }
}

std::vector<MusicServices::Request> MusicServices::Log() const {
    std::vector<Request> out;
    Json::Value root;
    std::istringstream in(nettest::RawGet(Base() + "/_log"));
    std::string errors;
    if (!Json::parseFromStream(Json::CharReaderBuilder(), in, &root, &errors) || !root.isArray()) return out;
    for (const Json::Value& item : root) {
        out.push_back({item["service"].asString(), item["path"].asString(), item["query"].asString(),
                       item["t"].asDouble(), item["agent"].asString(), item["via"].asString()});
    }
    return out;
}

std::vector<MusicServices::Request> MusicServices::Log(const std::string& service) const {
    std::vector<Request> out;
    for (const Request& r : Log()) {
        if (r.service == service) out.push_back(r);
    }
    return out;
}

void MusicServices::Export(bool builtInSearch) const {
    nettest::ExportMusicServices(Base(), kAcoustIdKey, builtInSearch);
}

std::string QueryValue(const std::string& query, const std::string& name) {
    std::istringstream in(query);
    std::string pair;
    while (std::getline(in, pair, '&')) {
        const std::size_t equals = pair.find('=');
        if (pair.substr(0, equals) != name) continue;
        std::string value = equals == std::string::npos ? std::string() : pair.substr(equals + 1);
        std::string decoded;
        for (std::size_t i = 0; i < value.size(); ++i) {
            if (value[i] == '%' && i + 2 < value.size()) {
                decoded += static_cast<char>(std::strtol(value.substr(i + 1, 2).c_str(), nullptr, 16));
                i += 2;
            } else {
                decoded += value[i] == '+' ? ' ' : value[i];
            }
        }
        return decoded;
    }
    return std::string();
}

bool WriteWavHeaderFile(const std::string& path, int channels, int rate, int bits, int dataBytes) {
    auto le16 = [](std::string& s, int v) {
        s += static_cast<char>(v & 0xFF);
        s += static_cast<char>((v >> 8) & 0xFF);
    };
    auto le32 = [&](std::string& s, int v) {
        le16(s, v & 0xFFFF);
        le16(s, (v >> 16) & 0xFFFF);
    };
    const int block = channels * bits / 8;
    std::string h = "RIFF";
    le32(h, 36 + dataBytes);
    h += "WAVEfmt ";
    le32(h, 16);
    le16(h, 1);
    le16(h, channels);
    le32(h, rate);
    le32(h, rate * block);
    le16(h, block);
    le16(h, bits);
    h += "data";
    le32(h, dataBytes);
    h.append(static_cast<std::size_t>(dataBytes), '\0');
    std::ofstream out(path, std::ios::binary);
    out.write(h.data(), static_cast<std::streamsize>(h.size()));
    return static_cast<bool>(out);
}

std::string ReadWhole(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

}  // namespace musictest
