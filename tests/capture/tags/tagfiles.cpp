#include "tagfiles.h"

#include <dirent.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <cctype>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <sstream>

#include <gtest/gtest.h>

namespace tagtest {

const Bytes kPng = {0x89, 0x50, 0x4e, 0x47, 0x0d, 0x0a, 0x1a, 0x0a, 0x00, 0x00, 0x00, 0x0d, 0x49,
                    0x48, 0x44, 0x52, 0x00, 0x00, 0x00, 0x02, 0x00, 0x00, 0x00, 0x02, 0x08, 0x02,
                    0x00, 0x00, 0x00, 0xfd, 0xd4, 0x9a, 0x73, 0x00, 0x00, 0x00, 0x10, 0x49, 0x44,
                    0x41, 0x54, 0x78, 0x9c, 0x63, 0xf8, 0xcf, 0xc0, 0xc0, 0x00, 0xc2, 0x10, 0x02,
                    0x00, 0x1c, 0xf2, 0x02, 0xfe, 0x74, 0x7a, 0x0a, 0x17, 0x00, 0x00, 0x00, 0x00,
                    0x49, 0x45, 0x4e, 0x44, 0xae, 0x42, 0x60, 0x82};

Bytes ReadBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void WriteBytes(const std::string& path, const Bytes& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    ASSERT_TRUE(out.good()) << path;
}

void MakeTone(const std::string& folder, double seconds, Bytes* mp3, Bytes* wav) {
    const std::string wavPath = folder + "/tone.wav";
    const std::string mp3Path = folder + "/tone.mp3";
    std::string out;
    ASSERT_EQ(Run("sox -n -r 44100 -c 2 -b 16 " + Quote(wavPath) + " synth " +
                      std::to_string(seconds) + " sine 440 2>&1",
                  &out),
              0)
        << out;
    ASSERT_EQ(Run("lame --quiet -b 128 " + Quote(wavPath) + " " + Quote(mp3Path) + " 2>&1", &out),
              0)
        << out;
    if (mp3) *mp3 = ReadBytes(mp3Path);
    if (wav) *wav = ReadBytes(wavPath);
}

bool Exists(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0;
}

std::vector<std::string> ListFolder(const std::string& folder) {
    std::vector<std::string> names;
    if (DIR* dir = ::opendir(folder.c_str())) {
        while (dirent* e = ::readdir(dir)) {
            const std::string name = e->d_name;
            if (name != "." && name != "..") {
                names.push_back(name);
            }
        }
        ::closedir(dir);
    }
    return names;
}

int Run(const std::string& command, std::string* out) {
    FILE* pipe = ::popen(command.c_str(), "r");
    if (pipe == nullptr) {
        return -1;
    }
    std::string text;
    char buffer[4096];
    std::size_t n = 0;
    while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) {
        text.append(buffer, n);
    }
    const int status = ::pclose(pipe);
    if (out != nullptr) {
        *out = text;
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

std::string Quote(const std::string& s) {
    std::string q = "'";
    for (char c : s) {
        q += c == '\'' ? std::string("'\\''") : std::string(1, c);
    }
    return q + "'";
}

std::wstring Wide(const std::string& utf8) {
    std::wstring out;
    for (std::size_t i = 0; i < utf8.size();) {
        const auto lead = static_cast<unsigned char>(utf8[i]);
        const int trail = lead < 0x80 ? 0 : lead < 0xE0 ? 1 : lead < 0xF0 ? 2 : 3;
        uint32_t cp = trail == 0 ? lead : lead & (0x3Fu >> trail);
        for (int k = 1; k <= trail; ++k) {
            cp = (cp << 6) | (static_cast<unsigned char>(utf8[i + k]) & 0x3Fu);
        }
        out += static_cast<wchar_t>(cp);
        i += static_cast<std::size_t>(trail) + 1;
    }
    return out;
}

Bytes Id3Header(uint32_t bodySize, unsigned char version, unsigned char flags) {
    return {'I',
            'D',
            '3',
            version,
            0,
            flags,
            static_cast<unsigned char>((bodySize >> 21) & 0x7F),
            static_cast<unsigned char>((bodySize >> 14) & 0x7F),
            static_cast<unsigned char>((bodySize >> 7) & 0x7F),
            static_cast<unsigned char>(bodySize & 0x7F)};
}

namespace {

std::string Unhex(const std::string& hex) {
    std::string out;
    for (std::size_t i = 0; i + 1 < hex.size(); i += 2) {
        out += static_cast<char>(std::stoi(hex.substr(i, 2), nullptr, 16));
    }
    return out;
}

std::vector<std::string> SplitTabs(const std::string& line) {
    std::vector<std::string> fields;
    std::stringstream ss(line);
    std::string field;
    while (std::getline(ss, field, '\t')) {
        fields.push_back(field);
    }
    return fields;
}

}  // namespace

TagReadBack ReadWithMutagen(const std::string& path) {
    TagReadBack tag;
    std::string out;
    const int status = Run("/usr/bin/python3 " + Quote(std::string(TAGS_TEST_DIR) + "/readtags.py") +
                               " " + Quote(path),
                           &out);
    EXPECT_EQ(status, 0) << out;
    std::stringstream lines(out);
    std::string line;
    while (std::getline(lines, line)) {
        const auto f = SplitTabs(line);
        if (f.empty()) {
            continue;
        }
        if (f[0] == "VERSION" && f.size() == 2) {
            tag.hasTag = true;
            tag.version = std::stoi(f[1]);
        } else if (f[0] == "SIZE" && f.size() == 2) {
            tag.size = std::stoul(f[1]);
        } else if (f[0] == "TEXT" && f.size() >= 3) {
            tag.encoding[f[1]] = std::stoi(f[2]);
            tag.text[f[1]] = f.size() > 3 ? Unhex(f[3]) : std::string();
        } else if (f[0] == "APIC" && f.size() == 4) {
            tag.pictureMime = f[1];
            tag.pictureType = std::stoi(f[2]);
            const std::string data = Unhex(f[3]);
            tag.picture.assign(data.begin(), data.end());
        }
    }
    return tag;
}

std::map<std::string, std::string> ReadWithFfprobe(const std::string& path) {
    std::map<std::string, std::string> tags;
    std::string out;
    const int status = Run("ffprobe -v error -show_entries format_tags -of default=nw=1 " +
                               Quote(path),
                           &out);
    EXPECT_EQ(status, 0) << out;
    std::stringstream lines(out);
    std::string line;
    while (std::getline(lines, line)) {
        const auto eq = line.find('=');
        if (line.rfind("TAG:", 0) == 0 && eq != std::string::npos) {
            std::string key = line.substr(4, eq - 4);
            for (char& c : key) {
                c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
            }
            tags[key] = line.substr(eq + 1);
        }
    }
    return tags;
}

}  // namespace tagtest
