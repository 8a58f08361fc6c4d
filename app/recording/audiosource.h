#pragma once

#include <QList>
#include <QString>
#include <QStringList>

// What the capture engine offers as audio sources. Each function takes the
// engine instance (null, or a program built without the engine, finds
// nothing). Calls into the engine: GUI thread only, never while it records
// on another thread's behalf. QtCore only.

// The virtual device that carries what the computer plays.
inline constexpr char kVirtualDeviceName[] = "Tavra Audio";

// The engine's input names in its order, without those that contain
// kVirtualDeviceName (case-sensitive): the real inputs a user can choose.
QStringList RealInputNames(void* audioDev);

// Whether the engine finds an input whose name contains kVirtualDeviceName.
bool VirtualDevicePresent(void* audioDev);

// An application that plays on the sound server now, as the engine saw it.
struct CPlayingApplication {
    QString name;      // what the user knows it by
    QString binary;    // its program file's name, may be empty
    QString iconName;  // its icon in the icon theme, may be empty
    qint64 processId = 0;
    bool playing = false;  // a stream of it plays (is not paused)

    // Whether a setting's text names this application (by its program
    // file's name or its name).
    bool IsNamedBy(const QString& choice) const {
        return !choice.isEmpty() && (choice == binary || choice == name);
    }
};

// The applications with playback streams now, in the order their streams
// appeared (this program's own left out). Waits for the sound server (at
// most a few seconds when it does not answer).
QList<CPlayingApplication> PlayingApplications(void* audioDev);

