#include "win32/formabout.h"

#include "core/mainwindow/about.h"
#include "win32/controlids.h"
#include "win32/widetext.h"
#include "win32/winview.h"

#include <string_view>

using widetext::Widen;
using namespace winview;

namespace {

constexpr DWORD kStyle = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU;

// The window's state; freed with the window.
struct FormAbout {
    AboutValues values;
    BrowserOpener *browser = nullptr;
    HWND window = nullptr;
    UINT dpi = 96;
    HFONT font = nullptr;
    HFONT linkFont = nullptr;
    HWND Label1 = nullptr;
    HWND Label3 = nullptr;
    HWND Label4 = nullptr;
    HWND Label5 = nullptr;
    HWND Label6 = nullptr;

    void layout();
    void Form_Load();
    void Label5_Click() { browser->open(window, HomePageUrl(values.vendorUrl)); }
};

// The host name of an address: what comes after "//" up to the next '/'.
std::string HostOf(std::string_view url)
{
    const size_t scheme = url.find("//");
    if (scheme != std::string_view::npos)
        url.remove_prefix(scheme + 2);
    return std::string(url.substr(0, url.find_first_of("/?#")));
}

void FormAbout::layout()
{
    if (font)
        DeleteObject(font);
    if (linkFont)
        DeleteObject(linkFont);
    font = MakeTextFont(kNormalText, dpi);
    linkFont = MakeTextFont(kNormalText, dpi, true);
    PlaceTwips(Label1, 240, 240, 900, 180, dpi);
    PlaceTwips(Label3, 240, 1200, 1800, 180, dpi);
    PlaceTwips(Label4, 240, 1680, 1095, 255, dpi);
    PlaceTwips(Label5, 1440, 1680, 1620, 180, dpi);
    PlaceTwips(Label6, 240, 2160, 5175, 855, dpi);
    for (HWND label : {Label1, Label3, Label4, Label6})
        SetFont(label, font);
    SetFont(Label5, linkFont);
    for (HWND label : {Label1, Label3, Label5})
        FitLabel(label);
    const SIZE frame = FrameForClient(Px(5565, dpi), Px(3090, dpi), kStyle, 0, false, dpi);
    SetWindowPos(window, nullptr, 0, 0, frame.cx, frame.cy,
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void FormAbout::Form_Load()
{
    const AboutTexts texts = MakeAboutTexts(values.programVersion, values.usageTotal);
    SetAutoSizeText(Label1, Widen(texts.label1));
    SetAutoSizeText(Label3, Widen(texts.label3));
    SetText(Label6, Widen(texts.label6));
}

LRESULT CALLBACK AboutProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    auto *self = AttachedObject<FormAbout>(window, message, lParam);
    switch (message) {
    case WM_COMMAND:
        if (self && LOWORD(wParam) == controlid::AboutLabel5 && HIWORD(wParam) == STN_CLICKED)
            self->Label5_Click();
        return 0;
    case WM_SETCURSOR:
        if (self && reinterpret_cast<HWND>(wParam) == self->Label5) {
            SetCursor(LoadCursorW(nullptr, IDC_HAND));
            return TRUE;
        }
        break;
    case WM_CTLCOLORSTATIC: {
        const auto dc = reinterpret_cast<HDC>(wParam);
        if (self && reinterpret_cast<HWND>(lParam) == self->Label5)
            SetTextColor(dc, ToColorRef(kLinkBlue));
        SetBkColor(dc, GetSysColor(COLOR_BTNFACE));
        return reinterpret_cast<LRESULT>(GetSysColorBrush(COLOR_BTNFACE));
    }
    case WM_DPICHANGED:
        if (self) {
            self->dpi = HIWORD(wParam);
            self->layout();
            const auto *suggested = reinterpret_cast<const RECT *>(lParam);
            SetWindowPos(window, nullptr, suggested->left, suggested->top, 0, 0,
                         SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
        }
        return 0;
    case WM_NCDESTROY:
        if (self) {
            DeleteObject(self->font);
            DeleteObject(self->linkFont);
            delete self;
        }
        SetWindowLongPtrW(window, GWLP_USERDATA, 0);
        break;
    default:
        break;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

} // namespace

HWND OpenFormAbout(const AboutValues &values, BrowserOpener &browser)
{
    RegisterWindowClass(BRISKO_FORMABOUT_CLASS, AboutProc);
    auto *form = new FormAbout{.values = values, .browser = &browser};
    // No owner and not modal: the main window goes on taking input, and when
    // kept on top stays above this window where they overlap; this window is
    // larger than the main window both ways, so part of it always shows.
    form->window = CreateWindowExW(0, BRISKO_FORMABOUT_CLASS, L"About Brisko（计时器）", kStyle,
                                   CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT,
                                   nullptr, nullptr, GetModuleHandleW(nullptr), form);
    if (!form->window) {
        delete form;
        return nullptr;
    }
    const HWND window = form->window;
    form->dpi = WindowDpi(window);
    const DWORD label = WS_VISIBLE | SS_LEFT | SS_NOPREFIX;
    form->Label1 = MakeControl(window, L"STATIC", L"当前版本：", label, controlid::AboutLabel1);
    form->Label3 = MakeControl(window, L"STATIC", L"", label, controlid::AboutLabel3);
    form->Label4 = MakeControl(window, L"STATIC", L"官方网址：", label, controlid::AboutLabel4);
    form->Label5 = MakeControl(window, L"STATIC", Widen(HostOf(values.vendorUrl)),
                               label | SS_NOTIFY, controlid::AboutLabel5);
    // Broken into lines within its width, between any two Chinese characters.
    form->Label6 =
        MakeControl(window, L"STATIC", L"", label | SS_EDITCONTROL, controlid::AboutLabel6);
    form->layout();
    form->Form_Load();
    UseDialogKeys(window);
    ShowWindow(window, SW_SHOWNORMAL);
    return window;
}
