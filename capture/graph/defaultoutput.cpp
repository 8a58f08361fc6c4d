#include "graph/defaultoutput.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <fstream>
#include <mutex>
#include <vector>

namespace capdev {

const char kVirtualDeviceName[] = "Tavra Audio";

namespace {

bool IsVirtual(const PlaybackDevice& d) {
    return d.description.find(kVirtualDeviceName) != std::string::npos;
}

// Creates every missing folder of `folder`.
bool MakeFolders(const std::string& folder) {
    std::size_t pos = 0;
    while ((pos = folder.find('/', pos + 1)) != std::string::npos) {
        const std::string part = folder.substr(0, pos);
        if (::mkdir(part.c_str(), 0700) != 0 && errno != EEXIST) {
            return false;
        }
    }
    return ::mkdir(folder.c_str(), 0700) == 0 || errno == EEXIST;
}

bool HasNewline(const std::string& s) { return s.find_first_of("\r\n") != std::string::npos; }

}  // namespace

CDefaultOutputState::CDefaultOutputState(std::string path)
    : m_path(path.empty() ? DefaultPath() : std::move(path)) {}

std::string CDefaultOutputState::DefaultPath() {
    const char* state = std::getenv("XDG_STATE_HOME");
    std::string base;
    if (state != nullptr && state[0] == '/') {
        base = state;
    } else {
        const char* home = std::getenv("HOME");
        base = std::string(home != nullptr ? home : "") + "/.local/state";
    }
    return base + "/Tavra/Tunecap/default-output";
}

namespace {

// Guards the state file's read-modify-write cycles within the process.
std::mutex& StateFileMutex() {
    static std::mutex* mutex = new std::mutex;  // never destroyed: exit order does not matter
    return *mutex;
}

std::vector<std::string> SplitTabs(const std::string& s) {
    std::vector<std::string> parts;
    std::size_t from = 0;
    for (;;) {
        const std::size_t tab = s.find('\t', from);
        parts.push_back(s.substr(from, tab == std::string::npos ? std::string::npos : tab - from));
        if (tab == std::string::npos) {
            return parts;
        }
        from = tab + 1;
    }
}

bool HasTabOrNewline(const MovedStream& m) {
    for (const std::string* s : {&m.origin, &m.name, &m.binary, &m.id, &m.role}) {
        if (s->find_first_of("\t\r\n") != std::string::npos) {
            return true;
        }
    }
    return false;
}

}  // namespace

CDefaultOutputState::Contents CDefaultOutputState::Read() const {
    Contents read;
    std::ifstream in(m_path);
    std::string line;
    while (in && std::getline(in, line)) {
        if (line.rfind("name=", 0) == 0) {
            read.output.name = line.substr(5);
        } else if (line.rfind("description=", 0) == 0) {
            read.output.description = line.substr(12);
        } else if (line.rfind("stream=", 0) == 0) {
            const std::vector<std::string> parts = SplitTabs(line.substr(7));
            if (parts.size() != 6 || parts[0].empty() ||
                parts[0].find_first_not_of("0123456789") != std::string::npos) {
                continue;
            }
            MovedStream m;
            m.index = static_cast<uint32_t>(std::strtoul(parts[0].c_str(), nullptr, 10));
            m.origin = parts[1];
            m.name = parts[2];
            m.binary = parts[3];
            m.id = parts[4];
            m.role = parts[5];
            read.streams.push_back(std::move(m));
        }
    }
    if (read.output.name.empty()) {
        read.output = RememberedOutput();
    }
    return read;
}

bool CDefaultOutputState::Write(const Contents& contents) const {
    if (contents.output.name.empty() && contents.streams.empty()) {
        ::unlink(m_path.c_str());
        return true;
    }
    const std::size_t slash = m_path.rfind('/');
    if (slash != std::string::npos && slash > 0 && !MakeFolders(m_path.substr(0, slash))) {
        return false;
    }
    const std::string temp = m_path + ".new";
    {
        std::ofstream out(temp, std::ios::trunc);
        if (!contents.output.name.empty()) {
            out << "name=" << contents.output.name << "\ndescription=" << contents.output.description
                << "\n";
        }
        for (const MovedStream& m : contents.streams) {
            out << "stream=" << m.index << '\t' << m.origin << '\t' << m.name << '\t' << m.binary
                << '\t' << m.id << '\t' << m.role << "\n";
        }
        out.flush();
        if (!out) {
            ::unlink(temp.c_str());
            return false;
        }
    }
    if (::rename(temp.c_str(), m_path.c_str()) != 0) {
        ::unlink(temp.c_str());
        return false;
    }
    return true;
}

bool CDefaultOutputState::Load(RememberedOutput* output) const {
    std::lock_guard<std::mutex> lock(StateFileMutex());
    const Contents read = Read();
    if (read.output.name.empty()) {
        return false;
    }
    *output = read.output;
    return true;
}

bool CDefaultOutputState::Save(const RememberedOutput& output) const {
    if (output.name.empty() || HasNewline(output.name) || HasNewline(output.description)) {
        return false;
    }
    std::lock_guard<std::mutex> lock(StateFileMutex());
    Contents contents = Read();
    contents.output = output;
    return Write(contents);
}

void CDefaultOutputState::Clear() const {
    std::lock_guard<std::mutex> lock(StateFileMutex());
    Contents contents = Read();
    contents.output = RememberedOutput();
    Write(contents);
}

std::vector<MovedStream> CDefaultOutputState::LoadStreams() const {
    std::lock_guard<std::mutex> lock(StateFileMutex());
    return Read().streams;
}

bool CDefaultOutputState::SaveStreams(const std::vector<MovedStream>& streams) const {
    std::lock_guard<std::mutex> lock(StateFileMutex());
    Contents contents = Read();
    contents.streams.clear();
    for (const MovedStream& m : streams) {
        if (!HasTabOrNewline(m)) {
            contents.streams.push_back(m);
        }
    }
    return Write(contents);
}

CDefaultOutputSwitch::CDefaultOutputSwitch(ISinkControl* control, CDefaultOutputState state)
    : m_control(control), m_state(std::move(state)) {}

int CDefaultOutputSwitch::ReadDevices(std::string* defaultName, std::vector<PlaybackDevice>* sinks) {
    if (const int err = m_control->DefaultSink(defaultName)) {
        return -err;
    }
    const int err = m_control->ListSinks(sinks);
    return err != 0 ? -err : 0;
}

int CDefaultOutputSwitch::ReadRealDefault(RememberedOutput* output) {
    std::string defaultName;
    std::vector<PlaybackDevice> sinks;
    if (const int err = ReadDevices(&defaultName, &sinks)) {
        return err;
    }
    const PlaybackDevice* chosen = nullptr;
    for (const auto& d : sinks) {
        if (d.name == defaultName && !IsVirtual(d)) {
            chosen = &d;
            break;
        }
    }
    if (chosen == nullptr) {
        for (const auto& d : sinks) {
            if (!IsVirtual(d)) {
                chosen = &d;
                break;
            }
        }
    }
    if (chosen == nullptr) {
        return -2;
    }
    *output = RememberedOutput{chosen->name, chosen->description};
    return 0;
}

int CDefaultOutputSwitch::SwitchToVirtual() {
    RememberedOutput real;
    if (const int err = ReadRealDefault(&real)) {
        return err;
    }
    std::vector<PlaybackDevice> sinks;
    if (const int err = m_control->ListSinks(&sinks)) {
        return -err;
    }
    const PlaybackDevice* virtualDevice = nullptr;
    for (const auto& d : sinks) {
        if (IsVirtual(d)) {
            virtualDevice = &d;
            break;
        }
    }
    if (virtualDevice == nullptr) {
        return -1;
    }
    m_remembered = real;
    m_state.Save(real);  // best effort: without it only a crash cannot be repaired
    if (const int err = m_control->SetDefaultSink(virtualDevice->name)) {
        m_state.Clear();
        return -err;
    }
    if (const int err = m_control->SetSinkMute(virtualDevice->name, false)) {
        // The user must not be left with a muted device as the default.
        if (MakeDefault(real) == 0) {
            m_state.Clear();
        }
        return -err;
    }
    return 0;
}

int CDefaultOutputSwitch::MakeDefault(const RememberedOutput& output) {
    std::vector<PlaybackDevice> sinks;
    if (const int err = m_control->ListSinks(&sinks)) {
        return -err;
    }
    const PlaybackDevice* target = nullptr;
    for (const auto& d : sinks) {
        if (d.name == output.name) {
            target = &d;
            break;
        }
    }
    for (const auto& d : sinks) {
        if (target == nullptr && !output.description.empty() && d.description == output.description) {
            target = &d;
        }
    }
    if (target == nullptr) {
        return -2;
    }
    const int err = m_control->SetDefaultSink(target->name);
    return err != 0 ? -err : 0;
}

int CDefaultOutputSwitch::MakeDefaultOrFirstOther(RememberedOutput* output) {
    int err = MakeDefault(*output);
    if (err == -2) {
        // The device is gone: any real one beats silence.
        err = ReadRealDefault(output);
        if (err == 0) {
            err = MakeDefault(*output);
        }
    }
    return err;
}

int CDefaultOutputSwitch::Restore() {
    if (m_remembered.name.empty()) {
        if (const int err = ReadRealDefault(&m_remembered)) {
            return err;
        }
    }
    RememberedOutput target = m_remembered;
    const int err = MakeDefaultOrFirstOther(&target);
    if (err == 0) {
        m_state.Clear();
    }
    return err;
}

int CDefaultOutputSwitch::RepairAfterCrash(RememberedOutput* restored) {
    RememberedOutput saved;
    if (!m_state.Load(&saved)) {
        m_state.Clear();
        return 0;
    }
    std::string defaultName;
    std::vector<PlaybackDevice> sinks;
    if (const int err = ReadDevices(&defaultName, &sinks)) {
        return err;
    }
    bool virtualIsDefault = false;
    for (const auto& d : sinks) {
        if (d.name == defaultName && IsVirtual(d)) {
            virtualIsDefault = true;
        }
    }
    if (!virtualIsDefault) {
        m_state.Clear();
        return 0;
    }
    const int err = MakeDefaultOrFirstOther(&saved);
    if (err == 0) {
        m_state.Clear();
        if (restored != nullptr) {
            *restored = saved;
        }
    }
    return err;
}

}  // namespace capdev
