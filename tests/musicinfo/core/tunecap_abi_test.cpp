// The exported interface of libtunecap.so as the program binds it: the
// records' binary layout, the exported names, and the answers to bad
// arguments that need no network.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <cstddef>
#include <string>
#include <type_traits>

#include "tunecap.h"

namespace {

TEST(TunecapAbi, RecordsKeepTheirSizesAndOffsets) {
    EXPECT_EQ(STATUS_DONE, 3);
    EXPECT_EQ(STATUS_FAILED, 6);
    EXPECT_EQ(STATUS_CANCELLED, 8);

    EXPECT_EQ(sizeof(MusicParserInitInfo), 1028u);
    EXPECT_EQ(offsetof(MusicParserInitInfo, reserved), 0u);
    EXPECT_EQ(offsetof(MusicParserInitInfo, picturesDir), 4u);
    EXPECT_EQ(offsetof(MusicParserInitInfo, appSupportDir), 516u);

    EXPECT_EQ(sizeof(MusicParserProxyParam), 120u);
    EXPECT_EQ(offsetof(MusicParserProxyParam, type), 0u);
    EXPECT_EQ(offsetof(MusicParserProxyParam, port), 4u);
    EXPECT_EQ(offsetof(MusicParserProxyParam, host), 8u);
    EXPECT_EQ(offsetof(MusicParserProxyParam, userName), 72u);
    EXPECT_EQ(offsetof(MusicParserProxyParam, password), 104u);

    EXPECT_EQ(sizeof(MusicParserRequestInfo), 6 * sizeof(void*));
    EXPECT_EQ(offsetof(MusicParserRequestInfo, filePath), 0u);
    EXPECT_EQ(offsetof(MusicParserRequestInfo, text1), 1 * sizeof(void*));
    EXPECT_EQ(offsetof(MusicParserRequestInfo, text2), 2 * sizeof(void*));
    EXPECT_EQ(offsetof(MusicParserRequestInfo, text3), 3 * sizeof(void*));
    EXPECT_EQ(offsetof(MusicParserRequestInfo, userData), 4 * sizeof(void*));
    EXPECT_EQ(offsetof(MusicParserRequestInfo, callback), 5 * sizeof(void*));

    EXPECT_EQ(sizeof(RecordMusicInfo), 4280u);
    EXPECT_EQ(offsetof(RecordMusicInfo, albumId), 0u);
    EXPECT_EQ(offsetof(RecordMusicInfo, songName), 128u);
    EXPECT_EQ(offsetof(RecordMusicInfo, artist), 256u);
    EXPECT_EQ(offsetof(RecordMusicInfo, album), 384u);
    EXPECT_EQ(offsetof(RecordMusicInfo, releaseDate), 512u);
    EXPECT_EQ(offsetof(RecordMusicInfo, albumGenre), 544u);
    EXPECT_EQ(offsetof(RecordMusicInfo, albumMusicList), 672u);
    EXPECT_EQ(offsetof(RecordMusicInfo, imageCount), 1696u);
    EXPECT_EQ(offsetof(RecordMusicInfo, reserved), 1700u);
    EXPECT_EQ(offsetof(RecordMusicInfo, imagePaths), 1720u);
    EXPECT_EQ(sizeof(RecordMusicInfo::imagePaths), 5u * 512u);

    static_assert(std::is_same_v<MusicParserCallback, int (*)(void*, int, RecordMusicInfo*)>);
    static_assert(std::is_standard_layout_v<RecordMusicInfo> && std::is_trivial_v<RecordMusicInfo>);
}

// The library exports exactly its five functions by name; internals stay
// hidden.
TEST(TunecapAbi, ExportsTheFiveFunctionsByNameOnly) {
    void* lib = dlopen(TUNECAP_LIBRARY_FILE, RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(lib, nullptr) << dlerror();
    for (const char* name : {"MusicParserInit", "MusicParserCleanup", "MusicParserRequest",
                             "MusicParserDestroyRequest", "MusicParserSetProxyParam"}) {
        EXPECT_NE(dlsym(lib, name), nullptr) << name;
    }
    // The service log singleton and the request's worker are internal.
    EXPECT_EQ(dlsym(lib, "_ZN3aws8TraceLog8InstanceEv"), nullptr);
    EXPECT_EQ(dlsym(lib, "_ZN3aws10AWSRequest5StartEv"), nullptr);
    dlclose(lib);
}

int IgnoreAnswer(void*, int, RecordMusicInfo*) { return 0; }

TEST(TunecapAbi, BadArgumentsAreRefusedWithoutAnyRequest) {
    int userData = 0;
    char text[] = "Song";
    char missing[] = "/nonexistent/folder/never.wav";

    EXPECT_EQ(MusicParserRequest(nullptr), nullptr);

    MusicParserRequestInfo noUserData{nullptr, text, nullptr, nullptr, nullptr, &IgnoreAnswer};
    EXPECT_EQ(MusicParserRequest(&noUserData), nullptr);

    MusicParserRequestInfo noCallback{nullptr, text, nullptr, nullptr, &userData, nullptr};
    EXPECT_EQ(MusicParserRequest(&noCallback), nullptr);

    // A file that does not exist counts as no file; without text 1 there is
    // nothing to work with.
    MusicParserRequestInfo missingFile{missing, nullptr, nullptr, nullptr, &userData, &IgnoreAnswer};
    EXPECT_EQ(MusicParserRequest(&missingFile), nullptr);

    // Neither a file nor a text 1 that is more than blank.
    char blank[] = "  \t";
    MusicParserRequestInfo blankAll{blank, blank, nullptr, nullptr, &userData, &IgnoreAnswer};
    EXPECT_EQ(MusicParserRequest(&blankAll), nullptr);

    MusicParserDestroyRequest(nullptr);  // does nothing
    EXPECT_EQ(MusicParserInit(nullptr, nullptr), -1);
    EXPECT_EQ(MusicParserSetProxyParam(nullptr), -1);
}

}  // namespace
