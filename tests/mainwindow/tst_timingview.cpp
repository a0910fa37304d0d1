// The main window's timing controls wired to the engine: clicks and ticks
// reach the core, and what it decides reaches the screen. The engine's own
// rules are tested without a window in tests/core/tst_timingengine.cpp.

#include "fakes/fakeservices.h"
#include "fakes/qtrig.h"
#include "qt/form1.h"
#include "qt/qtservices.h"

#include <QFile>
#include <QMediaPlayer>
#include <QScreen>
#include <QTemporaryDir>
#include <QTest>
#include <QWindow>

namespace {

const QString kAlarmFile = QStringLiteral("/opt/brisko/sound.mp3");

struct Rig : FormRig {
    explicit Rig(bool alarmFileThere = true)
    {
        form->core().setAlarmFilePath(kAlarmFile.toStdString());
        if (alarmFileThere)
            env.files.existing.insert(kAlarmFile.toStdString());
        form->show();
    }
};

const QColor kBlue(0, 0, 255);
const QColor kRed(255, 0, 0);

} // namespace

class TestTimingView : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { UseSoundModuleFile(QStringLiteral(BRISKO_SOUND_MODULE_FILE)); }
    void buttonsAndTicksReachTheScreen();
    void countdownFinishReachesTheScreen();
    void badMinutesAreRefusedAndReset_data();
    void badMinutesAreRefusedAndReset();
    void theToneHoldsAWindowShowingItsTick();
    void realPlayersLateReportAfterStop();
};

void TestTimingView::buttonsAndTicksReachTheScreen()
{
    Rig rig;
    QCOMPARE(rig.display(), QStringLiteral("0:00:00"));
    QCOMPARE(rig.colour(), kBlue);
    QVERIFY(!rig.command2()->isVisible());

    rig.command1()->click();
    QCOMPARE(rig.command1()->text(), QStringLiteral("停止"));
    QCOMPARE(rig.command1()->toolTip(), QStringLiteral("点一下将会停止计时"));
    QVERIFY(rig.timer2()->isActive());
    QVERIFY(rig.command2()->isVisible());
    QCOMPARE(rig.command2()->toolTip(), QStringLiteral("点一下将会暂停计时"));

    rig.ticks(1);
    QCOMPARE(rig.display(), QStringLiteral("0:00:01"));
    QCOMPARE(rig.status(), QStringLiteral("正在计时中.."));
    rig.ticks(289);
    QCOMPARE(rig.display(), QStringLiteral("0:04:50"));
    QCOMPARE(rig.env.alarm.played, std::vector<std::string>{kAlarmFile.toStdString()});
    rig.ticks(11);
    QCOMPARE(rig.display(), QStringLiteral("0:05:01"));
    QCOMPARE(rig.colour(), kRed);
    // The label grows with its text instead of wrapping or clipping.
    QVERIFY(rig.label2()->width() >= rig.label2()->sizeHint().width());

    rig.command2()->click();
    QVERIFY(!rig.timer2()->isActive());
    QCOMPARE(rig.command2()->text(), QStringLiteral("继续"));
    QCOMPARE(rig.status(), QStringLiteral("计时暂停中"));
    rig.command2()->click();
    QVERIFY(rig.timer2()->isActive());
    QCOMPARE(rig.status(), QStringLiteral("计时暂停中"));

    const int stops = rig.env.alarm.stops;
    rig.command1()->click();
    QCOMPARE(rig.env.alarm.stops, stops + 1);
    QCOMPARE(rig.command1()->text(), QStringLiteral("开始"));
    QCOMPARE(rig.command1()->toolTip(), QStringLiteral("点一下就开始计时"));
    QVERIFY(!rig.timer2()->isActive());
    QVERIFY(!rig.command2()->isVisible());
    QCOMPARE(rig.command2()->text(), QStringLiteral("暂停"));
    QVERIFY(rig.status().isEmpty());
    QCOMPARE(rig.display(), QStringLiteral("0:05:01"));
}

void TestTimingView::countdownFinishReachesTheScreen()
{
    Rig rig;
    rig.check2()->setChecked(true);
    rig.text1()->setText(QStringLiteral("0.5"));
    rig.command1()->click();
    rig.ticks(29);
    QCOMPARE(rig.display(), QStringLiteral("0:00:01"));
    rig.ticks(1);
    QCOMPARE(rig.display(), QStringLiteral("时间到了"));
    QCOMPARE(rig.command1()->text(), QStringLiteral("开始"));
    QCOMPARE(rig.command1()->toolTip(), QStringLiteral("点一下开始计时"));
    QVERIFY(!rig.command2()->isVisible());
    QVERIFY(rig.status().isEmpty());
    QVERIFY(!rig.timer2()->isActive());
    QCOMPARE(rig.colour(), kBlue);
    // The minutes typed and the mode chosen were stored on the way.
    QCOMPARE(rig.env.store.get("Text1"), std::string("0.5"));
    QCOMPARE(rig.env.store.get("Check2"), std::string(" 1"));
}

void TestTimingView::badMinutesAreRefusedAndReset_data()
{
    QTest::addColumn<QString>("typed");
    QTest::newRow("empty") << "";
    QTest::newRow("zero") << "0";
    QTest::newRow("letters") << "abc";
}

void TestTimingView::badMinutesAreRefusedAndReset()
{
    QFETCH(QString, typed);
    Rig rig;
    rig.text1()->setText(QStringLiteral("7"));
    rig.env.store.log.clear();

    // Ticks go on while the message is open: the entry still holds the bad
    // text then, and the tick must cope.
    rig.check2()->setChecked(true);
    rig.command1()->click();
    rig.env.messages.whileOpen = [&rig] { rig.form->Timer2_Timer(); };
    rig.text1()->setText(typed);

    QCOMPARE(rig.env.messages.shown.size(), size_t(1));
    QCOMPARE(rig.env.messages.shown[0].text, std::string("此处必须大于0"));
    QCOMPARE(rig.env.messages.shown[0].title, std::string("brisko"));
    QVERIFY(rig.env.messages.shown[0].buttons == MessageSpec::Buttons::Ok);
    QVERIFY(rig.env.messages.shown[0].icon == MessageSpec::Icon::None);
    QCOMPARE(rig.text1()->text(), QStringLiteral("5"));
    QCOMPARE(rig.env.store.get("Text1"), std::string("5"));
    for (const auto &w : rig.env.store.writes())
        QVERIFY(w.name != "Text1" || w.text == "5");
}
void TestTimingView::theToneHoldsAWindowShowingItsTick()
{
    Rig rig(false);
    rig.check2()->setChecked(true);
    rig.command1()->click();
    QVERIFY(QTest::qWaitForWindowExposed(rig.form.get()));
    rig.ticks(289);
    QCOMPARE(rig.display(), QStringLiteral("0:00:11"));
    QCoreApplication::processEvents(); // painted, as after every tick

    // What the screen holds while the tone sounds, against the labels drawn
    // afresh with the texts of the tick that started it (where no other
    // control covers them).
    auto onScreen = [&rig](QLabel *label) {
        const QImage screen =
            rig.form->windowHandle()->screen()->grabWindow(rig.form->winId()).toImage();
        const QImage drawn = label->grab().toImage();
        const QPoint origin = label->mapTo(rig.form.get(), QPoint());
        QRegion covered;
        for (QWidget *w :
             label->parentWidget()->findChildren<QWidget *>(QString(), Qt::FindDirectChildrenOnly))
            if (w != label && w->isVisible())
                covered += w->geometry().translated(-label->pos());
        for (int y = 0; y < drawn.height(); ++y)
            for (int x = 0; x < drawn.width(); ++x)
                if (!covered.contains(QPoint(x, y)) &&
                    drawn.pixel(x, y) != screen.pixel(origin + QPoint(x, y)))
                    return false;
        return true;
    };
    bool displayShown = false;
    bool statusShown = false;
    rig.env.tone.whileSounding = [&] {
        displayShown = onScreen(rig.label2());
        statusShown = onScreen(rig.label7());
    };
    rig.ticks(1);
    QCOMPARE(rig.env.tone.beeps.size(), size_t(1));
    QCOMPARE(rig.display(), QStringLiteral("0:00:10"));
    QVERIFY(displayShown);
    QVERIFY(statusShown);
}
void TestTimingView::realPlayersLateReportAfterStop()
{
    // A sound.mp3 that is no sound, with the real player: the report comes
    // after 停止 was clicked in the same second, and the tone stays off.
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("sound.mp3"));
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(QByteArray("no sound here\n").repeated(100));
    file.close();

    FakeEnvironment env;
    QtAlarmPlayer player;
    Services services = env.services();
    services.alarm = &player;
    env.files.existing.insert(path.toStdString());
    Form1 form(services);
    Child<QTimer>(form, "Timer1")->stop();
    form.core().setAlarmFilePath(path.toStdString());
    Child<QLineEdit>(form, "Text1")->setText(QStringLiteral("0.5"));
    Child<QPushButton>(form, "Command1")->click();
    for (int i = 0; i < 20; ++i)
        form.Timer2_Timer();
    auto media = [&player] { return qobject_cast<const QMediaPlayer *>(player.mediaPlayer()); };
    QVERIFY(media());
    Child<QPushButton>(form, "Command1")->click();
    QTRY_VERIFY_WITH_TIMEOUT(media()->error() != QMediaPlayer::NoError, 10000);
    QTest::qWait(100);
    QVERIFY(env.tone.beeps.empty());

    // Left running, the same file gives the tone.
    Child<QPushButton>(form, "Command1")->click();
    for (int i = 0; i < 20; ++i)
        form.Timer2_Timer();
    QTRY_COMPARE_WITH_TIMEOUT(env.tone.beeps.size(), size_t(1), 10000);
}
QTEST_MAIN(TestTimingView)
#include "tst_timingview.moc"
