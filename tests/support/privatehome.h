#pragma once

#include <string>

namespace testsupport {

// Points HOME and every XDG base folder at a fresh temporary tree for the
// life of the object, so that code under test never reads or writes the real
// user's files. The previous values are restored and the tree removed on
// destruction. Not thread-safe: create it before starting threads.
class PrivateHome {
public:
    PrivateHome();
    ~PrivateHome();
    PrivateHome(const PrivateHome&) = delete;
    PrivateHome& operator=(const PrivateHome&) = delete;

    // Root of the temporary tree; HOME is this folder.
    const std::string& root() const { return m_root; }

private:
    struct Saved {
        std::string name;
        std::string value;
        bool present;
    };
    void set(const char* name, const std::string& value);

    std::string m_root;
    Saved m_saved[8];
    int m_savedCount = 0;
};

// Points every outside address and command the programs use at something
// harmless, unless the environment already names one: the music services,
// the update check and the reachability probe at a loopback port where
// nothing listens, the mail program and the power-off command at commands
// that do nothing. Tests and benchmarks call it first; those that start
// stand-ins of their own set their addresses afterwards.
void KeepOutsideOnLoopback();

// Removes a folder tree; errors are ignored.
void removeTree(const std::string& path);

// Creates a fresh temporary folder and returns its path.
std::string makeTempDir(const char* prefix = "tunecap-test");

}  // namespace testsupport
