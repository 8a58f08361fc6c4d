#pragma once

/* avbridge: a sample-rate and channel converter for interleaved PCM, behind
 * five plain C entry points. Thread use: one handle is used by one thread at
 * a time; different handles are independent. No function shows a message or
 * lets an exception out. */

#ifdef __cplusplus
extern "C" {
#endif

#if defined(AVBRIDGE_BUILDING)
#define AVBRIDGE_EXPORT __attribute__((visibility("default")))
#else
#define AVBRIDGE_EXPORT
#endif

/* Sample format codes. Only signed 16-bit is supported. */
#define AVBRIDGE_FMT_S16 1

typedef struct AvbridgeResampler AvbridgeResampler;

/* Opens a converter from (inChannels, inRate) to (outChannels, outRate).
 * Formats must be AVBRIDGE_FMT_S16; channel counts 1..8; rates 1..768000.
 * filterLength (taps per phase, 1..64), log2PhaseCount (0..30), linear
 * (non-zero: interpolate between phases) and cutoff (0 < cutoff <= 1, as a
 * fraction of the lower Nyquist frequency) shape the polyphase filter.
 * Returns a handle owned by the caller (free it with avbridge_resample_close),
 * or NULL when a parameter is out of range or memory runs out. */
AVBRIDGE_EXPORT AvbridgeResampler* avbridge_resample_open(int outChannels, int inChannels, int outRate,
                                                          int inRate, int outFormat, int inFormat,
                                                          int filterLength, int log2PhaseCount,
                                                          int linear, double cutoff);

/* Converts `frames` input frames from `in` into `out` and returns the number
 * of output frames written (0 or more), or -1 on bad arguments or a failure
 * of the converter. `out` must hold at least
 *   2 x (frames x outRate / inRate x outChannels) + 1024 bytes
 * (integer arithmetic, left to right); no more is ever written. The filter's
 * delay is carried from call to call, so consecutive blocks join without a
 * seam. */
AVBRIDGE_EXPORT int avbridge_resample(AvbridgeResampler* handle, short* out, const short* in, int frames);

/* Frees a handle from avbridge_resample_open. NULL is ignored. */
AVBRIDGE_EXPORT void avbridge_resample_close(AvbridgeResampler* handle);

/* Allocates `bytes` bytes suitably aligned for the converter; NULL when
 * memory runs out or bytes is 0. Free with avbridge_free. */
AVBRIDGE_EXPORT void* avbridge_malloc(unsigned bytes);

/* Frees memory from avbridge_malloc. NULL is ignored. */
AVBRIDGE_EXPORT void avbridge_free(void* memory);

#ifdef __cplusplus
}
#endif
