#include "core/rules/versionrules.h"

#include <QtTest>

#include <cfloat>

class TestVersionRules : public QObject {
    Q_OBJECT
private slots:
    void versionNumberOf();
    void parseVersionText_data();
    void parseVersionText();
    void versionTextNumber_data();
    void versionTextNumber();
    void formatVersionNumber_data();
    void formatVersionNumber();
};

void TestVersionRules::versionNumberOf()
{
    QCOMPARE(VersionNumberOf(1, 2, 2), 122.0);
    // One digit each for minor and revision: 1.2.10 and 1.3.0 collide.
    QCOMPARE(VersionNumberOf(1, 2, 10), VersionNumberOf(1, 3, 0));
}

void TestVersionRules::parseVersionText_data()
{
    QTest::addColumn<QByteArray>("page");
    QTest::addColumn<QByteArray>("text");

    QByteArray allBytes;
    for (int i = 0; i < 256; ++i)
        allBytes.append(char(i));

    QTest::newRow("bare") << QByteArray("[123]") << QByteArray("123");
    QTest::newRow("in markup") << QByteArray("<html><body>newest: [123]</body></html>")
                               << QByteArray("123");
    QTest::newRow("capitals") << QByteArray("[V1.2.3-RC]") << QByteArray("v1.2.3-rc");
    QTest::newRow("blanks kept") << QByteArray("  [ 1 2 3 ]  ") << QByteArray(" 1 2 3 ");
    QTest::newRow("empty brackets") << QByteArray("x[]") << QByteArray("");
    QTest::newRow("no brackets") << QByteArray("Not Found") << QByteArray("0");
    QTest::newRow("empty page") << QByteArray() << QByteArray("0");
    QTest::newRow("open only") << QByteArray("[123") << QByteArray("0");
    QTest::newRow("close only") << QByteArray("123]") << QByteArray("0");
    QTest::newRow("close before open") << QByteArray("a]b[123]") << QByteArray("0");
    QTest::newRow("first pair counts") << QByteArray("[123] [456]") << QByteArray("123");
    QTest::newRow("second open kept") << QByteArray("[[124]") << QByteArray("[124");
    QTest::newRow("non-ASCII unchanged")
        << QByteArray("[124\xe7\x89\x88\xC3\x84]") << QByteArray("124\xe7\x89\x88\xC3\x84");
    QTest::newRow("NUL inside") << QByteArray("\0[1\0002]", 6) << QByteArray("1\0002", 3);
    QTest::newRow("every byte value") << allBytes << QByteArray("\\");
    QTest::newRow("megabytes") << QByteArray(4 << 20, 'x') + "[125]" + QByteArray(4 << 20, 'y')
                               << QByteArray("125");
}

void TestVersionRules::parseVersionText()
{
    QFETCH(QByteArray, page);
    QFETCH(QByteArray, text);
    QCOMPARE(QByteArray::fromStdString(
                 ::ParseVersionText(std::string_view(page.constData(), page.size()))),
             text);
}

void TestVersionRules::versionTextNumber_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<double>("number");
    QTest::addColumn<bool>("newer");

    QTest::newRow("newer") << QByteArray("123") << 123.0 << true;
    QTest::newRow("same is not newer") << QByteArray("122") << 122.0 << false;
    QTest::newRow("older") << QByteArray("99") << 99.0 << false;
    QTest::newRow("blanks between digits") << QByteArray(" 1 2 3 ") << 123.0 << true;
    QTest::newRow("letters after") << QByteArray("123abc") << 123.0 << true;
    QTest::newRow("dotted triple") << QByteArray("1.2.3") << 1.2 << false;
    QTest::newRow("letter first") << QByteArray("v123") << 0.0 << false;
    QTest::newRow("empty") << QByteArray() << 0.0 << false;
    QTest::newRow("no brackets") << QByteArray("0") << 0.0 << false;
    QTest::newRow("half step") << QByteArray("122.5") << 122.5 << true;
    // Too large for a double reads as the largest one, and so counts as newer.
    QTest::newRow("beyond range") << QByteArray("1e999") << DBL_MAX << true;
}

void TestVersionRules::versionTextNumber()
{
    QFETCH(QByteArray, text);
    QFETCH(double, number);
    QFETCH(bool, newer);
    const double actual = VersionTextNumber(std::string_view(text.constData(), text.size()));
    QCOMPARE(actual, number);
    QCOMPARE(actual > VersionNumberOf(1, 2, 2), newer);
}

void TestVersionRules::formatVersionNumber_data()
{
    QTest::addColumn<double>("version");
    QTest::addColumn<QByteArray>("text");

    QTest::newRow("123") << 123.0 << QByteArray("V1.2.3");
    QTest::newRow("own") << 122.0 << QByteArray("V1.2.2");
    QTest::newRow("two-digit major") << 1234.0 << QByteArray("V12.3.4");
    QTest::newRow("fraction in last part") << 122.5 << QByteArray("V1.2.2.5");
    QTest::newRow("below 100") << 99.0 << QByteArray("V0.9.9");
    QTest::newRow("zero") << 0.0 << QByteArray("V0.0.0");
    // What "[1e999]" reads as: the places below the hundreds are lost to rounding.
    QTest::newRow("largest") << DBL_MAX << "V179769313486232" + QByteArray(292, '0') + ".0.0";
}

void TestVersionRules::formatVersionNumber()
{
    QFETCH(double, version);
    QFETCH(QByteArray, text);
    QCOMPARE(QByteArray::fromStdString(FormatVersionNumber(version)), text);
}

QTEST_GUILESS_MAIN(TestVersionRules)
#include "tst_versionrules.moc"
