// Identification of a recording by its fingerprint, and the matched album's
// data and cover, through the recognition layer: the recognizer that the
// service uses.
//
// Initialisation (MusicParserInit, under the service's global mutex) sets the
// layer up, loads the user from "gnuser.dat" or registers a new one and keeps
// it there, loads the locale from "gnlocale.dat" or makes it and keeps it
// there, both in the data folder. A file that cannot be read back fails the
// initialisation and is left as it is.
//
// Threads: Initialise, SetProxy and Shutdown come from the exports; queries
// and searches are made on the caller's thread and run on the request's
// worker; the layer calls the query callbacks on a thread of its own.
#pragma once

#include <memory>
#include <mutex>
#include <string>

#include "recognition/recognitionlayer.h"
#include "recognition/recognizer.h"

namespace aws {

class NetworkStatus;

class FingerprintRecognizer final : public Recognizer {
public:
    static const char kUserFile[];    // "gnuser.dat"
    static const char kLocaleFile[];  // "gnlocale.dat"

    FingerprintRecognizer() = default;
    int Initialise(const std::string& dataFolder, const MusicParserProxyParam& proxy) override;
    bool IsInitialised() const override;
    int SetProxy(const MusicParserProxyParam& proxy) override;
    void Shutdown() override;
    std::unique_ptr<MusicIDFile> NewFileQuery(const std::string& identifier,
                                              const std::string& filePath) override;
    std::unique_ptr<CoverSearch> NewCoverSearch() override;
    // The budget set for the data folder (ServiceEndpoints).
    std::uint32_t CoverBudgetMs() override;

    // What a query works with: set together by Initialise, dropped together
    // by Shutdown. Queries keep the one they started with.
    struct Session {
        std::shared_ptr<RecognitionManager> manager;
        std::shared_ptr<RecognitionUser> user;
        std::shared_ptr<RecognitionLocale> locale;
    };

private:
    // The data folder given to Initialise, else the service's.
    std::string DataFolder() const;

    mutable std::mutex m_lock;
    std::shared_ptr<const Session> m_session;  // guarded by m_lock; null until initialised
    std::string m_dataFolder;                  // guarded by m_lock
};

// Sets the proxy options of a user from a proxy record: the host as
// "host:port" when the trimmed host has 4 or more characters (else empty),
// the trimmed user name and the password when not empty (else empty). A
// record of type -1 clears them. 0, or -1 when an option fails.
int ApplyProxyOptions(RecognitionUser& user, const MusicParserProxyParam& proxy);

}  // namespace aws
