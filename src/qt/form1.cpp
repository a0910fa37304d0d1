#include "qt/form1.h"

#include "qt/appicon.h"
#include "qt/fonts.h"
#include "qt/formabout.h"
#include "qt/formupdate.h"
#include "qt/minutesentry.h"
#include "qt/qtservices.h"
#include "qt/qtview.h"

#include <QAction>
#include <QCheckBox>
#include <QCloseEvent>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QScreen>
#include <QTimer>

namespace {

template <typename W> W *makeControl(QWidget *parent, const char *name)
{
    auto *w = new W(parent);
    w->setObjectName(QString::fromLatin1(name));
    return w;
}

void showButton(QPushButton *button, const ButtonLook &look)
{
    button->setText(QString::fromStdString(look.caption));
    button->setToolTip(QString::fromStdString(look.tooltip));
    button->setVisible(look.visible);
}

} // namespace

Form1::Form1(const Services &services, QWidget *parent)
    : QMainWindow(parent, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                              Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                              Qt::WindowCloseButtonHint),
      core_(services, HandleOf(this))
{
    setObjectName(QStringLiteral("Form1"));
    setWindowTitle(QStringLiteral("计时器"));
    setWindowIcon(AppIcon());
    buildControls();
    buildMenu();
    // The design size: a 314 x 91 client area below the menu bar. Resizing
    // later only clips or adds space; nothing follows the window's size.
    resize(TwipsToPixels(4710), TwipsToPixels(1365) + menuBar()->sizeHint().height());
    connectHandlers();
    Command1->setFocus();
}

Form1::~Form1()
{
    // The About window has no owner; it goes when the program goes.
    delete about_.data();
}

void Form1::buildControls()
{
    auto *client = new QWidget(this);
    client->setObjectName(QStringLiteral("client"));
    setCentralWidget(client);

    // The window's own font, which the entry's unit and the boxes take: the
    // Song face of the other captions at the system's usual 9 pt.
    client->setFont(SongFont(9));
    // 15 pt (20 px) rather than 15.75: the Song face's full-height glyphs
    // then stay inside the buttons' frames, and "时间到了" ends before the
    // entry.
    const QFont big = SongFont(15);

    // The two buttons and the entry were drawn sharing one pixel column with
    // their right-hand neighbours (the next button, the display, the unit);
    // each stops one short, so that none covers another.
    Command1 = makeControl<QPushButton>(client, "Command1");
    Command1->setGeometry(FromTwips(480, 38, 855, 345).adjusted(0, 0, -1, 0));
    Command1->setFont(big);

    Command2 = makeControl<QPushButton>(client, "Command2");
    Command2->setGeometry(FromTwips(1320, 38, 855, 345).adjusted(0, 0, -1, 0));
    Command2->setFont(big);

    Label2 = makeControl<QLabel>(client, "Label2");
    Label2->setFont(big);
    Label2->setAutoFillBackground(true);
    QPalette display = Label2->palette();
    display.setColor(QPalette::Window, ToQColor(kDisplayBackground));
    Label2->setPalette(display);
    Label2->move(TwipsToPixels(2160), TwipsToPixels(53));

    auto *entry = makeControl<MinutesEntry>(client, "Text1");
    entry->place(FromTwips(3360, 75, 375, 270).adjusted(0, 0, -1, 0));
    Text1 = entry;
    Text1->setText(QStringLiteral("5"));
    Text1->setToolTip(QStringLiteral("时间只剩10秒时将会有声音提醒"));
    // Buttons and boxes are named by their captions; the entry has none of its
    // own, so screen readers get the unit beside it.
    Text1->setAccessibleName(QStringLiteral("分钟"));
    Text1->setAccessibleDescription(Text1->toolTip());

    Label5 = makeControl<QLabel>(client, "Label5");
    Label5->move(TwipsToPixels(3720), TwipsToPixels(120));
    SetAutoSizeText(Label5, QStringLiteral("分钟"));

    Label7 = makeControl<QLabel>(client, "Label7");
    Label7->setFont(SongFont(26.25));
    Label7->move(TwipsToPixels(480), TwipsToPixels(480));

    Check1 = makeControl<QCheckBox>(client, "Check1");
    Check1->setText(QStringLiteral("置最前"));
    Check1->setToolTip(QStringLiteral("是否将本软件置于屏幕最前"));
    Check1->setGeometry(FromTwips(120, 1080, 855, 255));

    Check2 = makeControl<QCheckBox>(client, "Check2");
    Check2->setText(QStringLiteral("倒计时"));
    Check2->setToolTip(QStringLiteral("是否显示为倒计时模式"));
    Check2->setGeometry(FromTwips(1080, 1080, 855, 255));

    Check3 = makeControl<QCheckBox>(client, "Check3");
    Check3->setText(QStringLiteral("菜单"));
    Check3->setToolTip(QStringLiteral("是否显示系统菜单"));
    Check3->setGeometry(FromTwips(2160, 1080, 735, 255));
    Check3->setChecked(true);

    setTabOrder(Command1, Command2);
    setTabOrder(Command2, Text1);
    setTabOrder(Text1, Check1);
    setTabOrder(Check1, Check2);
    setTabOrder(Check2, Check3);

    // Both precise, so that counted ticks keep pace with the wall clock.
    Timer1 = makeControl<QTimer>(this, "Timer1");
    Timer1->setTimerType(Qt::PreciseTimer);
    Timer1->setInterval(1000);
    Timer2 = makeControl<QTimer>(this, "Timer2");
    Timer2->setTimerType(Qt::PreciseTimer);
    Timer2->setInterval(1000);

    // The buttons, the display and the timing tick as the idle engine has them.
    showTiming();
    // The design caption of the status line, which start-up clears.
    SetAutoSizeText(Label7, QStringLiteral("正在计时..."));
}

void Form1::buildMenu()
{
    menuCaiDan = menuBar()->addMenu(QStringLiteral("菜单(&T)"));
    menuCaiDan->setObjectName(QStringLiteral("menuCaiDan"));
    menuCaiDan->menuAction()->setObjectName(QStringLiteral("menuCaiDanAction"));

    auto entry = [this](const char *name, const char *caption) {
        QAction *a = menuCaiDan->addAction(QString::fromUtf8(caption));
        a->setObjectName(QString::fromLatin1(name));
        return a;
    };
    menuChaoZhou = entry("menuChaoZhou", "技术支持(&S)");
    menuUpdate = entry("menuUpdate", "检查更新(&K)");
    nemuAbout = entry("nemuAbout", "关于本软件(&A)...");
    menuOption = entry("menuOption", "选项(&O)...");
    menuOption->setEnabled(false);
    nemuLine1 = menuCaiDan->addSeparator();
    nemuLine1->setObjectName(QStringLiteral("nemuLine1"));
    menuExit = entry("menuExit", "退出(&X)");
}

void Form1::connectHandlers()
{
    connect(Command1, &QPushButton::clicked, this, &Form1::Command1_Click);
    connect(Command2, &QPushButton::clicked, this, &Form1::Command2_Click);
    connect(Text1, &QLineEdit::textChanged, this, &Form1::Text1_Change);
    connect(Check1, &QCheckBox::toggled, this, &Form1::Check1_Click);
    connect(Check2, &QCheckBox::toggled, this, &Form1::Check2_Click);
    connect(Check3, &QCheckBox::toggled, this, &Form1::Check3_Click);
    connect(Timer1, &QTimer::timeout, this, &Form1::Timer1_Timer);
    connect(Timer2, &QTimer::timeout, this, &Form1::Timer2_Timer);
    connect(menuChaoZhou, &QAction::triggered, this, &Form1::menuChaoZhou_Click);
    connect(menuUpdate, &QAction::triggered, this, &Form1::menuUpdate_Click);
    connect(nemuAbout, &QAction::triggered, this, &Form1::nemuAbout_Click);
    connect(menuExit, &QAction::triggered, this, &Form1::menuExit_Click);
    // The tone holds the window: put this tick's texts on the screen first,
    // or it shows the previous second for the whole tone.
    core_.alarm().beforeTone = [this] { repaint(); };
    // A countdown's end calls the user back only when the window is behind.
    core_.ReportWindowActive([this] { return isActiveWindow() && !isMinimized(); });
    // The housekeeping tick runs from the created window on, so it already
    // ticks while the start-up waits for the vendor's site.
    Timer1->start();
}

void Form1::showTiming()
{
    const TimingLook &look = core_.timingLook();
    SetAutoSizeText(Label2, QString::fromStdString(look.display));
    QPalette display = Label2->palette();
    display.setColor(QPalette::WindowText, ToQColor(look.displayColour));
    Label2->setPalette(display);
    SetAutoSizeText(Label7, QString::fromStdString(look.status));
    showButton(Command1, look.command1);
    showButton(Command2, look.command2);
    if (look.timerOn != Timer2->isActive()) {
        if (look.timerOn)
            Timer2->start();
        else
            Timer2->stop();
    }
}

// --- start-up -----------------------------------------------------------------

void Form1::Form_Load()
{
    std::vector<PixelRect> screens;
    for (const QScreen *screen : QGuiApplication::screens())
        screens.push_back(ToPixelRect(screen->geometry()));
    const QSize frame = frameGeometry().size();
    // Device-independent pixels: 15 twips each, whatever the screen.
    const StartupState s = core_.Form_Load(frame.width(), frame.height(), screens, kDesignDpi);

    // Setting a control runs its own handler, which writes the value back.
    Text1->setText(QString::fromStdString(s.minutesText));
    move(s.left, s.top);
    Check1->setChecked(s.keepOnTop);
    Check2->setChecked(s.countdown);
    Check3->setChecked(s.menuBar);
    menuBar()->setVisible(s.menuBar);

    const QPointer<Form1> self(this);
    core_.FinishLoad([self] { return !self.isNull(); });
    if (!self)
        return;
    SetAutoSizeText(Label7, QString());
}

// --- timing ---------------------------------------------------------------------

void Form1::Command1_Click()
{
    core_.Command1_Click();
    showTiming();
}

void Form1::Command2_Click()
{
    core_.Command2_Click();
    showTiming();
}

void Form1::Timer2_Timer()
{
    const TickResult result = core_.Timer2_Timer(Text1->text().toStdString(), Check2->isChecked());
    showTiming();
    if (result.alarmDue)
        core_.SoundAlarm();
}

void Form1::Text1_Change()
{
    // A refused text: the message was shown; "5" comes back here and is stored.
    if (!core_.Text1_Change(Text1->text().toStdString()))
        Text1->setText(QStringLiteral("5"));
}

void Form1::Check2_Click()
{
    core_.Check2_Click(Check2->isChecked());
}

// --- options and links ------------------------------------------------------------

void Form1::Check1_Click()
{
    core_.Check1_Click(Check1->isChecked());
}

void Form1::Check3_Click()
{
    // The menu is the bar's only entry, so the whole bar goes with it.
    menuBar()->setVisible(Check3->isChecked());
    core_.Check3_Click(Check3->isChecked());
}

void Form1::ApplyKeepOnTop()
{
    core_.ApplyKeepOnTop(Check1->isChecked());
}

void Form1::menuChaoZhou_Click()
{
    core_.menuChaoZhou_Click();
}

// --- housekeeping and closing -------------------------------------------------------

void Form1::Timer1_Timer()
{
    const QPoint place = pos();
    core_.Timer1_Timer(
        place.x(), place.y(), kDesignDpi, Check1->isChecked(),
        [this](const std::string &title) { setWindowTitle(QString::fromStdString(title)); });
}

void Form1::closeEvent(QCloseEvent *event)
{
    // Every close request (close button, Alt+F4, the window manager) asks;
    // the window itself never closes, the program ends at once instead.
    event->ignore();
    core_.CloseRequested();
}

void Form1::menuExit_Click()
{
    core_.menuExit_Click();
}

// --- the other windows ----------------------------------------------------------------

void Form1::nemuAbout_Click()
{
    if (!about_) {
        const Services &s = core_.services();
        about_ = new FormAbout({.usageTotal = core_.usageTotal(),
                                .programVersion = core_.programVersion(),
                                .vendorUrl = s.vendorUrl},
                               *s.browser);
        about_->Form_Load();
    }
    about_->show();
    about_->raise();
    about_->activateWindow();
}

FormAbout *Form1::aboutWindow() const
{
    return about_.data();
}

void Form1::menuUpdate_Click()
{
    // The query below lets the event loop run before the window is up, so
    // this entry can be chosen again meanwhile; that choice does nothing.
    if (updateOpen_)
        return;
    updateOpen_ = true;
    Timer1->stop();

    QPointer<Form1> self(this);
    QPointer<FormUpdate> form =
        new FormUpdate(core_.services(), QString::fromStdString(core_.programVersion()));
    // It has no parent: it goes when the main window goes.
    connect(this, &QObject::destroyed, form, [f = form.data()] { delete f; });
    form->Form_Load();
    if (form && self)
        form->exec();
    delete form.data();
    if (!self)
        return;

    updateOpen_ = false;
    Timer1->start();
}
