#include "http/webrequest.h"

#include <unistd.h>

#include <cstdio>
#include <map>
#include <memory>
#include <new>
#include <stdexcept>
#include <vector>

#include "common/fileowner.h"
#include "http/nettiming.h"

namespace aws {
namespace {

const char kAcceptHeader[] = "Accept: */*";
const char kUserAgentHeader[] =
    "User-Agent: Mozilla/5.0 (Windows NT 5.1) AppleWebKit/537.4 (KHTML, like Gecko) "
    "Chrome/22.0.1229.94 Safari/537.4";
constexpr std::size_t kFileBufferBytes = 65536;

using FilePtr = common::UniqueFile;

// Statuses that end a transfer at once as failed.
bool IsHardFailure(long status) {
    return status == 400 || status == 403 || status == 404 || (status >= 500 && status <= 505);
}

// Process-wide cache of reachability checks, by address.
struct CheckCache {
    struct Entry {
        int result;
        unsigned long long tick;
    };
    std::mutex lock;
    std::map<std::string, Entry> entries;  // guarded by lock
};

CheckCache& Cache() {
    static CheckCache cache;
    return cache;
}

}  // namespace

// The state of one transfer, shared by its callbacks.
struct WebRequest::Transfer {
    WebRequest* self = nullptr;
    TransferKind kind = TransferKind::Check;
    NetTiming timing;
    unsigned long long startTick = 0;
    // Progress of the running try.
    curl_off_t lastBytes = -1;
    unsigned long long lastMoveTick = 0;
    // Why the running try ended early.
    bool tooLarge = false;
    bool timeLimitHit = false;
    bool fileError = false;
    // Download: the target file, the offset the transfer started at and the
    // most bytes any try has written past it.
    std::vector<char> fileBuffer;  // declared first: it outlives the file that uses it
    FilePtr file;
    std::int64_t fileStart = 0;
    std::uint64_t mostBytes = 0;
    bool rangeChecked = false;

    bool OverLimit() const {
        return self->m_timeLimitMs != 0 &&
               TickCountMs() - startTick > static_cast<unsigned long long>(self->m_timeLimitMs);
    }
};

WebRequest::WebRequest() : WebRequest(CurrentProxy(ProxyCopy::WebRequests)) {}

WebRequest::WebRequest(const ProxyConfig& proxy)
    : m_handle(curl_easy_init()), m_proxy(proxy), m_userAgentHeader(kUserAgentHeader) {}

WebRequest::~WebRequest() {
    Cancel();
    if (m_downloadThread.joinable()) m_downloadThread.join();
}

bool WebRequest::IsCancelled() const {
    const std::atomic<bool>* linked = m_linkedCancel.load();
    return m_cancel.load() || (linked && linked->load());
}

void WebRequest::SetProxy(const ProxyConfig& proxy) {
    m_proxy = proxy;
}
void WebRequest::SetUserAgent(const std::string& agent) {
    m_userAgentHeader = agent.empty() ? std::string(kUserAgentHeader) : "User-Agent: " + agent;
}

void WebRequest::SetTimeLimitMs(std::uint32_t ms) {
    m_timeLimitMs = ms;
}

void WebRequest::SetRange(std::int64_t start, std::int64_t end, bool resume) {
    m_rangeStart = start < 0 ? 0 : start;
    m_rangeEnd = end;
    m_resume = resume;
}

void WebRequest::ClearRange() {
    m_rangeStart = -1;
    m_rangeEnd = -1;
    m_resume = false;
}

void WebRequest::SetMaxFetchBytes(std::size_t bytes) {
    m_maxFetchBytes = bytes ? bytes : kMaxFetchBytes;
}

void WebRequest::SetMaxDownloadBytes(std::uint64_t bytes) {
    m_maxDownloadBytes = bytes ? bytes : kMaxDownloadBytes;
}

int WebRequest::Fetch(const std::string& url) {
    return Perform(TransferKind::Fetch, url);
}

int WebRequest::Download(const std::string& url, const std::string& localPath) {
    m_localPath = localPath;
    int result = Perform(TransferKind::Download, url);
    if (result == kWebTooLarge) std::remove(localPath.c_str());
    return result;
}

int WebRequest::CheckReachable(const std::string& host) {
    const unsigned long long now = TickCountMs();
    const auto cacheAge = static_cast<unsigned long long>(CurrentNetTiming().checkCache.count());
    {
        std::lock_guard<std::mutex> lock(Cache().lock);
        auto it = Cache().entries.find(host);
        if (it != Cache().entries.end() && now - it->second.tick < cacheAge)
            return it->second.result;
    }
    bool expected = false;
    if (!m_busy.compare_exchange_strong(expected, true)) return kWebBusy;
    int result = Perform(TransferKind::Check, host) == kWebReachable ? kWebReachable : kWebFailed;
    if (!IsCancelled()) {
        std::lock_guard<std::mutex> lock(Cache().lock);
        Cache().entries[host] = CheckCache::Entry{result, TickCountMs()};
    }
    m_busy.store(false);
    return result;
}

void WebRequest::ClearCheckCache() {
    std::lock_guard<std::mutex> lock(Cache().lock);
    Cache().entries.clear();
}

bool WebRequest::StartDownload(const std::string& url, const std::string& localPath) {
    if (!m_downloadDone.load()) return false;
    if (m_downloadThread.joinable()) m_downloadThread.join();
    m_downloadDone.store(false);
    m_downloadResult.store(kWebFailed);
    try {
        m_downloadThread = std::thread([this, url, localPath] {
            int result = kWebFailed;
            try {
                result = Download(url, localPath);
            } catch (const std::exception&) {
                result = kWebFailed;
            }
            m_downloadResult.store(result);
            m_downloadDone.store(true);
        });
    } catch (const std::system_error&) {
        m_downloadDone.store(true);
        return false;
    }
    return true;
}

int WebRequest::WaitDownload() {
    if (m_downloadThread.joinable()) m_downloadThread.join();
    return m_downloadResult.load();
}

int WebRequest::Perform(TransferKind kind, const std::string& url) {
    m_url = url;
    m_effectiveUrl.clear();
    m_headers.clear();
    m_body.clear();
    m_lastCurlCode = 0;
    m_lastHttpStatus = 0;
    m_triesMade = 0;
    m_fileBytes = 0;
    if (!m_handle) return kWebFailed;
    if (IsCancelled()) return kWebCancelled;

    Transfer t;
    t.self = this;
    t.kind = kind;
    t.timing = CurrentNetTiming();
    t.startTick = TickCountMs();
    if (kind == TransferKind::Download) {
        const bool resume = m_resume && m_rangeStart >= 0;
        if (resume) t.file.reset(std::fopen(m_localPath.c_str(), "rb+"));
        if (!t.file) t.file.reset(std::fopen(m_localPath.c_str(), "wb+"));
        if (!t.file) return kWebFileError;
        t.fileBuffer.resize(kFileBufferBytes);
        std::setvbuf(t.file.get(), t.fileBuffer.data(), _IOFBF, t.fileBuffer.size());
        t.fileStart = resume ? m_rangeStart : 0;
    }

    int triesLeft = kMaxTries;
    for (;;) {
        const std::uint64_t mostBefore = t.mostBytes;
        const bool ok = PerformTry(t) == kWebOk;
        ++m_triesMade;
        if (IsCancelled()) return kWebCancelled;
        if (t.fileError) return kWebFileError;
        if (t.tooLarge || m_lastCurlCode == CURLE_FILESIZE_EXCEEDED) return kWebTooLarge;
        if (ok) return kind == TransferKind::Check ? kWebReachable : kWebOk;
        if (kind != TransferKind::Check && IsHardFailure(m_lastHttpStatus)) return kWebHttpError;
        if (t.timeLimitHit || t.OverLimit()) return kWebTimeLimit;
        // A download that got further than ever before earns its tries back.
        if (kind == TransferKind::Download && t.mostBytes > mostBefore) triesLeft = kMaxTries;
        if (--triesLeft <= 0) return kWebFailed;
        if (!PauseBeforeRetry()) return kWebCancelled;
        if (t.OverLimit()) return kWebTimeLimit;
    }
}

bool WebRequest::PauseBeforeRetry() const {
    const auto until = std::chrono::steady_clock::now() + CurrentNetTiming().retryPause;
    while (std::chrono::steady_clock::now() < until) {
        if (IsCancelled()) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return !IsCancelled();
}

void WebRequest::PrepareHandle(Transfer& t) {
    CURL* h = m_handle.get();
    curl_easy_reset(h);
    SetupEasyHandle(h, m_proxy);
    curl_easy_setopt(h, CURLOPT_URL, m_url.c_str());
    curl_easy_setopt(h, CURLOPT_CONNECTTIMEOUT_MS,
                     static_cast<long>(t.timing.connectTimeout.count()));
    curl_easy_setopt(h, CURLOPT_HEADERFUNCTION, &WebRequest::OnHeader);
    curl_easy_setopt(h, CURLOPT_HEADERDATA, &t);
    // Cancel and the overall limit apply to every kind; the stall check to
    // fetches and downloads only.
    curl_easy_setopt(h, CURLOPT_NOPROGRESS, 0L);
    curl_easy_setopt(h, CURLOPT_XFERINFOFUNCTION, &WebRequest::OnProgress);
    curl_easy_setopt(h, CURLOPT_XFERINFODATA, &t);
    switch (t.kind) {
        case TransferKind::Check:
            curl_easy_setopt(h, CURLOPT_NOBODY, 1L);
            curl_easy_setopt(h, CURLOPT_TIMEOUT_MS,
                             static_cast<long>(t.timing.checkTimeout.count()));
            break;
        case TransferKind::Fetch:
        case TransferKind::Download: {
            // Alike but for where the body goes and how large it may be.
            const bool fetch = t.kind == TransferKind::Fetch;
            curl_easy_setopt(h, CURLOPT_WRITEFUNCTION,
                             fetch ? &WebRequest::OnBody : &WebRequest::OnFile);
            curl_easy_setopt(h, CURLOPT_WRITEDATA, &t);
            curl_easy_setopt(h, CURLOPT_FOLLOWLOCATION, 1L);
            curl_easy_setopt(h, CURLOPT_MAXFILESIZE_LARGE,
                             fetch ? static_cast<curl_off_t>(m_maxFetchBytes)
                                   : static_cast<curl_off_t>(m_maxDownloadBytes));
            break;
        }
    }
}

int WebRequest::PerformTry(Transfer& t) {
    m_headers.clear();
    m_body.clear();
    t.tooLarge = t.timeLimitHit = t.fileError = false;
    t.lastBytes = -1;
    t.lastMoveTick = TickCountMs();
    t.rangeChecked = false;

    PrepareHandle(t);
    CurlSlistPtr headers;
    auto add = [&headers](const char* line) {
        if (curl_slist* grown = curl_slist_append(headers.get(), line)) {
            headers.release();
            headers.reset(grown);
        }
    };
    add(kAcceptHeader);
    add(m_userAgentHeader.c_str());
    if (t.kind == TransferKind::Download) {
        // Every try starts the file again where the transfer started; a resumed
        // download continues after what earlier tries wrote.
        std::int64_t offset = t.fileStart;
        if (m_resume && m_rangeStart >= 0) {
            offset += static_cast<std::int64_t>(m_fileBytes);
        } else {
            m_fileBytes = 0;
            if (ftruncate(fileno(t.file.get()), 0) != 0) t.fileError = true;
        }
        std::fseek(t.file.get(), static_cast<long>(offset), SEEK_SET);
        if (m_rangeStart >= 0) {
            char range[96];
            const long long from = m_resume ? offset : m_rangeStart;
            if (m_rangeEnd >= 0)
                std::snprintf(range, sizeof(range), "Range: bytes=%lld-%lld", from,
                              static_cast<long long>(m_rangeEnd));
            else
                std::snprintf(range, sizeof(range), "Range: bytes=%lld-", from);
            add(range);
        }
    }
    curl_easy_setopt(m_handle.get(), CURLOPT_HTTPHEADER, headers.get());

    CURLcode code = t.fileError ? CURLE_WRITE_ERROR : curl_easy_perform(m_handle.get());
    if (t.file) std::fflush(t.file.get());
    long status = 0;
    curl_easy_getinfo(m_handle.get(), CURLINFO_RESPONSE_CODE, &status);
    char* effective = nullptr;
    curl_easy_getinfo(m_handle.get(), CURLINFO_EFFECTIVE_URL, &effective);
    if (effective) m_effectiveUrl = effective;
    curl_easy_setopt(m_handle.get(), CURLOPT_HTTPHEADER, nullptr);
    m_lastCurlCode = code;
    m_lastHttpStatus = status;
    if (code != CURLE_OK) return kWebFailed;

    bool ok = false;
    switch (t.kind) {
        case TransferKind::Check:
            // Any HTTP answer shows the host can be reached, unless it came from the
            // proxy refusing us or failing to reach the host.
            ok = status > 0 && status != 407 &&
                 !(m_proxy.IsSet() && (status == 502 || status == 503 || status == 504));
            break;
        case TransferKind::Fetch:
            ok = status == 200 || status == 206 || status == 301 || status == 302;
            break;
        case TransferKind::Download:
            ok = status == 200 || status == 206;
            break;
    }
    return ok ? kWebOk : kWebFailed;
}

std::size_t WebRequest::OnHeader(char* data, std::size_t size, std::size_t n, void* user) {
    auto* t = static_cast<Transfer*>(user);
    if (t->self->IsCancelled()) return 0;
    try {
        t->self->m_headers.append(data, size * n);
    } catch (const std::bad_alloc&) {
        return 0;  // nothing may be thrown through libcurl
    }
    return size * n;
}

std::size_t WebRequest::OnBody(char* data, std::size_t size, std::size_t n, void* user) {
    auto* t = static_cast<Transfer*>(user);
    WebRequest* self = t->self;
    const std::size_t bytes = size * n;
    if (self->IsCancelled()) return 0;
    if (self->m_body.size() + bytes > self->m_maxFetchBytes) {
        t->tooLarge = true;
        return 0;
    }
    try {
        self->m_body.append(data, bytes);
    } catch (const std::bad_alloc&) {
        t->tooLarge = true;
        return 0;
    }
    return bytes;
}

std::size_t WebRequest::OnFile(char* data, std::size_t size, std::size_t n, void* user) {
    auto* t = static_cast<Transfer*>(user);
    WebRequest* self = t->self;
    const std::size_t bytes = size * n;
    if (self->IsCancelled()) return 0;
    if (!t->rangeChecked) {
        t->rangeChecked = true;
        long status = 0;
        curl_easy_getinfo(self->m_handle.get(), CURLINFO_RESPONSE_CODE, &status);
        if (status != 200 && status != 206) {
            // An error page is not the file: fail the try without writing it.
            return 0;
        }
        if (status == 200 && self->m_rangeStart >= 0 && (self->m_resume || t->fileStart != 0)) {
            // The server ignored the range and sends the whole file: take it
            // whole instead of writing it after the part already there.
            t->fileStart = 0;
            self->m_fileBytes = 0;
            if (ftruncate(fileno(t->file.get()), 0) != 0 ||
                std::fseek(t->file.get(), 0, SEEK_SET) != 0) {
                t->fileError = true;
                return 0;
            }
        }
    }
    if (self->m_fileBytes + bytes > self->m_maxDownloadBytes) {
        t->tooLarge = true;
        return 0;
    }
    if (std::fwrite(data, 1, bytes, t->file.get()) != bytes) {
        t->fileError = true;
        return 0;
    }
    self->m_fileBytes += bytes;
    if (self->m_fileBytes > t->mostBytes) t->mostBytes = self->m_fileBytes;
    return bytes;
}

int WebRequest::OnProgress(void* user, curl_off_t /*dlTotal*/, curl_off_t dlNow,
                           curl_off_t /*ulTotal*/, curl_off_t /*ulNow*/) {
    auto* t = static_cast<Transfer*>(user);
    if (t->self->IsCancelled()) return 1;
    if (t->OverLimit()) {
        t->timeLimitHit = true;
        return 1;
    }
    if (t->kind == TransferKind::Check) return 0;
    const unsigned long long now = TickCountMs();
    if (dlNow != t->lastBytes) {
        t->lastBytes = dlNow;
        t->lastMoveTick = now;
        return 0;
    }
    const auto stall = static_cast<unsigned long long>(t->timing.stallLimit.count());
    return now - t->lastMoveTick > stall ? 1 : 0;
}

}  // namespace aws
