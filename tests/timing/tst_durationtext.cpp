#include "core/rules/durationtext.h"

#include <QtTest>

#include <cfloat>
#include <limits>
#include <type_traits>

class TestDurationText : public QObject {
    Q_OBJECT
private slots:
    void formatSeconds_data();
    void formatSeconds();
    void oddInputsStayBounded_data();
    void oddInputsStayBounded();
};

void TestDurationText::formatSeconds_data()
{
    QTest::addColumn<double>("seconds");
    QTest::addColumn<QByteArray>("text");

    const struct {
        double seconds;
        const char *text;
    } rows[] = {
        {0, "0:00:00"},        {9, "0:00:09"},
        {59, "0:00:59"},       {60, "0:01:00"},
        {61, "0:01:01"},       {599, "0:09:59"},
        {3599, "0:59:59"},     {3600, "1:00:00"},
        {3661, "1:01:01"},     {86399, "23:59:59"},
        {86400, "24:00:00"},   {360000, "100:00:00"},
        {0.5, "0:00:0.5"},     {9.5, "0:00:09.5"},
        {29.6, "0:00:29.6"},   {90.6, "0:01:30.6"},
        {3599.5, "0:59:59.5"}, {-1, "-1:59:59"},
        {-0.0, "0:00:00"},     {1e15, "277777777777:46:40"},
    };
    for (const auto &row : rows)
        QTest::newRow(row.text) << row.seconds << QByteArray(row.text);
}

void TestDurationText::formatSeconds()
{
    QFETCH(double, seconds);
    QFETCH(QByteArray, text);
    QCOMPARE(QByteArray::fromStdString(FormatSeconds(seconds)), text);
}

// The caller's value is taken by reference and cannot be changed through it.
static_assert(std::is_same_v<decltype(&FormatSeconds), std::string (*)(const double &)>);

void TestDurationText::oddInputsStayBounded_data()
{
    QTest::addColumn<double>("seconds");
    QTest::newRow("1e300") << 1e300;
    QTest::newRow("-1e300") << -1e300;
    QTest::newRow("largest") << DBL_MAX;
    QTest::newRow("infinity") << std::numeric_limits<double>::infinity();
    QTest::newRow("minus infinity") << -std::numeric_limits<double>::infinity();
    QTest::newRow("NaN") << std::numeric_limits<double>::quiet_NaN();
}

// The text of an absurd duration may look odd, but it must come back at once,
// short enough to show, with its three fields.
void TestDurationText::oddInputsStayBounded()
{
    QFETCH(double, seconds);
    const std::string text = FormatSeconds(seconds);
    QVERIFY(text.size() < 1000);
    QCOMPARE(std::count(text.begin(), text.end(), ':'), 2);
}

QTEST_GUILESS_MAIN(TestDurationText)
#include "tst_durationtext.moc"
