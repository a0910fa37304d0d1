#include "qt/launcherentry.h"

#include "qt/qtservices.h"

#include <QApplication>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QFileInfo>
#include <QVariantMap>
#include <QWindow>

#include <algorithm>

namespace {

// Whether this session has a bus at all: an address given, or the user bus's
// socket in its usual place. Decided before Qt D-Bus is touched, which on a
// platform that has not started it (offscreen) would start its thread.
bool SessionBusKnown()
{
    if (!qEnvironmentVariableIsEmpty("DBUS_SESSION_BUS_ADDRESS"))
        return true;
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    return !runtime.isEmpty() && QFileInfo::exists(runtime + QStringLiteral("/bus"));
}

} // namespace

QtLauncherEntry::QtLauncherEntry(const QString &desktopFile, int gapMs)
    : appUri_(QStringLiteral("application://") + desktopFile),
      // One path per process: two copies are two sources for the same entry.
      path_(QStringLiteral("/com/canonical/unity/launcherentry/brisko_%1")
                .arg(QApplication::applicationPid())),
      gapMs_(gapMs)
{
    timer_.setSingleShot(true);
    QObject::connect(&timer_, &QTimer::timeout, [this] { send(); });
}

QtLauncherEntry::~QtLauncherEntry()
{
    QObject::disconnect(focusWatch_);
}

void QtLauncherEntry::show(WindowHandle, TaskbarState state, double fraction)
{
    wanted_.progressVisible = state != TaskbarState::None;
    // A dock has no paused or over colour: a paused bar stands still, and
    // one past its target is full.
    wanted_.progress = wanted_.progressVisible ? std::clamp(fraction, 0.0, 1.0) : 0.0;
    schedule();
}

void QtLauncherEntry::requestAttention(WindowHandle window)
{
    QWidget *widget = WidgetOf(window);
    if (widget)
        QApplication::alert(widget);
    wanted_.urgent = true;
    watchForUser(widget);
    schedule();
}

void QtLauncherEntry::watchForUser(QWidget *window)
{
    // The window manager drops its hint when the window is activated; the
    // dock is told here, the first time the window has the focus again.
    waiting_ = window;
    QObject::disconnect(focusWatch_);
    focusWatch_ = QObject::connect(
        qApp, &QGuiApplication::focusWindowChanged, &timer_, [this](QWindow *focused) {
            if (focused && (!waiting_ || focused == waiting_->windowHandle())) {
                QObject::disconnect(focusWatch_);
                wanted_.urgent = false;
                schedule();
            }
        });
}

void QtLauncherEntry::schedule()
{
    // Without a bus there is nobody to tell: no timer, no message.
    static const bool busKnown = SessionBusKnown();
    if (!busKnown && !sendVia)
        sent_ = wanted_;
    if (wanted_ == sent_) {
        timer_.stop();
        return;
    }
    if (timer_.isActive())
        return;
    // Changes of one moment (the last tick's "no bar" and "urgent") go out
    // together, from the event loop; the next waits for the gap.
    const qint64 since = sinceSent_.isValid() ? sinceSent_.elapsed() : gapMs_;
    timer_.start(static_cast<int>(std::max<qint64>(0, gapMs_ - since)));
}

void QtLauncherEntry::send()
{
    if (wanted_ == sent_)
        return;
    sent_ = wanted_;
    sinceSent_.restart();
    QDBusMessage update = QDBusMessage::createSignal(
        path_, QStringLiteral("com.canonical.Unity.LauncherEntry"), QStringLiteral("Update"));
    update << appUri_
           << QVariantMap{{QStringLiteral("progress"), sent_.progress},
                          {QStringLiteral("progress-visible"), sent_.progressVisible},
                          {QStringLiteral("urgent"), sent_.urgent}};
    if (sendVia) {
        sendVia(update);
        return;
    }
    // The connection Qt already holds (its xcb platform code opens it at
    // start-up); should it have failed, it is not tried again and nothing goes.
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (bus.isConnected())
        bus.send(update);
}
