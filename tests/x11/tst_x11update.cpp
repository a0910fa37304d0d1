// The update window on a real X server with a real window manager (run
// through with-xserver.sh): the window manager places it as it places any new
// window, while it still blocks the main window.

#include "fakes/fakeservices.h"
#include "fakes/qtrig.h"
#include "qt/form1.h"
#include "qt/formupdate.h"

#include <QApplication>
#include <QProcess>
#include <QPushButton>
#include <QTest>
#include <QTimer>

namespace {

QString xprop(QWidget *w, const char *property)
{
    QProcess p;
    p.start(QStringLiteral("xprop"),
            {QStringLiteral("-id"), QString::number(w->winId()), QString::fromLatin1(property)});
    p.waitForFinished(5000);
    return QString::fromLocal8Bit(p.readAllStandardOutput()).trimmed();
}

} // namespace

class TestX11Update : public QObject {
    Q_OBJECT
private slots:
    void placedLikeAnyNewWindow();
};

void TestX11Update::placedLikeAnyNewWindow()
{
    FakeEnvironment env;
    env.http.bodies["http://vendor.test/brk/newver.htm"] = "[122]";
    Form1 main(env.services());
    Child<QTimer>(main, "Timer1")->stop();
    main.Form_Load();
    main.move(500, 380);
    main.show();
    QVERIFY(QTest::qWaitForWindowExposed(&main));

    // Where the window manager puts a new window of the same size.
    QWidget plain;
    plain.resize(364, 177);
    plain.show();
    QVERIFY(QTest::qWaitForWindowExposed(&plain));
    QTest::qWait(300);
    const QPoint newWindowAt = plain.pos();
    plain.hide();

    QPoint at;
    QString transientFor;
    bool blocked = false;
    int tries = 0;
    std::function<void()> look = [&] {
        auto *w = qobject_cast<FormUpdate *>(QApplication::activeModalWidget());
        if (!w || !w->isVisible() || !QTest::qWaitForWindowExposed(w, 100)) {
            if (++tries < 300)
                QTimer::singleShot(10, look);
            return;
        }
        QTest::qWait(300); // let the window manager settle it
        at = w->pos();
        transientFor = xprop(w, "WM_TRANSIENT_FOR");
        blocked = w->isModal() && w->windowModality() == Qt::ApplicationModal;
        w->findChild<QPushButton *>(QStringLiteral("Command2"))->click();
    };
    QTimer::singleShot(0, look);
    main.menuUpdate_Click();

    qInfo("main window at %d,%d; a new window at %d,%d; the update window at %d,%d", main.x(),
          main.y(), newWindowAt.x(), newWindowAt.y(), at.x(), at.y());
    QVERIFY(tries < 300);
    QVERIFY(blocked);
    QVERIFY2(!transientFor.contains(QLatin1String("window id")), qPrintable(transientFor));
    QCOMPARE(at, newWindowAt);
}

QTEST_MAIN(TestX11Update)
#include "tst_x11update.moc"
