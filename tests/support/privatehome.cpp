#include "privatehome.h"

#include <cstdlib>
#include <filesystem>
#include <stdexcept>
#include <sys/stat.h>
#include <vector>

namespace testsupport {

std::string makeTempDir(const char* prefix) {
    const char* base = std::getenv("TMPDIR");
    std::string pattern = std::string(base && *base ? base : "/tmp") + "/" + prefix + "-XXXXXX";
    std::vector<char> buf(pattern.begin(), pattern.end());
    buf.push_back('\0');
    if (!mkdtemp(buf.data())) throw std::runtime_error("mkdtemp failed for " + pattern);
    return std::string(buf.data());
}

void KeepOutsideOnLoopback() {
    // Nothing may switch the machine off (tests that check the command set
    // their own).
    setenv("TUNECAP_POWEROFF_COMMAND", "false", 0);
    for (const char* name : {"TUNECAP_ACOUSTID_URL", "TUNECAP_MUSICBRAINZ_URL", "TUNECAP_COVERART_URL",
                             "TUNECAP_IMAGESEARCH_URL", "TUNECAP_PROBE_HOSTS"})
        setenv(name, "http://127.0.0.1:9", 0);
    setenv("TUNECAP_UPDATE_URL", "http://127.0.0.1:9/update.json", 0);
    setenv("TUNECAP_MAIL_COMMAND", "true", 0);
}

void removeTree(const std::string& path) {
    std::error_code ec;
    std::filesystem::remove_all(path, ec);
}

PrivateHome::PrivateHome() : m_root(makeTempDir("tunecap-home")) {
    const std::string runtime = m_root + "/runtime";
    std::filesystem::create_directories(runtime);
    chmod(runtime.c_str(), 0700);
    set("HOME", m_root);
    set("XDG_CONFIG_HOME", m_root + "/.config");
    set("XDG_DATA_HOME", m_root + "/.local/share");
    set("XDG_CACHE_HOME", m_root + "/.cache");
    set("XDG_STATE_HOME", m_root + "/.local/state");
    set("XDG_RUNTIME_DIR", runtime);
}

void PrivateHome::set(const char* name, const std::string& value) {
    const char* old = std::getenv(name);
    m_saved[m_savedCount++] = Saved{name, old ? old : "", old != nullptr};
    setenv(name, value.c_str(), 1);
}

PrivateHome::~PrivateHome() {
    for (int i = m_savedCount - 1; i >= 0; --i) {
        if (m_saved[i].present)
            setenv(m_saved[i].name.c_str(), m_saved[i].value.c_str(), 1);
        else
            unsetenv(m_saved[i].name.c_str());
    }
    removeTree(m_root);
}

}  // namespace testsupport
