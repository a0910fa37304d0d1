// The one-second housekeeping tick (usage total, position, clock in the
// title, keep-on-top, the outside quit request) and the ways the program ends.
//
// Ending is always at once and writes nothing: every value was stored when it
// changed or at the last tick.

#include "mainwindow/form1.h"
#include "settings/numbertext.h"
#include "settings/settingsstore.h"

#include <QCloseEvent>
#include <QLocale>
#include <QRegularExpression>

QString Form1::TimeOfDayText(const QTime &time)
{
    // The locale's long time format carries the seconds; drop its time-zone
    // part, which a time of day doesn't need.
    // Worked out once per locale, not on every tick.
    static QString localeName;
    static QString format;
    const QLocale locale;
    if (format.isEmpty() || locale.name() != localeName) {
        localeName = locale.name();
        format = locale.timeFormat(QLocale::LongFormat);
        format.remove(QRegularExpression(QStringLiteral("\\s*t+\\s*")));
        format = format.trimmed();
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
