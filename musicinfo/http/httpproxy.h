// The proxy of the HTTP layer and the common set-up of every easy handle.
//
// Two process-wide copies of the proxy exist: one for the handles of
// WebRequest objects and one for the transfer handles of requests
// (AWSConnection). InstallHttpProxy() sets both; a handle keeps the proxy it
// was set up with.
#pragma once

#include <string>

#include "http/curlhandle.h"

struct MusicParserProxyParam;

namespace aws {

// A proxy record, texts trimmed. type -1 (or a host shorter than 3 characters
// in the record it came from) means no proxy. The type is passed to libcurl
// unchanged: 0 HTTP, 1 HTTP/1.0, 4 SOCKS4, 5 SOCKS5, 6 SOCKS4A, 7 SOCKS5 with
// host names; any other non-negative value is taken as HTTP.
struct ProxyConfig {
    int type = -1;
    int port = 0;
    std::string host;
    std::string user;
    std::string password;

    bool IsSet() const { return type >= 0; }

    // Reads a record of the exported interface; NULL gives no proxy. Never
    // reads past the record's fixed-width fields, even when they lack a NUL.
    static ProxyConfig FromParam(const MusicParserProxyParam* param);
    // The record as the service stores it: type -1 for no proxy, texts cut to
    // the widths of the record's fields.
    void ToParam(MusicParserProxyParam* out) const;
};

enum class ProxyCopy { WebRequests, Connections };

// Sets both process-wide copies from a record (NULL = no proxy). Any thread.
void InstallHttpProxy(const MusicParserProxyParam* param);
// Sets one copy. Any thread.
void SetProxyCopy(ProxyCopy which, const ProxyConfig& proxy);
// A copy of one of the two process-wide copies. Any thread.
ProxyConfig CurrentProxy(ProxyCopy which);

// Puts the proxy on a handle, or switches the proxy off when !proxy.IsSet()
// (environment proxies are ignored as well).
void ApplyProxy(CURL* handle, const ProxyConfig& proxy);

// The set-up every easy handle gets: GET, the given proxy, connect time-out
// 5 s, low-speed limit 0 and low-speed time 10 s, no signals, http and https
// only (also after redirects).
void SetupEasyHandle(CURL* handle, const ProxyConfig& proxy);

// A new easy handle set up with the requests' proxy copy: the transfer handle
// of an AWSConnection. Null only when libcurl cannot allocate one.
CurlEasyPtr NewTransferHandle();

}  // namespace aws
