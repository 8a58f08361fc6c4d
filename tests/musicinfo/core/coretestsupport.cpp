#include "coretestsupport.h"

#include <fstream>
#include <iterator>
#include <sstream>

namespace coretest {

namespace {

class FakeQuery final : public aws::MusicIDFile {
public:
    explicit FakeQuery(std::shared_ptr<RecognizerScript> script) : m_script(std::move(script)) {}

    int Identify(aws::SongInfoRecord* record) override {
        ++m_script->identifyCalls;
        m_running = true;
        int result = m_script->identifyResult;
        if (m_script->blockIdentify) {
            std::unique_lock<std::mutex> lock(m_script->lock);
            m_script->identifyEntered = true;
            m_script->changed.notify_all();
            m_script->changed.wait(lock, [this] { return m_cancel.load(); });
            result = -1;
        } else if (result >= 0) {
            const std::string id = aws::FieldText(record->identifier);
            *record = m_script->match;
            aws::CopyText(record->identifier, id);
        }
        m_running = false;
        std::lock_guard<std::mutex> lock(m_script->lock);
        m_script->identifyReturned = true;
        return result;
    }

    int FetchArtwork(const std::string& picturesDir, const aws::TimeBudget&, aws::SongInfoRecord* result) override {
        if (m_script->artworkResult < 0) return m_script->artworkResult;
        aws::CopyText(result->images[0].path, picturesDir + "link_small.jpg");
        result->images[0].imageIndex = 0;
        result->imageCount = 1;
        return m_script->artworkResult;
    }

    void Cancel() override {
        std::lock_guard<std::mutex> lock(m_script->lock);
        m_cancel = true;
        m_script->changed.notify_all();
    }
    bool IsRunning() const override { return m_running.load(); }

private:
    std::shared_ptr<RecognizerScript> m_script;
    std::atomic<bool> m_cancel{false};
    std::atomic<bool> m_running{false};
};

class FakeSearch final : public aws::CoverSearch {
public:
    explicit FakeSearch(std::shared_ptr<RecognizerScript> script) : m_script(std::move(script)) {}

    int Search(const aws::CoverSearchQuery& query, aws::SongInfoRecord* result) override {
        ++m_script->searchCalls;
        {
            std::lock_guard<std::mutex> lock(m_script->lock);
            m_script->lastSearchSong = query.songName;
        }
        if (m_script->searchResult < 1) return m_script->searchResult;
        aws::CopyText(result->images[0].path, query.picturesDir + "google_1.jpg");
        aws::CopyText(result->images[0].downloadUrl, "http://127.0.0.1/cover.jpg");
        result->images[0].imageIndex = 0;
        result->imageCount = 1;
        return m_script->searchResult;
    }
    void Cancel() override {}

private:
    std::shared_ptr<RecognizerScript> m_script;
};

}  // namespace

bool RecognizerScript::WaitForIdentifyEntered(std::chrono::milliseconds limit) {
    std::unique_lock<std::mutex> guard(lock);
    return changed.wait_for(guard, limit, [this] { return identifyEntered; });
}

std::unique_ptr<aws::MusicIDFile> FakeRecognizer::NewFileQuery(const std::string&,
                                                               const std::string&) {
    return std::make_unique<FakeQuery>(m_script);
}

std::unique_ptr<aws::CoverSearch> FakeRecognizer::NewCoverSearch() {
    return std::make_unique<FakeSearch>(m_script);
}

int CallbackProbe::Callback(void* userData, int status, RecordMusicInfo* info) {
    auto* probe = static_cast<CallbackProbe*>(userData);
    std::lock_guard<std::mutex> lock(probe->m_lock);
    ++probe->m_calls;
    probe->m_lastStatus = status;
    probe->m_lastHadRecord = info != nullptr;
    if (info != nullptr) probe->m_lastRecord = *info;
    probe->m_changed.notify_all();
    return 0;
}

bool CallbackProbe::WaitForCalls(int count, std::chrono::milliseconds limit) {
    std::unique_lock<std::mutex> lock(m_lock);
    return m_changed.wait_for(lock, limit, [&] { return m_calls >= count; });
}

int CallbackProbe::Calls() const {
    std::lock_guard<std::mutex> lock(m_lock);
    return m_calls;
}

int CallbackProbe::LastStatus() const {
    std::lock_guard<std::mutex> lock(m_lock);
    return m_lastStatus;
}

bool CallbackProbe::LastHadRecord() const {
    std::lock_guard<std::mutex> lock(m_lock);
    return m_lastHadRecord;
}

RecordMusicInfo CallbackProbe::LastRecord() const {
    std::lock_guard<std::mutex> lock(m_lock);
    return m_lastRecord;
}

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

bool WriteFile(const std::string& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    return static_cast<bool>(out);
}

int CountOf(const std::string& text, const std::string& needle) {
    int n = 0;
    for (std::size_t at = text.find(needle); at != std::string::npos;
         at = text.find(needle, at + needle.size())) {
        ++n;
    }
    return n;
}

}  // namespace coretest
