#pragma once

// Converts blocks of interleaved 16-bit PCM from one sample rate and channel
// count to another, through the avbridge resampler.

#include <cstdint>

struct AvbridgeResampler;

namespace capdev {

// Used by one thread (the recorder's encoder thread). The filter's delay is
// carried between blocks, so a stream converted block by block has no seams.
class CWavresFilter {
public:
    CWavresFilter(int targetRate, int targetChannels, int sourceRate, int sourceChannels);
    virtual ~CWavresFilter();
    CWavresFilter(const CWavresFilter&) = delete;
    CWavresFilter& operator=(const CWavresFilter&) = delete;

    // Converts `inBytes` of source PCM. On success returns 0 and reports the
    // converted block in *out / *outBytes; the block belongs to the filter
    // and stays valid until the next process() or releaseBuffer(). Returns
    // -2 when the resampler could not be opened, -3 when the output buffer
    // could not be allocated, -4 when the conversion failed.
    virtual int process(const void* in, unsigned inBytes, void** out, unsigned* outBytes);
    // Frees the output buffer.
    virtual void releaseBuffer();

    // Bytes of output buffer that process() needs for `inBytes` of input.
    unsigned neededBytes(unsigned inBytes) const;
    bool isOpen() const { return m_resampler != nullptr; }

private:
    AvbridgeResampler* m_resampler = nullptr;  // owned; closed by the destructor
    short* m_buffer = nullptr;                 // owned; from avbridge_malloc
    int m_bytesPerSample = 2;
    int m_sourceRate;
    int m_sourceChannels;
    unsigned m_capacity = 0;                   // bytes of m_buffer
    int m_targetRate;
    int m_targetChannels;
};

}  // namespace capdev
