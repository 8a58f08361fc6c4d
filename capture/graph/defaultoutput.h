#pragma once

// Switches the default playback device to the virtual device "Tavra Audio"
// while computer audio is recorded, and back to the real device afterwards.
// The real device is also remembered in a small state file, so that a run
// that ended without switching back (a crash, a kill) can be repaired by the
// next one.

#include <string>
#include <vector>

#include "graph/sinkcontrol.h"

namespace capdev {

// A playback stream moved to "Tavra Audio" while one application is recorded:
// where it came from and whose it is.
struct MovedStream {
    uint32_t index = 0;   // the stream's index on the server
    std::string origin;   // name of the sink it came from
    std::string name;     // application.name
    std::string binary;   // application.process.binary
    std::string id;       // application.id
    std::string role;     // media.role
};

// The text that names the virtual device in a playback device's description.
extern const char kVirtualDeviceName[];

// A real playback device remembered while "Tavra Audio" is the default.
struct RememberedOutput {
    std::string name;         // the server's name, e.g. "alsa_output.pci-0000_00_1b.0"
    std::string description;  // e.g. "Built-in Audio Analog Stereo"
};

// The state file: two lines, "name=..." and "description=...", for the real
// device while "Tavra Audio" is the default, and a line
// "stream=index<TAB>origin<TAB>name<TAB>binary<TAB>id<TAB>role" for each
// stream moved to "Tavra Audio". Each part is saved and cleared without
// touching the other; the file goes when both are empty. Written whole under
// a temporary name and renamed into place, under a process-wide lock (the
// default switch and the stream router write it from different threads).
class CDefaultOutputState {
public:
    // `path` "" means DefaultPath().
    explicit CDefaultOutputState(std::string path = std::string());

    // $XDG_STATE_HOME (or ~/.local/state) + "/Tavra/Tunecap/default-output".
    static std::string DefaultPath();

    // False when there is no file or it does not hold a device name.
    bool Load(RememberedOutput* output) const;
    // Creates the folders as needed. False when the file cannot be written.
    bool Save(const RememberedOutput& output) const;
    // Forgets the device (the streams stay).
    void Clear() const;

    // The moved streams; empty when there are none.
    std::vector<MovedStream> LoadStreams() const;
    // Replaces the moved streams (the device stays). A stream whose texts
    // hold a tab or a line break is left out. False when the file cannot be
    // written.
    bool SaveStreams(const std::vector<MovedStream>& streams) const;
    const std::string& path() const { return m_path; }

private:
    struct Contents {
        RememberedOutput output;  // name empty: none
        std::vector<MovedStream> streams;
    };
    // With the file lock held.
    Contents Read() const;
    bool Write(const Contents& contents) const;

    std::string m_path;
};

// Not thread-safe: the engine's caller uses it. Results: 0; -1 when no
// playback device's description contains "Tavra Audio"; -2 when no real
// playback device can be determined; otherwise a server error, negated.
class CDefaultOutputSwitch {
public:
    CDefaultOutputSwitch(ISinkControl* control, CDefaultOutputState state);

    // The real default playback device: the default itself, or, when that is
    // "Tavra Audio", the first other device in index order.
    int ReadRealDefault(RememberedOutput* output);

    // Remembers the real default (in memory and in the state file), makes
    // the first device whose description contains "Tavra Audio" the default
    // and unmutes it. On failure the default and the state file stay as they
    // were.
    int SwitchToVirtual();

    // Makes the remembered device the default again (read anew when nothing
    // is remembered; the first other device when it is gone) and clears the
    // state file. The file stays when the switch fails, for a later repair.
    int Restore();

    // At start: when the state file names a device and "Tavra Audio" is still
    // the default, makes that device the default again, or the first other
    // device when it is gone; *restored (when given) names the device made
    // the default, and is left alone when nothing was done. A state file
    // whose work is done (someone chose another default meanwhile) is
    // cleared.
    int RepairAfterCrash(RememberedOutput* restored = nullptr);

    const RememberedOutput& remembered() const { return m_remembered; }

private:
    // The default device's name and the device list; 0 or a negated error.
    int ReadDevices(std::string* defaultName, std::vector<PlaybackDevice>* sinks);
    // Makes `output` the default: by name, or, when no device has that name
    // any more, the first whose description equals its description.
    int MakeDefault(const RememberedOutput& output);
    // MakeDefault, or, when no device matches any more, the real default
    // (ReadRealDefault); *output names the device made the default.
    int MakeDefaultOrFirstOther(RememberedOutput* output);

    ISinkControl* m_control;
    CDefaultOutputState m_state;
    RememberedOutput m_remembered;
};

}  // namespace capdev
