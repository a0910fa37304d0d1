#pragma once

#include "core/platform/services.h"

#include <QString>
#include <QTime>
#include <QWidget>

#include <QLocale>
#include <QUrl>

#include <memory>

class ModuleAlarmPlayer;

// The real platform services, over Qt (and the Win32 calls on Windows).
// WindowHandle is a QWidget* here.

inline WindowHandle HandleOf(QWidget *window)
{
    return window;
}
inline QWidget *WidgetOf(WindowHandle window)
{
    return static_cast<QWidget *>(window);
}

// The text the title shows after "计时器 " for a time of day: the locale's own
// long time format, without its time zone.
QString TimeOfDayText(const QTime &time);

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

class QtMessageBoxes : public MessageBoxes {
public:
    MessageAnswer show(WindowHandle owner, const MessageSpec &spec) override;
};

class QtFileSystem : public FileSystem {
public:
    bool fileExists(const std::string &path) override;
    std::string programFolder() override;
};

class QtBrowserOpener : public BrowserOpener {
public:
    void open(WindowHandle owner, const std::string &url) override;
};

class QtClock : public Clock {
public:
    std::string timeOfDayText() override;
};

class QtWindowStacking : public WindowStacking {
public:
    void setKeepOnTop(WindowHandle window, bool onTop) override;
};

class QtProcessControl : public ProcessControl {
public:
    [[noreturn]] void endNow() override;
};

// Loads Qt's own translations for the locale (the session's by default), so
// that Qt's texts, such as the buttons of message boxes, are in its language.
// Replaces what an earlier call loaded; false when the locale has none.
bool InstallQtTranslations(const QLocale &locale = QLocale());

// The real services of one run, owned together. services() hands them out
// with the build's vendor address and version; a caller may swap any of the
// pointers (a benchmark its own site and store) before building windows.
struct QtPlatform {
    QtAlarmPlayer alarm;
    QtTonePlayer tone;
    QtMessageBoxes messages;
    QtFileSystem files;
    QtBrowserOpener browser;
    QtClock clock;
    QtWindowStacking stacking;
    QtProcessControl process;

    Services services(SettingsStore *store, HttpClient *http);
};
