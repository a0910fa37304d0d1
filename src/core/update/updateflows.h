#pragma once

#include "core/platform/services.h"

#include <functional>
#include <string>

// The two ways the program offers a newer version: the notice at start-up and
// the update window ("检查更新").

// At start-up, before the main window shows: offer the update page when the
// vendor's site announces a newer version. A failed query says nothing.
// stillThere tells whether the owner window survived the wait (the query lets
// the event loop run); the services are copied so that nothing of the caller
// is touched if it did not.
void NotifyNewVersion(Services services, WindowHandle owner,
                      const std::function<bool()> &stillThere);

// What the update window shows once its query has an outcome.
struct UpdateWindowLook {
    std::string label1;
    std::string label2;
    std::string label3;
    bool label4Visible = true;
    bool command1Visible = false;
    bool command3Visible = true;
};

// The window as laid out, before the query.
UpdateWindowLook UpdateWindowLaidOut();

// The load step: asks the vendor's site and says what to show. The window is
// not on screen until this has returned. The values are copied: the wait lets
// the event loop run, and the window may be gone when it ends.
UpdateWindowLook LoadUpdateWindow(Services services, std::string programVersion);

// "去下载最新版" and "上网查看最新版本": the update page in the browser, opened from
// the update window; the window then closes.
void OpenUpdatePage(const Services &services, WindowHandle updateWindow);
