#pragma once

// What the Windows program's windows share: each window's controls built
// from its design (core/design/windowdesign.h) and placed at the window's
// DPI, the text fonts (win32/fontchoice.h), labels that fit their text,
// tooltips and the message loop.

#include "core/design/windowdesign.h"
#include "core/ui/colours.h"
#include "core/ui/twips.h"
#include "win32/fontchoice.h"

#include <windows.h>

#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace winview {

// The window's dots per inch (96 when the system cannot say per window).
UINT WindowDpi(HWND window);
// Twips as pixels at that DPI: 15 twips a pixel at 96, 10 at 144.
inline int Px(int twips, UINT dpi)
{
    return TwipsToPixels(twips, static_cast<int>(dpi));
}
// A control at its design rectangle at the window's DPI, its edges rounded
// to pixels. One that stops short on the right (departure::kSharedColumn)
// stops that many design pixels short, scaled with the DPI, so that at any
// DPI it ends where its neighbour begins.
void Place(HWND control, const ControlDesign &design, UINT dpi);

void SetFont(HWND control, HFONT font);

// Where a top-level window's outer top-left corner stands when it is not
// minimised: a minimised window is parked out of sight (at -32000), but its
// normal place is what the user will see again.
POINT NormalTopLeft(HWND window);
// GetWindowPlacement's normal place is in workspace coordinates, which start
// at the top left of the monitor's work area (below or beside a taskbar at
// the top or left); screen coordinates start at the monitor's own corner.
POINT WorkspaceToScreen(POINT point, const RECT &monitor, const RECT &work);

// The outer size for a client area, with or without a menu bar.
SIZE FrameForClient(int width, int height, DWORD style, DWORD exStyle, bool menu, UINT dpi);
// The window styles of a design's frame and title-bar buttons.
DWORD WindowStyle(const WindowDesign &design);
// Gives a window its design size at the DPI: the client area below the menu
// bar when the design has one (shown or not), as the window was drawn.
void SizeToDesign(HWND window, const WindowDesign &design, UINT dpi);
// Creates a top-level window of the design, with the design's title, at the
// system's default place; object comes back through AttachedObject.
HWND CreateDesignedWindow(const WindowDesign &design, HWND owner, WNDPROC procedure, void *object);

inline COLORREF ToColorRef(const Rgb &rgb)
{
    return RGB(rgb.red, rgb.green, rgb.blue);
}

// Fits a label to its text, keeping its left and top.
void FitLabel(HWND label);

// Registers a window class of the program (once), with the program's icon.
void RegisterWindowClass(const wchar_t *name, WNDPROC procedure);

// The object a window was created for (CreateWindowExW's last argument),
// attached at WM_NCCREATE; null for the few messages that come before it.
template <typename Object> Object *AttachedObject(HWND window, UINT message, LPARAM lParam)
{
    if (message == WM_NCCREATE)
        SetWindowLongPtrW(
            window, GWLP_USERDATA,
            reinterpret_cast<LONG_PTR>(reinterpret_cast<CREATESTRUCTW *>(lParam)->lpCreateParams));
    return reinterpret_cast<Object *>(GetWindowLongPtrW(window, GWLP_USERDATA));
}

// One tooltip window per top-level window.
HWND MakeTooltips(HWND owner);
// Sets (or, with an empty text, removes) a control's tooltip.
void SetTooltip(HWND tooltips, HWND control, const std::wstring &text);

// A window's controls, built by walking its design and found by design name:
// each control with its design id as control id, in tab order, with its
// text, tooltip, visibility, state and font at creation. Setting a text or a
// tooltip that a control already shows does nothing, so a view can draw its
// whole look at every tick.
class DesignedControls {
public:
    explicit DesignedControls(const WindowDesign &design) : design_(design) {}
    ~DesignedControls();
    DesignedControls(const DesignedControls &) = delete;
    DesignedControls &operator=(const DesignedControls &) = delete;

    // Creates the controls in window, their tooltips in tooltips (may be null).
    void build(HWND window, HWND tooltips);
    // Places every control at the DPI with its font, fits the labels that
    // fit their text, and gives the window its design size.
    void layout(UINT dpi);
    UINT dpi() const { return dpi_; }

    HWND operator[](std::string_view name) const;
    // The design name of a control, menu entry or timer id; "" for none.
    std::string_view nameOf(UINT_PTR id) const;

    void setText(std::string_view name, const std::string &text);
    void setTooltip(std::string_view name, const std::string &text);
    void setVisible(std::string_view name, bool visible);
    void setChecked(std::string_view name, bool checked);
    bool checked(std::string_view name) const;
    // The design's colours for WM_CTLCOLORSTATIC; text, when given, stands
    // for the design's text colour (the time display's red past the target).
    LRESULT paintColours(HDC dc, HWND control, std::optional<Rgb> text = {});

private:
    const WindowDesign &design_;
    HWND window_ = nullptr;
    HWND tooltips_ = nullptr;
    UINT dpi_ = 96;
    std::vector<HWND> controls_; // in the design's order
    std::map<HWND, std::wstring> tooltipShown_;
    std::vector<HFONT> fonts_;
    std::map<COLORREF, HBRUSH> brushes_;
};

// The menu bar of a design's menu: its one entry opens the design's entries,
// each with its design id as command id.
HMENU BuildMenuBar(const MenuDesign &menu);

// Marks a top-level window whose Tab, arrow and access keys the message loop
// handles as in a dialog.
void UseDialogKeys(HWND window);
// Handles one message as the program's loops do. False on WM_QUIT (which is
// then posted again for the outermost loop).
bool DispatchOne(MSG &msg);
// Handles every message waiting now. False when WM_QUIT came.
bool PumpWaiting();

} // namespace winview
