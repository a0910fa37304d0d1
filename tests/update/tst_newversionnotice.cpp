// The new-version notice that the start-up shows before the main window.

#include "fakes/fakeservices.h"
#include "qt/form1.h"

#include <QTest>

namespace {
const QString kVersionUrl = QStringLiteral("http://vendor.test/brk/newver.htm");
const QString kUpdatePage = QStringLiteral("http://vendor.test/brk/update.asp");
} // namespace

Q_DECLARE_METATYPE(MessageAnswer)

class TestNewVersionNotice : public QObject {
    Q_OBJECT
private slots:
    void notice_data();
    void notice();
};

void TestNewVersionNotice::notice_data()
{
    QTest::addColumn<QByteArray>("page");
    QTest::addColumn<MessageAnswer>("answer");
    QTest::addColumn<bool>("shown");
    QTest::addColumn<QStringList>("opened");

    const QStringList none;
    QTest::newRow("newer, OK") << QByteArray("[123]") << MessageAnswer::Ok << true
                               << QStringList{kUpdatePage};
    QTest::newRow("newer, Cancel")
        << QByteArray("<b>[ 130 ]</b>") << MessageAnswer::Cancel << true << none;
    QTest::newRow("beyond a double")
        << QByteArray("[1e999]") << MessageAnswer::Cancel << true << none;
    QTest::newRow("same") << QByteArray("[122]") << MessageAnswer::Ok << false << none;
    QTest::newRow("no brackets") << QByteArray("123") << MessageAnswer::Ok << false << none;
    QTest::newRow("no number") << QByteArray("[v2]") << MessageAnswer::Ok << false << none;
    QTest::newRow("no network") << QByteArray() << MessageAnswer::Ok << false << none;
}

void TestNewVersionNotice::notice()
{
    QFETCH(QByteArray, page);
    QFETCH(MessageAnswer, answer);
    QFETCH(bool, shown);
    QFETCH(QStringList, opened);

    FakeEnvironment env;
    if (!page.isNull())
        env.http.bodies[kVersionUrl] = page;
    env.messages.answers.push_back(answer);
    Form1 main(env.services());
    bool mainVisibleWithBox = true;
    env.messages.whileOpen = [&] { mainVisibleWithBox = main.isVisible(); };

    main.Form_Load();

    QCOMPARE(env.http.requested, QStringList{kVersionUrl});
    QCOMPARE(env.browser.opened, opened);
    QCOMPARE(env.messages.shown.size(), shown ? 1 : 0);
    if (!shown)
        return;
    QVERIFY(!mainVisibleWithBox);
    const MessageSpec &box = env.messages.shown.first();
    QCOMPARE(box.title, QStringLiteral("【计时器】又出新版本了，欢迎下载"));
    QCOMPARE(box.text, QStringLiteral("有新版本可以下载了，点确认去下载最新版本"));
    QVERIFY(box.buttons == MessageSpec::Buttons::OkCancel);
    QVERIFY(box.icon == MessageSpec::Icon::None);
    QVERIFY(!box.cancelIsDefault);
}

QTEST_MAIN(TestNewVersionNotice)
#include "tst_newversionnotice.moc"
