#include "fakeservice.h"

#include <QString>

#include <chrono>
#include <cstring>

#include "songfiles.h"

namespace fakeservice {

Service& Service::Get() {
    static Service service;
    return service;
}

void Service::Reset() {
    std::thread late;
    {
        std::lock_guard<std::mutex> lock(m_lock);
        late = std::move(m_lateNotifier);
    }
    if (late.joinable()) late.join();
    std::lock_guard<std::mutex> lock(m_lock);
    m_calls.clear();
    m_lateAnswer.reset();
    m_lateResult = -100;
    m_initResult = 0;
    m_initDelayMs = 0;
    m_openAtCleanup = 0;
    m_initCalls = 0;
    m_cleanupCalls = 0;
    std::memset(&m_init, 0, sizeof m_init);
    std::memset(&m_proxy, 0, sizeof m_proxy);
}

CMusicServiceApi Service::Api() const {
    CMusicServiceApi api;
    api.init = &Service::Init;
    api.cleanup = &Service::Cleanup;
    api.request = &Service::Request;
    api.destroy = &Service::Destroy;
    return api;
}

int Service::RequestCount() const {
    std::lock_guard<std::mutex> lock(m_lock);
    return int(m_calls.size());
}

std::shared_ptr<Call> Service::CallAt(int index) const {
    std::lock_guard<std::mutex> lock(m_lock);
    return index >= 0 && index < int(m_calls.size()) ? m_calls[std::size_t(index)] : nullptr;
}

bool Service::WaitForRequests(int count, int timeoutMs) const {
    std::unique_lock<std::mutex> lock(m_lock);
    return m_changed.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                              [&] { return int(m_calls.size()) >= count; });
}

int Service::Answer(int index, const RecordMusicInfo* answer) {
    std::shared_ptr<Call> call = CallAt(index);
    if (!call) return -100;
    int result = -100;
    std::thread notifier([&] {
        // The answer lives on the notifier's stack, valid during the call.
        RecordMusicInfo copy;
        if (answer) std::memcpy(&copy, answer, sizeof copy);
        result = call->callback(call->userData, answer ? STATUS_DONE : STATUS_FAILED,
                                answer ? &copy : nullptr);
    });
    notifier.join();
    return result;
}

void Service::AnswerLateOnDestroy(const RecordMusicInfo& answer) {
    std::lock_guard<std::mutex> lock(m_lock);
    m_lateAnswer = std::make_unique<RecordMusicInfo>(answer);
}

int Service::LateResult(int timeoutMs) {
    std::unique_lock<std::mutex> lock(m_lock);
    m_changed.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                       [&] { return m_lateResult != -100; });
    return m_lateResult;
}

MusicParserInitInfo Service::LastInit() const {
    std::lock_guard<std::mutex> lock(m_lock);
    return m_init;
}

MusicParserProxyParam Service::LastProxy() const {
    std::lock_guard<std::mutex> lock(m_lock);
    return m_proxy;
}

int Service::Init(MusicParserInitInfo* init, MusicParserProxyParam* proxy) {
    Service& self = Get();
    std::this_thread::sleep_for(std::chrono::milliseconds(self.m_initDelayMs.load()));
    std::lock_guard<std::mutex> lock(self.m_lock);
    ++self.m_initCalls;
    if (init) self.m_init = *init;
    if (proxy) self.m_proxy = *proxy;
    return self.m_initResult.load();
}

int Service::Cleanup() {
    Service& self = Get();
    std::lock_guard<std::mutex> lock(self.m_lock);
    int open = 0;
    for (const std::shared_ptr<Call>& call : self.m_calls)
        if (!call->destroyed) ++open;
    self.m_openAtCleanup = open;
    ++self.m_cleanupCalls;
    return 0;
}

void* Service::Request(MusicParserRequestInfo* info) {
    if (!info || !info->userData || !info->callback || !info->filePath) return nullptr;
    auto call = std::make_shared<Call>();
    call->callback = info->callback;
    call->userData = info->userData;
    call->file = info->filePath;
    call->withTexts = info->text1 != nullptr;
    if (info->text1) call->text1 = info->text1;
    const songtest::WavFormat format = songtest::ReadWavFormat(QString::fromStdString(call->file));
    call->rate = format.rate;
    call->channels = format.channels;
    Service& self = Get();
    std::lock_guard<std::mutex> lock(self.m_lock);
    self.m_calls.push_back(call);
    self.m_changed.notify_all();
    return call.get();
}

void Service::Destroy(void* handle) {
    Service& self = Get();
    std::lock_guard<std::mutex> lock(self.m_lock);
    for (const std::shared_ptr<Call>& call : self.m_calls) {
        if (call.get() != handle) continue;
        call->destroyed = true;
        if (self.m_lateAnswer && !self.m_lateNotifier.joinable()) {
            // A notifier that had started before the request was destroyed:
            // it calls back once the destroy call has returned.
            RecordMusicInfo answer = *self.m_lateAnswer;
            std::shared_ptr<Call> late = call;
            self.m_lateNotifier = std::thread([answer, late]() mutable {
                std::this_thread::sleep_for(std::chrono::milliseconds(50));
                const int result = late->callback(late->userData, STATUS_DONE, &answer);
                Service& service = Get();
                std::lock_guard<std::mutex> done(service.m_lock);
                service.m_lateResult = result;
                service.m_changed.notify_all();
            });
        }
        return;
    }
}

RecordMusicInfo MakeAnswer(const std::string& title, const std::string& artist,
                           const std::string& album, const std::string& genre,
                           const std::vector<std::string>& images, const std::string& albumId,
                           const std::string& year) {
    RecordMusicInfo answer;
    std::memset(&answer, 0, sizeof answer);
    auto copy = [](char* field, std::size_t size, const std::string& text) {
        std::strncpy(field, text.c_str(), size - 1);
    };
    copy(answer.songName, sizeof answer.songName, title);
    copy(answer.artist, sizeof answer.artist, artist);
    copy(answer.album, sizeof answer.album, album);
    copy(answer.albumGenre, sizeof answer.albumGenre, genre);
    copy(answer.albumId, sizeof answer.albumId, albumId);
    copy(answer.releaseDate, sizeof answer.releaseDate, year);
    for (const std::string& image : images) {
        if (answer.imageCount >= 5) break;
        copy(answer.imagePaths[answer.imageCount], sizeof answer.imagePaths[0], image);
        ++answer.imageCount;
    }
    return answer;
}

}  // namespace fakeservice
