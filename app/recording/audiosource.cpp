#include "audiosource.h"

#ifdef RECDECK_WITH_CAPDEV
#include "capdev.h"
#endif

QStringList RealInputNames(void* audioDev) {
    QStringList names;
#ifdef RECDECK_WITH_CAPDEV
    const int count = AudioDevGetInputCount(audioDev);
    for (int index = 0; index < count; ++index) {
        const char* name = AudioDevGetInputName(audioDev, unsigned(index));
        if (name == nullptr) continue;
        const QString text = QString::fromUtf8(name);
        if (!text.contains(QLatin1String(kVirtualDeviceName), Qt::CaseSensitive)) names << text;
    }
#else
    Q_UNUSED(audioDev);
#endif
    return names;
}

bool VirtualDevicePresent(void* audioDev) {
#ifdef RECDECK_WITH_CAPDEV
    return AudioDevSetDriverName(audioDev, kVirtualDeviceName) == 0;
#else
    Q_UNUSED(audioDev);
    return false;
#endif
}

QList<CPlayingApplication> PlayingApplications(void* audioDev) {
    QList<CPlayingApplication> found;
#ifdef RECDECK_WITH_CAPDEV
    const int count = AudioDevGetApplicationCount(audioDev);
    for (int index = 0; index < count; ++index) {
        AudioDevApplication app{};
        if (AudioDevGetApplication(audioDev, unsigned(index), &app) != 0) continue;
        CPlayingApplication entry;
        entry.name = QString::fromUtf8(app.name);
        entry.binary = QString::fromUtf8(app.binary);
        entry.iconName = QString::fromUtf8(app.iconName);
        entry.processId = app.processId;
        entry.playing = app.playing != 0;
        found << entry;
    }
#else
    Q_UNUSED(audioDev);
#endif
    return found;
}
