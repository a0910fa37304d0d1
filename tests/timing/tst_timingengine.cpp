// The stopwatch and countdown driven tick by tick: each test calls the tick
// handler directly instead of waiting for the real timer.

#include "fakes/fakeservices.h"
#include "qt/form1.h"
#include "qt/qtservices.h"

#include <QCheckBox>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QMediaPlayer>
#include <QPushButton>
#include <QScreen>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QWindow>

namespace {

const QString kAlarmFile = QStringLiteral("/opt/brisko/sound.mp3");

struct Rig {
    FakeEnvironment env;
    Form1 form{env.services()};

    explicit Rig(bool alarmFileThere = true)
    {
        form.Timer1->stop();
        form.AlarmFilePath = kAlarmFile;
        if (alarmFileThere)
            env.files.existing.insert(kAlarmFile);
        form.show();
    }
    void ticks(int n)
    {
        for (int i = 0; i < n; ++i)
            form.Timer2_Timer();
    }
    QString display() const { return form.Label2->text(); }
    QString status() const { return form.Label7->text(); }
    QColor colour() const { return form.Label2->palette().color(QPalette::WindowText); }
    // The tick (1-based) on which the alarm first sounded, or 0.
    int alarmTick(int maxTicks)
    {
        for (int i = 1; i <= maxTicks; ++i) {
            const auto before = env.alarm.played.size() + env.tone.beeps.size();
            form.Timer2_Timer();
            if (env.alarm.played.size() + env.tone.beeps.size() != before)
                return i;
        }
        return 0;
    }
};

const QColor kBlue(0, 0, 255);
const QColor kRed(255, 0, 0);

} // namespace

class TestTimingEngine : public QObject {
    Q_OBJECT
private slots:
    void stopwatchCountsUpAndTurnsRedPastTarget();
    void countdownFinishesWithTimeIsUp();
    void pauseAndContinueKeepTheCount();
    void stopWhilePausedStartsOverNextTime();
    void alarmTick_data();
    void alarmTick();
    void missingOrUnplayableFileSoundsTheTone();
    void theToneHoldsAWindowShowingItsTick();
    void realPlayersLateReportAfterStop();
    void changesDuringARunTakeEffectOnTheNextTick();
    void badMinutesAreRefusedAndReset_data();
    void badMinutesAreRefusedAndReset();
    void minutesAndModeAreStoredAsTyped();
};

void TestTimingEngine::stopwatchCountsUpAndTurnsRedPastTarget()
{
    Rig rig;
    QCOMPARE(rig.display(), QStringLiteral("0:00:00"));
    QCOMPARE(rig.colour(), kBlue);
    QVERIFY(!rig.form.Command2->isVisible());

    rig.form.Command1->click();
    QCOMPARE(rig.form.Command1->text(), QStringLiteral("停止"));
    QCOMPARE(rig.form.Command1->toolTip(), QStringLiteral("点一下将会停止计时"));
    QVERIFY(rig.form.Timer2->isActive());
    QVERIFY(rig.form.Command2->isVisible());
    QCOMPARE(rig.form.Command2->text(), QStringLiteral("暂停"));
    QCOMPARE(rig.form.Command2->toolTip(), QStringLiteral("点一下将会暂停计时"));
    // Nothing changes on screen until the first tick.
    QCOMPARE(rig.display(), QStringLiteral("0:00:00"));

    rig.ticks(1);
    QCOMPARE(rig.display(), QStringLiteral("0:00:01"));
    QCOMPARE(rig.status(), QStringLiteral("正在计时中.."));
    rig.ticks(1);
    QCOMPARE(rig.status(), QStringLiteral("正在计时中..."));
    rig.ticks(1);
    QCOMPARE(rig.status(), QStringLiteral("正在计时中."));

    rig.ticks(287); // 290 counted: ten seconds short of 5 minutes
    QCOMPARE(rig.display(), QStringLiteral("0:04:50"));
    QCOMPARE(rig.env.alarm.played, QStringList{kAlarmFile});
    rig.ticks(10);
    QCOMPARE(rig.display(), QStringLiteral("0:05:00"));
    QCOMPARE(rig.colour(), kBlue);
    rig.ticks(1);
    QCOMPARE(rig.display(), QStringLiteral("0:05:01"));
    QCOMPARE(rig.colour(), kRed);
    QVERIFY(rig.form.Timer2->isActive());
    // The label grows with its text instead of wrapping or clipping.
    QVERIFY(rig.form.Label2->width() >= rig.form.Label2->sizeHint().width());

    rig.form.js1 = 86399;
    rig.ticks(1);
    QCOMPARE(rig.display(), QStringLiteral("24:00:00"));
    QCOMPARE(rig.env.alarm.played.size(), 1);
}

void TestTimingEngine::countdownFinishesWithTimeIsUp()
{
    Rig rig;
    rig.form.Check2->setChecked(true);
    rig.form.Command1->click();
    rig.ticks(1);
    QCOMPARE(rig.display(), QStringLiteral("0:04:59"));
    QCOMPARE(rig.status(), QStringLiteral("倒计时进行中.."));

    rig.ticks(288);
    QCOMPARE(rig.display(), QStringLiteral("0:00:11"));
    QVERIFY(rig.env.alarm.played.isEmpty());
    rig.ticks(1);
    QCOMPARE(rig.display(), QStringLiteral("0:00:10"));
    QCOMPARE(rig.env.alarm.played, QStringList{kAlarmFile});

    rig.ticks(9);
    QCOMPARE(rig.display(), QStringLiteral("0:00:01"));
    const int stopsBefore = rig.env.alarm.stops;
    rig.ticks(1);
    QCOMPARE(rig.display(), QStringLiteral("时间到了"));
    QCOMPARE(rig.form.Command1->text(), QStringLiteral("开始"));
    QCOMPARE(rig.form.Command1->toolTip(), QStringLiteral("点一下开始计时"));
    QVERIFY(!rig.form.Command2->isVisible());
    QVERIFY(rig.status().isEmpty());
    QVERIFY(!rig.form.Timer2->isActive());
    QCOMPARE(rig.form.js1, 0.0);
    QCOMPARE(rig.colour(), kBlue);
    // The alarm plays on past the finish.
    QCOMPARE(rig.env.alarm.stops, stopsBefore);

    // A click on the start button silences it.
    rig.form.Command1->click();
    QCOMPARE(rig.env.alarm.stops, stopsBefore + 1);
}

void TestTimingEngine::pauseAndContinueKeepTheCount()
{
    Rig rig;
    rig.form.Command1->click();
    rig.ticks(83);
    QCOMPARE(rig.display(), QStringLiteral("0:01:23"));
    const int stops = rig.env.alarm.stops;

    rig.form.Command2->click();
    QVERIFY(!rig.form.Timer2->isActive());
    QCOMPARE(rig.form.Command2->text(), QStringLiteral("继续"));
    QCOMPARE(rig.form.Command2->toolTip(), QStringLiteral("点一下将会继续计时(不会从头开始)"));
    QCOMPARE(rig.status(), QStringLiteral("计时暂停中"));
    QCOMPARE(rig.form.Command1->text(), QStringLiteral("停止"));

    rig.form.Command2->click();
    QVERIFY(rig.form.Timer2->isActive());
    QCOMPARE(rig.form.Command2->text(), QStringLiteral("暂停"));
    QCOMPARE(rig.form.Command2->toolTip(), QStringLiteral("点一下将会暂停计时"));
    QCOMPARE(rig.status(), QStringLiteral("计时暂停中"));
    QCOMPARE(rig.display(), QStringLiteral("0:01:23"));
    rig.ticks(1);
    QCOMPARE(rig.display(), QStringLiteral("0:01:24"));
    // Pausing and continuing leave a sounding alarm alone.
    QCOMPARE(rig.env.alarm.stops, stops);
}

void TestTimingEngine::stopWhilePausedStartsOverNextTime()
{
    Rig rig;
    rig.form.Command1->click();
    rig.ticks(83);
    rig.form.Command2->click();
    rig.form.Command1->click();

    QCOMPARE(rig.form.Command1->text(), QStringLiteral("开始"));
    QCOMPARE(rig.form.Command1->toolTip(), QStringLiteral("点一下就开始计时"));
    QVERIFY(!rig.form.Timer2->isActive());
    QVERIFY(!rig.form.Command2->isVisible());
    QCOMPARE(rig.form.Command2->text(), QStringLiteral("暂停"));
    QCOMPARE(rig.form.js1, 0.0);
    QVERIFY(rig.status().isEmpty());
    QCOMPARE(rig.display(), QStringLiteral("0:01:23"));

    rig.form.Command1->click();
    rig.ticks(1);
    QCOMPARE(rig.display(), QStringLiteral("0:00:01"));
}

void TestTimingEngine::alarmTick_data()
{
    QTest::addColumn<bool>("countdown");
    QTest::addColumn<QString>("minutes");
    QTest::addColumn<int>("expectedTick");
    QTest::addColumn<QString>("displayAfterFirstTick");

    QTest::newRow("countdown 5") << true << "5" << 290 << "0:04:59";
    QTest::newRow("stopwatch 5") << false << "5" << 290 << "0:00:01";
    QTest::newRow("countdown below ten seconds") << true << "0.1" << 0 << "0:00:05";
    QTest::newRow("stopwatch below ten seconds") << false << "0.1" << 0 << "0:00:01";
    QTest::newRow("countdown fraction") << true << "0.51" << 0 << "0:00:29.6";
    QTest::newRow("stopwatch fraction") << false << "0.51" << 0 << "0:00:01";
    // A target of exactly ten seconds: the countdown alarm comes with the
    // finish, when the count is back at 0; the stopwatch never gets there.
    QTest::newRow("countdown exactly ten") << true << "0.16666666666666666" << 10 << "0:00:09";
    QTest::newRow("stopwatch exactly ten") << false << "0.16666666666666666" << 0 << "0:00:01";
    QTest::newRow("entry with trailing text") << true << "1分钟" << 50 << "0:00:59";
}

void TestTimingEngine::alarmTick()
{
    QFETCH(bool, countdown);
    QFETCH(QString, minutes);
    QFETCH(int, expectedTick);
    QFETCH(QString, displayAfterFirstTick);

    Rig rig;
    rig.form.Text1->setText(minutes);
    rig.form.Check2->setChecked(countdown);
    rig.form.Command1->click();
    rig.ticks(1);
    QCOMPARE(rig.display(), displayAfterFirstTick);
    const int tick = rig.alarmTick(400);
    QCOMPARE(tick == 0 ? 0 : tick + 1, expectedTick);
}

void TestTimingEngine::missingOrUnplayableFileSoundsTheTone()
{
    Rig missing(false);
    missing.form.Text1->setText(QStringLiteral("0.5"));
    missing.form.Command1->click();
    missing.ticks(20);
    QVERIFY(missing.env.alarm.played.isEmpty());
    QCOMPARE(missing.env.tone.beeps, (QList<QPair<int, int>>{{1000, 5000}}));

    // A file that is there but cannot be played must not leave the user
    // without an alarm.
    Rig broken;
    broken.form.Text1->setText(QStringLiteral("0.5"));
    broken.form.Command1->click();
    broken.ticks(20);
    QCOMPARE(broken.env.alarm.played.size(), 1);
    QVERIFY(broken.env.tone.beeps.isEmpty());
    broken.env.alarm.failToPlay();
    QCOMPARE(broken.env.tone.beeps, (QList<QPair<int, int>>{{1000, 5000}}));

    // The player's report can come late: after 停止, or after 开始 again, the
    // run that was stopped stays silent. After a finish the alarm is still on.
    Rig late;
    late.form.Text1->setText(QStringLiteral("0.5"));
    late.form.Check2->setChecked(true);
    late.form.Command1->click();
    late.ticks(20);
    late.form.Command1->click();
    late.env.alarm.failToPlay();
    late.form.Command1->click();
    late.env.alarm.failToPlay();
    QVERIFY(late.env.tone.beeps.isEmpty());
    late.ticks(30);
    QCOMPARE(late.display(), QStringLiteral("时间到了"));
    late.env.alarm.failToPlay();
    QCOMPARE(late.env.tone.beeps.size(), 1);
    QCOMPARE(late.env.alarm.played.size(), 2);
}

void TestTimingEngine::theToneHoldsAWindowShowingItsTick()
{
    Rig rig(false);
    rig.form.Check2->setChecked(true);
    rig.form.Command1->click();
    QVERIFY(QTest::qWaitForWindowExposed(&rig.form));
    rig.ticks(289);
    QCOMPARE(rig.display(), QStringLiteral("0:00:11"));
    QCoreApplication::processEvents(); // painted, as after every tick

    // What the screen holds while the tone sounds, against the labels drawn
    // afresh with the texts of the tick that started it (where no other
    // control covers them).
    auto onScreen = [&rig](QLabel *label) {
        const QImage screen =
            rig.form.windowHandle()->screen()->grabWindow(rig.form.winId()).toImage();
        const QImage drawn = label->grab().toImage();
        const QPoint origin = label->mapTo(&rig.form, QPoint());
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
        displayShown = onScreen(rig.form.Label2);
        statusShown = onScreen(rig.form.Label7);
    };
    rig.ticks(1);
    QCOMPARE(rig.env.tone.beeps.size(), 1);
    QCOMPARE(rig.display(), QStringLiteral("0:00:10"));
    QVERIFY(displayShown);
    QVERIFY(statusShown);
}

void TestTimingEngine::realPlayersLateReportAfterStop()
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
    env.files.existing.insert(path);
    Form1 form(services);
    form.Timer1->stop();
    form.AlarmFilePath = path;
    form.Text1->setText(QStringLiteral("0.5"));
    form.Command1->click();
    for (int i = 0; i < 20; ++i)
        form.Timer2_Timer();
    QVERIFY(player.mediaPlayer());
    form.Command1->click();
    QTRY_VERIFY_WITH_TIMEOUT(player.mediaPlayer()->error() != QMediaPlayer::NoError, 10000);
    QTest::qWait(100);
    QVERIFY(env.tone.beeps.isEmpty());

    // Left running, the same file gives the tone.
    form.Command1->click();
    for (int i = 0; i < 20; ++i)
        form.Timer2_Timer();
    QTRY_COMPARE_WITH_TIMEOUT(env.tone.beeps.size(), 1, 10000);
}

void TestTimingEngine::changesDuringARunTakeEffectOnTheNextTick()
{
    // Ticking the countdown box when the stopwatch is past its target ends
    // the run on the next tick.
    Rig mode;
    mode.form.Text1->setText(QStringLiteral("1"));
    mode.form.Command1->click();
    mode.ticks(61);
    QCOMPARE(mode.colour(), kRed);
    mode.form.Check2->setChecked(true);
    QCOMPARE(mode.form.js1, 61.0);
    mode.ticks(1);
    QCOMPARE(mode.display(), QStringLiteral("时间到了"));
    QVERIFY(!mode.form.Timer2->isActive());

    // Lowering the minutes below the elapsed time of a countdown does the same.
    Rig lower;
    lower.form.Check2->setChecked(true);
    lower.form.Command1->click();
    lower.ticks(100);
    QCOMPARE(lower.display(), QStringLiteral("0:03:20"));
    lower.form.Text1->setText(QStringLiteral("1"));
    lower.ticks(1);
    QCOMPARE(lower.display(), QStringLiteral("时间到了"));

    // Raising them just shows more time left.
    Rig raise;
    raise.form.Check2->setChecked(true);
    raise.form.Command1->click();
    raise.ticks(10);
    raise.form.Text1->setText(QStringLiteral("10"));
    raise.ticks(1);
    QCOMPARE(raise.display(), QStringLiteral("0:09:49"));
}

void TestTimingEngine::badMinutesAreRefusedAndReset_data()
{
    QTest::addColumn<QString>("typed");
    QTest::newRow("empty") << "";
    QTest::newRow("zero") << "0";
    QTest::newRow("minus") << "-";
    QTest::newRow("point") << ".";
    QTest::newRow("negative") << "-3";
    QTest::newRow("letters") << "abc";
}

void TestTimingEngine::badMinutesAreRefusedAndReset()
{
    QFETCH(QString, typed);
    Rig rig;
    rig.form.Text1->setText(QStringLiteral("7"));
    rig.env.store.log.clear();

    // Ticks go on while the message is open: the entry still holds the bad
    // text then, and the tick must cope.
    rig.form.Check2->setChecked(true);
    rig.form.Command1->click();
    rig.env.messages.whileOpen = [&rig] { rig.form.Timer2_Timer(); };
    rig.form.Text1->setText(typed);

    QCOMPARE(rig.env.messages.shown.size(), 1);
    QCOMPARE(rig.env.messages.shown[0].text, QStringLiteral("此处必须大于0"));
    QCOMPARE(rig.env.messages.shown[0].title, QStringLiteral("brisko"));
    QVERIFY(rig.env.messages.shown[0].buttons == MessageSpec::Buttons::Ok);
    QVERIFY(rig.env.messages.shown[0].icon == MessageSpec::Icon::None);
    QCOMPARE(rig.form.Text1->text(), QStringLiteral("5"));
    QCOMPARE(rig.env.store.get("Text1"), std::string("5"));
    for (const auto &w : rig.env.store.writes())
        QVERIFY(w.name != "Text1" || w.text == "5");
}

void TestTimingEngine::minutesAndModeAreStoredAsTyped()
{
    Rig rig;
    rig.form.Text1->setText(QStringLiteral("12abc"));
    QCOMPARE(rig.env.store.get("Text1"), std::string("12abc"));
    rig.form.Text1->setText(QStringLiteral("2.5分"));
    QCOMPARE(rig.env.store.get("Text1"), std::string("2.5分"));
    QVERIFY(rig.env.messages.shown.isEmpty());

    rig.form.Check2->setChecked(true);
    QCOMPARE(rig.env.store.get("Check2"), std::string(" 1"));
    rig.form.Check2->setChecked(false);
    QCOMPARE(rig.env.store.get("Check2"), std::string(" 0"));
    QCOMPARE(rig.env.store.lastKey, std::string("SOFTWARE\\Pelmora\\Brisko"));
}

QTEST_MAIN(TestTimingEngine)
#include "tst_timingengine.moc"
