#pragma once

#include <QtGlobal>

// Makes the preferences pictures available: the page icons
// ":/prefix/res/Settings/<page>.png" and ":/prefix/res/tips.png". Like the
// main window's pictures they sit in the static library, where only a
// reference keeps them: call this before showing one. GUI thread.
inline void LoadSettingsPictures() {
    static const bool loaded = [] {
        Q_INIT_RESOURCE(settings_pictures);
        return true;
    }();
    (void)loaded;
}
