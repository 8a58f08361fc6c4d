// One owner type per libcurl handle. Every easy handle and header list of
// the service lives in one of these; nothing frees them by hand.
#pragma once

#include <curl/curl.h>

#include <memory>

namespace aws {

struct CurlEasyDeleter {
    void operator()(CURL* handle) const noexcept { curl_easy_cleanup(handle); }
};
struct CurlSlistDeleter {
    void operator()(curl_slist* list) const noexcept { curl_slist_free_all(list); }
};

// An easy handle; used by one thread at a time.
using CurlEasyPtr = std::unique_ptr<CURL, CurlEasyDeleter>;
// A request header list built for one try.
using CurlSlistPtr = std::unique_ptr<curl_slist, CurlSlistDeleter>;

}  // namespace aws
