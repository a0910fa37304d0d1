#pragma once

#include "core/platform/platformservices.h"
#include "qt/qtclock.h"
#include "qt/qtdesktop.h"
#include "qt/qtkeepontop.h"
#include "qt/qtmessageboxes.h"
#include "qt/qtsound.h"
#include "qt/qttranslations.h"
#include "qt/windowhandle.h"

// The real platform services of the Linux program, over Qt, one file a
// concern: the alarm's sounds (qtsound.h), message boxes, the time of day
// (qtclock.h), keep-on-top, files, browser and ending (qtdesktop.h), and Qt's
// own translations.

// The services of one run, owned together. services() hands them out with
// the build's vendor address and version; a caller may swap any of the
// pointers (a benchmark its own site and store) before building windows.
struct QtPlatform : PlatformServices<QtAlarmPlayer, QtTonePlayer, QtMessageBoxes, QtFileSystem,
                                     QtBrowserOpener, QtClock, QtWindowStacking, QtProcessControl> {
    Services services(SettingsStore *store, HttpClient *http);
};
