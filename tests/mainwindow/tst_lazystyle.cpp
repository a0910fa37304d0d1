// The application style the program installs at start-up: a window with its
// menu bar reads no image file, and the menu bar's overflow arrow still looks
// as the style draws it.

#include "fakes/fakeservices.h"
#include "qt/form1.h"
#include "qt/lazystyle.h"

#include <QApplication>
#include <QFile>
#include <QMenuBar>
#include <QStyle>
#include <QStyleFactory>
#include <QTest>
#include <QToolButton>

#include <memory>

class TestLazyStyle : public QObject {
    Q_OBJECT
private slots:
    void windowReadsNoImageUntilTheArrowIsDrawn();
};

void TestLazyStyle::windowReadsNoImageUntilTheArrowIsDrawn()
{
    const QString styleName = QApplication::style()->name();
    InstallLazyStyleIcons();
    FakeEnvironment env;
    Form1 form(env.services());
    form.Form_Load();
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));

    QFile maps(QStringLiteral("/proc/self/maps"));
    if (maps.open(QIODevice::ReadOnly))
        QVERIFY2(!maps.readAll().contains("imageformats"), "an image-format plugin was loaded");

    auto *arrow = form.menuBar()->findChild<QToolButton *>();
    QVERIFY(arrow);
    const std::unique_ptr<QStyle> plain(QStyleFactory::create(styleName));
    const QIcon own =
        plain->standardIcon(QStyle::SP_ToolBarHorizontalExtensionButton, nullptr, form.menuBar());
    QVERIFY(!own.isNull());
    QCOMPARE(arrow->icon().pixmap(16).toImage(), own.pixmap(16).toImage());
}

QTEST_MAIN(TestLazyStyle)
#include "tst_lazystyle.moc"
