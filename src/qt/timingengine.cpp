// Stopwatch and countdown: the start/stop and pause/continue buttons, the
// one-second timing tick and the alarm ten seconds before the target.
//
// The engine keeps no state of its own: the buttons' captions and Timer2's
// running flag are the state (Idle: "开始"; Running: "停止" with Timer2 on;
// Paused: "停止" with Timer2 off and Command2 reading "继续").

#include "qt/form1.h"
#include "core/rules/numbertext.h"
#include "core/rules/durationtext.h"

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>

#include <cmath>

namespace {

const QColor kDisplayBlue(0, 0, 255);
const QColor kDisplayRed(255, 0, 0);

// The running animation: one, two or three dots by the count modulo 3.
QString withDots(const QString &base, double counted)
{
    const double r = std::fmod(counted, 3.0);
    const int dots = r >= 2 ? 3 : (r >= 1 ? 2 : 1);
    return base + QString(dots, QLatin1Char('.'));
}

} // namespace

double Form1::minutesTarget() const
{
    // The entry is read afresh on every use, so editing it during a run
    // takes effect on the next tick.
    return LeadingNumber(Text1->text().toStdString());
}

void Form1::Command1_Click()
{
    if (Command1->text() == QStringLiteral("开始")) {
        Command1->setText(QStringLiteral("停止"));
        Command1->setToolTip(QStringLiteral("点一下将会停止计时"));
        Timer2->start();
        Command2->show();
        Command2->setText(QStringLiteral("暂停"));
        Command2->setToolTip(QStringLiteral("点一下将会暂停计时"));
        stopAlarm();
    } else {
        Command1->setText(QStringLiteral("开始"));
        Command1->setToolTip(QStringLiteral("点一下就开始计时"));
        Timer2->stop();
        Command2->setText(QStringLiteral("暂停"));
        Command2->setToolTip(QStringLiteral("点一下将会暂停计时"));
        Command2->hide();
        js1 = 0;
        SetAutoSizeText(Label7, QString());
        stopAlarm();
    }
}

void Form1::Command2_Click()
{
    if (Command2->text() == QStringLiteral("暂停")) {
        Timer2->stop();
        Command2->setText(QStringLiteral("继续"));
        Command2->setToolTip(QStringLiteral("点一下将会继续计时(不会从头开始)"));
        SetAutoSizeText(Label7, QStringLiteral("计时暂停中"));
    } else {
        Command2->setText(QStringLiteral("暂停"));
        Command2->setToolTip(QStringLiteral("点一下将会暂停计时"));
        Timer2->start();
    }
}

void Form1::Timer2_Timer()
{
    js1 = js1 + 1;

    if (Check2->isChecked()) {
        const double target = minutesTarget() * 60;
        if (target > js1) {
            SetAutoSizeText(Label2, QString::fromStdString(FormatSeconds(target - js1)));
            SetAutoSizeText(Label7, withDots(QStringLiteral("倒计时进行中"), js1));
        } else {
            SetAutoSizeText(Label2, QStringLiteral("时间到了"));
            Command2->hide();
            Command1->setText(QStringLiteral("开始"));
            Command1->setToolTip(QStringLiteral("点一下开始计时"));
            js1 = 0;
            Timer2->stop();
            SetAutoSizeText(Label7, QString());
        }
    } else {
        SetAutoSizeText(Label2, QString::fromStdString(FormatSeconds(js1)));
        SetAutoSizeText(Label7, withDots(QStringLiteral("正在计时中"), js1));
    }

    // Both steps below run after a finishing tick has set the count back to 0.
    const double target = minutesTarget() * 60;
    if (target - js1 == 10)
        FaShengYin(AlarmFilePath);

    QPalette display = Label2->palette();
    display.setColor(QPalette::WindowText, target >= js1 ? kDisplayBlue : kDisplayRed);
    Label2->setPalette(display);
}

void Form1::FaShengYin(const QString &FileName)
{
    if (services_.files->fileExists(FileName)) {
        alarmLive_ = true;
        services_.alarm->play(FileName);
    } else {
        soundTone();
    }
}

void Form1::stopAlarm()
{
    alarmLive_ = false;
    services_.alarm->stop();
}

void Form1::alarmCannotPlay()
{
    // The player's report can come after the user stopped the run (or
    // started the next one), which stays silent.
    if (alarmLive_)
        soundTone();
}

void Form1::soundTone()
{
    // Holds the window for the five seconds; ticks that fall due meanwhile
    // are not made up. Put this tick's texts on the screen first, or it shows
    // the previous second for the whole tone.
    repaint();
    services_.tone->beep(1000, 5000);
}

void Form1::Text1_Change()
{
    if (LeadingNumber(Text1->text().toStdString()) > 0) {
        writeSetting(QStringLiteral("Text1"), Text1->text());
        return;
    }
    MessageSpec notice;
    notice.text = QStringLiteral("此处必须大于0");
    notice.title = QStringLiteral("brisko");
    services_.messages->show(this, notice);
    // Runs this handler again, which stores the "5".
    Text1->setText(QStringLiteral("5"));
}

void Form1::Check2_Click()
{
    writeSetting(QStringLiteral("Check2"),
                 QString::fromStdString(SignedPlaceText(Check2->isChecked() ? 1 : 0)));
}
