#include "graph/dsrender.h"

#include "graph/volumefilter.h"

namespace capdev {

CDSRender::CDSRender(LineOutSink sink, void* owner) : m_sink(sink), m_owner(owner) {}

void CDSRender::Announce() {
    if (m_sink != nullptr && m_hasFormat) {
        m_sink(kLineOutFormat, &m_format, kWaveFormatBytes, m_owner);
    }
}

int CDSRender::CheckMediaType(const void* format, unsigned bytes) {
    WaveFormat read;
    if (!ReadPcmFormat(format, bytes, &read) || read.bitsPerSample != 16 || read.channels == 0 ||
        read.samplesPerSec == 0) {
        return kTypeNotAccepted;
    }
    std::lock_guard<std::mutex> lock(m_receiveLock);
    m_format = read;
    m_hasFormat = true;
    Announce();
    return 0;
}

void CDSRender::Receive(const void* data, unsigned bytes) {
    std::lock_guard<std::mutex> lock(m_receiveLock);
    if (data != nullptr && bytes > 0 && !m_paused && m_hasFormat && m_sink != nullptr) {
        m_sink(kLineOutData, data, bytes, m_owner);
    }
}

void CDSRender::Pause(bool pause) {
    std::lock_guard<std::mutex> lock(m_receiveLock);
    if (!pause && m_paused) {
        Announce();
    }
    m_paused = pause;
}

void CDSRender::Resume(LineOutSink sink, void* owner) {
    std::lock_guard<std::mutex> lock(m_receiveLock);
    const bool rebound = sink != m_sink || owner != m_owner;
    m_sink = sink;
    m_owner = owner;
    if (m_paused || rebound) {
        Announce();
    }
    m_paused = false;
}

void CDSRender::Lost() {
    std::lock_guard<std::mutex> lock(m_receiveLock);
    if (!m_lost && !m_paused && m_sink != nullptr) {
        m_lost = true;
        m_sink(kLineOutLost, nullptr, 0, m_owner);
    }
}

void CDSRender::Log(const char* text) {
    std::lock_guard<std::mutex> lock(m_receiveLock);
    if (m_sink != nullptr && text != nullptr) {
        m_sink(kLineOutLog, text, 1, m_owner);
    }
}

bool CDSRender::paused() const {
    std::lock_guard<std::mutex> lock(m_receiveLock);
    return m_paused;
}

WaveFormat CDSRender::format() const {
    std::lock_guard<std::mutex> lock(m_receiveLock);
    return m_format;
}

void* CDSRender::owner() const {
    std::lock_guard<std::mutex> lock(m_receiveLock);
    return m_owner;
}

}  // namespace capdev
