#include "qt/qtkeepontop.h"

#include "qt/windowhandle.h"

#include <QWidget>
#include <QWindow>

#ifdef BRISKO_HAVE_XCB
#include <QGuiApplication>
#include <xcb/xcb.h>

#include <cstdlib>
#include <cstring>
#endif

#ifdef BRISKO_HAVE_XCB
namespace {

xcb_atom_t internAtom(xcb_connection_t *c, const char *name)
{
    xcb_intern_atom_reply_t *reply =
        xcb_intern_atom_reply(c, xcb_intern_atom(c, 0, uint16_t(strlen(name)), name), nullptr);
    const xcb_atom_t atom = reply ? reply->atom : xcb_atom_t(XCB_ATOM_NONE);
    free(reply);
    return atom;
}

// Asks the window manager again to keep the window above the others. Qt only
// tells it when its own flag changes, so a state that the user or a panel
// cleared from outside would otherwise never come back.
void reassertAbove(QWidget *window)
{
    // Other platforms (offscreen, minimal, Wayland) may answer the X11
    // interface with no connection, and a connection can break: then there
    // is nobody to ask, and nothing is done.
    if (QGuiApplication::platformName() != QLatin1String("xcb"))
        return;
    auto *x11 = qApp->nativeInterface<QNativeInterface::QX11Application>();
    QWindow *handle = window->windowHandle();
    if (!x11 || !handle || !handle->handle())
        return;
    xcb_connection_t *c = x11->connection();
    if (!c || xcb_connection_has_error(c))
        return;
    // Looked up once per connection: this runs every second.
    static xcb_connection_t *known = nullptr;
    static xcb_atom_t state = XCB_ATOM_NONE;
    static xcb_atom_t above = XCB_ATOM_NONE;
    if (c != known) {
        known = c;
        state = internAtom(c, "_NET_WM_STATE");
        above = internAtom(c, "_NET_WM_STATE_ABOVE");
    }
    if (state == XCB_ATOM_NONE || above == XCB_ATOM_NONE)
        return;
    const xcb_setup_t *setup = xcb_get_setup(c);
    const xcb_screen_t *screen = setup ? xcb_setup_roots_iterator(setup).data : nullptr;
    if (!screen)
        return;
    xcb_client_message_event_t event{};
    event.response_type = XCB_CLIENT_MESSAGE;
    event.format = 32;
    event.window = xcb_window_t(handle->winId());
    event.type = state;
    event.data.data32[0] = 1; // _NET_WM_STATE_ADD
    event.data.data32[1] = above;
    event.data.data32[3] = 1; // from an application
    xcb_send_event(c, 0, screen->root,
                   XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT | XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY,
                   reinterpret_cast<const char *>(&event));
    xcb_flush(c);
}

} // namespace
#endif

void QtWindowStacking::setKeepOnTop(WindowHandle target, bool onTop)
{
    QWidget *const window = WidgetOf(target);
    // Called every second: change the flag only when it differs, and on the
    // same native window (setWindowFlag would unmap and re-create it, which
    // flickers). Raising never takes the keyboard focus from other programs.
    Qt::WindowFlags flags = window->windowFlags();
    if (flags.testFlag(Qt::WindowStaysOnTopHint) != onTop) {
        flags.setFlag(Qt::WindowStaysOnTopHint, onTop);
        window->overrideWindowFlags(flags);
        if (QWindow *handle = window->windowHandle())
            handle->setFlags(flags);
    }
    if (onTop && window->isVisible() && !window->isMinimized()) {
#ifdef BRISKO_HAVE_XCB
        reassertAbove(window);
#endif
        window->raise();
    }
}
