// The service log "musicinfo.log" in the application-support folder, with
// rotation to numbered files ("musicinfo_1.log", "musicinfo_2.log", ...)
// once a file holds 10 MiB. One per process; every method may be called from
// any thread and serialises on the log mutex.
#pragma once

#include <cstdint>
#include <cstdio>
#include <memory>
#include <mutex>
#include <string>

#include "common/fileowner.h"

namespace aws {

class TraceLog {
public:
    // A file of this size or more is full.
    static constexpr std::uint64_t kFullSize = 10485760;
    static constexpr int kOpenTries = 100;

    static TraceLog& Instance();

    // Sets the folder (ending in a separator) that holds the log. A change
    // closes the open file, so that the next entry goes to the new folder.
    // An empty folder drops every entry.
    void SetFolder(const std::string& folder);

    // Appends one entry with a single write. When no file is open, the file
    // is chosen and opened first; when it cannot be opened the entry is
    // dropped. A file that reaches kFullSize is closed afterwards, so the next
    // entry opens the next numbered file. Returns true when written.
    bool Write(const std::string& entry);

    // Closes the open file, if any.
    void Close();

    // The file an entry would go to for the base path "<folder>musicinfo.log":
    // the base file unless it is full, else the first numbered file
    // ("<name>_<n><ext>") that is missing or not full. Empty when every
    // candidate is full.
    static std::string ChooseFile(const std::string& basePath);

private:
    TraceLog() = default;

    std::mutex m_mutex;
    std::string m_folder;      // guarded by m_mutex
    common::UniqueFile m_file; // guarded by m_mutex
};

}  // namespace aws
