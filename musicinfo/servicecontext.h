// Process-wide state of the service that is not the network state: the
// copied init record, the data and pictures folders, the proxy for the
// recognition service, the shutdown flag, and the timing of the exports.
#pragma once

#include <atomic>
#include <chrono>
#include <mutex>
#include <string>

#include "tunecap.h"

namespace aws {

// The waits of MusicParserDestroyRequest. The shipped library always uses
// these defaults; tests shorten them with SetServiceTimingForTests().
struct ServiceTiming {
    std::chrono::milliseconds finishPoll{500};   // test of the finished flag
    std::chrono::milliseconds finishWait{3000};  // longest wait for it
};

class ServiceContext {
public:
    static ServiceContext& Instance();

    // Stores a copy of the init record (texts cut at their field widths).
    void SetInitInfo(const MusicParserInitInfo& info);
    // The pictures folder, ending in a separator, or empty. Any thread.
    std::string PicturesDir() const;
    // Takes the application-support folder as the data folder; returns it
    // ending in a separator, or empty when the record held none.
    std::string TakeDataFolder();

    // The proxy kept for the recognition service (type -1 = none).
    void SetRecognitionProxy(const MusicParserProxyParam& proxy);
    MusicParserProxyParam RecognitionProxy() const;

    // Set by MusicParserCleanup, cleared by MusicParserInit; a request that
    // sees it ends cancelled without calling back.
    bool ShuttingDown() const { return m_shuttingDown.load(); }
    void SetShuttingDown(bool on) { m_shuttingDown.store(on); }

    ServiceTiming Timing() const;
    void SetTiming(const ServiceTiming& timing);

private:
    ServiceContext();

    mutable std::mutex m_dataMutex;
    MusicParserInitInfo m_init{};           // guarded by m_dataMutex
    MusicParserProxyParam m_proxy{};        // guarded by m_dataMutex
    ServiceTiming m_timing;                 // guarded by m_dataMutex
    std::atomic<bool> m_shuttingDown{false};
};

// A proxy record as the service stores it: type -1 when the record's type
// is -1 or its host is shorter than 3 characters; every text NUL-terminated
// within its field.
MusicParserProxyParam NormalisedProxy(const MusicParserProxyParam& proxy);

// A folder path with a separator ("/" or "\") at its end; empty stays empty.
std::string WithSeparator(std::string folder);

// True when `path` is not blank and names an existing regular file.
bool IsExistingRegularFile(const std::string& path);

// True when the text is empty or only white space.
bool IsBlank(const std::string& text);

// Replaces the timing of MusicParserDestroyRequest. Tests only; not exported.
void SetServiceTimingForTests(const ServiceTiming& timing);

}  // namespace aws
