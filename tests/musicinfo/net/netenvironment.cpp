// libcurl's global initialisation once for the whole test program, as the
// service singleton does for the library.
#include <curl/curl.h>
#include <gtest/gtest.h>

namespace {

class CurlEnvironment : public testing::Environment {
public:
    void SetUp() override { ASSERT_EQ(curl_global_init(CURL_GLOBAL_ALL), CURLE_OK); }
    void TearDown() override { curl_global_cleanup(); }
};

const testing::Environment* const kCurl = testing::AddGlobalTestEnvironment(new CurlEnvironment);

}  // namespace
