// WebRequest: one HTTP transfer object of the service, on a libcurl easy
// handle of its own.
//
// Three kinds of transfer exist: the reachability check (a HEAD-like request
// whose body is not read), a fetch into memory and a download into a file.
// Every transfer makes up to three tries, pauses one second between them,
// aborts a try whose byte count has not moved for nine seconds and honours an
// optional overall time limit and the cancel flag.
//
// Threads: an object is used by one thread at a time, except Cancel(),
// IsCancelled(), IsBusy() and the download state queries, which any thread may
// call. StartDownload() runs the transfer on a thread owned by the object; the
// destructor cancels and joins it.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>

#include "http/curlhandle.h"
#include "http/httpproxy.h"

namespace aws {

// Results of the transfer functions. Success is 0 (1 for a reachable check);
// every failure is negative.
enum WebResult : int {
    kWebOk = 0,
    kWebReachable = 1,
    kWebFailed = -1,     // network error or HTTP failure after all tries
    kWebCancelled = -2,  // the cancel flag was set
    kWebTooLarge = -3,   // the answer exceeded the size limit
    kWebTimeLimit = -4,  // the overall limit was exceeded
    kWebHttpError = -5,  // HTTP 400, 403, 404 or 500 to 505: no retry
    kWebBusy = -6,       // a check or download is already running on this object
    kWebFileError = -7,  // the local file cannot be opened or written
};

enum class TransferKind : int { Check = 0, Fetch = 2, Download = 3 };

class WebRequest {
public:
    static constexpr int kMaxTries = 3;
    // A fetch answer larger than this fails.
    static constexpr std::size_t kMaxFetchBytes = 8u * 1024 * 1024;
    // A download larger than this fails and its file is deleted.
    static constexpr std::uint64_t kMaxDownloadBytes = 20u * 1024 * 1024;

    // Uses the process-wide proxy copy for WebRequest objects as it is now.
    WebRequest();
    // Uses the given proxy.
    explicit WebRequest(const ProxyConfig& proxy);
    virtual ~WebRequest();

    WebRequest(const WebRequest&) = delete;
    WebRequest& operator=(const WebRequest&) = delete;

    // Replaces the proxy for the transfers that start afterwards.
    void SetProxy(const ProxyConfig& proxy);
    // Replaces the User-Agent text (without "User-Agent: ") for the transfers
    // that start afterwards; empty restores the default browser text. The
    // recognition services want one that names the program and its version.
    void SetUserAgent(const std::string& agent);

    // Overall limit of each transfer in milliseconds, counted from its start;
    // 0 (the default) = none. The cover search uses 30000, image downloads
    // 300000, each cut to what is left of the covers' budget (timebudget.h).
    void SetTimeLimitMs(std::uint32_t ms);
    // Partial download: bytes start to end (inclusive; end < 0 = to the end of
    // the file). With resume the existing local file is kept and written from
    // start on; without it the file is created anew.
    void SetRange(std::int64_t start, std::int64_t end, bool resume);
    void ClearRange();
    // Size limits; 0 restores the default of the kind.
    void SetMaxFetchBytes(std::size_t bytes);
    void SetMaxDownloadBytes(std::uint64_t bytes);

    // Fetches the address into memory (redirects followed). kWebOk with the
    // whole body in Body(), else a negative WebResult.
    int Fetch(const std::string& url);
    // Downloads the address into the file at localPath (redirects followed).
    // On kWebTooLarge the file is deleted; on other failures a partial file is
    // left to the caller (it may resume it).
    int Download(const std::string& url, const std::string& localPath);

    // Reachability check of a host ("www.example.com" or a URL). The result of
    // a host is cached for the process for the check-cache time (5 s); within
    // it the cached result is returned without traffic. kWebReachable (1) when
    // the host gave any HTTP answer, kWebFailed when not, kWebBusy at once when
    // a check is already running on this object.
    int CheckReachable(const std::string& host);
    // Forgets every cached check result (tests, proxy changes).
    static void ClearCheckCache();

    // Runs Download() on a thread of this object. false when a download thread
    // is still running. The owner polls DownloadFinished() or calls
    // WaitDownload(); the result is in DownloadResult().
    bool StartDownload(const std::string& url, const std::string& localPath);
    bool DownloadFinished() const { return m_downloadDone.load(); }
    // Joins the download thread; returns its result (kWebFailed if none ran).
    int WaitDownload();
    int DownloadResult() const { return m_downloadResult.load(); }

    // Sets the cancel flag: the running transfer ends with kWebCancelled at its
    // next callback or pause. Any thread. The flag stays set until Reset().
    void Cancel() { m_cancel.store(true); }
    // Also counts as cancelled while *flag (owned by the caller, outliving this
    // object or the link) is true: a request's or the service's stop flag.
    void LinkCancelFlag(const std::atomic<bool>* flag) { m_linkedCancel.store(flag); }
    bool IsCancelled() const;
    // Clears the cancel flag for a new transfer.
    void Reset() { m_cancel.store(false); }
    bool IsBusy() const { return m_busy.load(); }

    // Results of the last transfer (owner's thread only).
    const std::string& Url() const { return m_url; }
    const std::string& Body() const { return m_body; }
    const std::string& ResponseHeaders() const { return m_headers; }
    // The address libcurl last used (after redirects).
    const std::string& EffectiveUrl() const { return m_effectiveUrl; }
    int LastCurlCode() const { return m_lastCurlCode; }
    long LastHttpStatus() const { return m_lastHttpStatus; }
    int TriesMade() const { return m_triesMade; }
    std::uint64_t BytesWritten() const { return m_fileBytes; }

private:
    struct Transfer;
    int Perform(TransferKind kind, const std::string& url);
    int PerformTry(Transfer& t);
    void PrepareHandle(Transfer& t);
    bool PauseBeforeRetry() const;

    static std::size_t OnHeader(char* data, std::size_t size, std::size_t n, void* user);
    static std::size_t OnBody(char* data, std::size_t size, std::size_t n, void* user);
    static std::size_t OnFile(char* data, std::size_t size, std::size_t n, void* user);
    static int OnProgress(void* user, curl_off_t dlTotal, curl_off_t dlNow, curl_off_t ulTotal,
                          curl_off_t ulNow);

    CurlEasyPtr m_handle;  // created with the object, owner's thread only
    ProxyConfig m_proxy;   // owner's thread only
    std::string m_userAgentHeader;  // the whole header line; owner's thread only

    std::atomic<bool> m_cancel{false};
    std::atomic<const std::atomic<bool>*> m_linkedCancel{nullptr};
    std::atomic<bool> m_busy{false};

    // Settings and results: owner's thread (or the download thread while it runs).
    std::string m_url;
    std::string m_effectiveUrl;
    std::string m_headers;
    std::string m_body;
    std::string m_localPath;
    std::uint32_t m_timeLimitMs = 0;
    std::int64_t m_rangeStart = -1;
    std::int64_t m_rangeEnd = -1;
    bool m_resume = false;
    std::size_t m_maxFetchBytes = kMaxFetchBytes;
    std::uint64_t m_maxDownloadBytes = kMaxDownloadBytes;
    int m_lastCurlCode = 0;
    long m_lastHttpStatus = 0;
    int m_triesMade = 0;
    std::uint64_t m_fileBytes = 0;

    // Download thread: started and joined by the owner's thread.
    std::thread m_downloadThread;
    std::atomic<bool> m_downloadDone{true};
    std::atomic<int> m_downloadResult{kWebFailed};
};

}  // namespace aws
