#include "graph/volumefilter.h"

#include <cstdint>
#include <cstring>

namespace capdev {

bool ReadPcmFormat(const void* data, unsigned bytes, WaveFormat* format) {
    if (data == nullptr || bytes < kWaveFormatBytes) {
        return false;
    }
    WaveFormat read;
    std::memcpy(&read, data, kWaveFormatBytes);
    if (read.formatTag != kWaveFormatPcm) {
        return false;
    }
    *format = read;
    return true;
}

int CVolumeFilter::CheckInputType(const void* format, unsigned bytes) {
    return ReadPcmFormat(format, bytes, &m_format) ? 0 : kTypeNotAccepted;
}

void CVolumeFilter::Transform(void* data, unsigned bytes) const {
    Apply(data, bytes, m_volume.load(), m_format.bitsPerSample);
}

void CVolumeFilter::Apply(void* data, unsigned bytes, unsigned volume, unsigned bitsPerSample) {
    if (data == nullptr || bytes == 0) {
        return;
    }
    if (volume == 0) {
        std::memset(data, 0, bytes);
        return;
    }
    if (volume == 100 || volume > 200 || bitsPerSample != 16) {
        return;
    }
    const int32_t factor = static_cast<int32_t>(volume * 256 / 100);
    auto* p = static_cast<unsigned char*>(data);
    for (unsigned i = 0; i + 1 < bytes; i += 2) {
        int16_t v;
        std::memcpy(&v, p + i, sizeof v);
        // An arithmetic shift: negative values round towards minus infinity.
        int32_t scaled = (static_cast<int32_t>(v) * factor) >> 8;
        if (scaled > INT16_MAX) {
            scaled = INT16_MAX;
        } else if (scaled < INT16_MIN) {
            scaled = INT16_MIN;
        }
        v = static_cast<int16_t>(scaled);
        std::memcpy(p + i, &v, sizeof v);
    }
}

}  // namespace capdev
