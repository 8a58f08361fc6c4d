#include "recognition/recognizer.h"

#include <mutex>

#include "recognition/fingerprintrecognizer.h"

namespace aws {

namespace {

std::mutex g_recognizerMutex;
std::shared_ptr<Recognizer> g_recognizer;  // guarded by g_recognizerMutex

}  // namespace

std::shared_ptr<Recognizer> CurrentRecognizer() {
    std::lock_guard<std::mutex> lock(g_recognizerMutex);
    if (!g_recognizer) g_recognizer = std::make_shared<FingerprintRecognizer>();
    return g_recognizer;
}

void InstallRecognizer(std::shared_ptr<Recognizer> recognizer) {
    std::lock_guard<std::mutex> lock(g_recognizerMutex);
    g_recognizer = std::move(recognizer);
}

}  // namespace aws
