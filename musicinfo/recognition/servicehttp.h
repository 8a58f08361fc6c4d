// HTTP GETs to the recognition services, keeping to each service's published
// rules: a User-Agent that names the program and its version, at most one
// MusicBrainz request per second and at most three AcoustID requests per
// second for the whole process, and a busy answer (503) retried after a pause
// instead of being taken as "not found".
//
// Threads: one ServiceHttp is used by one thread at a time; the pacing is
// shared by every thread of the process.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <string>

#include "http/httpproxy.h"
#include "http/timebudget.h"

namespace aws {

enum class Service { AcoustId, MusicBrainz, CoverArt };

// What one GET brought back.
struct ServiceReply {
    int result = -1;           // WebResult: kWebOk (0) or negative
    long httpStatus = 0;       // of the last answer, 0 when none came
    bool networkError = false; // no answer at all: refused, unreachable, timed out
    std::string body;          // also the body of an error answer
    std::string effectiveUrl;  // after redirects

    bool Ok() const { return result == 0; }
};

class ServiceHttp {
public:
    // Tries of a request answered "busy" (503 or 429) before it fails.
    static constexpr int kBusyTries = 4;

    // `cancel` (owned by the caller, may be null) ends a GET or a pause early.
    // `timeLimitMs` bounds each transfer (0 = none).
    ServiceHttp(Service service, const ProxyConfig& proxy, const std::atomic<bool>* cancel,
                std::uint32_t timeLimitMs);

    // The budget that the GETs made afterwards share with others: each
    // transfer is cut to what is left of it, so are the pauses after busy
    // answers, and a GET made once it is spent fails at once (kWebTimeLimit).
    void SetBudget(const TimeBudget& budget) { m_budget = budget; }

    // GET `url` (redirects followed within http and https), waiting for the
    // service's turn first. `maxBytes` bounds the answer (0 = the default of
    // the HTTP layer).
    ServiceReply Get(const std::string& url, std::size_t maxBytes = 0);

private:
    bool Cancelled() const { return m_cancel != nullptr && m_cancel->load(); }
    bool SleepFor(std::chrono::milliseconds pause) const;

    const Service m_service;
    const ProxyConfig m_proxy;
    const std::atomic<bool>* const m_cancel;
    const std::uint32_t m_timeLimitMs;
    TimeBudget m_budget;
};

// "Tunecap/<version> ( <home page> )", the User-Agent of every service request.
std::string ServiceUserAgent();

// Waits until `service` may be asked again and books that moment for the
// caller: calls made at the same time leave one at a time, spaced by the
// service's interval (1000 ms MusicBrainz, 334 ms AcoustID, none for the
// Cover Art Archive). false when *cancel became true meanwhile. Any thread.
bool WaitForServiceTurn(Service service, const std::atomic<bool>* cancel);

// The pause before asking a busy service again: the answer's Retry-After in
// seconds (1 to 30) when it has one, otherwise 2 seconds.
std::chrono::milliseconds BusyPause(const std::string& responseHeaders);

// Shortens the pauses after busy answers (tests only; 0 restores them).
void SetBusyPauseForTests(std::chrono::milliseconds pause);

}  // namespace aws
