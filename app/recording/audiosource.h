#pragma once

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
