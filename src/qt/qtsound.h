#pragma once

#include "core/platform/services.h"

#include <QObject>
#include <QString>

#include <memory>

class ModuleAlarmPlayer;

// The alarm's sounds come from a module (alarmmodule.h) that the first alarm
// loads from plugins/brisko_alarm_plugin.so in the program's folder, never at
// start-up. Without the module every alarm file is unplayable and every tone
// a silent wait of its length.

// For tests: load the module from this file instead.
void UseSoundModuleFile(const QString &path);

class QtAlarmPlayer : public AlarmPlayer {
public:
    QtAlarmPlayer();
    ~QtAlarmPlayer() override;
    void play(const std::string &filePath) override;
    void stop() override;
    // The current alarm's QMediaPlayer, or null before the first alarm (and
    // without the module); for tests.
    const QObject *mediaPlayer() const;

private:
    std::unique_ptr<ModuleAlarmPlayer> player_;
    // Context of the report for an alarm without the module.
    std::unique_ptr<QObject> reports_;
    int alarm_ = 0;
    bool live_ = false;
};

// A sine tone through the default audio output; with no output device, or
// without the module, a plain wait of the same length.
class QtTonePlayer : public TonePlayer {
public:
    QtTonePlayer();
    ~QtTonePlayer() override;
    void beep(int frequencyHz, int durationMs) override;

private:
    std::unique_ptr<TonePlayer> player_;
};
