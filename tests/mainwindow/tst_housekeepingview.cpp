// The housekeeping tick and closing wired to the main window, with the real
// store and the real message box; the rules themselves are tested without a
// window in tests/core/tst_housekeeping.cpp.

#include "core/rules/numbertext.h"
#include "core/store/posix/filestore.h"
#include "fakes/fakeservices.h"
#include "fakes/qtrig.h"
#include "qt/form1.h"
#include "qt/qtservices.h"
#include "support/lockholder.h"

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

struct Rig : FormRig {
    Rig() : FormRig(true)
    {
        form->show();
        env.store.log.clear();
    }
};

} // namespace

class TestHousekeepingView : public QObject {
    Q_OBJECT
private slots:
    void cleanup() { QLocale::setDefault(QLocale::c()); }
    void heldStoreLockFreezesNothingAndLosesNothing();
    void timeOfDayInTheTitle_data();
    void timeOfDayInTheTitle();
    void titleClockInEveryLocale();
    void realQuestionKeepsTicksGoingAndEnterKeepsTheProgram();
};

void TestHousekeepingView::heldStoreLockFreezesNothingAndLosesNothing()
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
    Child<QTimer>(form, "Timer1")->stop();
    form.Form_Load();
    form.show();
    form.Timer1_Timer();
    form.Command1_Click();

    testsupport::LockHolder holder(machine + ".lock");
    QVERIFY(holder.held());
    QElapsedTimer clock;
    qint64 slowest = 0;
    QString title = form.windowTitle(), display = Child<QLabel>(form, "Label2")->text();
    for (int second = 1; second <= 10; ++second) {
        env.clock.now = "13:05:0" + std::to_string(second);
        const auto timed = [&](const std::function<void()> &event) {
            clock.start();
            event();
            slowest = std::max(slowest, clock.elapsed());
        };
        timed([&] { form.Timer1_Timer(); });
        timed([&] { form.Timer2_Timer(); });
        if (second == 4) {
            timed([&] { Child<QCheckBox>(form, "Check1")->click(); });
            timed([&] { Child<QLineEdit>(form, "Text1")->setText(QStringLiteral("25")); });
        }
        QVERIFY(form.windowTitle() != title);
        QVERIFY(Child<QLabel>(form, "Label2")->text() != display);
        title = form.windowTitle();
        display = Child<QLabel>(form, "Label2")->text();
    }
    QVERIFY2(slowest < 100, qPrintable(QString("a tick took %1 ms").arg(slowest)));
    QCOMPARE(form.core().usageTotal(), 11.0);

    holder.release();
    form.Timer1_Timer();
    FileStore nextStart(machine, user);
    QCOMPARE(nextStart.ReadSetting(RegistryRoot::LocalMachine, kSettingsKey, "Check1"),
             std::string(" 1"));
    QCOMPARE(nextStart.ReadSetting(RegistryRoot::LocalMachine, kSettingsKey, "Text1"),
             std::string("25"));
    QCOMPARE(nextStart.ReadSetting(RegistryRoot::LocalMachine, kSettingsKey, "js00"),
             std::string(" 12"));
    Child<QTimer>(form, "Timer2")->stop();
}

void TestHousekeepingView::timeOfDayInTheTitle_data()
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

void TestHousekeepingView::timeOfDayInTheTitle()
{
    QFETCH(QString, locale);
    QFETCH(QString, expected);
    QLocale::setDefault(QLocale(locale));
    Rig rig;
    QCOMPARE(rig.form->windowTitle(), QStringLiteral("计时器"));
    rig.env.clock.now = TimeOfDayText(QTime(13, 5, 9)).toStdString();
    rig.form->Timer1_Timer();
    QCOMPARE(rig.form->windowTitle(), QStringLiteral("计时器 ") + expected);
}

void TestHousekeepingView::titleClockInEveryLocale()
{
    // Hour, minute and second each have digits of their own.
    Rig rig;
    static const QRegularExpression emptyBrackets(QStringLiteral("\\(\\s*\\)|\\[\\s*\\]"));
    static const QRegularExpression quotedWord(QStringLiteral("'([^']+)'"));
    static const QRegularExpression latinLetter(QStringLiteral("[A-Za-z]"));
    const QList<QLocale> locales =
        QLocale::matchingLocales(QLocale::AnyLanguage, QLocale::AnyScript, QLocale::AnyTerritory);
    QVERIFY(locales.size() > 300);
    QStringList wrong;
    for (const QLocale &locale : locales) {
        QLocale::setDefault(locale);
        // What the real clock gives for that time in that locale.
        rig.env.clock.now = TimeOfDayText(QTime(21, 43, 56)).toStdString();
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

void TestHousekeepingView::realQuestionKeepsTicksGoingAndEnterKeepsTheProgram()
{
    // With the real message box: the timers keep ticking while it waits, and
    // Enter picks the default button, Cancel.
    FakeEnvironment env;
    QtMessageBoxes boxes;
    Services services = env.services();
    services.messages = &boxes;
    Form1 form(services);
    Child<QTimer>(form, "Timer1")->stop();
    form.Form_Load();
    form.show();
    form.Command1_Click();
    Child<QTimer>(form, "Timer2")->setInterval(5); // fast ticks, so the test needn't wait seconds

    bool sawQuestion = false;
    int tries = 0;
    std::function<void()> answer;
    answer = [&] {
        auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
        // Give up after about five seconds rather than wait for ctest's limit.
        if ((!box || form.core().engine().count() < 5) && ++tries > 500) {
            if (box)
                box->reject();
            return;
        }
        if (!box || form.core().engine().count() < 5) {
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
    QVERIFY(form.core().engine().count() >= 5);
    QCOMPARE(env.process.ends, 0);
    Child<QTimer>(form, "Timer2")->stop();
}

QTEST_MAIN(TestHousekeepingView)
#include "tst_housekeepingview.moc"
