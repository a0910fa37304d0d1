// The main window on a real X server with a real window manager (run through
// with-xserver.sh): keep-on-top with the real stacking service, and the menu
// bar box. What the window manager makes of our requests is read back with
// xprop, as another program on the desktop would see it.

#include "fakes/fakeservices.h"
#include "fakes/qtrig.h"
#include "qt/fonts.h"
#include "qt/form1.h"
#include "qt/qtservices.h"

#include <QAbstractNativeEventFilter>
#include <QApplication>
#include <QCheckBox>
#include <QElapsedTimer>
#include <QImage>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QProcess>
#include <QRegularExpression>
#include <QScreen>
#include <QTest>
#include <QTimer>
#include <QWindow>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <xcb/xcb.h>

namespace {

using WindowId = quint64;

QString runTool(const QString &program, const QStringList &args)
{
    QProcess p;
    p.start(program, args);
    if (!p.waitForFinished(5000)) {
        p.kill();
        p.waitForFinished();
        return QString();
    }
    return QString::fromLocal8Bit(p.readAllStandardOutput());
}

QString hexId(WindowId id)
{
    return QStringLiteral("0x") + QString::number(id, 16);
}

// Every window id in an xprop line such as
// "_NET_CLIENT_LIST_STACKING(WINDOW): window id # 0x400006, 0x600006".
QList<WindowId> windowIds(const QString &xpropLine)
{
    QList<WindowId> ids;
    const int hash = xpropLine.indexOf(QLatin1Char('#'));
    if (hash < 0)
        return ids;
    static const QRegularExpression hex(QStringLiteral("0x[0-9a-fA-F]+"));
    auto it = hex.globalMatch(xpropLine.mid(hash));
    while (it.hasNext())
        ids << it.next().captured().toULongLong(nullptr, 16);
    return ids;
}

// Bottom to top, as the window manager keeps it.
QList<WindowId> stacking()
{
    return windowIds(
        runTool(QStringLiteral("xprop"),
                {QStringLiteral("-root"), QStringLiteral("_NET_CLIENT_LIST_STACKING")}));
}

WindowId activeWindow()
{
    const QList<WindowId> ids = windowIds(runTool(
        QStringLiteral("xprop"), {QStringLiteral("-root"), QStringLiteral("_NET_ACTIVE_WINDOW")}));
    return ids.isEmpty() ? 0 : ids.first();
}

QString windowProperty(WindowId id, const char *name)
{
    return runTool(QStringLiteral("xprop"),
                   {QStringLiteral("-id"), hexId(id), QString::fromLatin1(name)})
        .trimmed();
}

bool hasAboveState(WindowId id)
{
    return windowProperty(id, "_NET_WM_STATE").contains(QLatin1String("_NET_WM_STATE_ABOVE"));
}

bool isAbove(WindowId upper, WindowId lower)
{
    const QList<WindowId> order = stacking();
    const qsizetype u = order.indexOf(upper);
    const qsizetype l = order.indexOf(lower);
    return u >= 0 && l >= 0 && u > l;
}

bool isViewable(WindowId id)
{
    return runTool(QStringLiteral("xwininfo"), {QStringLiteral("-id"), hexId(id)})
        .contains(QLatin1String("IsViewable"));
}

bool activate(WindowId id)
{
    QProcess p;
    p.start(QStringLiteral("xdotool"),
            {QStringLiteral("windowactivate"), QStringLiteral("--sync"), QString::number(id)});
    return p.waitForFinished(5000) && p.exitCode() == 0;
}

bool click(const QPoint &screenPos)
{
    QProcess p;
    p.start(QStringLiteral("xdotool"),
            {QStringLiteral("mousemove"), QStringLiteral("--sync"), QString::number(screenPos.x()),
             QString::number(screenPos.y()), QStringLiteral("click"), QStringLiteral("1")});
    return p.waitForFinished(5000) && p.exitCode() == 0;
}

// Counts the X server's unmap and destroy notices for one window: a window
// that is re-created or hidden to change its stacking flickers, however fast
// it comes back. The events are read in their wire layout (type in byte 0,
// the window at byte 8 for both), so no X headers are needed.
class UnmapWatch : public QAbstractNativeEventFilter {
public:
    bool nativeEventFilter(const QByteArray &eventType, void *message, qintptr *) override
    {
        if (eventType != "xcb_generic_event_t" || watched == 0)
            return false;
        const auto *bytes = static_cast<const unsigned char *>(message);
        const int type = bytes[0] & 0x7f;
        constexpr int kDestroyNotify = 17;
        constexpr int kUnmapNotify = 18;
        if (type == kDestroyNotify || type == kUnmapNotify) {
            std::uint32_t window = 0;
            std::memcpy(&window, bytes + 8, sizeof window);
            if (window == watched)
                ++count;
        }
        return false;
    }
    WindowId watched = 0;
    int count = 0;
};

// Another program's window, from a second copy of this binary.
class OtherWindow {
public:
    explicit OtherWindow(bool onTop)
    {
        QStringList args{QStringLiteral("--other-window")};
        if (onTop)
            args << QStringLiteral("--on-top");
        process.start(QCoreApplication::applicationFilePath(), args);
        if (process.waitForReadyRead(10000))
            id = process.readLine().trimmed().toULongLong();
    }
    ~OtherWindow()
    {
        process.kill();
        process.waitForFinished();
    }
    QProcess process;
    WindowId id = 0;
};

int runOtherWindow(int argc, char **argv)
{
    QApplication app(argc, argv);
    const bool onTop = app.arguments().contains(QStringLiteral("--on-top"));
    QWidget w(nullptr, onTop ? Qt::Window | Qt::WindowStaysOnTopHint : Qt::Window);
    w.setWindowTitle(onTop ? QStringLiteral("other-on-top") : QStringLiteral("other"));
    w.setGeometry(60, 60, 260, 140);
    w.show();
    std::printf("%llu\n", static_cast<unsigned long long>(w.windowHandle()->winId()));
    std::fflush(stdout);
    return app.exec();
}

// The first row, from the top, in which a column of the image has this colour.
int firstRowOf(const QImage &image, int x, QRgb colour)
{
    for (int y = 0; y < image.height(); ++y)
        if ((image.pixel(x, y) & 0xffffff) == (colour & 0xffffff))
            return y;
    return -1;
}

// Pixels clearly darker than the window's plain background in a rectangle.
int darkPixels(const QImage &image, const QRect &rect)
{
    int n = 0;
    for (int y = rect.top(); y <= rect.bottom(); ++y)
        for (int x = rect.left(); x <= rect.right(); ++x)
            if (qGray(image.pixel(x, y)) < 128)
                ++n;
    return n;
}

} // namespace

class TestX11Window : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void cleanup();
    void keepOnTopChangesStackingOnTheSameWindow();
    void reassertingKeepsOnTopWithoutTakingFocus();
    void keepOnTopComesBackAfterItWasClearedFromOutside();
    void menuBarGoesAndComesBackWithCheck3();
    void ownDialogsStayAboveTheKeptOnTopWindow();
    void titleBarAsksForNoMaximizeButton();

private:
    WindowId formId() const { return form->windowHandle()->winId(); }

    std::unique_ptr<FakeEnvironment> env;
    QtWindowStacking realStacking;
    Form1 *form = nullptr;
    UnmapWatch unmaps;
};

void TestX11Window::initTestCase()
{
    QCOMPARE(QGuiApplication::platformName(), QStringLiteral("xcb"));
    QVERIFY2(runTool(QStringLiteral("xprop"),
                     {QStringLiteral("-root"), QStringLiteral("_NET_SUPPORTING_WM_CHECK")})
                 .contains(QLatin1String("window id")),
             "no window manager on this display");
    InstallFontSubstitutions();
    qApp->installNativeEventFilter(&unmaps);
}

// Every test starts with a fresh main window shown on the desktop.
void TestX11Window::init()
{
    env = std::make_unique<FakeEnvironment>();
    Services services = env->services();
    services.stacking = &realStacking;
    form = new Form1(services);
    // The tests tick by hand.
    Child<QTimer>(*form, "Timer1")->stop();
    form->move(40, 40);
    form->show();
    QVERIFY(QTest::qWaitForWindowExposed(form));
    QTRY_VERIFY(stacking().contains(formId()));
    unmaps.watched = formId();
    unmaps.count = 0;
}

void TestX11Window::cleanup()
{
    unmaps.watched = 0;
    delete form;
    form = nullptr;
}

void TestX11Window::keepOnTopChangesStackingOnTheSameWindow()
{
    const WindowId id = formId();
    const QRect frame = form->frameGeometry();

    OtherWindow other(false);
    QVERIFY(other.id != 0);
    QVERIFY(activate(other.id));
    QTRY_VERIFY(isAbove(other.id, id));
    QVERIFY(!hasAboveState(id));

    Child<QCheckBox>(*form, "Check1")->setChecked(true);
    QCOMPARE(env->store.get("Check1"), std::string(" 1"));
    // Only stored at the click: the window is still ordinary until the tick.
    QTest::qWait(200);
    QVERIFY(!hasAboveState(id));

    form->Timer1_Timer();
    QTRY_VERIFY_WITH_TIMEOUT(hasAboveState(formId()), 2000);
    QVERIFY2(formId() == id, "the native window was re-created");
    QVERIFY2(unmaps.count == 0, "the window was unmapped");
    QTRY_VERIFY_WITH_TIMEOUT(isAbove(id, other.id), 2000);
    QVERIFY(isViewable(id));
    QVERIFY2(activeWindow() == other.id, "keep-on-top took the focus");

    Child<QCheckBox>(*form, "Check1")->setChecked(false);
    QCOMPARE(env->store.get("Check1"), std::string(" 0"));
    form->Timer1_Timer();
    QTRY_VERIFY_WITH_TIMEOUT(!hasAboveState(formId()), 2000);
    QVERIFY2(formId() == id, "the native window was re-created");
    QVERIFY2(unmaps.count == 0, "the window was unmapped");
    QVERIFY(isViewable(id));
    QCOMPARE(form->frameGeometry(), frame);

    // Back among ordinary windows: the other one can cover it again, and
    // further ticks don't raise it.
    QVERIFY(activate(other.id));
    QTRY_VERIFY(isAbove(other.id, id));
    for (int i = 0; i < 3; ++i) {
        form->Timer1_Timer();
        QTest::qWait(100);
    }
    QVERIFY(isAbove(other.id, id));
    QCOMPARE(unmaps.count, 0);
}

void TestX11Window::reassertingKeepsOnTopWithoutTakingFocus()
{
    const WindowId id = formId();
    Child<QCheckBox>(*form, "Check1")->setChecked(true);
    form->Timer1_Timer();
    QTRY_VERIFY_WITH_TIMEOUT(hasAboveState(id), 2000);

    // Another program's always-on-top window comes up later, over ours, and
    // takes the focus.
    OtherWindow other(true);
    QVERIFY(other.id != 0);
    QTRY_VERIFY_WITH_TIMEOUT(hasAboveState(other.id), 2000);
    QVERIFY(activate(other.id));
    QTRY_VERIFY(isAbove(other.id, id));
    QCOMPARE(activeWindow(), other.id);

    // The next tick puts ours back over it; the focus stays where it was.
    form->Timer1_Timer();
    QTRY_VERIFY_WITH_TIMEOUT(isAbove(id, other.id), 1000);
    for (int i = 0; i < 5; ++i) {
        form->Timer1_Timer();
        QTest::qWait(100);
        QVERIFY2(activeWindow() == other.id, "re-asserting keep-on-top took the focus");
    }
    QVERIFY(!form->isActiveWindow());
    QVERIFY(isAbove(id, other.id));
    QCOMPARE(formId(), id);
    QCOMPARE(unmaps.count, 0);

    // Called every second, so it has to be cheap (the store is a fake here).
    constexpr int kCalls = 200;
    QElapsedTimer clock;
    clock.start();
    for (int i = 0; i < kCalls; ++i)
        form->Timer1_Timer();
    const double onTopUs = clock.nsecsElapsed() / 1000.0 / kCalls;
    QTest::qWait(100);
    Child<QCheckBox>(*form, "Check1")->setChecked(false);
    form->Timer1_Timer();
    clock.restart();
    for (int i = 0; i < kCalls; ++i)
        form->Timer1_Timer();
    const double ordinaryUs = clock.nsecsElapsed() / 1000.0 / kCalls;
    qInfo("housekeeping tick per call: %.1f us on top, %.1f us ordinary", onTopUs, ordinaryUs);
    QVERIFY(onTopUs < 2000);
    QVERIFY(ordinaryUs < 2000);
    QCOMPARE(activeWindow(), other.id);
    QCOMPARE(unmaps.count, 0);
}

// What a panel or the window manager's own menu does to "always on top".
static void clearAboveFromOutside(WindowId id)
{
    auto *x11 = qApp->nativeInterface<QNativeInterface::QX11Application>();
    xcb_connection_t *c = x11->connection();
    auto atom = [c](const char *name) {
        xcb_intern_atom_reply_t *r =
            xcb_intern_atom_reply(c, xcb_intern_atom(c, 0, uint16_t(strlen(name)), name), nullptr);
        const xcb_atom_t a = r ? r->atom : xcb_atom_t(XCB_ATOM_NONE);
        free(r);
        return a;
    };
    xcb_client_message_event_t event{};
    event.response_type = XCB_CLIENT_MESSAGE;
    event.format = 32;
    event.window = xcb_window_t(id);
    event.type = atom("_NET_WM_STATE");
    event.data.data32[0] = 0; // _NET_WM_STATE_REMOVE
    event.data.data32[1] = atom("_NET_WM_STATE_ABOVE");
    event.data.data32[3] = 2; // from a pager
    xcb_send_event(c, 0, xcb_setup_roots_iterator(xcb_get_setup(c)).data->root,
                   XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT | XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY,
                   reinterpret_cast<const char *>(&event));
    xcb_flush(c);
}

void TestX11Window::keepOnTopComesBackAfterItWasClearedFromOutside()
{
    const WindowId id = formId();
    Child<QCheckBox>(*form, "Check1")->setChecked(true);
    form->Timer1_Timer();
    QTRY_VERIFY_WITH_TIMEOUT(hasAboveState(id), 2000);

    clearAboveFromOutside(id);
    QTRY_VERIFY_WITH_TIMEOUT(!hasAboveState(id), 2000);
    // The box is still ticked, so the next tick puts it back.
    form->Timer1_Timer();
    QTRY_VERIFY_WITH_TIMEOUT(hasAboveState(id), 2000);
    QVERIFY2(formId() == id, "the native window was re-created");
    QVERIFY2(unmaps.count == 0, "the window was unmapped");
}

void TestX11Window::menuBarGoesAndComesBackWithCheck3()
{
    QVERIFY(Child<QCheckBox>(*form, "Check3")->isChecked());
    QVERIFY(activate(formId()));
    const int barHeight = form->menuBar()->height();
    QVERIFY(barHeight > 10);
    const QRect frame = form->frameGeometry();
    const QRgb cyan = qRgb(192, 255, 255);
    const int column = Child<QLabel>(*form, "Label2")
                           ->mapTo(form, Child<QLabel>(*form, "Label2")->rect().center())
                           .x();
    // Where the menu's title is drawn when the bar is shown; plain background
    // otherwise, as no control reaches that corner.
    const QRect titleArea(4, 2, 26, barHeight - 4);

    auto grab = [this] { return form->screen()->grabWindow(formId()).toImage(); };
    auto clickCheck3 = [this] {
        return click(Child<QCheckBox>(*form, "Check3")
                         ->mapToGlobal(QPoint(8, Child<QCheckBox>(*form, "Check3")->height() / 2)));
    };

    QImage shown = grab();
    const int labelTopShown = firstRowOf(shown, column, cyan);
    QVERIFY(labelTopShown >= barHeight);
    QVERIFY(darkPixels(shown, titleArea) > 0);

    QVERIFY(clickCheck3());
    QTRY_VERIFY(!Child<QCheckBox>(*form, "Check3")->isChecked());
    QCOMPARE(env->store.get("Check3"), std::string(" 0"));
    QImage hidden;
    QTRY_VERIFY((hidden = grab(), firstRowOf(hidden, column, cyan) == labelTopShown - barHeight));
    QCOMPARE(darkPixels(hidden, titleArea), 0);
    QVERIFY(!form->menuBar()->isVisible());
    QCOMPARE(form->frameGeometry(), frame);

    QVERIFY(clickCheck3());
    QTRY_VERIFY(Child<QCheckBox>(*form, "Check3")->isChecked());
    QCOMPARE(env->store.get("Check3"), std::string(" 1"));
    QTRY_VERIFY((shown = grab(), firstRowOf(shown, column, cyan) == labelTopShown));
    QVERIFY(darkPixels(shown, titleArea) > 0);
    QCOMPARE(form->frameGeometry(), frame);
}

void TestX11Window::ownDialogsStayAboveTheKeptOnTopWindow()
{
    const WindowId id = formId();
    Child<QCheckBox>(*form, "Check1")->setChecked(true);
    form->Timer1_Timer();
    QTRY_VERIFY_WITH_TIMEOUT(hasAboveState(id), 2000);

    // A question box of the main window, as the close question is.
    QMessageBox box(QMessageBox::Question, QStringLiteral("q"), QStringLiteral("?"),
                    QMessageBox::Ok | QMessageBox::Cancel, form);
    box.open();
    QVERIFY(QTest::qWaitForWindowExposed(&box));
    const WindowId boxId = box.windowHandle()->winId();
    QTRY_VERIFY(isAbove(boxId, id));
    for (int i = 0; i < 3; ++i) {
        form->Timer1_Timer();
        QTest::qWait(150);
        QVERIFY2(isAbove(boxId, id), "the tick covered the window's own question box");
    }
    box.close();

    // The open menu (a popup the window manager does not manage).
    Child<QMenu>(*form, "menuCaiDan")
        ->popup(form->mapToGlobal(QPoint(0, form->menuBar()->height())));
    QVERIFY(QTest::qWaitForWindowExposed(Child<QMenu>(*form, "menuCaiDan")));
    QTest::qWait(200);
    const QRect menuRect = Child<QMenu>(*form, "menuCaiDan")->geometry();
    auto menuImage = [&] {
        return form->screen()
            ->grabWindow(0, menuRect.x(), menuRect.y(), menuRect.width(), menuRect.height())
            .toImage();
    };
    const QImage before = menuImage();
    QVERIFY(darkPixels(before, before.rect()) > 0); // the entries' text is there
    for (int i = 0; i < 3; ++i) {
        form->Timer1_Timer();
        QTest::qWait(150);
    }
    QVERIFY2(menuImage() == before, "the tick covered the open menu");
    Child<QMenu>(*form, "menuCaiDan")->hide();
}

void TestX11Window::titleBarAsksForNoMaximizeButton()
{
    // _MOTIF_WM_HINTS: flags, functions, decorations, ... The program asks
    // for neither the maximize function (0x10) nor its button (0x40).
    const QString hints = windowProperty(formId(), "_MOTIF_WM_HINTS");
    static const QRegularExpression numbers(QStringLiteral("0x[0-9a-fA-F]+|\\b\\d+\\b"));
    QList<quint32> values;
    auto it = numbers.globalMatch(hints.mid(hints.indexOf(QLatin1Char('='))));
    while (it.hasNext())
        values << it.next().captured().toUInt(nullptr, 0);
    QVERIFY2(values.size() >= 3, qPrintable(hints));
    QVERIFY(values[0] & 0x1); // functions given
    QVERIFY(values[0] & 0x2); // decorations given
    QCOMPARE(values[1] & 0x10, 0u);
    QCOMPARE(values[2] & 0x40, 0u);
    QVERIFY(values[1] & 0x08); // minimize
    QVERIFY(values[1] & 0x20); // close
    QVERIFY(values[1] & 0x02); // resize: the frame stays sizable
    // Whether the window manager honours that is its own affair; openbox
    // keeps every button of a sizable window.
    qInfo("window manager allows: %s",
          qPrintable(
              windowProperty(formId(), "_NET_WM_ALLOWED_ACTIONS").section(QLatin1Char('='), 1)));
}

int main(int argc, char **argv)
{
    if (argc > 1 && std::strcmp(argv[1], "--other-window") == 0)
        return runOtherWindow(argc, argv);
    QApplication app(argc, argv);
    TestX11Window test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_x11window.moc"
