#pragma once

#include <QtGlobal>

// Makes the program's pictures (":/prefix/res/...") available. The resource
// code sits in the static library recdeck_lib, where the linker keeps it
// only when something refers to it: every widget that shows a picture calls
// this first. Cheap after the first call; GUI thread.
inline void LoadPictures() {
    static const bool loaded = [] {
        Q_INIT_RESOURCE(recdeck_pictures);
        return true;
    }();
    (void)loaded;
}
