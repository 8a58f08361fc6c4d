// Where the recognition services live and the client key of the
// identification service: settings of the service with environment overrides.
//
// Each value comes from, in this order of precedence: its environment
// variable; the settings file "musicinfo.ini" in the application-support
// folder ("Key=Value" lines, '#' or ';' starts a comment, [sections] are
// ignored); the shipped default. Addresses are bases without a trailing
// slash (one given with it loses it).
//
//   key               variable                 default
//   AcoustID_Url      TUNECAP_ACOUSTID_URL     https://api.acoustid.org     (lookup at /v2/lookup)
//   MusicBrainz_Url   TUNECAP_MUSICBRAINZ_URL  https://musicbrainz.org      (/ws/2/ below it)
//   CoverArt_Url      TUNECAP_COVERART_URL     https://coverartarchive.org  (/release/... below it)
//   ImageSearch_Url   TUNECAP_IMAGESEARCH_URL  none: the built-in search over MusicBrainz and the
//                                              Cover Art Archive; else the whole search address
//                                              with its query "v=1.0"
//   AcoustID_Key      TUNECAP_ACOUSTID_KEY     none: identification fails with a log line
//   CoverBudget_Ms    TUNECAP_COVER_BUDGET_MS  60000: what every cover request of one request
//                                              may take in all (1 to 600000; another value
//                                              gives the default)
#pragma once

#include <cstdint>
#include <string>

namespace aws {

// The cover budget when none is set. A song download of the program has
// three minutes in all; the covers keep well inside them, so that a slow
// cover server never costs a song the texts it was identified by.
constexpr std::uint32_t kDefaultCoverBudgetMs = 60000;
constexpr std::uint32_t kMaxCoverBudgetMs = 600000;

struct ServiceEndpoints {
    std::string acoustIdUrl;
    std::string musicBrainzUrl;
    std::string coverArtUrl;
    std::string imageSearchUrl;  // empty = built-in search
    std::string acoustIdKey;     // empty = no identification
    std::uint32_t coverBudgetMs = kDefaultCoverBudgetMs;

    // The values in force for the given data folder (ending in a separator,
    // or empty for none). Reads the environment and the settings file on
    // every call. Any thread.
    static ServiceEndpoints Load(const std::string& dataFolder);
};

// The name of the settings file in the application-support folder.
extern const char kServiceSettingsFile[];

}  // namespace aws
