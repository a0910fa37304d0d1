// The dock's launcher entry as signals leave it: what each one carries, how
// changes of one moment go out together and the next wait for the gap, and
// urgent cleared once the window is active again. The signals are caught
// before the bus; tests/x11/program_taskbar.py watches a real bus.

#include "qt/launcherentry.h"

#include <QApplication>
#include <QDBusArgument>
#include <QTest>
#include <QWidget>

namespace {

struct Sent {
    double progress;
    bool visible;
    bool urgent;
    friend bool operator==(const Sent &, const Sent &) = default;
};

struct Rig {
    QtLauncherEntry entry{QStringLiteral("brisko.desktop"), 200};
    QList<QDBusMessage> messages;
    QWidget window;
    Rig()
    {
        entry.sendVia = [this](const QDBusMessage &m) { messages << m; };
    }
    Sent sent(qsizetype i) const
    {
        const QVariantMap p = messages.at(i).arguments().at(1).toMap();
        return {p.value(QStringLiteral("progress")).toDouble(),
                p.value(QStringLiteral("progress-visible")).toBool(),
                p.value(QStringLiteral("urgent")).toBool()};
    }
};

} // namespace

class TestLauncherEntry : public QObject {
    Q_OBJECT
private slots:
    void oneSignalCarriesTheWholeEntry()
    {
        Rig rig;
        rig.entry.show(&rig.window, TaskbarState::Normal, 0.25);
        QTRY_COMPARE(rig.messages.size(), 1);
        const QDBusMessage &m = rig.messages.first();
        QCOMPARE(m.type(), QDBusMessage::SignalMessage);
        QCOMPARE(m.interface(), QStringLiteral("com.canonical.Unity.LauncherEntry"));
        QCOMPARE(m.member(), QStringLiteral("Update"));
        QVERIFY(m.path().startsWith(QStringLiteral("/com/canonical/unity/launcherentry/")));
        QCOMPARE(m.path(), rig.entry.objectPath());
        QCOMPARE(m.arguments().at(0).toString(), QStringLiteral("application://brisko.desktop"));
        const QVariantMap p = m.arguments().at(1).toMap();
        QCOMPARE(p.keys(), QStringList({"progress", "progress-visible", "urgent"}));
        // Typed as the docks read them: a double and two booleans.
        QCOMPARE(p.value("progress").typeId(), QMetaType::Double);
        QCOMPARE(p.value("progress-visible").typeId(), QMetaType::Bool);
        QCOMPARE(p.value("urgent").typeId(), QMetaType::Bool);
        QVERIFY(rig.sent(0) == (Sent{0.25, true, false}));
    }

    void changesWaitForTheGapAndTheLatestWins()
    {
        Rig rig;
        rig.entry.show(&rig.window, TaskbarState::Normal, 0);
        QTRY_COMPARE(rig.messages.size(), 1);
        // Paused and over have no look of their own in a dock.
        rig.entry.show(&rig.window, TaskbarState::Normal, 0.5);
        rig.entry.show(&rig.window, TaskbarState::Paused, 0.6);
        rig.entry.show(&rig.window, TaskbarState::Over, 1);
        QTest::qWait(100);
        QCOMPARE(rig.messages.size(), 1);
        QTRY_COMPARE(rig.messages.size(), 2);
        QVERIFY(rig.sent(1) == (Sent{1, true, false}));
        // Back and forth within the gap ends where it began: nothing to say.
        rig.entry.show(&rig.window, TaskbarState::Normal, 0.3);
        rig.entry.show(&rig.window, TaskbarState::Over, 1);
        QTest::qWait(300);
        QCOMPARE(rig.messages.size(), 2);
    }

    void theEndAndTheCallGoTogetherAndTheCallEndsAtTheWindow()
    {
        Rig rig;
        QWidget other;
        other.show();
        rig.window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&rig.window));
        other.activateWindow();
        QTRY_VERIFY(QGuiApplication::focusWindow() == other.windowHandle());

        rig.entry.show(&rig.window, TaskbarState::None, 0);
        rig.entry.requestAttention(&rig.window);
        QTRY_COMPARE(rig.messages.size(), 1);
        QVERIFY(rig.sent(0) == (Sent{0, false, true}));
        // Another window of the program taking the focus is not the user
        // coming back to this one.
        QWidget third;
        third.show();
        third.activateWindow();
        QTRY_VERIFY(QGuiApplication::focusWindow() == third.windowHandle());
        QTest::qWait(300);
        QCOMPARE(rig.messages.size(), 1);

        rig.window.activateWindow();
        QTRY_COMPARE(rig.messages.size(), 2);
        QVERIFY(rig.sent(1) == (Sent{0, false, false}));
    }
};

QTEST_MAIN(TestLauncherEntry)
#include "tst_launcherentry.moc"
