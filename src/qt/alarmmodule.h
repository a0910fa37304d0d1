#pragma once

#include "core/platform/services.h"

class QObject;

// The alarm's sounds, the media file and the tone, are built into a module of
// their own (brisko_alarm_plugin) that the program loads with the first alarm:
// Qt Multimedia and its media backend cost start-up time and memory that a run
// which never sounds an alarm should not pay.

class ModuleAlarmPlayer : public AlarmPlayer {
public:
    // The current alarm's QMediaPlayer, or null before the first; for tests.
    virtual const QObject *mediaPlayer() const = 0;
};

// What the module hands out. The caller owns the players it makes.
struct SoundModuleEntry {
    ModuleAlarmPlayer *(*newAlarmPlayer)();
    TonePlayer *(*newTonePlayer)();
};

// The module's one exported function. Its name carries the version of the
// interfaces above, so that a module of another build is refused, not run.
#define BRISKO_SOUND_MODULE_ENTRY "brisko_sound_module_v1"
extern "C" const SoundModuleEntry *brisko_sound_module_v1();
