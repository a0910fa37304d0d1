// The new-version notice as the main window's start-up runs it: before the
// window is shown, owned by it. Which pages give a notice is tested without a
// window in tests/core/tst_updateflows.cpp.

#include "fakes/fakeservices.h"
#include "fakes/qtrig.h"
#include "qt/form1.h"

#include <QTest>

class TestNewVersionNotice : public QObject {
    Q_OBJECT
private slots:
    void noticeComesBeforeTheMainWindow();
};

void TestNewVersionNotice::noticeComesBeforeTheMainWindow()
{
    FakeEnvironment env;
    env.http.bodies["http://vendor.test/brk/newver.htm"] = "[123]";
    env.messages.answers.push_back(MessageAnswer::Ok);
    Form1 main(env.services());
    bool mainVisibleWithBox = true;
    env.messages.whileOpen = [&] { mainVisibleWithBox = main.isVisible(); };

    main.Form_Load();

    QCOMPARE(env.messages.shown.size(), size_t(1));
    QVERIFY(!mainVisibleWithBox);
    QVERIFY(env.messages.owners[0] == static_cast<QWidget *>(&main));
    QCOMPARE(Q(env.browser.opened), QStringList{"http://vendor.test/brk/update.asp"});
    // The start-up goes on afterwards: the status line is cleared.
    QVERIFY(Child<QLabel>(main, "Label7")->text().isEmpty());
}

QTEST_MAIN(TestNewVersionNotice)
#include "tst_newversionnotice.moc"
