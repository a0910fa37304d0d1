// What a start brings back from the store.

#include "fakes/fakeservices.h"
#include "qt/form1.h"

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QTest>
#include <QTimer>

namespace {

struct Rig {
    FakeEnvironment env;
    std::unique_ptr<Form1> form;
    void load()
    {
        form = std::make_unique<Form1>(env.services());
        form->Timer1->stop();
        form->Form_Load();
    }
};

} // namespace

class TestStartup : public QObject {
    Q_OBJECT
private slots:
    void firstRunUsesDefaultsAndStoresThem();
    void minutes_data();
    void minutes();
    void position_data();
    void position();
    void checkBoxes_data();
    void checkBoxes();
    void sharedValues();
    void readsHappenInOrder();
};

void TestStartup::firstRunUsesDefaultsAndStoresThem()
{
    Rig rig;
    rig.load();
    QCOMPARE(rig.form->Text1->text(), QStringLiteral("5"));
    QCOMPARE(rig.form->pos(), QPoint(67, 67));
    QCOMPARE(rig.form->UsageTotal, 0.0);
    QVERIFY(!rig.form->Check1->isChecked() && !rig.form->Check2->isChecked());
    QVERIFY(!rig.form->Check3->isChecked());
    QVERIFY(rig.form->menuBar()->isHidden());
    QVERIFY(rig.form->Label7->text().isEmpty());
    // Only the menu box changes from its design state, and its handler
    // stores that; the other controls already hold their defaults.
    const auto writes = rig.env.store.writes();
    QCOMPARE(writes.size(), size_t(1));
    QCOMPARE(writes[0].name, std::string("Check3"));
    QCOMPARE(writes[0].text, std::string(" 0"));
    QCOMPARE(rig.env.store.lastKey, std::string("SOFTWARE\\Pelmora\\Brisko"));
}

void TestStartup::minutes_data()
{
    QTest::addColumn<QString>("stored");
    QTest::addColumn<QString>("shown");
    QTest::newRow("leading zeros") << "007"
                                   << "7";
    QTest::newRow("fraction") << "2.5"
                              << "2.5";
    QTest::newRow("trailing text") << "12abc"
                                   << "12";
    QTest::newRow("zero") << "0"
                          << "5";
    QTest::newRow("negative") << "-3"
                              << "5";
    QTest::newRow("no number") << "abc"
                               << "5";
    QTest::newRow("blank inside") << "1 5"
                                  << "15";
    QTest::newRow("beyond a double") << "1e999"
                                     << "";
}

void TestStartup::minutes()
{
    QFETCH(QString, stored);
    QFETCH(QString, shown);
    Rig rig;
    rig.env.store.set("Text1", stored.toStdString());
    rig.load();
    if (shown.isEmpty()) // saturated: a long run of digits, but a number
        QVERIFY(rig.form->Text1->text().size() > 300);
    else
        QCOMPARE(rig.form->Text1->text(), shown);
    QCOMPARE(rig.env.messages.shown.size(), 0);
    // A changed entry writes back what it now shows; the design "5" is no
    // change, so nothing is written for it.
    if (shown != QStringLiteral("5"))
        QCOMPARE(QString::fromStdString(rig.env.store.get("Text1")), rig.form->Text1->text());
    else
        QCOMPARE(QString::fromStdString(rig.env.store.get("Text1")), stored);
}

void TestStartup::position_data()
{
    QTest::addColumn<QString>("left");
    QTest::addColumn<QString>("top");
    QTest::addColumn<QPoint>("expected");
    QTest::newRow("stored") << "3000"
                            << "1500" << QPoint(200, 100);
    QTest::newRow("absent") << ""
                            << "" << QPoint(67, 67);
    QTest::newRow("zero left") << "0"
                               << "1500" << QPoint(67, 100);
    QTest::newRow("negative top") << "3000"
                                  << "-150" << QPoint(200, 67);
    QTest::newRow("not a number") << "abc"
                                  << " 1500" << QPoint(67, 100);
    // Wholly off every screen: back to the default place.
    QTest::newRow("far off") << "9000000"
                             << "9000000" << QPoint(67, 67);
    QTest::newRow("huge") << "1e300"
                          << "1e300" << QPoint(67, 67);
    // Partly on the screen stays exactly where it was.
    QTest::newRow("partly visible") << "-2000"
                                    << "3000" << QPoint(67, 200);
}

void TestStartup::position()
{
    QFETCH(QString, left);
    QFETCH(QString, top);
    QFETCH(QPoint, expected);
    Rig rig;
    if (!left.isEmpty())
        rig.env.store.set("Left", left.toStdString());
    if (!top.isEmpty())
        rig.env.store.set("Top", top.toStdString());
    rig.load();
    QCOMPARE(rig.form->pos(), expected);
}

void TestStartup::checkBoxes_data()
{
    QTest::addColumn<QString>("stored");
    QTest::addColumn<bool>("checked");
    QTest::newRow("signed one") << " 1" << true;
    QTest::newRow("bare one") << "1" << true;
    QTest::newRow("one point zero") << "1.0" << true;
    QTest::newRow("two") << "2" << false;
    QTest::newRow("zero") << " 0" << false;
    QTest::newRow("absent") << "" << false;
}

void TestStartup::checkBoxes()
{
    QFETCH(QString, stored);
    QFETCH(bool, checked);
    Rig rig;
    for (const char *name : {"Check1", "Check2", "Check3"})
        if (!stored.isEmpty())
            rig.env.store.set(name, stored.toStdString());
    rig.load();
    QCOMPARE(rig.form->Check1->isChecked(), checked);
    QCOMPARE(rig.form->Check2->isChecked(), checked);
    QCOMPARE(rig.form->Check3->isChecked(), checked);
    QCOMPARE(rig.form->menuBar()->isHidden(), !checked);
}

void TestStartup::sharedValues()
{
    Rig rig;
    rig.env.store.set("js00", " 3600");
    rig.env.files.folder = QStringLiteral("/opt/brisko");
    rig.load();
    QCOMPARE(rig.form->UsageTotal, 3600.0);
    QCOMPARE(rig.form->ProgramVersion, QStringLiteral("V1.2.2"));
    QVERIFY(rig.form->AlarmFilePath.endsWith(QStringLiteral("sound.mp3")));
    QVERIFY(rig.form->AlarmFilePath.startsWith(QStringLiteral("/opt/brisko")));

    FakeEnvironment env;
    Services s = env.services();
    s.versionMinor = 10;
    Form1 form(s);
    form.Timer1->stop();
    form.Form_Load();
    QCOMPARE(form.ProgramVersion, QStringLiteral("V1.10.2"));
}

void TestStartup::readsHappenInOrder()
{
    Rig rig;
    rig.env.store.set("Text1", "3");
    rig.load();
    QStringList reads;
    for (const auto &a : rig.env.store.log)
        if (a.kind == 'R')
            reads << QString::fromStdString(a.name);
    QCOMPARE(reads,
             (QStringList{"text1", "Text1", "Top", "Left", "js00", "Check1", "Check2", "Check3"}));
    // The version notice runs after the options and before the status line
    // is cleared.
    QCOMPARE(rig.env.http.requested.size(), 1);
}

QTEST_MAIN(TestStartup)
#include "tst_startup.moc"
