// The recognizer used while no recognition service is built into the
// library. It identifies nothing and finds no covers; it never pretends to
// have a match.
#pragma once

#include "recognition/recognizer.h"

namespace aws {

class NoMatchRecognizer final : public Recognizer {
public:
    // Fails: there is no recognition service to set up.
    int Initialise(const std::string& dataFolder, const MusicParserProxyParam& proxy) override;
    bool IsInitialised() const override { return false; }
    int SetProxy(const MusicParserProxyParam& proxy) override;
    void Shutdown() override {}
    // Queries whose Identify() and FetchArtwork() answer -1 ("no match").
    std::unique_ptr<MusicIDFile> NewFileQuery(const std::string& identifier,
                                              const std::string& filePath) override;
    // Searches that store nothing and answer 0.
    std::unique_ptr<CoverSearch> NewCoverSearch() override;
};

}  // namespace aws
