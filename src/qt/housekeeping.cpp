// The one-second housekeeping tick (usage total, position, clock in the
// title, keep-on-top, the outside quit request) and the ways the program ends.
//
// Ending is always at once and writes nothing: every value was stored when it
// changed or at the last tick.

#include "qt/form1.h"
#include "core/rules/numbertext.h"
#include "core/store/settingsstore.h"

#include <QCloseEvent>
#include <QLocale>
#include <QRegularExpression>

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

QString Form1::TimeOfDayText(const QTime &time)
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

void Form1::Timer1_Timer()
{
    UsageTotal = UsageTotal + 1;

    // The three values go to the store as one change: one lock, one rewrite.
    const QPoint place = pos();
    services_.store->WriteSettings(RegistryRoot::LocalMachine, SettingsKey.toStdString(),
                                   {{"Left", PlainDecimalText(place.x() * 15.0)},
                                    {"Top", PlainDecimalText(place.y() * 15.0)},
                                    {"js00", SignedPlaceText(UsageTotal)}});

    setWindowTitle(QStringLiteral("计时器 ") + TimeOfDayText(services_.clock->timeOfDay()));

    ApplyKeepOnTop();

    if (LeadingNumber(readSetting(QStringLiteral("isClose")).toStdString()) == 1) {
        endRequested_ = true;
        services_.process->endNow();
    }
}

bool Form1::askCloseQuestion()
{
    MessageSpec question;
    question.text = QStringLiteral("你确定要关闭此程序吗?");
    question.title = QStringLiteral("关闭程序?");
    question.buttons = MessageSpec::Buttons::OkCancel;
    question.icon = MessageSpec::Icon::Question;
    question.cancelIsDefault = true;
    return services_.messages->show(this, question) == MessageAnswer::Ok;
}

void Form1::closeEvent(QCloseEvent *event)
{
    // Every close request (close button, Alt+F4, the window manager) asks.
    event->ignore();
    if (endRequested_ || !askCloseQuestion())
        return;
    endRequested_ = true;
    services_.process->endNow();
}

void Form1::menuExit_Click()
{
    // Ends without going through closeEvent, so the question comes once.
    if (askCloseQuestion()) {
        endRequested_ = true;
        services_.process->endNow();
    }
}
