// The About window.

#include "fakes/fakeservices.h"
#include "fakes/qtrig.h"
#include "qt/form1.h"
#include "qt/formabout.h"

#include <QAccessible>
#include <QAction>
#include <QLabel>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>

class TestFormAbout : public QObject {
    Q_OBJECT
private slots:
    void showsVersionTotalAndStatement();
    void totalIsTakenWhenOpened();
    void windowIsFixedAndOwnerless();
    void linkOpensTheHomePage();
    void screenReadersSeeAWindow();
    void madeFromTheCoreAlone();
};

namespace {

struct Rig : FormRig {
    Rig()
    {
        env.store.set("js00", " 3661");
        form->Form_Load();
        form->show();
    }
};

} // namespace

void TestFormAbout::showsVersionTotalAndStatement()
{
    Rig rig;
    Child<QAction>(*rig.form, "nemuAbout")->trigger();
    FormAbout *about = rig.form->aboutWindow();
    QVERIFY(about && about->isVisible());
    QCOMPARE(about->windowTitle(), QStringLiteral("About Brisko（计时器）"));
    QCOMPARE(Child<QLabel>(*about, "Label1")->text(), QStringLiteral("当前版本为：V1.2.2"));
    QCOMPARE(Child<QLabel>(*about, "Label3")->text(),
             QStringLiteral("您已使用本软件合计有 1:01:01"));
    QCOMPARE(Child<QLabel>(*about, "Label4")->text(), QStringLiteral("官方网址："));
    QCOMPARE(Child<QLabel>(*about, "Label5")->text(), QStringLiteral("vendor.test"));
    QVERIFY(Child<QLabel>(*about, "Label5")->font().underline());
    QCOMPARE(Child<QLabel>(*about, "Label5")->palette().color(QPalette::WindowText),
             QColor(0, 0, 255));
    const QString statement = Child<QLabel>(*about, "Label6")->text();
    QVERIFY(statement.startsWith(QStringLiteral("声明：本软件是纯绿色软件，无需安装，无插件，无病毒"
                                                "，不修改主页，完全免费使用（永久免费），")));
    QVERIFY(
        statement.endsWith(QStringLiteral("，任何其它人/公司不得修改本软件代码并用之于商业开发")));
    QVERIFY(Child<QLabel>(*about, "Label6")->wordWrap());
}

void TestFormAbout::totalIsTakenWhenOpened()
{
    Rig rig;
    Child<QAction>(*rig.form, "nemuAbout")->trigger();
    QPointer<FormAbout> first = rig.form->aboutWindow();
    for (int i = 0; i < 60; ++i)
        rig.form->Timer1_Timer();
    // Choosing the entry again only brings the open window to the front.
    Child<QAction>(*rig.form, "nemuAbout")->trigger();
    QCOMPARE(rig.form->aboutWindow(), first.data());
    QCOMPARE(Child<QLabel>(*first, "Label3")->text(),
             QStringLiteral("您已使用本软件合计有 1:01:01"));

    first->close();
    QTRY_VERIFY(first.isNull()); // destroyed when closed
    Child<QAction>(*rig.form, "nemuAbout")->trigger();
    QCOMPARE(Child<QLabel>(*rig.form->aboutWindow(), "Label3")->text(),
             QStringLiteral("您已使用本软件合计有 1:02:01"));
}

void TestFormAbout::windowIsFixedAndOwnerless()
{
    Rig rig;
    Child<QAction>(*rig.form, "nemuAbout")->trigger();
    FormAbout *about = rig.form->aboutWindow();
    QVERIFY(!about->parentWidget());
    QVERIFY(!about->isModal());
    QCOMPARE(about->size(), QSize(371, 206));
    QCOMPARE(about->minimumSize(), about->maximumSize());
    QVERIFY(!about->windowFlags().testFlag(Qt::WindowMinimizeButtonHint));
    QVERIFY(!about->windowFlags().testFlag(Qt::WindowMaximizeButtonHint));
}

void TestFormAbout::linkOpensTheHomePage()
{
    Rig rig;
    Child<QAction>(*rig.form, "nemuAbout")->trigger();
    FormAbout *about = rig.form->aboutWindow();
    QTest::mouseClick(Child<QLabel>(*about, "Label5"), Qt::LeftButton);
    QCOMPARE(Q(rig.env.browser.opened), QStringList{"http://vendor.test/"});
    QVERIFY(about->isVisible());
}

// Assistive technology lists it among the windows, under its title.
void TestFormAbout::screenReadersSeeAWindow()
{
    Rig rig;
    Child<QAction>(*rig.form, "nemuAbout")->trigger();
    FormAbout *about = rig.form->aboutWindow();
    QAccessibleInterface *window = QAccessible::queryAccessibleInterface(about);
    QVERIFY(window);
    QCOMPARE(window->role(), QAccessible::Window);
    QCOMPARE(window->text(QAccessible::Name), QStringLiteral("About Brisko（计时器）"));
    QVERIFY(window->state().active || !window->state().invisible);
    QCOMPARE(window->childCount(), 5);
}

// The window needs no main window, only its core: the texts come from there
// and the link goes back to it, owned by the About window.
void TestFormAbout::madeFromTheCoreAlone()
{
    CoreRig rig;
    rig.env.store.set("js00", " 59");
    rig.load();
    FormAbout about(rig.core);
    about.Form_Load();
    QCOMPARE(Child<QLabel>(about, "Label1")->text(), QStringLiteral("当前版本为：V1.2.2"));
    QCOMPARE(Child<QLabel>(about, "Label3")->text(),
             QStringLiteral("您已使用本软件合计有 0:00:59"));
    QCOMPARE(Child<QLabel>(about, "Label5")->text(), QStringLiteral("vendor.test"));
    about.Label5_Click();
    QCOMPARE(Q(rig.env.browser.opened), QStringList{"http://vendor.test/"});
    QVERIFY(rig.env.browser.owners[0] == static_cast<QWidget *>(&about));
}

QTEST_MAIN(TestFormAbout)
#include "tst_formabout.moc"
