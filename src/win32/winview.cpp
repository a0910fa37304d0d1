#include "win32/winview.h"

#include "win32/widetext.h"
#include "win32/windowclass.h"

#include <commctrl.h>

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

void Place(HWND control, const ControlDesign &design, UINT dpi)
{
    const DesignRect &r = design.rect;
    // A design pixel is 15 twips; the edge stays where the neighbour's
    // begins at every DPI.
    const int shortTwips = static_cast<int>(design.shortOnRight * kTwipsPerInch / kDesignDpi);
    const int x = Px(r.left, dpi);
    const int y = Px(r.top, dpi);
    SetWindowPos(control, nullptr, x, y, Px(r.left + r.width - shortTwips, dpi) - x,
                 Px(r.top + r.height, dpi) - y, SWP_NOZORDER | SWP_NOACTIVATE);
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

DWORD WindowStyle(const WindowDesign &design)
{
    DWORD style = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_CLIPCHILDREN;
    if (design.frame == FrameKind::Sizable)
        style |= WS_THICKFRAME;
    if (design.minimizeBox)
        style |= WS_MINIMIZEBOX;
    if (design.maximizeBox)
        style |= WS_MAXIMIZEBOX;
    return style;
}

void SizeToDesign(HWND window, const WindowDesign &design, UINT dpi)
{
    const SIZE frame = FrameForClient(Px(design.clientWidth, dpi), Px(design.clientHeight, dpi),
                                      WindowStyle(design), 0, design.menu != nullptr, dpi);
    SetWindowPos(window, nullptr, 0, 0, frame.cx, frame.cy,
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

HWND CreateDesignedWindow(const WindowDesign &design, HWND owner, WNDPROC procedure, void *object)
{
    const std::wstring windowClass = WindowClassName(design);
    RegisterWindowClass(windowClass.c_str(), procedure);
    return CreateWindowExW(0, windowClass.c_str(), widetext::Widen(design.title).c_str(),
                           WindowStyle(design), CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT,
                           CW_USEDEFAULT, owner, nullptr, GetModuleHandleW(nullptr), object);
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

// --- DesignedControls -------------------------------------------------------------

namespace {

struct ControlClass {
    const wchar_t *windowClass;
    DWORD style;
};

ControlClass ClassOf(const ControlDesign &design)
{
    const DWORD label = SS_LEFT | SS_NOPREFIX | (design.clickable ? SS_NOTIFY : 0);
    switch (design.kind) {
    case ControlKind::PushButton:
        return {L"BUTTON", BS_PUSHBUTTON};
    case ControlKind::CheckBox:
        return {L"BUTTON", BS_AUTOCHECKBOX};
    case ControlKind::TextBox:
        return {L"EDIT", WS_BORDER | ES_AUTOHSCROLL};
    case ControlKind::WrappedLabel:
        // Broken into lines within its width, between any two Chinese characters.
        return {L"STATIC", label | SS_EDITCONTROL};
    case ControlKind::FittedLabel:
    case ControlKind::FixedLabel:
        break;
    }
    return {L"STATIC", label};
}

bool Shows(HWND control)
{
    return (GetWindowLongW(control, GWL_STYLE) & WS_VISIBLE) != 0;
}

} // namespace

DesignedControls::~DesignedControls()
{
    for (HFONT font : fonts_)
        DeleteObject(font);
    for (const auto &[colour, brush] : brushes_)
        DeleteObject(brush);
}

void DesignedControls::build(HWND window, HWND tooltips)
{
    window_ = window;
    tooltips_ = tooltips;
    const HINSTANCE instance = GetModuleHandleW(nullptr);
    // In the design's order, which is the tab order.
    for (const ControlDesign &c : design_.controls) {
        const ControlClass kind = ClassOf(c);
        const DWORD style = WS_CHILD | kind.style | (c.visible ? WS_VISIBLE : 0) |
                            (c.tabStop ? WS_TABSTOP : 0) | (c.enabled ? 0 : WS_DISABLED);
        const HWND control = CreateWindowExW(
            0, kind.windowClass, widetext::Widen(c.text).c_str(), style, 0, 0, 0, 0, window,
            reinterpret_cast<HMENU>(static_cast<INT_PTR>(c.id)), instance, nullptr);
        controls_.push_back(control);
        if (c.checked)
            SendMessageW(control, BM_SETCHECK, BST_CHECKED, 0);
        setTooltip(c.name, std::string(c.tooltip));
    }
}

void DesignedControls::layout(UINT dpi)
{
    dpi_ = dpi;
    for (HFONT font : fonts_)
        DeleteObject(font);
    fonts_.clear();
    // One font per room and underline, shared by the controls that have it.
    std::map<std::pair<const departure::TextRoom *, bool>, HFONT> made;
    HFONT windowFont = nullptr;
    for (size_t i = 0; i < controls_.size(); ++i) {
        const ControlDesign &c = design_.controls[i];
        const auto key = std::make_pair(&departure::TextRoomOf(c), DesignFont(c.font).underline);
        HFONT &font = made[key];
        if (!font) {
            font = MakeTextFont(c, dpi);
            fonts_.push_back(font);
        }
        if (c.font == FontRole::Window)
            windowFont = font;
        Place(controls_[i], c, dpi);
        SetFont(controls_[i], font);
        if (c.kind == ControlKind::FittedLabel)
            FitLabel(controls_[i]);
    }
    if (tooltips_ && windowFont)
        SendMessageW(tooltips_, WM_SETFONT, reinterpret_cast<WPARAM>(windowFont), FALSE);
    SizeToDesign(window_, design_, dpi);
}

HWND DesignedControls::operator[](std::string_view name) const
{
    for (size_t i = 0; i < controls_.size(); ++i)
        if (design_.controls[i].name == name)
            return controls_[i];
    return nullptr;
}

std::string_view DesignedControls::nameOf(UINT_PTR id) const
{
    for (const ControlDesign &c : design_.controls)
        if (static_cast<UINT_PTR>(c.id) == id)
            return c.name;
    if (design_.menu)
        for (const MenuEntryDesign &e : design_.menu->entries)
            if (static_cast<UINT_PTR>(e.id) == id)
                return e.name;
    for (const TimerDesign &t : design_.timers)
        if (static_cast<UINT_PTR>(t.id) == id)
            return t.name;
    return {};
}

void DesignedControls::setText(std::string_view name, const std::string &text)
{
    const HWND control = (*this)[name];
    const std::wstring wide = widetext::Widen(text);
    if (!control || widetext::WindowText(control) == wide)
        return;
    SetWindowTextW(control, wide.c_str());
    if (ControlNamed(design_, name).kind == ControlKind::FittedLabel)
        FitLabel(control);
}

void DesignedControls::setTooltip(std::string_view name, const std::string &text)
{
    const HWND control = (*this)[name];
    const std::wstring wide = widetext::Widen(text);
    const auto shown = tooltipShown_.find(control);
    if (!control || (shown == tooltipShown_.end() ? wide.empty() : shown->second == wide))
        return;
    tooltipShown_[control] = wide;
    SetTooltip(tooltips_, control, wide);
}

void DesignedControls::setVisible(std::string_view name, bool visible)
{
    const HWND control = (*this)[name];
    if (control && Shows(control) != visible)
        ShowWindow(control, visible ? SW_SHOWNA : SW_HIDE);
}

void DesignedControls::setChecked(std::string_view name, bool on)
{
    // BM_SETCHECK sends no click: drawing a state runs no handler.
    if (const HWND control = (*this)[name]; control && checked(name) != on)
        SendMessageW(control, BM_SETCHECK, on ? BST_CHECKED : BST_UNCHECKED, 0);
}

bool DesignedControls::checked(std::string_view name) const
{
    const HWND control = (*this)[name];
    return control && SendMessageW(control, BM_GETCHECK, 0, 0) == BST_CHECKED;
}

LRESULT DesignedControls::paintColours(HDC dc, HWND control, std::optional<Rgb> text)
{
    const std::string_view name = nameOf(static_cast<UINT_PTR>(GetDlgCtrlID(control)));
    const ControlDesign *design = name.empty() ? nullptr : &ControlNamed(design_, name);
    if (!text && design)
        text = design->textColour;
    if (text)
        SetTextColor(dc, ToColorRef(*text));
    if (!design || !design->background) {
        SetBkColor(dc, GetSysColor(COLOR_BTNFACE));
        return reinterpret_cast<LRESULT>(GetSysColorBrush(COLOR_BTNFACE));
    }
    const COLORREF background = ToColorRef(*design->background);
    HBRUSH &brush = brushes_[background];
    if (!brush)
        brush = CreateSolidBrush(background);
    SetBkColor(dc, background);
    return reinterpret_cast<LRESULT>(brush);
}

HMENU BuildMenuBar(const MenuDesign &menu)
{
    const HMENU entries = CreatePopupMenu();
    for (const MenuEntryDesign &e : menu.entries) {
        if (e.separator())
            AppendMenuW(entries, MF_SEPARATOR, 0, nullptr);
        else
            AppendMenuW(entries, MF_STRING | (e.enabled ? 0 : MF_GRAYED),
                        static_cast<UINT_PTR>(e.id), widetext::Widen(e.caption).c_str());
    }
    const HMENU bar = CreateMenu();
    AppendMenuW(bar, MF_POPUP, reinterpret_cast<UINT_PTR>(entries),
                widetext::Widen(menu.caption).c_str());
    return bar;
}

} // namespace winview
