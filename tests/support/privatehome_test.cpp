#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "privatehome.h"

namespace {

std::string env(const char* name) {
    const char* v = std::getenv(name);
    return v ? v : "";
}

TEST(PrivateHome, RedirectsAndRestoresEveryFolder) {
    const std::string outerHome = env("HOME");
    std::string root;
    {
        testsupport::PrivateHome home;
        root = home.root();
        EXPECT_EQ(env("HOME"), root);
        EXPECT_NE(root, outerHome);
        for (const char* name : {"XDG_CONFIG_HOME", "XDG_DATA_HOME", "XDG_CACHE_HOME",
                                 "XDG_STATE_HOME", "XDG_RUNTIME_DIR"}) {
            EXPECT_EQ(env(name).rfind(root + "/", 0), 0u) << name << " = " << env(name);
        }
        EXPECT_TRUE(std::filesystem::is_directory(env("XDG_RUNTIME_DIR")));
    }
    EXPECT_EQ(env("HOME"), outerHome);
    EXPECT_FALSE(std::filesystem::exists(root));
}

TEST(PrivateHome, ShellHelperRunsCommandInsideFreshTree) {
    const std::string script = env("TUNECAP_TEST_SUPPORT_DIR") + "/with-private-home";
    ASSERT_TRUE(std::filesystem::exists(script)) << script;
    const std::string cmd = script +
        " sh -c 'test \"$HOME\" != \"$OUTER\" && test -d \"$XDG_RUNTIME_DIR\" && "
        "case \"$XDG_CONFIG_HOME\" in \"$HOME\"/*) exit 7;; esac; exit 1'";
    setenv("OUTER", env("HOME").c_str(), 1);
    const int rc = std::system(cmd.c_str());
    ASSERT_TRUE(WIFEXITED(rc));
    EXPECT_EQ(WEXITSTATUS(rc), 7);
}

}  // namespace
