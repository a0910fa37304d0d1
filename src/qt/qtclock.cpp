#include "qt/qtclock.h"

#include <QLocale>
#include <QRegularExpression>
#include <QStringList>

namespace {

// The locale's long time format without its time zone, which a time of day
// doesn't need, and without the letters this Qt would print as they are.
// Quoted literals ('h', 'kl') are kept untouched.
QString timeOfDayFormat(const QString &localeFormat)
{
    // Split into unquoted runs (even indices) and quoted ones (odd).
    QStringList parts{QString()};
    for (const QChar c : localeFormat) {
        if (c == QLatin1Char('\''))
            parts.append(QString());
        parts.last() += c;
    }
    auto unquoted = [&parts] {
        QString plain;
        for (qsizetype i = 0; i < parts.size(); i += 2)
            plain += parts[i];
        return plain;
    };
    const bool hasAmPm = unquoted().contains(QLatin1Char('a'), Qt::CaseInsensitive);

    static const QRegularExpression zone(QStringLiteral("t+"));
    // The day period (上午, 下午...): the am/pm marker keeps a 12-hour format
    // readable as one.
    static const QRegularExpression dayPeriod(QStringLiteral("[Bb]+"));
    // Any other ASCII letter that is no time field here would come out as is.
    static const QRegularExpression unknown(QStringLiteral("[B-GI-OQ-Zb-gi-lnoq-rt-y]"));
    static const QRegularExpression emptyBrackets(QStringLiteral("\\(\\s*\\)|\\[\\s*\\]"));
    static const QRegularExpression spaces(QStringLiteral("\\s{2,}"));
    for (qsizetype i = 0; i < parts.size(); i += 2) {
        QString &p = parts[i];
        p.replace(zone, QString());
        p.replace(dayPeriod, hasAmPm ? QString() : QStringLiteral("AP"));
        p.replace(unknown, QString());
        p.replace(emptyBrackets, QString());
        p.replace(spaces, QStringLiteral(" "));
    }
    // What stood between the time and the zone: blanks and commas at either end.
    static const QRegularExpression leading(QStringLiteral("^[\\s,]+"));
    static const QRegularExpression trailing(QStringLiteral("[\\s,]+$"));
    parts.first().remove(leading);
    if (parts.size() % 2 == 1)
        parts.last().remove(trailing);
    // A format that had nothing but a zone still shows the time.
    if (!unquoted().contains(QLatin1Char('h'), Qt::CaseInsensitive))
        return QStringLiteral("HH:mm:ss");
    return parts.join(QString());
}

} // namespace

QString TimeOfDayText(const QTime &time)
{
    // Worked out once per locale, not on every tick. Locales are compared
    // whole: two of them can share a name and differ in their formats.
    static QLocale cachedLocale;
    static QString format;
    const QLocale locale;
    if (format.isEmpty() || locale != cachedLocale) {
        cachedLocale = locale;
        format = timeOfDayFormat(locale.timeFormat(QLocale::LongFormat));
    }
    return locale.toString(time, format);
}

std::string QtClock::timeOfDayText()
{
    return TimeOfDayText(QTime::currentTime()).toStdString();
}
