#include "writers/wavresfilter.h"

#include "avbridge.h"

namespace capdev {

CWavresFilter::CWavresFilter(int targetRate, int targetChannels, int sourceRate, int sourceChannels)
    : m_sourceRate(sourceRate),
      m_sourceChannels(sourceChannels),
      m_targetRate(targetRate),
      m_targetChannels(targetChannels) {
    m_resampler = avbridge_resample_open(targetChannels, sourceChannels, targetRate, sourceRate,
                                         AVBRIDGE_FMT_S16, AVBRIDGE_FMT_S16, 16, 10, 0, 0.8);
}

CWavresFilter::~CWavresFilter() {
    releaseBuffer();
    avbridge_resample_close(m_resampler);
}

void CWavresFilter::releaseBuffer() {
    avbridge_free(m_buffer);
    m_buffer = nullptr;
    m_capacity = 0;
}

unsigned CWavresFilter::neededBytes(unsigned inBytes) const {
    const uint64_t frames = inBytes / static_cast<unsigned>(m_sourceChannels * m_bytesPerSample);
    return static_cast<unsigned>(
        2 * (frames * static_cast<uint64_t>(m_targetRate) / static_cast<uint64_t>(m_sourceRate) *
             static_cast<uint64_t>(m_targetChannels)) +
        1024);
}

int CWavresFilter::process(const void* in, unsigned inBytes, void** out, unsigned* outBytes) {
    if (!m_resampler) return -2;
    const unsigned frames = inBytes / static_cast<unsigned>(m_sourceChannels * m_bytesPerSample);
    const unsigned needed = neededBytes(inBytes);
    if (m_capacity < needed) {
        releaseBuffer();
        m_buffer = static_cast<short*>(avbridge_malloc(needed));
        if (!m_buffer) return -3;
        m_capacity = needed;
    }
    const int produced =
        avbridge_resample(m_resampler, m_buffer, static_cast<const short*>(in), static_cast<int>(frames));
    if (produced < 0) return -4;
    *out = m_buffer;
    *outBytes = static_cast<unsigned>(produced) * static_cast<unsigned>(m_targetChannels * m_bytesPerSample);
    return 0;
}

}  // namespace capdev
