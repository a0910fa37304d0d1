// The update window: its layout, the outcome of its query, its buttons, and
// how the main window's menu entry opens it.

#include "fakes/fakeservices.h"
#include "fakes/qtrig.h"
#include "hostileserver.h"
#include "qt/form1.h"
#include "qt/formupdate.h"
#include "qt/qthttpclient.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <functional>

namespace {

const QString kVersionUrl = QStringLiteral("http://vendor.test/brk/newver.htm");
const QString kUpdatePage = QStringLiteral("http://vendor.test/brk/update.asp");

// Runs act on the modal window as soon as one is up; looks for it for about
// five seconds, so a window that never comes leaves no retry behind.
void whenModal(const std::function<void(QWidget *)> &act, int triesLeft = 500)
{
    QTimer::singleShot(triesLeft == 500 ? 0 : 10, qApp, [act, triesLeft] {
        if (QWidget *w = QApplication::activeModalWidget())
            act(w);
        else if (triesLeft > 0)
            whenModal(act, triesLeft - 1);
    });
}

// Update windows in existence (they are top-level windows of their own).
int updateWindows()
{
    int n = 0;
    for (QWidget *w : QApplication::topLevelWidgets())
        n += qobject_cast<FormUpdate *>(w) ? 1 : 0;
    return n;
}

QPushButton *button(QWidget *w, const char *name)
{
    return w->findChild<QPushButton *>(QLatin1String(name));
}

QString labelText(QWidget *w, const char *name)
{
    return w->findChild<QLabel *>(QLatin1String(name))->text();
}

// What the window showed when it came up.
struct Seen {
    QString label1;
    QString label3;
    bool command1 = false;
};

Seen seeAndClose(QWidget *w)
{
    Seen seen{labelText(w, "Label1"), labelText(w, "Label3"), button(w, "Command1")->isVisible()};
    button(w, "Command2")->click();
    return seen;
}

} // namespace

class TestFormUpdate : public QObject {
    Q_OBJECT
private slots:
    void layoutAsDesigned();
    void loadShowsOutcome_data();
    void loadShowsOutcome();
    void buttons_data();
    void buttons();
    void menuPausesOnlyHousekeeping();
    void menuChosenAgainDuringTheQuery();
    void mainWindowGoneDuringTheQuery();
    void placedLikeAnyNewWindow();
    void hostileServerEndsTheLoadInTime();
};

void TestFormUpdate::layoutAsDesigned()
{
    CoreRig rig;
    rig.load();
    FormUpdate form(rig.core);

    QCOMPARE(form.windowTitle(), QStringLiteral("检查更新"));
    QCOMPARE(form.size(), QSize(364, 177));
    QVERIFY(!(form.windowFlags() & (Qt::WindowMinimizeButtonHint | Qt::WindowMaximizeButtonHint)));
    QVERIFY(form.windowFlags() & Qt::WindowCloseButtonHint);

    QCOMPARE(Child<QPushButton>(form, "Command3")->geometry(), QRect(16, 136, 121, 25));
    QCOMPARE(Child<QPushButton>(form, "Command1")->geometry(), QRect(144, 136, 89, 25));
    QCOMPARE(Child<QPushButton>(form, "Command2")->geometry(), QRect(248, 136, 81, 25));
    QCOMPARE(Child<QLabel>(form, "Label1")->pos(), QPoint(40, 24));
    QCOMPARE(Child<QLabel>(form, "Label4")->pos(), QPoint(40, 112));
    QCOMPARE(Child<QLabel>(form, "Label4")->text(),
             QStringLiteral("如果长时间没有反应，请直接上网查看最新版本"));
    QCOMPARE(Child<QPushButton>(form, "Command3")->text(), QStringLiteral("上网查看最新版本"));
    QVERIFY(Child<QPushButton>(form, "Command1")->isHidden());
    QVERIFY(!Child<QLabel>(form, "Label4")->isHidden() &&
            !Child<QPushButton>(form, "Command3")->isHidden());
    for (QPushButton *b :
         {Child<QPushButton>(form, "Command1"), Child<QPushButton>(form, "Command2"),
          Child<QPushButton>(form, "Command3")})
        QVERIFY(!b->isDefault());
}

// Which pages count as newer is tested without a window (tests/core); here the
// outcome reaches the controls.
void TestFormUpdate::loadShowsOutcome_data()
{
    const QString upToDate = QStringLiteral("您使用的版本已经是最新版的了，您无需下载更新");
    const QString found = QStringLiteral("检查到有新的版本了");
    QTest::addColumn<QByteArray>("page");
    QTest::addColumn<QString>("label1");
    QTest::addColumn<QString>("label3");

    QTest::newRow("123") << QByteArray("[123]") << found << QStringLiteral("最新版本为:V1.2.3");
    QTest::newRow("same") << QByteArray("[122]") << upToDate << QString();
}

void TestFormUpdate::loadShowsOutcome()
{
    QFETCH(QByteArray, page);
    QFETCH(QString, label1);
    QFETCH(QString, label3);

    CoreRig rig;
    rig.load();
    if (!page.isNull())
        rig.env.http.bodies[kVersionUrl.toStdString()] = page.toStdString();
    FormUpdate form(rig.core);
    form.Form_Load();

    QCOMPARE(Q(rig.env.http.requested), QStringList{kVersionUrl});
    QCOMPARE(Child<QLabel>(form, "Label1")->text(), label1);
    QCOMPARE(Child<QLabel>(form, "Label2")->text(), QStringLiteral("当前版本为：V1.2.2"));
    QCOMPARE(Child<QLabel>(form, "Label3")->text(), label3);
    QCOMPARE(!Child<QPushButton>(form, "Command1")->isHidden(), !label3.isEmpty());
    QVERIFY(Child<QLabel>(form, "Label4")->isHidden() &&
            Child<QPushButton>(form, "Command3")->isHidden());
    QVERIFY(!Child<QPushButton>(form, "Command2")->isHidden());
    // Labels fit their text on one line.
    for (QLabel *l : {Child<QLabel>(form, "Label1"), Child<QLabel>(form, "Label2"),
                      Child<QLabel>(form, "Label3")})
        QVERIFY(l->width() >= l->sizeHint().width() && l->height() >= l->sizeHint().height());
}

void TestFormUpdate::buttons_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QStringList>("opened");
    QTest::newRow("download") << "Command1" << QStringList{kUpdatePage};
    QTest::newRow("look on the web") << "Command3" << QStringList{kUpdatePage};
    QTest::newRow("exit") << "Command2" << QStringList{};
}

void TestFormUpdate::buttons()
{
    QFETCH(QString, name);
    QFETCH(QStringList, opened);

    CoreRig rig;
    rig.load();
    rig.env.http.bodies[kVersionUrl.toStdString()] = "[123]";
    FormUpdate form(rig.core);
    form.Form_Load();
    bool openAfterEscape = false;
    whenModal([&](QWidget *w) {
        // No cancel button, so Esc leaves the window open.
        QTest::keyClick(w, Qt::Key_Escape);
        openAfterEscape = w->isVisible();
        auto *b = button(w, name.toLatin1().constData());
        b->setVisible(true); // Command3 is hidden after loading; click it anyway
        b->click();
    });
    form.exec();

    QVERIFY(openAfterEscape);
    QVERIFY(!form.isVisible());
    QCOMPARE(Q(rig.env.browser.opened), opened);
    // The page opens from the update window, its owner.
    for (WindowHandle owner : rig.env.browser.owners)
        QVERIFY(owner == static_cast<QWidget *>(&form));
}

void TestFormUpdate::menuPausesOnlyHousekeeping()
{
    FakeEnvironment env;
    env.http.bodies[kVersionUrl.toStdString()] = "[123]";
    Form1 main(env.services());
    Child<QTimer>(main, "Timer1")->setInterval(5);
    main.Command1_Click(); // a stopwatch run
    Child<QTimer>(main, "Timer2")->setInterval(5);
    QTRY_VERIFY(main.core().usageTotal() > 0 && main.core().engine().count() > 0);

    bool timer1OffDuringQuery = false;
    bool windowUpDuringQuery = true;
    env.http.whileWaiting = [&] {
        timer1OffDuringQuery = !Child<QTimer>(main, "Timer1")->isActive();
        windowUpDuringQuery = QApplication::activeModalWidget() != nullptr;
    };
    double usageAtOpen = -1;
    double usageAtClose = -2;
    bool timer2Counted = false;
    Seen seen;
    whenModal([&](QWidget *w) {
        usageAtOpen = main.core().usageTotal();
        const double counted = main.core().engine().count();
        // Let some 5 ms ticks fall due while the window is open.
        QTest::qWait(100);
        timer2Counted = main.core().engine().count() > counted;
        usageAtClose = main.core().usageTotal();
        seen = seeAndClose(w);
    });
    main.menuUpdate_Click();

    QVERIFY(timer1OffDuringQuery);
    QVERIFY(!windowUpDuringQuery);
    QCOMPARE(usageAtClose, usageAtOpen);
    QVERIFY(timer2Counted);
    QCOMPARE(seen.label3, QStringLiteral("最新版本为:V1.2.3"));
    QVERIFY(seen.command1);
    QCOMPARE(updateWindows(), 0);
    QVERIFY(Child<QTimer>(main, "Timer1")->isActive());
    QTRY_VERIFY(main.core().usageTotal() > usageAtClose);
}

void TestFormUpdate::menuChosenAgainDuringTheQuery()
{
    FakeEnvironment env;
    env.http.bodies[kVersionUrl.toStdString()] = "[123]";
    Form1 main(env.services());

    int windows = 0;
    env.http.whileWaiting = [&] { main.menuUpdate_Click(); };
    Seen first;
    whenModal([&](QWidget *w) {
        windows = updateWindows();
        first = seeAndClose(w);
    });
    main.menuUpdate_Click();
    QCOMPARE(env.http.requested.size(), size_t(1));
    QCOMPARE(windows, 1);
    QVERIFY(first.command1);
    QVERIFY(Child<QTimer>(main, "Timer1")->isActive());

    // The next opening asks again and starts from the layout.
    env.http.whileWaiting = nullptr;
    env.http.bodies[kVersionUrl.toStdString()] = "[122]";
    Seen second;
    whenModal([&](QWidget *w) { second = seeAndClose(w); });
    main.menuUpdate_Click();
    QCOMPARE(env.http.requested.size(), size_t(2));
    QVERIFY(!second.command1);
    QVERIFY(second.label3.isEmpty());
    QCOMPARE(second.label1, QStringLiteral("您使用的版本已经是最新版的了，您无需下载更新"));
}

void TestFormUpdate::mainWindowGoneDuringTheQuery()
{
    FakeEnvironment env;
    env.http.bodies[kVersionUrl.toStdString()] = "[123]";
    QPointer<Form1> main = new Form1(env.services());
    env.http.whileWaiting = [&] { delete main.data(); };
    main->menuUpdate_Click();
    QVERIFY(main.isNull());
    QVERIFY(QApplication::activeModalWidget() == nullptr);
    QCOMPARE(updateWindows(), 0);
}

void TestFormUpdate::placedLikeAnyNewWindow()
{
    FakeEnvironment env;
    Form1 main(env.services());
    main.move(420, 310);
    main.show();

    QWidget *parent = &main;
    bool ownWindow = false;
    bool moved = true;
    QPoint offset;
    whenModal([&](QWidget *w) {
        parent = w->parentWidget();
        ownWindow = w->isWindow() && w->windowModality() == Qt::ApplicationModal;
        moved = w->testAttribute(Qt::WA_Moved);
        offset = w->geometry().center() - main.geometry().center();
        button(w, "Command2")->click();
    });
    main.menuUpdate_Click();

    // Not centred over the main window: no parent, no position of its own.
    QCOMPARE(parent, nullptr);
    QVERIFY(ownWindow);
    QVERIFY(!moved);
    QVERIFY2(offset.manhattanLength() > 20,
             qPrintable(QStringLiteral("%1,%2").arg(offset.x()).arg(offset.y())));
    QVERIFY(QApplication::activeModalWidget() == nullptr);
}

// The window's query goes through the real client: a server that never stops
// sending headers holds it no longer than the time-out.
void TestFormUpdate::hostileServerEndsTheLoadInTime()
{
    HostileServer server(HostileServer::Mode::EndlessHeaderLines);
    QtHttpClient http(1000);
    FakeEnvironment env;
    Services services = env.services();
    services.http = &http;
    services.vendorUrl = server.url().toStdString();
    MainWindowCore core(services, nullptr);
    FormUpdate form(core);
    QElapsedTimer wall;
    wall.start();
    form.Form_Load();
    QVERIFY2(wall.elapsed() < 1500, qPrintable(QString::number(wall.elapsed())));
    QCOMPARE(Child<QLabel>(form, "Label1")->text(),
             QStringLiteral("您使用的版本已经是最新版的了，您无需下载更新"));
    QTRY_VERIFY_WITH_TIMEOUT(server.clientHungUp(), 1000);
}

QTEST_MAIN(TestFormUpdate)
#include "tst_formupdate.moc"
