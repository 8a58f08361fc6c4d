#pragma once

#include <sys/types.h>
#include <string>

namespace testsupport {

// A D-Bus session bus private to one test program: a dbus-daemon with a
// configuration of its own (no service files, so nothing is ever started
// on demand), listening in a fresh temporary folder. The constructor starts
// it and points DBUS_SESSION_BUS_ADDRESS of this process (and so of its
// children) at it; the destructor restores the previous value, stops the
// daemon by its process id and removes the folder. Create it before
// anything in the process uses the session bus.
class PrivateSessionBus {
public:
    PrivateSessionBus();
    ~PrivateSessionBus();
    PrivateSessionBus(const PrivateSessionBus&) = delete;
    PrivateSessionBus& operator=(const PrivateSessionBus&) = delete;

    // True when the daemon runs and told its address.
    bool ok() const { return m_pid > 0 && !m_address.empty(); }
    // The bus address, as DBUS_SESSION_BUS_ADDRESS holds it.
    const std::string& address() const { return m_address; }
    pid_t pid() const { return m_pid; }

private:
    std::string m_dir;
    std::string m_address;
    std::string m_saved;
    bool m_hadAddress = false;
    pid_t m_pid = -1;
};

}  // namespace testsupport
