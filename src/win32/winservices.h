#pragma once

#include "core/platform/platformservices.h"

#include <windows.h>

// The real platform services of the Windows program. WindowHandle is an HWND.

inline HWND HwndOf(WindowHandle window)
{
    return static_cast<HWND>(window);
}

// The alarm file through MCI, which every Windows has in winmm.dll: one call
// opens, sets the volume and plays, with no window and no COM; a failure to
// open or play comes back as an error or a failure notice.
class WinAlarmPlayer : public AlarmPlayer {
public:
    WinAlarmPlayer();
    ~WinAlarmPlayer() override;
    WinAlarmPlayer(const WinAlarmPlayer &) = delete;
    WinAlarmPlayer &operator=(const WinAlarmPlayer &) = delete;
    void play(const std::string &filePath) override;
    void stop() override;

private:
    static LRESULT CALLBACK NotifyProc(HWND, UINT, WPARAM, LPARAM);
    void close();
    void reportLater();

    HWND notify_ = nullptr;
    unsigned alarm_ = 0;
    bool open_ = false;
    bool live_ = false;
};

class WinTonePlayer : public TonePlayer {
public:
    void beep(int frequencyHz, int durationMs) override;
};

class WinMessageBoxes : public MessageBoxes {
public:
    MessageAnswer show(WindowHandle owner, const MessageSpec &spec) override;
};

class WinFileSystem : public FileSystem {
public:
    bool fileExists(const std::string &path) override;
    std::string programFolder() override;
};

class WinBrowserOpener : public BrowserOpener {
public:
    void open(WindowHandle owner, const std::string &url) override;
};

class WinClock : public Clock {
public:
    std::string timeOfDayText() override;
};

class WinWindowStacking : public WindowStacking {
public:
    void setKeepOnTop(WindowHandle window, bool onTop) override;
};

class WinProcessControl : public ProcessControl {
public:
    [[noreturn]] void endNow() override;
};

// The services of one run, owned together.
using WinPlatform =
    PlatformServices<WinAlarmPlayer, WinTonePlayer, WinMessageBoxes, WinFileSystem,
                     WinBrowserOpener, WinClock, WinWindowStacking, WinProcessControl>;
