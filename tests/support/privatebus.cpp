#include "privatebus.h"

#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>
#include <csignal>
#include <cstdlib>
#include <fstream>

#include "privatehome.h"

namespace testsupport {

PrivateSessionBus::PrivateSessionBus() : m_dir(makeTempDir("private-bus")) {
    const std::string config = m_dir + "/session.conf";
    {
        std::ofstream file(config);
        file << "<!DOCTYPE busconfig PUBLIC \"-//freedesktop//DTD D-Bus Bus Configuration "
                "1.0//EN\"\n"
                " \"http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd\">\n"
                "<busconfig><type>session</type>\n<listen>unix:dir="
             << m_dir
             << "</listen>\n<policy context=\"default\"><allow send_destination=\"*\" "
                "eavesdrop=\"true\"/><allow eavesdrop=\"true\"/><allow own=\"*\"/></policy>\n"
                "</busconfig>\n";
        if (!file) return;
    }
    int fds[2];
    if (pipe(fds) != 0) return;
    m_pid = fork();
    if (m_pid == 0) {
        close(fds[0]);
        dup2(fds[1], 1);
        execlp("dbus-daemon", "dbus-daemon", "--nofork", "--print-address=1",
               ("--config-file=" + config).c_str(), static_cast<char*>(nullptr));
        _exit(127);
    }
    close(fds[1]);
    if (m_pid < 0) {
        close(fds[0]);
        return;
    }
    pollfd p{fds[0], POLLIN, 0};
    while (poll(&p, 1, 10000) > 0) {
        char c = 0;
        if (read(fds[0], &c, 1) != 1 || c == '\n') break;
        m_address += c;
    }
    close(fds[0]);
    if (m_address.empty()) return;
    if (const char* old = std::getenv("DBUS_SESSION_BUS_ADDRESS")) {
        m_hadAddress = true;
        m_saved = old;
    }
    setenv("DBUS_SESSION_BUS_ADDRESS", m_address.c_str(), 1);
}

PrivateSessionBus::~PrivateSessionBus() {
    if (!m_address.empty()) {
        if (m_hadAddress)
            setenv("DBUS_SESSION_BUS_ADDRESS", m_saved.c_str(), 1);
        else
            unsetenv("DBUS_SESSION_BUS_ADDRESS");
    }
    if (m_pid > 0) {
        ::kill(m_pid, SIGTERM);
        int status = 0;
        waitpid(m_pid, &status, 0);
    }
    removeTree(m_dir);
}

}  // namespace testsupport
