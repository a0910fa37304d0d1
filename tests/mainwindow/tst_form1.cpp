// The main window as a first run shows it, its menu and its two options.

#include "fakes/fakeservices.h"
#include "fakes/qtrig.h"
#include "qt/appicon.h"
#include "qt/fonts.h"
#include "qt/form1.h"

#include <QAccessible>
#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QFontInfo>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QTest>
#include <QTimer>

class TestForm1 : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { InstallFontSubstitutions(); }
    void firstRunShowsTheDesignedWindow();
    void captionsUseASongFace();
    void menuTree();
    void resizingMovesNothing();
    void optionBoxesStoreTheirState();
    void keepOnTopFollowsCheck1();
    void productPageLink();
    void controlsHaveAccessibleNames();
    void storedStateReachesTheControls();
};

namespace {

struct Rig : FormRig {
    Rig() : FormRig(true) { form->show(); }
};

} // namespace

void TestForm1::firstRunShowsTheDesignedWindow()
{
    Rig rig;
    Form1 &f = *rig.form;
    QCOMPARE(f.windowTitle(), QStringLiteral("计时器"));
    QCOMPARE(Child<QLineEdit>(f, "Text1")->text(), QStringLiteral("5"));
    QVERIFY(!Child<QCheckBox>(f, "Check1")->isChecked());
    QVERIFY(!Child<QCheckBox>(f, "Check2")->isChecked());
    QVERIFY(!Child<QCheckBox>(f, "Check3")->isChecked());
    QVERIFY(!f.menuBar()->isVisible());
    QCOMPARE(Child<QLabel>(f, "Label2")->text(), QStringLiteral("0:00:00"));
    QVERIFY(Child<QLabel>(f, "Label7")->text().isEmpty());
    QVERIFY(Child<QPushButton>(f, "Command1")->isVisible());
    QCOMPARE(Child<QPushButton>(f, "Command1")->text(), QStringLiteral("开始"));
    QVERIFY(!Child<QPushButton>(f, "Command2")->isVisible());
    QCOMPARE(Child<QLabel>(f, "Label5")->text(), QStringLiteral("分钟"));
    QCOMPARE(Child<QLineEdit>(f, "Text1")->toolTip(),
             QStringLiteral("时间只剩10秒时将会有声音提醒"));
    QCOMPARE(Child<QCheckBox>(f, "Check1")->toolTip(), QStringLiteral("是否将本软件置于屏幕最前"));
    QCOMPARE(Child<QCheckBox>(f, "Check2")->toolTip(), QStringLiteral("是否显示为倒计时模式"));
    QCOMPARE(Child<QCheckBox>(f, "Check3")->toolTip(), QStringLiteral("是否显示系统菜单"));
    QVERIFY(Child<QPushButton>(f, "Command2")->toolTip().isEmpty());
    QVERIFY(Child<QTimer>(f, "Timer1")->interval() == 1000 &&
            Child<QTimer>(f, "Timer2")->interval() == 1000);
    QVERIFY(!Child<QTimer>(f, "Timer2")->isActive());
    QCOMPARE(f.pos(), QPoint(67, 67)); // 1000 twips

    // Display colours: blue on light cyan, drawn opaque.
    QCOMPARE(Child<QLabel>(f, "Label2")->palette().color(QPalette::WindowText), QColor(0, 0, 255));
    QCOMPARE(Child<QLabel>(f, "Label2")->palette().color(QPalette::Window), QColor(192, 255, 255));
    QVERIFY(Child<QLabel>(f, "Label2")->autoFillBackground());

    // Minimize and close, no maximize.
    const Qt::WindowFlags flags = f.windowFlags();
    QVERIFY(flags.testFlag(Qt::WindowMinimizeButtonHint));
    QVERIFY(flags.testFlag(Qt::WindowCloseButtonHint));
    QVERIFY(!flags.testFlag(Qt::WindowMaximizeButtonHint));
    QVERIFY(!f.windowIcon().isNull());
    QVERIFY(f.windowIcon().availableSizes().contains(QSize(16, 16)));
    QVERIFY(f.windowIcon().availableSizes().contains(QSize(32, 32)));
    // A size beyond those offered is drawn for it, not scaled up.
    QCOMPARE(f.windowIcon().pixmap(64).toImage().convertToFormat(QImage::Format_ARGB32),
             DrawAppIcon(64));

    // Client area of the design below the menu bar.
    QCOMPARE(f.width(), 314);
    QCOMPARE(f.height() - f.menuBar()->sizeHint().height(), 91);

    // Focus starts on the start button; Tab visits the rest in order,
    // skipping the hidden pause button.
    QApplication::setActiveWindow(&f);
    QCOMPARE(QApplication::focusWidget(),
             static_cast<QWidget *>(Child<QPushButton>(f, "Command1")));
    QList<QWidget *> tabOrder;
    for (QWidget *w = Child<QPushButton>(f, "Command1"); tabOrder.size() < 6;
         w = w->nextInFocusChain())
        if (w->focusPolicy() & Qt::TabFocus)
            tabOrder << w;
    QCOMPARE(tabOrder,
             (QList<QWidget *>{Child<QPushButton>(f, "Command1"), Child<QPushButton>(f, "Command2"),
                               Child<QLineEdit>(f, "Text1"), Child<QCheckBox>(f, "Check1"),
                               Child<QCheckBox>(f, "Check2"), Child<QCheckBox>(f, "Check3")}));
    QTest::keyClick(Child<QPushButton>(f, "Command1"), Qt::Key_Tab);
    QCOMPARE(QApplication::focusWidget(), static_cast<QWidget *>(Child<QLineEdit>(f, "Text1")));

    // A first run stores the options it ended up with.
    QCOMPARE(rig.env.store.get("Check3"), std::string(" 0"));
}

void TestForm1::captionsUseASongFace()
{
    Rig rig;
    for (QWidget *w : {static_cast<QWidget *>(Child<QPushButton>(*rig.form, "Command1")),
                       static_cast<QWidget *>(Child<QLabel>(*rig.form, "Label2")),
                       static_cast<QWidget *>(Child<QLabel>(*rig.form, "Label7"))}) {
        const QFontInfo info(w->font());
        QVERIFY2(!info.family().contains(QStringLiteral("DejaVu")), qPrintable(info.family()));
    }
    // Never larger than designed (tst_layout checks that every text fits).
    QVERIFY(Child<QPushButton>(*rig.form, "Command1")->font().pointSizeF() <= 15.75);
    QVERIFY(Child<QLabel>(*rig.form, "Label2")->font().pointSizeF() <= 15.75);
    QVERIFY(Child<QLabel>(*rig.form, "Label7")->font().pointSizeF() <= 26.25);
}

void TestForm1::menuTree()
{
    Rig rig;
    Form1 &f = *rig.form;
    QCOMPARE(f.menuBar()->actions(), QList<QAction *>{Child<QAction>(f, "menuCaiDanAction")});
    QCOMPARE(Child<QMenu>(f, "menuCaiDan")->title(), QStringLiteral("菜单(&T)"));
    const QList<QAction *> entries = Child<QMenu>(f, "menuCaiDan")->actions();
    QCOMPARE(entries.size(), 6);
    const QStringList names = {"menuChaoZhou", "menuUpdate", "nemuAbout",
                               "menuOption",   "nemuLine1",  "menuExit"};
    const QStringList captions = {
        "技术支持(&S)", "检查更新(&K)", "关于本软件(&A)...", "选项(&O)...", "", "退出(&X)"};
    for (int i = 0; i < entries.size(); ++i) {
        QCOMPARE(entries[i]->objectName(), names[i]);
        QCOMPARE(entries[i]->text(), captions[i]);
    }
    QVERIFY(entries[4]->isSeparator());
    QVERIFY(!Child<QAction>(f, "menuOption")->isEnabled());
    QVERIFY(Child<QAction>(f, "menuExit")->isEnabled());
}

void TestForm1::resizingMovesNothing()
{
    Rig rig;
    QList<QRect> before;
    const auto widgets = rig.form->centralWidget()->findChildren<QWidget *>();
    for (QWidget *w : widgets)
        before << w->geometry();
    rig.form->resize(120, 40);
    rig.form->resize(800, 500);
    for (int i = 0; i < widgets.size(); ++i)
        QCOMPARE(widgets[i]->geometry(), before[i]);
}

void TestForm1::optionBoxesStoreTheirState()
{
    Rig rig;
    rig.env.store.log.clear();
    Child<QCheckBox>(*rig.form, "Check3")->click();
    QVERIFY(rig.form->menuBar()->isVisible());
    QCOMPARE(rig.env.store.get("Check3"), std::string(" 1"));
    Child<QCheckBox>(*rig.form, "Check3")->click();
    QVERIFY(!rig.form->menuBar()->isVisible());
    QCOMPARE(rig.env.store.get("Check3"), std::string(" 0"));

    Child<QCheckBox>(*rig.form, "Check1")->click();
    QCOMPARE(rig.env.store.get("Check1"), std::string(" 1"));
    // Storing is all a click does; the window follows at the next tick.
    QVERIFY(rig.env.stacking.calls.empty());
    Child<QCheckBox>(*rig.form, "Check1")->click();
    QCOMPARE(rig.env.store.get("Check1"), std::string(" 0"));
    QCOMPARE(rig.env.store.writes().size(), size_t(4));
}

void TestForm1::keepOnTopFollowsCheck1()
{
    // Each housekeeping tick puts the window itself where Check1 says.
    Rig rig;
    rig.form->Timer1_Timer();
    Child<QCheckBox>(*rig.form, "Check1")->setChecked(true);
    rig.form->Timer1_Timer();
    rig.form->Timer1_Timer();
    Child<QCheckBox>(*rig.form, "Check1")->setChecked(false);
    rig.form->Timer1_Timer();
    QCOMPARE(Q(rig.env.stacking.calls), (QList<bool>{false, true, true, false}));
    for (WindowHandle window : rig.env.stacking.windows)
        QVERIFY(window == static_cast<QWidget *>(rig.form.get()));
}

void TestForm1::productPageLink()
{
    Rig rig;
    Child<QAction>(*rig.form, "menuChaoZhou")->trigger();
    QCOMPARE(Q(rig.env.browser.opened), QStringList{"http://vendor.test/brk/"});
    QVERIFY(rig.form->isVisible());
}

void TestForm1::controlsHaveAccessibleNames()
{
    Rig rig;
    Child<QPushButton>(*rig.form, "Command1")->click();
    const QList<QPair<QWidget *, QStringList>> expected = {
        {Child<QPushButton>(*rig.form, "Command1"), {"停止", "点一下将会停止计时"}},
        {Child<QPushButton>(*rig.form, "Command2"), {"暂停", "点一下将会暂停计时"}},
        {Child<QLineEdit>(*rig.form, "Text1"), {"分钟", "时间只剩10秒时将会有声音提醒"}},
        {Child<QCheckBox>(*rig.form, "Check1"), {"置最前", "是否将本软件置于屏幕最前"}},
        {Child<QCheckBox>(*rig.form, "Check2"), {"倒计时", "是否显示为倒计时模式"}},
        {Child<QCheckBox>(*rig.form, "Check3"), {"菜单", "是否显示系统菜单"}},
    };
    for (const auto &[widget, texts] : expected) {
        QAccessibleInterface *a = QAccessible::queryAccessibleInterface(widget);
        QVERIFY(a);
        QCOMPARE(a->text(QAccessible::Name), texts[0]);
        QCOMPARE(a->text(QAccessible::Description), texts[1]);
    }
    QAccessibleInterface *display =
        QAccessible::queryAccessibleInterface(Child<QLabel>(*rig.form, "Label2"));
    QCOMPARE(display->text(QAccessible::Name), QStringLiteral("0:00:00"));
}

// What the start-up reads is applied to the controls, and each control's own
// handler stores it back.
void TestForm1::storedStateReachesTheControls()
{
    FormRig rig;
    rig.env.store.set("Text1", "007");
    rig.env.store.set("Left", "3000");
    rig.env.store.set("Top", "1500");
    rig.env.store.set("Check1", " 1");
    rig.env.store.set("Check2", "1.0");
    rig.env.store.set("Check3", " 1");
    rig.env.store.set("js00", " 3600");
    rig.form->Form_Load();
    // What differs from the design is stored back once: drawing the restored
    // state runs none of the controls' own handlers again.
    QStringList written;
    for (const auto &w : rig.env.store.writes())
        written << Q(w.name);
    QCOMPARE(written, (QStringList{"Text1", "Check1", "Check2"}));
    QCOMPARE(rig.text1()->text(), QStringLiteral("7"));
    QCOMPARE(rig.env.store.get("Text1"), std::string("7"));
    QCOMPARE(rig.form->pos(), QPoint(200, 100));
    QVERIFY(rig.check1()->isChecked() && rig.check2()->isChecked() && rig.check3()->isChecked());
    QVERIFY(!rig.form->menuBar()->isHidden());
    QCOMPARE(rig.env.store.get("Check2"), std::string(" 1"));
    QCOMPARE(rig.form->core().usageTotal(), 3600.0);
    QVERIFY(rig.label7()->text().isEmpty());
    // The window handed to the services is this one.
    rig.form->Timer1_Timer();
    QVERIFY(rig.env.stacking.windows.back() == static_cast<QWidget *>(rig.form.get()));
    QCOMPARE(rig.form->windowTitle(), QStringLiteral("计时器 13:05:09"));
}

QTEST_MAIN(TestForm1)
#include "tst_form1.moc"
