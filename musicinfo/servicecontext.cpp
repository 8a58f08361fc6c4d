#include "servicecontext.h"

#include <sys/stat.h>

#include <cctype>
#include <cstring>

#include "songinforecord.h"

namespace aws {

ServiceContext::ServiceContext() { m_proxy.type = -1; }

ServiceContext& ServiceContext::Instance() {
    static ServiceContext context;
    return context;
}

void ServiceContext::SetInitInfo(const MusicParserInitInfo& info) {
    std::lock_guard<std::mutex> lock(m_dataMutex);
    m_init.reserved = info.reserved;
    CopyText(m_init.picturesDir, FieldText(info.picturesDir));
    CopyText(m_init.appSupportDir, FieldText(info.appSupportDir));
}

std::string ServiceContext::PicturesDir() const {
    std::lock_guard<std::mutex> lock(m_dataMutex);
    std::string dir = FieldText(m_init.picturesDir);
    return IsBlank(dir) ? std::string() : WithSeparator(dir);
}

std::string ServiceContext::TakeDataFolder() {
    std::lock_guard<std::mutex> lock(m_dataMutex);
    std::string dir = FieldText(m_init.appSupportDir);
    return IsBlank(dir) ? std::string() : WithSeparator(dir);
}

void ServiceContext::SetRecognitionProxy(const MusicParserProxyParam& proxy) {
    std::lock_guard<std::mutex> lock(m_dataMutex);
    m_proxy = NormalisedProxy(proxy);
}

MusicParserProxyParam ServiceContext::RecognitionProxy() const {
    std::lock_guard<std::mutex> lock(m_dataMutex);
    return m_proxy;
}

ServiceTiming ServiceContext::Timing() const {
    std::lock_guard<std::mutex> lock(m_dataMutex);
    return m_timing;
}

void ServiceContext::SetTiming(const ServiceTiming& timing) {
    std::lock_guard<std::mutex> lock(m_dataMutex);
    m_timing = timing;
}

void SetServiceTimingForTests(const ServiceTiming& timing) {
    ServiceContext::Instance().SetTiming(timing);
}

MusicParserProxyParam NormalisedProxy(const MusicParserProxyParam& proxy) {
    MusicParserProxyParam out{};
    out.type = proxy.type;
    out.port = proxy.port;
    CopyText(out.host, FieldText(proxy.host));
    CopyText(out.userName, FieldText(proxy.userName));
    CopyText(out.password, FieldText(proxy.password));
    if (out.type == -1 || std::strlen(out.host) < 3) {
        out.type = -1;
    }
    return out;
}

std::string WithSeparator(std::string folder) {
    if (!folder.empty() && folder.back() != '/' && folder.back() != '\\') folder += '/';
    return folder;
}

bool IsBlank(const std::string& text) {
    for (char c : text) {
        if (!std::isspace(static_cast<unsigned char>(c))) return false;
    }
    return true;
}

bool IsExistingRegularFile(const std::string& path) {
    if (IsBlank(path)) return false;
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

}  // namespace aws
