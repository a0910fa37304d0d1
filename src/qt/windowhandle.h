#pragma once

#include "core/platform/services.h"

#include <QWidget>

// The core's WindowHandle is a QWidget* in the Qt front end.

inline WindowHandle HandleOf(QWidget *window)
{
    return window;
}
inline QWidget *WidgetOf(WindowHandle window)
{
    return static_cast<QWidget *>(window);
}
