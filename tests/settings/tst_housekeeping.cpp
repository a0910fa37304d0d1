// The one-second housekeeping tick and the ways the program ends.

#include "fakes/fakeservices.h"
#include "qt/form1.h"
#include "qt/qtservices.h"
#include "core/store/filestore.h"
#include "core/rules/numbertext.h"

#include <QApplication>
#include <QCheckBox>
#include <QElapsedTimer>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <csignal>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

struct Rig {
    FakeEnvironment env;
    std::unique_ptr<Form1> form;
    explicit Rig(const std::function<void(MemoryStore &)> &prepare = {})
    {
        if (prepare)
            prepare(env.store);
        form = std::make_unique<Form1>(env.services());
        form->Timer1->stop();
        form->Form_Load();
        form->show();
        env.store.log.clear();
    }
};

// Another process that holds the store's lock until killed, as a writer
// stopped with SIGSTOP would.
pid_t holdLock(const std::string &lockPath)
{
    int ready[2];
    if (::pipe(ready) != 0)
        return -1;
    const pid_t pid = ::fork();
    if (pid == 0) {
        const int fd = ::open(lockPath.c_str(), O_RDWR | O_CREAT, 0600);
        if (fd < 0 || ::flock(fd, LOCK_EX) != 0)
            ::_exit(1);
        (void)!::write(ready[1], "x", 1);
        for (;;)
            ::pause();
    }
    ::close(ready[1]);
    char c = 0;
    const bool locked = pid > 0 && ::read(ready[0], &c, 1) == 1;
    ::close(ready[0]);
    return locked ? pid : -1;
}

} // namespace

class TestHousekeeping : public QObject {
    Q_OBJECT
private slots:
    void cleanup() { QLocale::setDefault(QLocale::c()); }
    void tickWritesPositionAndTotalThenReadsQuitRequest();
    void heldStoreLockFreezesNothingAndLosesNothing();
    void timeOfDayInTheTitle_data();
    void timeOfDayInTheTitle();
    void titleClockInEveryLocale();
    void outsideQuitRequest_data();
    void outsideQuitRequest();
    void closeQuestion();
    void quitMenuAsksOnce();
    void realQuestionKeepsTicksGoingAndEnterKeepsTheProgram();
};

void TestHousekeeping::tickWritesPositionAndTotalThenReadsQuitRequest()
{
    Rig rig([](MemoryStore &s) { s.set("js00", " 3600"); });
    rig.form->move(200, 100);
    rig.form->Timer1_Timer();

    const auto &log = rig.env.store.log;
    QCOMPARE(rig.env.store.batches, 1); // the three values as one change
    QCOMPARE(log.size(), size_t(4));
    QCOMPARE(log[0].name + "=" + log[0].text, std::string("Left=3000"));
    QCOMPARE(log[1].name + "=" + log[1].text, std::string("Top=1500"));
    QCOMPARE(log[2].name + "=" + log[2].text, std::string("js00= 3601"));
    QCOMPARE(log[3].kind, 'R');
    QCOMPARE(log[3].name, std::string("isClose"));
    QCOMPARE(rig.env.stacking.calls, QList<bool>{false});

    for (int i = 0; i < 3599; ++i)
        rig.form->Timer1_Timer();
    QCOMPARE(rig.env.store.get("js00"), std::string(" 7200"));
    QCOMPARE(rig.form->UsageTotal, 7200.0);

    rig.form->Check1->setChecked(true);
    rig.form->Timer1_Timer();
    QCOMPARE(rig.env.stacking.calls.last(), true);
    QCOMPARE(rig.env.process.ends, 0);
}

void TestHousekeeping::heldStoreLockFreezesNothingAndLosesNothing()
{
    // The real store, its lock held by another process for ten ticks: every
    // tick still comes back at once with the clock and the display moving,
    // and what the user changed meanwhile is stored once the lock is free.
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const std::string machine = dir.filePath("machine/settings.reg").toStdString();
    const std::string user = dir.filePath("user/settings.reg").toStdString();
    FileStore store(machine, user);
    FakeEnvironment env;
    Services services = env.services();
    services.store = &store;
    Form1 form(services);
    form.Timer1->stop();
    form.Form_Load();
    form.show();
    form.Timer1_Timer();
    form.Command1_Click();

    pid_t holder = holdLock(machine + ".lock");
    QVERIFY(holder > 0);
    const auto release = [&holder] {
        if (holder > 0) {
            ::kill(holder, SIGKILL);
            ::waitpid(holder, nullptr, 0);
            holder = -1;
        }
    };
    const auto guard = qScopeGuard(release);
    QElapsedTimer clock;
    qint64 slowest = 0;
    QString title = form.windowTitle(), display = form.Label2->text();
    for (int second = 1; second <= 10; ++second) {
        env.clock.now = QTime(13, 5, second);
        const auto timed = [&](const std::function<void()> &event) {
            clock.start();
            event();
            slowest = std::max(slowest, clock.elapsed());
        };
        timed([&] { form.Timer1_Timer(); });
        timed([&] { form.Timer2_Timer(); });
        if (second == 4) {
            timed([&] { form.Check1->click(); });
            timed([&] { form.Text1->setText(QStringLiteral("25")); });
        }
        QVERIFY(form.windowTitle() != title);
        QVERIFY(form.Label2->text() != display);
        title = form.windowTitle();
        display = form.Label2->text();
    }
    QVERIFY2(slowest < 100, qPrintable(QString("a tick took %1 ms").arg(slowest)));
    QCOMPARE(form.UsageTotal, 11.0);

    release();
    form.Timer1_Timer();
    FileStore nextStart(machine, user);
    QCOMPARE(nextStart.ReadSetting(RegistryRoot::LocalMachine, kSettingsKey, "Check1"),
             std::string(" 1"));
    QCOMPARE(nextStart.ReadSetting(RegistryRoot::LocalMachine, kSettingsKey, "Text1"),
             std::string("25"));
    QCOMPARE(nextStart.ReadSetting(RegistryRoot::LocalMachine, kSettingsKey, "js00"),
             std::string(" 12"));
    form.Timer2->stop();
}

void TestHousekeeping::timeOfDayInTheTitle_data()
{
    QTest::addColumn<QString>("locale");
    QTest::addColumn<QString>("expected");
    QTest::newRow("zh_CN") << "zh_CN"
                           << "13:05:09";
    QTest::newRow("C") << "C"
                       << "13:05:09";
    QTest::newRow("en_US") << "en_US"
                           << "1:05:09 PM";
}

void TestHousekeeping::timeOfDayInTheTitle()
{
    QFETCH(QString, locale);
    QFETCH(QString, expected);
    QLocale::setDefault(QLocale(locale));
    Rig rig;
    QCOMPARE(rig.form->windowTitle(), QStringLiteral("计时器"));
    rig.form->Timer1_Timer();
    QCOMPARE(rig.form->windowTitle(), QStringLiteral("计时器 ") + expected);
}

void TestHousekeeping::titleClockInEveryLocale()
{
    // Hour, minute and second each have digits of their own.
    Rig rig;
    rig.env.clock.now = QTime(21, 43, 56);
    static const QRegularExpression emptyBrackets(QStringLiteral("\\(\\s*\\)|\\[\\s*\\]"));
    static const QRegularExpression quotedWord(QStringLiteral("'([^']+)'"));
    static const QRegularExpression latinLetter(QStringLiteral("[A-Za-z]"));
    const QList<QLocale> locales =
        QLocale::matchingLocales(QLocale::AnyLanguage, QLocale::AnyScript, QLocale::AnyTerritory);
    QVERIFY(locales.size() > 300);
    QStringList wrong;
    for (const QLocale &locale : locales) {
        QLocale::setDefault(locale);
        rig.form->Timer1_Timer();
        const QString title = rig.form->windowTitle();
        const QString time = title.mid(4);
        // Latin letters may come only from the locale's own words: its quoted
        // literals and its am/pm markers. A pattern letter or a zone name may not.
        QStringList own = {locale.amText(), locale.pmText()};
        for (const auto &m : quotedWord.globalMatch(locale.timeFormat(QLocale::LongFormat)))
            own << m.captured(1);
        std::sort(own.begin(), own.end(),
                  [](const QString &a, const QString &b) { return a.size() > b.size(); });
        QString words = time;
        for (const QString &word : own)
            words.remove(word, Qt::CaseInsensitive);
        const bool hour = time.contains(locale.toString(21)) ||
                          (time.contains(locale.toString(9)) &&
                           time.contains(locale.pmText(), Qt::CaseInsensitive));
        if (!title.startsWith(QStringLiteral("计时器 ")) || !hour ||
            !time.contains(locale.toString(43)) || !time.contains(locale.toString(56)) ||
            time.contains(emptyBrackets) || words.contains(latinLetter) || time != time.trimmed() ||
            time.endsWith(QLatin1Char(',')))
            wrong << locale.name() + QStringLiteral(": ") + title;
    }
    QVERIFY2(wrong.isEmpty(), qPrintable(wrong.join(QLatin1Char('\n'))));
}

void TestHousekeeping::outsideQuitRequest_data()
{
    QTest::addColumn<QString>("isClose");
    QTest::addColumn<int>("ends");
    QTest::newRow("one") << "1" << 1;
    QTest::newRow("signed one") << " 1" << 1;
    QTest::newRow("one point zero") << "1.0" << 1;
    QTest::newRow("zero") << "0" << 0;
    QTest::newRow("two") << "2" << 0;
    QTest::newRow("empty") << "" << 0;
    QTest::newRow("text") << "yes" << 0;
}

void TestHousekeeping::outsideQuitRequest()
{
    QFETCH(QString, isClose);
    QFETCH(int, ends);
    Rig rig;
    rig.env.store.set("isClose", isClose.toStdString());
    rig.form->Timer1_Timer();
    QCOMPARE(rig.env.process.ends, ends);
    // Ending asks nothing, and the program never resets the request.
    QVERIFY(rig.env.messages.shown.isEmpty());
    QCOMPARE(rig.env.store.get("isClose"), isClose.toStdString());
}

void TestHousekeeping::closeQuestion()
{
    Rig rig;
    rig.env.messages.answers = {MessageAnswer::Cancel};
    QVERIFY(!rig.form->close());
    QCOMPARE(rig.env.messages.shown.size(), 1);
    const MessageSpec &q = rig.env.messages.shown[0];
    QCOMPARE(q.text, QStringLiteral("你确定要关闭此程序吗?"));
    QCOMPARE(q.title, QStringLiteral("关闭程序?"));
    QVERIFY(q.buttons == MessageSpec::Buttons::OkCancel);
    QVERIFY(q.icon == MessageSpec::Icon::Question);
    QVERIFY(q.cancelIsDefault);
    QCOMPARE(rig.env.process.ends, 0);
    QVERIFY(rig.form->isVisible());

    // A countdown goes on while the question is open, and an outside quit
    // request ends the program before the answer.
    rig.form->Command1_Click();
    rig.env.messages.whileOpen = [&rig] {
        rig.form->Timer2_Timer();
        rig.env.store.set("isClose", "1");
        rig.form->Timer1_Timer();
    };
    rig.env.messages.answers = {MessageAnswer::Cancel};
    rig.form->close();
    QCOMPARE(rig.form->js1, 1.0);
    QCOMPARE(rig.env.process.ends, 1);

    Rig ok;
    ok.env.messages.answers = {MessageAnswer::Ok};
    ok.form->close();
    QCOMPARE(ok.env.process.ends, 1);
    QVERIFY(ok.env.store.writes().empty());
}

void TestHousekeeping::quitMenuAsksOnce()
{
    Rig rig;
    rig.env.messages.answers = {MessageAnswer::Cancel};
    rig.form->menuExit->trigger();
    QCOMPARE(rig.env.process.ends, 0);
    rig.env.messages.answers = {MessageAnswer::Ok};
    rig.form->menuExit->trigger();
    QCOMPARE(rig.env.process.ends, 1);
    QCOMPARE(rig.env.messages.shown.size(), 2);
}

void TestHousekeeping::realQuestionKeepsTicksGoingAndEnterKeepsTheProgram()
{
    // With the real message box: the timers keep ticking while it waits, and
    // Enter picks the default button, Cancel.
    FakeEnvironment env;
    QtMessageBoxes boxes;
    Services services = env.services();
    services.messages = &boxes;
    Form1 form(services);
    form.Timer1->stop();
    form.Form_Load();
    form.show();
    form.Command1_Click();
    form.Timer2->setInterval(5); // fast ticks, so the test needn't wait seconds

    bool sawQuestion = false;
    int tries = 0;
    std::function<void()> answer;
    answer = [&] {
        auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
        // Give up after about five seconds rather than wait for ctest's limit.
        if ((!box || form.js1 < 5) && ++tries > 500) {
            if (box)
                box->reject();
            return;
        }
        if (!box || form.js1 < 5) {
            QTimer::singleShot(10, answer);
            return;
        }
        sawQuestion = box->icon() == QMessageBox::Question &&
                      box->defaultButton() == box->button(QMessageBox::Cancel);
        QTest::keyClick(box, Qt::Key_Return);
    };
    QTimer::singleShot(0, answer);
    QVERIFY(!form.close());
    QVERIFY(sawQuestion);
    QVERIFY(form.js1 >= 5);
    QCOMPARE(env.process.ends, 0);
    form.Timer2->stop();
}

QTEST_MAIN(TestHousekeeping)
#include "tst_housekeeping.moc"
