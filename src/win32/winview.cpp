#include "win32/winview.h"

#include <commctrl.h>

#include <algorithm>

namespace winview {

namespace {

// Loaded by name: the per-window DPI calls exist from Windows 10 1607 on.
template <typename Fn> Fn User32Call(const char *name)
{
    const HMODULE user32 = GetModuleHandleW(L"user32.dll");
    const FARPROC proc = user32 ? GetProcAddress(user32, name) : nullptr;
    return reinterpret_cast<Fn>(reinterpret_cast<void (*)()>(proc));
}

const wchar_t kDialogKeysProp[] = L"BriskoDialogKeys";

} // namespace

UINT WindowDpi(HWND window)
{
    using GetDpiForWindowFn = UINT(WINAPI *)(HWND);
    static const auto getDpiForWindow = User32Call<GetDpiForWindowFn>("GetDpiForWindow");
    if (getDpiForWindow && window) {
        if (const UINT dpi = getDpiForWindow(window))
            return dpi;
    }
    const HDC screen = GetDC(nullptr);
    const int dpi = screen ? GetDeviceCaps(screen, LOGPIXELSY) : 96;
    if (screen)
        ReleaseDC(nullptr, screen);
    return dpi > 0 ? static_cast<UINT>(dpi) : 96;
}

void PlaceTwips(HWND control, int left, int top, int width, int height, UINT dpi, int rightLimit)
{
    const int x = Px(left, dpi);
    const int y = Px(top, dpi);
    int right = Px(left + width, dpi);
    if (rightLimit > 0)
        right = std::min(right, Px(rightLimit, dpi));
    SetWindowPos(control, nullptr, x, y, right - x, Px(top + height, dpi) - y,
                 SWP_NOZORDER | SWP_NOACTIVATE);
}

POINT WorkspaceToScreen(POINT point, const RECT &monitor, const RECT &work)
{
    return {point.x + work.left - monitor.left, point.y + work.top - monitor.top};
}

POINT NormalTopLeft(HWND window)
{
    if (!IsIconic(window)) {
        RECT frame{};
        GetWindowRect(window, &frame);
        return {frame.left, frame.top};
    }
    WINDOWPLACEMENT placement{};
    placement.length = sizeof(placement);
    GetWindowPlacement(window, &placement);
    const POINT corner{placement.rcNormalPosition.left, placement.rcNormalPosition.top};
    // For a minimised window the monitor is the one of its normal place.
    MONITORINFO monitor{};
    monitor.cbSize = sizeof(monitor);
    if (!GetMonitorInfoW(MonitorFromWindow(window, MONITOR_DEFAULTTOPRIMARY), &monitor))
        return corner;
    return WorkspaceToScreen(corner, monitor.rcMonitor, monitor.rcWork);
}

void SetFont(HWND control, HFONT font)
{
    SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(font), TRUE);
}

SIZE FrameForClient(int width, int height, DWORD style, DWORD exStyle, bool menu, UINT dpi)
{
    using AdjustFn = BOOL(WINAPI *)(LPRECT, DWORD, BOOL, DWORD, UINT);
    static const auto adjustForDpi = User32Call<AdjustFn>("AdjustWindowRectExForDpi");
    RECT rect{0, 0, width, height};
    if (adjustForDpi)
        adjustForDpi(&rect, style, menu, exStyle, dpi);
    else
        AdjustWindowRectEx(&rect, style, menu, exStyle);
    return {rect.right - rect.left, rect.bottom - rect.top};
}

HWND MakeControl(HWND parent, const wchar_t *windowClass, const std::wstring &text, DWORD style,
                 int id)
{
    return CreateWindowExW(0, windowClass, text.c_str(), WS_CHILD | style, 0, 0, 0, 0, parent,
                           reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)),
                           GetModuleHandleW(nullptr), nullptr);
}

void FitLabel(HWND label)
{
    const int length = GetWindowTextLengthW(label);
    std::wstring text(static_cast<size_t>(length) + 1, L'\0');
    text.resize(static_cast<size_t>(GetWindowTextW(label, text.data(), length + 1)));
    const HDC dc = GetDC(label);
    const auto font = reinterpret_cast<HFONT>(SendMessageW(label, WM_GETFONT, 0, 0));
    const HGDIOBJ old =
        SelectObject(dc, font ? static_cast<HGDIOBJ>(font) : GetStockObject(DEFAULT_GUI_FONT));
    // An empty text still takes one line's height, as a label does.
    RECT rect{0, 0, 0, 0};
    DrawTextW(dc, text.empty() ? L" " : text.c_str(), -1, &rect,
              DT_CALCRECT | DT_SINGLELINE | DT_NOPREFIX);
    SelectObject(dc, old);
    ReleaseDC(label, dc);
    const int width = text.empty() ? 0 : rect.right - rect.left;
    SetWindowPos(label, nullptr, 0, 0, width, rect.bottom - rect.top,
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    InvalidateRect(label, nullptr, TRUE);
}

void SetText(HWND control, const std::wstring &text)
{
    SetWindowTextW(control, text.c_str());
}

void SetAutoSizeText(HWND label, const std::wstring &text)
{
    SetWindowTextW(label, text.c_str());
    FitLabel(label);
}

void RegisterWindowClass(const wchar_t *name, WNDPROC procedure)
{
    const HINSTANCE instance = GetModuleHandleW(nullptr);
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof(wc);
    if (GetClassInfoExW(instance, name, &wc))
        return;
    wc.cbSize = sizeof(wc);
    wc.hInstance = instance;
    wc.lpfnWndProc = procedure;
    wc.lpszClassName = name;
    wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    // Icon resource 1: the program's icon, drawn by the same code as on Linux.
    wc.hIcon = static_cast<HICON>(
        LoadImageW(instance, MAKEINTRESOURCEW(1), IMAGE_ICON, 0, 0, LR_DEFAULTSIZE));
    wc.hIconSm = static_cast<HICON>(LoadImageW(instance, MAKEINTRESOURCEW(1), IMAGE_ICON,
                                               GetSystemMetrics(SM_CXSMICON),
                                               GetSystemMetrics(SM_CYSMICON), 0));
    RegisterClassExW(&wc);
}

HWND MakeTooltips(HWND)
{
    // Not owned by the window: an owned topmost tooltip keeps Wine from
    // putting its owner into the topmost band. Being topmost itself, it
    // still shows above a window kept on top.
    return CreateWindowExW(WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr,
                           WS_POPUP | TTS_NOPREFIX | TTS_ALWAYSTIP, CW_USEDEFAULT, CW_USEDEFAULT,
                           CW_USEDEFAULT, CW_USEDEFAULT, nullptr, nullptr,
                           GetModuleHandleW(nullptr), nullptr);
}

void SetTooltip(HWND tooltips, HWND control, const std::wstring &text)
{
    if (!tooltips)
        return;
    TOOLINFOW tool{};
    tool.cbSize = sizeof(tool);
    tool.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
    tool.hwnd = GetParent(control);
    tool.uId = reinterpret_cast<UINT_PTR>(control);
    SendMessageW(tooltips, TTM_DELTOOLW, 0, reinterpret_cast<LPARAM>(&tool));
    if (text.empty())
        return;
    std::wstring copy = text;
    tool.lpszText = copy.data();
    SendMessageW(tooltips, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&tool));
}

void UseDialogKeys(HWND window)
{
    SetPropW(window, kDialogKeysProp, reinterpret_cast<HANDLE>(1));
}

bool DispatchOne(MSG &msg)
{
    if (msg.message == WM_QUIT) {
        PostQuitMessage(static_cast<int>(msg.wParam));
        return false;
    }
    const HWND root = msg.hwnd ? GetAncestor(msg.hwnd, GA_ROOT) : nullptr;
    if (root && GetPropW(root, kDialogKeysProp) && IsDialogMessageW(root, &msg))
        return true;
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
    return true;
}

bool PumpWaiting()
{
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        if (!DispatchOne(msg))
            return false;
    }
    return true;
}

} // namespace winview
