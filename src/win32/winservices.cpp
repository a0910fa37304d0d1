#include "win32/winservices.h"

#include "win32/widetext.h"
#include "win32/win32calls.h"

#include <mmsystem.h>

#include <cstdio>

using widetext::Narrow;
using widetext::Widen;

// --- alarm ----------------------------------------------------------------------

namespace {

constexpr UINT kCannotPlay = WM_APP + 1;
const wchar_t kNotifyClass[] = L"BriskoAlarmNotify";

} // namespace

WinAlarmPlayer::WinAlarmPlayer()
{
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof(wc);
    wc.lpfnWndProc = NotifyProc;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.lpszClassName = kNotifyClass;
    RegisterClassExW(&wc);
    // A message-only window: MCI's notices and the late reports arrive here.
    notify_ = CreateWindowExW(0, kNotifyClass, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                              wc.hInstance, nullptr);
    SetWindowLongPtrW(notify_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
}

WinAlarmPlayer::~WinAlarmPlayer()
{
    close();
    if (notify_)
        DestroyWindow(notify_);
}

void WinAlarmPlayer::close()
{
    if (open_)
        mciSendStringW(L"close brisko_alarm", nullptr, 0, nullptr);
    open_ = false;
}

void WinAlarmPlayer::reportLater()
{
    // Reported after play() has returned, like a player's own verdict.
    PostMessageW(notify_, kCannotPlay, alarm_, 0);
}

void WinAlarmPlayer::play(const std::string &filePath)
{
    // Opened anew for every alarm: it starts from the beginning, and a file
    // replaced meanwhile is the one heard.
    close();
    ++alarm_;
    live_ = true;
    const std::wstring open =
        L"open \"" + Widen(filePath) + L"\" type mpegvideo alias brisko_alarm";
    if (mciSendStringW(open.c_str(), nullptr, 0, nullptr) != 0) {
        reportLater();
        return;
    }
    open_ = true;
    // 0 to 1000: half volume.
    mciSendStringW(L"setaudio brisko_alarm volume to 500", nullptr, 0, nullptr);
    if (mciSendStringW(L"play brisko_alarm from 0 notify", nullptr, 0, notify_) != 0) {
        close();
        reportLater();
    }
}

void WinAlarmPlayer::stop()
{
    live_ = false;
    ++alarm_;
    close();
}

LRESULT CALLBACK WinAlarmPlayer::NotifyProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    auto *self = reinterpret_cast<WinAlarmPlayer *>(GetWindowLongPtrW(window, GWLP_USERDATA));
    if (self && message == kCannotPlay) {
        if (wParam == self->alarm_ && self->live_ && self->onCannotPlay)
            self->onCannotPlay();
        return 0;
    }
    if (self && message == MM_MCINOTIFY) {
        // Only a failure of the device now open counts; aborted and
        // superseded plays were stopped on purpose.
        const auto device = static_cast<MCIDEVICEID>(lParam);
        if (wParam == MCI_NOTIFY_FAILURE && self->open_ && self->live_ &&
            device == mciGetDeviceIDW(L"brisko_alarm")) {
            self->close();
            if (self->onCannotPlay)
                self->onCannotPlay();
        }
        return 0;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

void WinTonePlayer::beep(int frequencyHz, int durationMs)
{
    PlatformBeep(static_cast<unsigned>(frequencyHz), static_cast<unsigned>(durationMs));
}

// --- message boxes --------------------------------------------------------------------

MessageAnswer WinMessageBoxes::show(WindowHandle owner, const MessageSpec &spec)
{
    UINT type = spec.buttons == MessageSpec::Buttons::OkCancel ? MB_OKCANCEL : MB_OK;
    if (spec.icon == MessageSpec::Icon::Question)
        type |= MB_ICONQUESTION;
    if (spec.cancelIsDefault && spec.buttons == MessageSpec::Buttons::OkCancel)
        type |= MB_DEFBUTTON2;
    // The box's own loop keeps dispatching every window's timer ticks.
    const int answer =
        MessageBoxW(HwndOf(owner), Widen(spec.text).c_str(), Widen(spec.title).c_str(), type);
    return answer == IDOK ? MessageAnswer::Ok : MessageAnswer::Cancel;
}

// --- files, browser, clock, stacking, ending -----------------------------------------

bool WinFileSystem::fileExists(const std::string &path)
{
    const DWORD attributes = GetFileAttributesW(Widen(path).c_str());
    return attributes != INVALID_FILE_ATTRIBUTES &&
           !(attributes &
             (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM));
}

std::string WinFileSystem::programFolder()
{
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        const DWORD length =
            GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
        if (length == 0)
            return ".";
        if (length < path.size()) {
            path.resize(length);
            break;
        }
        path.resize(path.size() * 2);
    }
    const size_t slash = path.find_last_of(L"\\/");
    return Narrow(slash == std::wstring::npos ? L"." : path.substr(0, slash));
}

void WinBrowserOpener::open(WindowHandle owner, const std::string &url)
{
    PlatformOpenUrl(HwndOf(owner), url);
}

std::string WinClock::timeOfDayText()
{
    // The user's locale's own time format (H:mm:ss on a Chinese system).
    wchar_t text[80] = {};
    if (GetTimeFormatEx(LOCALE_NAME_USER_DEFAULT, 0, nullptr, nullptr, text, 80) <= 0)
        return {};
    return Narrow(text);
}

void WinWindowStacking::setKeepOnTop(WindowHandle window, bool onTop)
{
    PlatformSetTopmost(window, onTop);
}

void WinProcessControl::endNow()
{
    std::fflush(nullptr);
    ExitProcess(0);
}
