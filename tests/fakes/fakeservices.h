#pragma once

// Fakes of the core's platform interfaces, plain C++ so that core tests run
// without a toolkit; the Qt tests use the same ones.

#include "core/platform/services.h"
#include "fakes/memorystore.h"

#include <cstdio>
#include <deque>
#include <functional>
#include <map>
#include <set>
#include <string>
#include <utility>
#include <vector>

class FakeAlarm : public AlarmPlayer {
public:
    void play(const std::string &filePath) override { played.push_back(filePath); }
    void stop() override { ++stops; }
    // Pretends the player found the last file unplayable.
    void failToPlay()
    {
        if (onCannotPlay)
            onCannotPlay();
    }
    std::vector<std::string> played;
    int stops = 0;
};

class FakeTone : public TonePlayer {
public:
    void beep(int frequencyHz, int durationMs) override
    {
        beeps.emplace_back(frequencyHz, durationMs);
        if (whileSounding)
            whileSounding();
    }
    std::vector<std::pair<int, int>> beeps;
    // Runs while the tone holds the caller, as a look at the screen would.
    std::function<void()> whileSounding;
};

// Answers message boxes from a script (Ok when the script is empty) and records
// what was shown. whileOpen runs "inside" the box, as ticks would.
class FakeMessages : public MessageBoxes {
public:
    MessageAnswer show(WindowHandle owner, const MessageSpec &spec) override
    {
        shown.push_back(spec);
        owners.push_back(owner);
        if (whileOpen)
            whileOpen();
        if (answers.empty())
            return MessageAnswer::Ok;
        MessageAnswer a = answers.front();
        answers.pop_front();
        return a;
    }
    std::deque<MessageAnswer> answers;
    std::vector<MessageSpec> shown;
    std::vector<WindowHandle> owners;
    std::function<void()> whileOpen;
};

class FakeFiles : public FileSystem {
public:
    bool fileExists(const std::string &path) override { return existing.count(path) != 0; }
    std::string programFolder() override { return folder; }
    std::set<std::string> existing;
    std::string folder = "/opt/brisko";
};

class FakeBrowser : public BrowserOpener {
public:
    void open(WindowHandle owner, const std::string &url) override
    {
        opened.push_back(url);
        owners.push_back(owner);
    }
    std::vector<std::string> opened;
    std::vector<WindowHandle> owners;
};

class FakeHttp : public HttpClient {
public:
    std::string get(const std::string &url) override
    {
        requested.push_back(url);
        if (whileWaiting)
            whileWaiting();
        auto it = bodies.find(url);
        return it == bodies.end() ? std::string() : it->second;
    }
    std::map<std::string, std::string> bodies;
    std::vector<std::string> requested;
    std::function<void()> whileWaiting;
};

class FakeClock : public Clock {
public:
    std::string timeOfDayText() override { return now; }
    std::string now = "13:05:09";
};

class FakeStacking : public WindowStacking {
public:
    void setKeepOnTop(WindowHandle window, bool onTop) override
    {
        calls.push_back(onTop);
        windows.push_back(window);
    }
    std::vector<bool> calls;
    std::vector<WindowHandle> windows;
};

class FakeProcess : public ProcessControl {
public:
    void endNow() override { ++ends; }
    int ends = 0;
};

// Records what the taskbar entry was told, in order: "none", "normal 0.25",
// "paused 0.5", "over 1", and "attention".
class FakeTaskbar : public TaskbarProgress {
public:
    void show(WindowHandle window, TaskbarState state, double fraction) override
    {
        static const char *const names[] = {"none", "normal", "paused", "over"};
        std::string call = names[static_cast<int>(state)];
        if (state != TaskbarState::None) {
            char number[32];
            std::snprintf(number, sizeof number, " %.4g", fraction);
            call += number;
        }
        calls.push_back(call);
        windows.push_back(window);
    }
    void requestAttention(WindowHandle window) override
    {
        calls.push_back("attention");
        windows.push_back(window);
    }
    std::vector<std::string> calls;
    std::vector<WindowHandle> windows;
};

// The one test rig: one of each fake, and the Services bundle that points at
// them (vendor http://vendor.test, version 1.2.2).
struct FakeEnvironment {
    MemoryStore store;
    FakeAlarm alarm;
    FakeTone tone;
    FakeMessages messages;
    FakeFiles files;
    FakeBrowser browser;
    FakeHttp http;
    FakeClock clock;
    FakeStacking stacking;
    FakeProcess process;
    FakeTaskbar taskbar;

    Services services()
    {
        Services s;
        s.store = &store;
        s.alarm = &alarm;
        s.tone = &tone;
        s.messages = &messages;
        s.files = &files;
        s.browser = &browser;
        s.http = &http;
        s.clock = &clock;
        s.stacking = &stacking;
        s.process = &process;
        s.taskbar = &taskbar;
        s.vendorUrl = "http://vendor.test";
        s.versionMajor = 1;
        s.versionMinor = 2;
        s.versionRevision = 2;
        return s;
    }
};
