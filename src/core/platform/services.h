#pragma once

#include <functional>
#include <string>

class SettingsStore;

// Every service of the machine that the core uses reaches it through one of
// these small interfaces: built by a front end's main() (src/qt/qtservices.h)
// and replaced by fakes in the tests (tests/fakes). Text is UTF-8.

// A front end's own window, as that front end knows it (a QWidget* in Qt, an
// HWND on Windows). The core only hands it back to the services.
using WindowHandle = void *;

// Plays the alarm file: once, at half volume, with no window of its own.
class AlarmPlayer {
public:
    virtual ~AlarmPlayer() = default;
    // Starts the file from its beginning at once, cutting off an alarm that is
    // still sounding, and returns without waiting.
    virtual void play(const std::string &filePath) = 0;
    // Harmless when nothing plays or nothing was ever loaded.
    virtual void stop() = 0;
    // Called when the player reports that it cannot play the file it was given.
    std::function<void()> onCannotPlay;
};

// A plain tone that holds the caller until it has ended.
class TonePlayer {
public:
    virtual ~TonePlayer() = default;
    virtual void beep(int frequencyHz, int durationMs) = 0;
};

struct MessageSpec {
    enum class Buttons { Ok, OkCancel };
    enum class Icon { None, Question };
    std::string text;
    std::string title;
    Buttons buttons = Buttons::Ok;
    Icon icon = Icon::None;
    bool cancelIsDefault = false;
};

enum class MessageAnswer { Ok, Cancel };

// Modal message boxes. The real one keeps the event loop (and so every timer
// tick) running while it waits for the answer.
class MessageBoxes {
public:
    virtual ~MessageBoxes() = default;
    virtual MessageAnswer show(WindowHandle owner, const MessageSpec &spec) = 0;
};

class FileSystem {
public:
    virtual ~FileSystem() = default;
    // True for an ordinary file; a folder, or a hidden or system file, counts
    // as missing.
    virtual bool fileExists(const std::string &path) = 0;
    // The folder that holds the program file, without a trailing separator.
    virtual std::string programFolder() = 0;
};

// Hands an address to the user's default web browser and returns at once.
// owner: the window it is opened from, which owns any message the system
// shows about it.
class BrowserOpener {
public:
    virtual ~BrowserOpener() = default;
    virtual void open(WindowHandle owner, const std::string &url) = 0;
};

// A GET that waits for its reply while the event loop goes on running.
class HttpClient {
public:
    virtual ~HttpClient() = default;
    // The response body (whatever the status code), or "" on any failure,
    // time-out included.
    virtual std::string get(const std::string &url) = 0;
};

// The time of day, written as the platform's locale writes one: the locale
// belongs to the platform, so the text is made there.
class Clock {
public:
    virtual ~Clock() = default;
    virtual std::string timeOfDayText() = 0;
};

// Puts a top-level window into or out of the always-on-top band without
// re-creating it and without taking the keyboard focus.
class WindowStacking {
public:
    virtual ~WindowStacking() = default;
    virtual void setKeepOnTop(WindowHandle window, bool onTop) = 0;
};

// Ends the process at once: no close handler, no tick, no question after it.
class ProcessControl {
public:
    virtual ~ProcessControl() = default;
    virtual void endNow() = 0;
};

// How a taskbar entry shows a run's progress: none, a bar, a bar marked as
// paused, a full bar marked as over (the error colour where there is one).
enum class TaskbarState { None, Normal, Paused, Over };

// The run's progress on the window's taskbar entry (or dock icon), and a
// request for the user's attention. Where the desktop shows neither, both do
// nothing; neither waits for anyone.
class TaskbarProgress {
public:
    virtual ~TaskbarProgress() = default;
    // fraction is 0 to 1 and means nothing when state is None.
    virtual void show(WindowHandle window, TaskbarState state, double fraction) = 0;
    // Marks the window as wanting the user, once, until the user comes to it.
    virtual void requestAttention(WindowHandle window) = 0;
};

struct Services {
    SettingsStore *store = nullptr;
    AlarmPlayer *alarm = nullptr;
    TonePlayer *tone = nullptr;
    MessageBoxes *messages = nullptr;
    FileSystem *files = nullptr;
    BrowserOpener *browser = nullptr;
    HttpClient *http = nullptr;
    Clock *clock = nullptr;
    WindowStacking *stacking = nullptr;
    ProcessControl *process = nullptr;
    // May be null: then nothing is shown beside the window.
    TaskbarProgress *taskbar = nullptr;
    // Base address of the vendor's web site, without a trailing slash.
    std::string vendorUrl;
    int versionMajor = 0;
    int versionMinor = 0;
    int versionRevision = 0;
};
