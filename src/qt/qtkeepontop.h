#pragma once

#include "core/platform/services.h"

// Keep-on-top through Qt's window flag, asked of the X11 window manager again
// every time, on the same native window.
class QtWindowStacking : public WindowStacking {
public:
    void setKeepOnTop(WindowHandle window, bool onTop) override;
};
