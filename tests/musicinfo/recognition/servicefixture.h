// The set-up shared by the tests that run whole requests: a private
// support and pictures folder, short network timings, the standard
// catalogue, and the stand-ins with the library pointed at them.
#pragma once

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstring>
#include <memory>
#include <string>

#include "coretestsupport.h"
#include "http/httpproxy.h"
#include "http/nettiming.h"
#include "musicworld.h"
#include "nettestfixture.h"
#include "privatehome.h"
#include "servicecontext.h"
#include "tunecap.h"

namespace musictest {

using namespace std::chrono_literals;
using coretest::CallbackProbe;

constexpr auto kAnswerWait = 60s;

inline std::string Text(const char* field) {
    return std::string(field);
}

class ServiceFixture : public ::testing::Test {
protected:
    void SetUp() override {
        songs = &musictest::TestSongs();
        ASSERT_FALSE(songs->songAMp3.empty());
        m_root = testsupport::makeTempDir("tunecap-recognition");
        support = m_root + "/support/";
        pictures = m_root + "/pictures/";
        ASSERT_EQ(::mkdir(support.c_str(), 0755), 0);
        aws::SetNetTimingForTests(nettest::FastTiming());
        aws::SetServiceTimingForTests({10ms, 3000ms});
        world = musictest::StandardWorld(*songs);
    }

    void TearDown() override {
        MusicParserCleanup();
        aws::InstallHttpProxy(nullptr);
        aws::ResetNetTimingForTests();
        aws::SetServiceTimingForTests({});
        services.reset();
        for (const char* name : {"TUNECAP_ACOUSTID_URL", "TUNECAP_MUSICBRAINZ_URL", "TUNECAP_COVERART_URL",
                                 "TUNECAP_IMAGESEARCH_URL"})
            ::setenv(name, "http://127.0.0.1:9", 1);
        ::unsetenv("TUNECAP_ACOUSTID_KEY");
        ::unsetenv("TUNECAP_PROBE_HOSTS");
        ::unsetenv("TUNECAP_COVER_BUDGET_MS");
        testsupport::removeTree(m_root);
    }

    int Init(MusicParserProxyParam* proxy = nullptr) {
        MusicParserInitInfo init{};
        std::strncpy(init.picturesDir, pictures.c_str(), sizeof init.picturesDir - 1);
        std::strncpy(init.appSupportDir, support.c_str(), sizeof init.appSupportDir - 1);
        return MusicParserInit(&init, proxy);
    }

    // Starts the stand-ins with `world`, points the library at them and
    // initialises it.
    void StartServices(bool builtInSearch = true, int port = 0) {
        services = std::make_unique<MusicServices>(world, port);
        ASSERT_TRUE(services->ok());
        services->Export(builtInSearch);
        ASSERT_EQ(Init(), 0);
    }

    void* Request(const std::string& path, const char* text1, CallbackProbe* probe) {
        MusicParserRequestInfo info{const_cast<char*>(path.c_str()), const_cast<char*>(text1), nullptr, nullptr,
                                    probe, &CallbackProbe::Callback};
        return MusicParserRequest(&info);
    }

    // Runs one request to its answer; the status, or -1 without one.
    int RequestAndWait(const std::string& path, const char* text1, CallbackProbe* probe) {
        void* handle = Request(path, text1, probe);
        if (handle == nullptr) return -1;
        const bool answered = probe->WaitForCalls(1, kAnswerWait);
        MusicParserDestroyRequest(handle);
        return answered ? probe->LastStatus() : -1;
    }

    std::string LogText() const { return musictest::ReadWhole(support + "musicinfo.log"); }

    const musictest::Songs* songs = nullptr;
    std::string m_root, support, pictures;
    Json::Value world;
    std::unique_ptr<MusicServices> services;
};

}  // namespace musictest
