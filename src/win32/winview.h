#pragma once

// What the Windows program's windows share: sizes at the window's DPI, the
// text fonts (win32/fontchoice.h), labels that fit their text, tooltips and
// the message loop.

#include "core/ui/colours.h"
#include "core/ui/twips.h"
#include "win32/fontchoice.h"

#include <windows.h>

#include <string>

namespace winview {

// The window's dots per inch (96 when the system cannot say per window).
UINT WindowDpi(HWND window);
// Twips as pixels at that DPI: 15 twips a pixel at 96, 10 at 144.
inline int Px(int twips, UINT dpi)
{
    return TwipsToPixels(twips, static_cast<int>(dpi));
}
// A design rectangle in twips placed at the window's DPI, its edges rounded to
// pixels. A control drawn reaching into its right-hand neighbour's first
// column stops at rightLimit (twips) instead, so that none covers another.
void PlaceTwips(HWND control, int left, int top, int width, int height, UINT dpi,
                int rightLimit = 0);

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

inline COLORREF ToColorRef(const Rgb &rgb)
{
    return RGB(rgb.red, rgb.green, rgb.blue);
}

HWND MakeControl(HWND parent, const wchar_t *windowClass, const std::wstring &text, DWORD style,
                 int id);
// Sets a label's text and fits the label to it, keeping its left and top.
void SetAutoSizeText(HWND label, const std::wstring &text);
void SetText(HWND control, const std::wstring &text);
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

// Marks a top-level window whose Tab, arrow and access keys the message loop
// handles as in a dialog.
void UseDialogKeys(HWND window);
// Handles one message as the program's loops do. False on WM_QUIT (which is
// then posted again for the outermost loop).
bool DispatchOne(MSG &msg);
// Handles every message waiting now. False when WM_QUIT came.
bool PumpWaiting();

} // namespace winview
