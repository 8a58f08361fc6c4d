#include "recognition/serviceendpoints.h"

#include "recognition/servicetext.h"

#include <cstdlib>
#include <fstream>
#include <map>

namespace aws {

const char kServiceSettingsFile[] = "musicinfo.ini";

namespace {

struct Setting {
    std::string ServiceEndpoints::*field;
    const char* key;
    const char* variable;
    const char* fallback;
};

const Setting kSettings[] = {
    {&ServiceEndpoints::acoustIdUrl, "AcoustID_Url", "TUNECAP_ACOUSTID_URL", "https://api.acoustid.org"},
    {&ServiceEndpoints::musicBrainzUrl, "MusicBrainz_Url", "TUNECAP_MUSICBRAINZ_URL",
     "https://musicbrainz.org"},
    {&ServiceEndpoints::coverArtUrl, "CoverArt_Url", "TUNECAP_COVERART_URL",
     "https://coverartarchive.org"},
    {&ServiceEndpoints::imageSearchUrl, "ImageSearch_Url", "TUNECAP_IMAGESEARCH_URL", ""},
    {&ServiceEndpoints::acoustIdKey, "AcoustID_Key", "TUNECAP_ACOUSTID_KEY", ""},
};

// The "Key=Value" lines of the settings file; missing file = none.
std::map<std::string, std::string> ReadSettingsFile(const std::string& path) {
    std::map<std::string, std::string> values;
    std::ifstream in(path);
    std::string line;
    while (std::getline(in, line)) {
        line = TrimmedText(line);
        if (line.empty() || line[0] == '#' || line[0] == ';' || line[0] == '[') continue;
        const std::size_t equals = line.find('=');
        if (equals == std::string::npos) continue;
        values[TrimmedText(line.substr(0, equals))] = TrimmedText(line.substr(equals + 1));
    }
    return values;
}

// The value in force: the variable's, else the file's, else the fallback.
std::string ValueOf(const std::map<std::string, std::string>& file, const char* key, const char* variable,
                    const char* fallback) {
    if (const char* env = std::getenv(variable)) return TrimmedText(env);
    auto it = file.find(key);
    return it != file.end() ? it->second : std::string(fallback);
}

}  // namespace

ServiceEndpoints ServiceEndpoints::Load(const std::string& dataFolder) {
    std::map<std::string, std::string> file;
    if (!dataFolder.empty()) file = ReadSettingsFile(dataFolder + kServiceSettingsFile);
    ServiceEndpoints endpoints;
    for (const Setting& setting : kSettings) {
        std::string value = ValueOf(file, setting.key, setting.variable, setting.fallback);
        if (setting.field != &ServiceEndpoints::acoustIdKey) {
            while (!value.empty() && value.back() == '/') value.pop_back();
        }
        endpoints.*(setting.field) = value;
    }
    const std::string budget = ValueOf(file, "CoverBudget_Ms", "TUNECAP_COVER_BUDGET_MS", "");
    char* end = nullptr;
    const unsigned long ms = std::strtoul(budget.c_str(), &end, 10);
    if (!budget.empty() && *end == '\0' && budget[0] != '-' && ms >= 1 && ms <= kMaxCoverBudgetMs)
        endpoints.coverBudgetMs = static_cast<std::uint32_t>(ms);
    return endpoints;
}

}  // namespace aws
