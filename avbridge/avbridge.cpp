// The converter is libswresample; this file only maps the entry points onto it.

#include "avbridge.h"

extern "C" {
#include <libavutil/channel_layout.h>
#include <libavutil/mem.h>
#include <libavutil/opt.h>
#include <libswresample/swresample.h>
}

#include <cstdint>
#include <memory>
#include <new>

namespace {

struct SwrFree {
    void operator()(SwrContext* s) const { swr_free(&s); }
};

}  // namespace

struct AvbridgeResampler {
    std::unique_ptr<SwrContext, SwrFree> swr;
    int inRate = 0;
    int outRate = 0;
    int outChannels = 0;
};

namespace {

bool validChannels(int c) { return c >= 1 && c <= 8; }
bool validRate(int r) { return r >= 1 && r <= 768000; }

// Frames that fit the caller's buffer, by the size rule of avbridge_resample.
int64_t outputCapacity(const AvbridgeResampler& r, int frames) {
    const int64_t q = static_cast<int64_t>(frames) * r.outRate / r.inRate;
    return (2 * (q * r.outChannels) + 1024) / (2 * r.outChannels);
}

}  // namespace

extern "C" {

AvbridgeResampler* avbridge_resample_open(int outChannels, int inChannels, int outRate, int inRate,
                                          int outFormat, int inFormat, int filterLength,
                                          int log2PhaseCount, int linear, double cutoff) {
    if (!validChannels(outChannels) || !validChannels(inChannels) || !validRate(outRate) ||
        !validRate(inRate) || outFormat != AVBRIDGE_FMT_S16 || inFormat != AVBRIDGE_FMT_S16 ||
        filterLength < 1 || filterLength > 64 || log2PhaseCount < 0 || log2PhaseCount > 30 ||
        !(cutoff > 0.0 && cutoff <= 1.0))
        return nullptr;

    std::unique_ptr<AvbridgeResampler> r(new (std::nothrow) AvbridgeResampler);
    if (!r) return nullptr;
    AVChannelLayout outLayout, inLayout;
    av_channel_layout_default(&outLayout, outChannels);
    av_channel_layout_default(&inLayout, inChannels);
    SwrContext* swr = nullptr;
    const int res = swr_alloc_set_opts2(&swr, &outLayout, AV_SAMPLE_FMT_S16, outRate, &inLayout,
                                        AV_SAMPLE_FMT_S16, inRate, 0, nullptr);
    av_channel_layout_uninit(&outLayout);
    av_channel_layout_uninit(&inLayout);
    if (res < 0 || !swr) return nullptr;
    r->swr.reset(swr);
    if (av_opt_set_int(swr, "filter_size", filterLength, 0) < 0 ||
        av_opt_set_int(swr, "phase_shift", log2PhaseCount, 0) < 0 ||
        av_opt_set_int(swr, "linear_interp", linear ? 1 : 0, 0) < 0 ||
        av_opt_set_double(swr, "cutoff", cutoff, 0) < 0 || swr_init(swr) < 0)
        return nullptr;
    r->inRate = inRate;
    r->outRate = outRate;
    r->outChannels = outChannels;
    return r.release();
}

int avbridge_resample(AvbridgeResampler* handle, short* out, const short* in, int frames) {
    if (!handle || !out || frames < 0 || (frames > 0 && !in)) return -1;
    if (frames == 0) return 0;  // a null input would drain the filter
    const int64_t capacity = outputCapacity(*handle, frames);
    if (capacity > INT32_MAX) return -1;
    auto* outPlanes = reinterpret_cast<uint8_t*>(out);
    const auto* inPlanes = reinterpret_cast<const uint8_t*>(in);
    const int n = swr_convert(handle->swr.get(), &outPlanes, static_cast<int>(capacity),
                              &inPlanes, frames);
    return n < 0 ? -1 : n;
}

void avbridge_resample_close(AvbridgeResampler* handle) { delete handle; }

void* avbridge_malloc(unsigned bytes) { return bytes ? av_malloc(bytes) : nullptr; }

void avbridge_free(void* memory) { av_free(memory); }

}  // extern "C"
