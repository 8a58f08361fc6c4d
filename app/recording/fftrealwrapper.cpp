#include "fftrealwrapper.h"

#include <QtGlobal>

#include <fftw3.h>

#include <cmath>
#include <cstring>
#include <mutex>

namespace {
// FFTW's planner keeps global state: plans are made and freed under it.
std::mutex& PlannerLock() {
    static std::mutex lock;
    return lock;
}
}  // namespace

// FFTW's aligned buffers and the plan that reads and writes them.
struct FFTRealWrapper::Plan {
    float* in = nullptr;
    fftwf_complex* out = nullptr;
    fftwf_plan plan = nullptr;

    Plan() {
        in = static_cast<float*>(fftwf_malloc(sizeof(float) * kLength));
        out = static_cast<fftwf_complex*>(fftwf_malloc(sizeof(fftwf_complex) * (kLength / 2 + 1)));
        if (in == nullptr || out == nullptr) return;
        std::lock_guard<std::mutex> lock(PlannerLock());
        plan = fftwf_plan_dft_r2c_1d(kLength, in, out, FFTW_ESTIMATE);
    }
    ~Plan() {
        if (plan != nullptr) {
            std::lock_guard<std::mutex> lock(PlannerLock());
            fftwf_destroy_plan(plan);
        }
        fftwf_free(out);
        fftwf_free(in);
    }
    Plan(const Plan&) = delete;
    Plan& operator=(const Plan&) = delete;
};

FFTRealWrapper::FFTRealWrapper() : m_plan(std::make_unique<Plan>()) {
    if (m_plan->plan == nullptr) qFatal("Failed to allocate memory!");
}

FFTRealWrapper::~FFTRealWrapper() = default;

void FFTRealWrapper::calculateFFT(float* out, const float* in) {
    std::memcpy(m_plan->in, in, sizeof(float) * kLength);
    fftwf_execute(m_plan->plan);
    const fftwf_complex* bins = m_plan->out;
    constexpr int half = kLength / 2;
    for (int k = 0; k <= half; ++k) out[k] = bins[k][0];
    for (int k = 1; k < half; ++k) out[half + k] = -bins[k][1];
}

float FFTRealWrapper::Magnitude(const float* out, int bin) {
    constexpr int half = kLength / 2;
    const float re = out[bin];
    const float im = (bin > 0 && bin < half) ? out[half + bin] : 0.0f;
    return std::sqrt(re * re + im * im);
}
