#include "core/store/settingsstore.h"
#include "win32/form1.h"
#include "win32/winhttpclient.h"
#include "win32/winservices.h"
#include "win32/wintaskbar.h"
#include "win32/winview.h"

#include <windows.h>

#include <commctrl.h>

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int showCommand)
{
    INITCOMMONCONTROLSEX controls{sizeof(controls), ICC_STANDARD_CLASSES | ICC_WIN95_CLASSES};
    InitCommonControlsEx(&controls);

    std::unique_ptr<SettingsStore> store = OpenMachineSettingsStore();
    WinHttpClient http;
    WinPlatform platform;
    WinTaskbar taskbar;
    Services services =
        platform.services(store.get(), &http, BRISKO_VENDOR_URL, BRISKO_VERSION_MAJOR,
                          BRISKO_VERSION_MINOR, BRISKO_VERSION_REVISION);
    services.taskbar = &taskbar;

    Form1 form(services);
    // Before the window shows: the shell makes its button then.
    taskbar.attach(form.hwnd());
    form.Form_Load();
    form.Show(showCommand);

    // The program ends through ExitProcess (the close question, isClose);
    // nothing posts WM_QUIT.
    MSG msg;
    BOOL got;
    while ((got = GetMessageW(&msg, nullptr, 0, 0)) != 0) {
        if (got > 0)
            winview::DispatchOne(msg);
    }
    return static_cast<int>(msg.wParam);
}
