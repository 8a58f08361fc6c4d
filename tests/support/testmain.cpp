// Entry point of every test program. The whole run happens inside a private
// HOME with its own XDG folders, so no test touches the real user's files,
// widgets draw off screen, there is no session bus unless a test starts its
// own, and the power-off, update and mail commands do nothing. Running a test
// program by hand behaves as it does under CTest.
#include <gtest/gtest.h>

#include <cstdlib>

#include "privatehome.h"

extern "C" {
// Read by the sanitizer runtimes before main; harmless without them.
__attribute__((visibility("default"), used)) const char* __asan_default_options() {
    return "detect_leaks=1:strict_string_checks=1:detect_stack_use_after_return=1";
}
__attribute__((visibility("default"), used)) const char* __ubsan_default_options() {
    return "print_stacktrace=1:halt_on_error=1";
}
// Leaks inside system libraries that the project cannot free.
__attribute__((visibility("default"), used)) const char* __lsan_default_suppressions() {
    return "leak:libfontconfig\nleak:libdbus-1\nleak:libpulse\nleak:libglib-2.0\n"
           "leak:libgobject-2.0\nleak:libQt6DBus\n";
}
}

int main(int argc, char** argv) {
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    setenv("TUNECAP_TEST_SUPPORT_DIR", TUNECAP_TEST_SUPPORT_DIR, 0);
    setenv("TUNECAP_BIN_DIR", TUNECAP_BIN_DIR, 0);
    // No test reaches a public service, a mail program or the power-off
    // command unless it points them at its own stand-ins.
    testsupport::KeepOutsideOnLoopback();
    testing::InitGoogleTest(&argc, argv);
    testsupport::PrivateHome home;
    // No test may reach the user's session bus: unless a test starts its
    // own (privatebus.h), the address names a socket that does not exist.
    setenv("DBUS_SESSION_BUS_ADDRESS", ("unix:path=" + home.root() + "/runtime/no-session-bus").c_str(),
           1);
    return RUN_ALL_TESTS();
}
