#include "recognition/nomatchrecognizer.h"

#include <atomic>
#include <mutex>

namespace aws {

namespace {

class NoMatchFileQuery final : public MusicIDFile {
public:
    int Identify(SongInfoRecord*) override { return -1; }
    int FetchArtwork(const std::string&, SongInfoRecord*) override { return -1; }
    void Cancel() override {}
    bool IsRunning() const override { return false; }
};

class NoCoverSearch final : public CoverSearch {
public:
    int Search(const CoverSearchQuery&, SongInfoRecord*) override { return 0; }
    void Cancel() override {}
};

std::mutex g_recognizerMutex;
std::shared_ptr<Recognizer> g_recognizer;  // guarded by g_recognizerMutex

}  // namespace

int NoMatchRecognizer::Initialise(const std::string&, const MusicParserProxyParam&) { return -1; }

int NoMatchRecognizer::SetProxy(const MusicParserProxyParam&) { return 0; }

std::unique_ptr<MusicIDFile> NoMatchRecognizer::NewFileQuery(const std::string&,
                                                             const std::string&) {
    return std::make_unique<NoMatchFileQuery>();
}

std::unique_ptr<CoverSearch> NoMatchRecognizer::NewCoverSearch() {
    return std::make_unique<NoCoverSearch>();
}

std::shared_ptr<Recognizer> CurrentRecognizer() {
    std::lock_guard<std::mutex> lock(g_recognizerMutex);
    if (!g_recognizer) g_recognizer = std::make_shared<NoMatchRecognizer>();
    return g_recognizer;
}

void InstallRecognizer(std::shared_ptr<Recognizer> recognizer) {
    std::lock_guard<std::mutex> lock(g_recognizerMutex);
    g_recognizer = std::move(recognizer);
}

}  // namespace aws
