#pragma once

#include <memory>

// A 2048-point real-input FFT with FFTReal's output layout, computed by FFTW
// (single precision):
//   out[0 .. 1024]     real parts of bins 0 .. 1024,
//   out[1025 .. 2047]  imaginary parts of bins 1 .. 1023,
// where bin k is sum over n of in[n] * e^(+2*pi*i*k*n/2048): FFTReal's sign,
// the conjugate of FFTW's forward transform. Unscaled.
//
// Construct and destroy on one thread at a time (FFTW's planner is not
// thread-safe; a process-wide lock serialises it). calculateFFT() may run on
// any thread, but not on two threads at once for one object.
class FFTRealWrapper {
public:
    static constexpr int kLengthBits = 11;
    static constexpr int kLength = 1 << kLengthBits;

    FFTRealWrapper();
    ~FFTRealWrapper();
    FFTRealWrapper(const FFTRealWrapper&) = delete;
    FFTRealWrapper& operator=(const FFTRealWrapper&) = delete;

    // Transforms kLength values of in into kLength values of out.
    void calculateFFT(float* out, const float* in);

    // Magnitude of bin (0 .. kLength / 2) in an output of calculateFFT().
    static float Magnitude(const float* out, int bin);

private:
    struct Plan;
    std::unique_ptr<Plan> m_plan;
};
