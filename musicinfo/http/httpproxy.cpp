#include "http/httpproxy.h"

#include <cstdio>
#include <cstring>
#include <mutex>

#include "fixedtext.h"
#include "tunecap.h"

namespace aws {
namespace {

// A fixed-width text field, read up to its NUL or its width.
std::string FieldText(const char* field, std::size_t width) {
    const void* end = std::memchr(field, '\0', width);
    std::size_t len = end ? static_cast<std::size_t>(static_cast<const char*>(end) - field) : width;
    return std::string(field, len);
}

std::string Trimmed(std::string text) {
    auto blank = [](unsigned char c) { return c == ' ' || (c >= '\t' && c <= '\r'); };
    while (!text.empty() && blank(static_cast<unsigned char>(text.back()))) text.pop_back();
    std::size_t first = 0;
    while (first < text.size() && blank(static_cast<unsigned char>(text[first]))) ++first;
    return text.substr(first);
}

curl_proxytype CurlProxyType(int type) {
    switch (type) {
        case 1:
            return CURLPROXY_HTTP_1_0;
        case 4:
            return CURLPROXY_SOCKS4;
        case 5:
            return CURLPROXY_SOCKS5;
        case 6:
            return CURLPROXY_SOCKS4A;
        case 7:
            return CURLPROXY_SOCKS5_HOSTNAME;
        default:
            return CURLPROXY_HTTP;
    }
}

struct ProxyCopies {
    std::mutex lock;
    ProxyConfig webRequests;  // guarded by lock
    ProxyConfig connections;  // guarded by lock
};

ProxyCopies& Copies() {
    static ProxyCopies copies;
    return copies;
}

}  // namespace

ProxyConfig ProxyConfig::FromParam(const MusicParserProxyParam* param) {
    ProxyConfig proxy;
    if (!param || param->type == -1) return proxy;
    std::string host = Trimmed(FieldText(param->host, sizeof(param->host)));
    if (host.size() < 3) return proxy;
    proxy.type = param->type < 0 ? 0 : param->type;
    proxy.port = param->port;
    proxy.host = host;
    proxy.user = Trimmed(FieldText(param->userName, sizeof(param->userName)));
    proxy.password = FieldText(param->password, sizeof(param->password));
    return proxy;
}

void ProxyConfig::ToParam(MusicParserProxyParam* out) const {
    std::memset(out, 0, sizeof(*out));
    out->type = -1;
    if (!IsSet()) return;
    out->type = type;
    out->port = port;
    CopyText(out->host, host);
    CopyText(out->userName, user);
    CopyText(out->password, password);
}

void InstallHttpProxy(const MusicParserProxyParam* param) {
    ProxyConfig proxy = ProxyConfig::FromParam(param);
    std::lock_guard<std::mutex> lock(Copies().lock);
    Copies().webRequests = proxy;
    Copies().connections = proxy;
}

void SetProxyCopy(ProxyCopy which, const ProxyConfig& proxy) {
    std::lock_guard<std::mutex> lock(Copies().lock);
    (which == ProxyCopy::WebRequests ? Copies().webRequests : Copies().connections) = proxy;
}

ProxyConfig CurrentProxy(ProxyCopy which) {
    std::lock_guard<std::mutex> lock(Copies().lock);
    return which == ProxyCopy::WebRequests ? Copies().webRequests : Copies().connections;
}

void ApplyProxy(CURL* handle, const ProxyConfig& proxy) {
    if (!proxy.IsSet()) {
        // The empty text switches every proxy off, the environment's included.
        curl_easy_setopt(handle, CURLOPT_PROXY, "");
        return;
    }
    char address[256];
    std::snprintf(address, sizeof(address), "%s:%d", proxy.host.c_str(), proxy.port);
    curl_easy_setopt(handle, CURLOPT_PROXYTYPE, static_cast<long>(CurlProxyType(proxy.type)));
    curl_easy_setopt(handle, CURLOPT_PROXY, address);
    if (!proxy.user.empty()) {
        char credentials[256];
        std::snprintf(credentials, sizeof(credentials), "%s:%s", proxy.user.c_str(),
                      proxy.password.c_str());
        curl_easy_setopt(handle, CURLOPT_PROXYUSERPWD, credentials);
        curl_easy_setopt(handle, CURLOPT_PROXYAUTH, static_cast<long>(CURLAUTH_BASIC));
    }
}

void SetupEasyHandle(CURL* handle, const ProxyConfig& proxy) {
    curl_easy_setopt(handle, CURLOPT_HTTPGET, 1L);
    ApplyProxy(handle, proxy);
    curl_easy_setopt(handle, CURLOPT_CONNECTTIMEOUT_MS, 5000L);
    curl_easy_setopt(handle, CURLOPT_LOW_SPEED_LIMIT, 0L);
    curl_easy_setopt(handle, CURLOPT_LOW_SPEED_TIME, 10L);
    curl_easy_setopt(handle, CURLOPT_NOSIGNAL, 1L);
    // Addresses come from answers of outside services: never file:, ftp: or the like.
    curl_easy_setopt(handle, CURLOPT_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(handle, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
}

CurlEasyPtr NewTransferHandle() {
    CurlEasyPtr handle(curl_easy_init());
    if (handle) SetupEasyHandle(handle.get(), CurrentProxy(ProxyCopy::Connections));
    return handle;
}

}  // namespace aws
