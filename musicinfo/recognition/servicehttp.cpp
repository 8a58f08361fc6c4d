#include "recognition/servicehttp.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <mutex>
#include <thread>

#include "http/nettiming.h"
#include "http/webrequest.h"

#ifndef TUNECAP_VERSION_TEXT
#error "TUNECAP_VERSION_TEXT must name the program's version"
#endif

namespace aws {
namespace {

using std::chrono::milliseconds;

// One service's schedule: the earliest moment of its next request.
struct Pacing {
    std::mutex lock;
    unsigned long long nextTick = 0;  // guarded by lock
};

Pacing& PacingOf(Service service) {
    static Pacing musicBrainz;
    static Pacing acoustId;
    static Pacing coverArt;
    switch (service) {
        case Service::MusicBrainz: return musicBrainz;
        case Service::AcoustId: return acoustId;
        case Service::CoverArt: break;
    }
    return coverArt;
}

milliseconds IntervalOf(Service service) {
    switch (service) {
        case Service::MusicBrainz: return milliseconds(1000);
        case Service::AcoustId: return milliseconds(334);
        case Service::CoverArt: break;
    }
    return milliseconds(0);
}

std::atomic<long long> g_busyPauseForTests{0};

bool IsBusy(long status) { return status == 503 || status == 429; }

}  // namespace

std::string ServiceUserAgent() {
    return std::string("Tunecap/") + TUNECAP_VERSION_TEXT + " ( https://www.tavra.example/tunecap )";
}

bool WaitForServiceTurn(Service service, const std::atomic<bool>* cancel) {
    const auto interval = static_cast<unsigned long long>(IntervalOf(service).count());
    unsigned long long turn = 0;
    {
        Pacing& pacing = PacingOf(service);
        std::lock_guard<std::mutex> lock(pacing.lock);
        turn = std::max(TickCountMs(), pacing.nextTick);
        pacing.nextTick = turn + interval;
    }
    for (;;) {
        if (cancel != nullptr && cancel->load()) return false;
        const unsigned long long now = TickCountMs();
        if (now >= turn) return true;
        std::this_thread::sleep_for(milliseconds(std::min<unsigned long long>(turn - now, 20)));
    }
}

milliseconds BusyPause(const std::string& headers) {
    const long long forTests = g_busyPauseForTests.load();
    if (forTests > 0) return milliseconds(forTests);
    std::size_t at = 0;
    while ((at = headers.find('\n', at)) != std::string::npos) {
        ++at;
        static const char kName[] = "retry-after:";
        std::size_t i = 0;
        while (kName[i] != '\0' && at + i < headers.size() &&
               std::tolower(static_cast<unsigned char>(headers[at + i])) == kName[i]) {
            ++i;
        }
        if (kName[i] != '\0') continue;
        const long seconds = std::strtol(headers.c_str() + at + i, nullptr, 10);
        if (seconds >= 1) return milliseconds(std::min(seconds, 30L) * 1000);
        break;
    }
    return milliseconds(2000);
}

void SetBusyPauseForTests(milliseconds pause) {
    g_busyPauseForTests.store(pause.count());
}

ServiceHttp::ServiceHttp(Service service, const ProxyConfig& proxy, const std::atomic<bool>* cancel,
                         std::uint32_t timeLimitMs)
    : m_service(service), m_proxy(proxy), m_cancel(cancel), m_timeLimitMs(timeLimitMs) {}

bool ServiceHttp::SleepFor(milliseconds pause) const {
    const auto until = std::chrono::steady_clock::now() + pause;
    while (std::chrono::steady_clock::now() < until) {
        if (Cancelled()) return false;
        std::this_thread::sleep_for(milliseconds(20));
    }
    return !Cancelled();
}

ServiceReply ServiceHttp::Get(const std::string& url, std::size_t maxBytes) {
    ServiceReply reply;
    WebRequest request(m_proxy);
    request.SetUserAgent(ServiceUserAgent());
    request.SetMaxFetchBytes(maxBytes);
    request.LinkCancelFlag(m_cancel);
    for (int tries = 1;; ++tries) {
        if (!WaitForServiceTurn(m_service, m_cancel)) {
            reply.result = kWebCancelled;
            return reply;
        }
        if (m_budget.Spent()) {
            reply.result = kWebTimeLimit;
            return reply;
        }
        request.SetTimeLimitMs(m_budget.Cap(m_timeLimitMs));
        reply.result = request.Fetch(url);
        reply.httpStatus = request.LastHttpStatus();
        reply.body = request.Body();
        reply.effectiveUrl = request.EffectiveUrl();
        reply.networkError = (reply.result == kWebFailed || reply.result == kWebTimeLimit) &&
                             reply.httpStatus == 0;
        // A redirect that was not followed is no answer.
        if (reply.Ok() && reply.httpStatus != 200 && reply.httpStatus != 206) reply.result = kWebFailed;
        if (reply.Ok() || !IsBusy(reply.httpStatus) || tries >= kBusyTries) return reply;
        milliseconds pause = BusyPause(request.ResponseHeaders());
        if (m_budget.Limited()) pause = std::min(pause, milliseconds(m_budget.LeftMs()));
        if (!SleepFor(pause)) {
            reply.result = kWebCancelled;
            return reply;
        }
    }
}

}  // namespace aws
