// The five exported functions of the service. Nothing throws across them and
// none shows a message; each catches everything and answers with its failure
// result.
#include <cstring>
#include <filesystem>
#include <memory>
#include <mutex>
#include <string>
#include <system_error>

#include "awsrequest.h"
#include "http/httpproxy.h"
#include "log/tracelog.h"
#include "network/awsfactory.h"
#include "networkstatus.h"
#include "recognition/recognizer.h"
#include "servicecontext.h"
#include "songinforecord.h"
#include "tunecap.h"

namespace {

// A caller's text, at most `limit` bytes of it and no part of a UTF-8
// character; NULL gives the empty text.
std::string BoundedText(const char* text, std::size_t limit) {
    if (text == nullptr) return std::string();
    std::size_t length = strnlen(text, limit);
    if (length == limit) length = aws::WholeCharacterCut(text, length);
    return std::string(text, length);
}

}  // namespace

extern "C" {

TUNECAP_API int MusicParserInit(MusicParserInitInfo* init, MusicParserProxyParam* proxy) {
    using namespace aws;
    try {
        if (init == nullptr) return -1;
        ServiceContext& service = ServiceContext::Instance();
        service.SetShuttingDown(false);
        std::shared_ptr<NetworkStatus> network = CurrentNetworkStatus();

        if (proxy != nullptr) InstallHttpProxy(proxy);
        AWSFactory& factory = AWSFactory::Instance();
        if (proxy != nullptr) network->SetProxy(*proxy);

        service.SetInitInfo(*init);
        const std::string pictures = service.PicturesDir();
        if (!pictures.empty()) {
            std::error_code ec;
            std::filesystem::create_directories(pictures, ec);
        }

        network->WaitForVerdict();
        // MusicParserCleanup from another thread ends the wait: a program
        // that quits right after its start must not wait for the verdict,
        // nor find the recognizer started behind its cleanup.
        if (service.ShuttingDown()) return -1;

        std::lock_guard<Mutex> lock(factory.GlobalMutex());
        const std::string dataFolder = service.TakeDataFolder();
        TraceLog::Instance().SetFolder(dataFolder);
        if (proxy != nullptr) service.SetRecognitionProxy(*proxy);
        std::shared_ptr<Recognizer> recognizer = CurrentRecognizer();
        if (recognizer->IsInitialised()) return 0;
        return recognizer->Initialise(dataFolder, service.RecognitionProxy()) >= 0 ? 0 : -1;
    } catch (...) {
        return -1;
    }
}

TUNECAP_API int MusicParserCleanup(void) {
    using namespace aws;
    try {
        ServiceContext::Instance().SetShuttingDown(true);
        CurrentRecognizer()->Shutdown();
        CurrentNetworkStatus()->Shutdown();
        TraceLog::Instance().Close();
    } catch (...) {
    }
    return 0;
}

TUNECAP_API void* MusicParserRequest(MusicParserRequestInfo* info) {
    using namespace aws;
    try {
        if (info == nullptr || info->userData == nullptr || info->callback == nullptr) return nullptr;
        // After MusicParserCleanup nothing would ever answer the request.
        if (ServiceContext::Instance().ShuttingDown()) return nullptr;
        AWSRequest::Params params;
        params.filePath = info->filePath != nullptr ? info->filePath : "";
        const bool fileCounts = IsExistingRegularFile(params.filePath);
        if (!fileCounts && info->text1 == nullptr) return nullptr;
        params.kind = fileCounts ? 1 : (info->text1 != nullptr ? 2 : 0);
        params.text1 = BoundedText(info->text1, 127);
        params.text2 = BoundedText(info->text2, 127);
        params.text3 = BoundedText(info->text3, 127);
        params.userData = info->userData;
        params.callback = info->callback;

        auto request = std::make_unique<AWSRequest>(params);
        if (request->Start() != 0) return nullptr;
        return request.release();
    } catch (...) {
        return nullptr;
    }
}

TUNECAP_API void MusicParserDestroyRequest(void* handle) {
    if (handle == nullptr) return;
    auto* request = static_cast<aws::AWSRequest*>(handle);
    try {
        request->CancelAndJoin();
    } catch (...) {
    }
    delete request;
}

TUNECAP_API int MusicParserSetProxyParam(MusicParserProxyParam* proxy) {
    using namespace aws;
    if (proxy == nullptr) return -1;
    try {
        ServiceContext& service = ServiceContext::Instance();
        AWSFactory& factory = AWSFactory::Instance();
        {
            std::lock_guard<Mutex> lock(factory.GlobalMutex());
            service.SetRecognitionProxy(*proxy);
            std::shared_ptr<Recognizer> recognizer = CurrentRecognizer();
            if (recognizer->IsInitialised()) recognizer->SetProxy(service.RecognitionProxy());
        }
        CurrentNetworkStatus()->SetProxy(*proxy);
        InstallHttpProxy(proxy);
    } catch (...) {
    }
    return 1;
}

}  // extern "C"
