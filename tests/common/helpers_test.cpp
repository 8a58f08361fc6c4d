// The descriptor owner and the log line formatter.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdarg>
#include <string>
#include <utility>

#include "common/fileowner.h"
#include "common/logline.h"

namespace {

bool IsOpenFd(int fd) { return ::fcntl(fd, F_GETFD) != -1; }

TEST(FileOwner, DescriptorsAreClosedOnceByTheirLastOwner) {
    int fd = -1;
    {
        common::UniqueFd owner(::open("/dev/null", O_RDONLY | O_CLOEXEC));
        ASSERT_TRUE(owner.valid());
        fd = owner.get();
        common::UniqueFd moved(std::move(owner));
        EXPECT_FALSE(owner.valid());
        EXPECT_EQ(moved.get(), fd);
        EXPECT_TRUE(IsOpenFd(fd));
    }
    EXPECT_FALSE(IsOpenFd(fd));

    common::UniqueFd owner(::open("/dev/null", O_RDONLY | O_CLOEXEC));
    fd = owner.get();
    owner.reset(::open("/dev/null", O_RDONLY | O_CLOEXEC));
    EXPECT_FALSE(IsOpenFd(fd));  // replaced, so closed
    EXPECT_TRUE(owner.Close());
    EXPECT_FALSE(owner.Close());  // nothing left to close
    const int kept = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
    {
        common::UniqueFd released(kept);
        EXPECT_EQ(released.release(), kept);
    }
    EXPECT_TRUE(IsOpenFd(kept));
    ::close(kept);
}

__attribute__((format(printf, 1, 2))) std::string Format(const char* format, ...) {
    va_list args;
    va_start(args, format);
    const common::LogLine line(format, args);
    va_end(args);
    EXPECT_EQ(line.size(), std::string(line.c_str()).size());
    return line.c_str();
}

TEST(LogLineFormat, FormatsLikePrintfAndCutsAt1023Characters) {
    EXPECT_EQ(Format("CAudioDevRecorder::StopRecord res: %d", -6), "CAudioDevRecorder::StopRecord res: -6");
    EXPECT_EQ(Format("%s,err code: %d", "/music/AU.mp3", 1), "/music/AU.mp3,err code: 1");
    const std::string long_(3000, 'x');
    EXPECT_EQ(Format("name: %s", long_.c_str()), "name: " + std::string(1017, 'x'));
    EXPECT_EQ(Format("%s", ""), "");
}

}  // namespace
