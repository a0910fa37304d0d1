#include "qt/form1.h"

#include "qt/appicon.h"
#include "qt/formabout.h"
#include "qt/formupdate.h"
#include "qt/qtview.h"
#include "qt/windowhandle.h"

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
#include <QSignalBlocker>
#include <QTimer>

Form1::Form1(const Services &services, QWidget *parent)
    : QMainWindow(parent, WindowFlagsOf(kForm1Design)), core_(services, HandleOf(this))
{
    setObjectName(ToQString(kForm1Design.name));
    setWindowTitle(ToQString(kForm1Design.title));
    setWindowIcon(AppIcon());

    auto *client = new QWidget(this);
    client->setObjectName(QStringLiteral("client"));
    // The window's own font, which the controls without one of their own take.
    client->setFont(DesignQFont(FontRole::Window));
    setCentralWidget(client);
    BuildControls(client, kForm1Design);
    Command1 = ControlOf<QPushButton>(this, "Command1");
    Command2 = ControlOf<QPushButton>(this, "Command2");
    Label2 = ControlOf<QLabel>(this, "Label2");
    Text1 = ControlOf<QLineEdit>(this, "Text1");
    Label7 = ControlOf<QLabel>(this, "Label7");
    Check1 = ControlOf<QCheckBox>(this, "Check1");
    Check2 = ControlOf<QCheckBox>(this, "Check2");
    Check3 = ControlOf<QCheckBox>(this, "Check3");
    buildMenu();
    buildTimers();

    // The design's client area below the menu bar. Resizing later only clips
    // or adds space; nothing follows the window's size.
    const QSize designed = ClientSizeOf(kForm1Design);
    resize(designed.width(), designed.height() + menuBar()->sizeHint().height());
    connectHandlers();
    draw();
    ControlOf<QWidget>(this, kForm1Design.initialFocus)->setFocus();
}

Form1::~Form1()
{
    // The About window has no owner; it goes when the program goes.
    delete about_.data();
}

void Form1::buildMenu()
{
    const MenuDesign &menu = *kForm1Design.menu;
    menuCaiDan = menuBar()->addMenu(ToQString(menu.caption));
    menuCaiDan->setObjectName(ToQString(menu.name));
    menuCaiDan->menuAction()->setObjectName(ToQString(menu.name) + QStringLiteral("Action"));
    for (const MenuEntryDesign &entry : menu.entries) {
        QAction *action = entry.separator() ? menuCaiDan->addSeparator()
                                            : menuCaiDan->addAction(ToQString(entry.caption));
        action->setObjectName(ToQString(entry.name));
        action->setEnabled(entry.enabled);
    }
}

void Form1::buildTimers()
{
    for (const TimerDesign &design : kForm1Design.timers) {
        auto *timer = new QTimer(this);
        timer->setObjectName(ToQString(design.name));
        // Precise, so that counted ticks keep pace with the wall clock.
        timer->setTimerType(Qt::PreciseTimer);
        timer->setInterval(design.intervalMs);
    }
    Timer1 = ControlOf<QTimer>(this, "Timer1");
    Timer2 = ControlOf<QTimer>(this, "Timer2");
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
    const auto onEntry = [this](const char *name, void (Form1::*handler)()) {
        connect(ControlOf<QAction>(this, name), &QAction::triggered, this, handler);
    };
    onEntry("menuChaoZhou", &Form1::menuChaoZhou_Click);
    onEntry("menuUpdate", &Form1::menuUpdate_Click);
    onEntry("nemuAbout", &Form1::nemuAbout_Click);
    onEntry("menuExit", &Form1::menuExit_Click);
    // The tone holds the window: put this tick's texts on the screen first,
    // or it shows the previous second for the whole tone.
    core_.SetBeforeTone([this] { repaint(); });
    // A countdown's end calls the user back only when the window is behind.
    core_.ReportWindowActive([this] { return isActiveWindow() && !isMinimized(); });
    // The housekeeping tick runs from the created window on, so it already
    // ticks while the start-up waits for the vendor's site.
    for (const TimerDesign &design : kForm1Design.timers)
        if (design.enabled)
            ControlOf<QTimer>(this, design.name)->start();
}

void Form1::draw()
{
    const MainWindowLook &look = core_.look();
    setWindowTitle(QString::fromStdString(look.title));
    // The core holds these already: the controls' own handlers must not run
    // again for them.
    const QString minutes = QString::fromStdString(look.minutes);
    if (Text1->text() != minutes) {
        const QSignalBlocker quiet(Text1);
        Text1->setText(minutes);
    }
    for (const auto &[box, checked] :
         {std::pair{Check1, look.keepOnTop}, std::pair{Check2, look.countdown},
          std::pair{Check3, look.menuBar}}) {
        const QSignalBlocker quiet(box);
        box->setChecked(checked);
    }
    // The menu is the bar's only entry, so the whole bar goes with it.
    if (menuBar()->isVisibleTo(this) != look.menuBar)
        menuBar()->setVisible(look.menuBar);
    drawTiming();
}

void Form1::drawTiming()
{
    const TimingLook &look = core_.look().timing;
    SetAutoSizeText(Label2, QString::fromStdString(look.display));
    QPalette display = Label2->palette();
    display.setColor(QPalette::WindowText, ToQColor(look.displayColour));
    Label2->setPalette(display);
    SetAutoSizeText(Label7, QString::fromStdString(look.status));
    ShowButton(Command1, look.startStop);
    ShowButton(Command2, look.pauseContinue);
    if (look.timerOn != Timer2->isActive()) {
        if (look.timerOn)
            Timer2->start();
        else
            Timer2->stop();
    }
}

void Form1::drawHousekeeping()
{
    const bool on = core_.look().housekeepingOn;
    if (on != Timer1->isActive()) {
        if (on)
            Timer1->start();
        else
            Timer1->stop();
    }
}

// --- start-up -----------------------------------------------------------------

void Form1::Form_Load()
{
    std::vector<PixelRect> screens;
    for (const QScreen *screen : QGuiApplication::screens())
        screens.push_back(ToPixelRect(screen->geometry()));
    const QSize frame = frameGeometry().size();
    // Device-independent pixels: 15 twips each, whatever the screen. The core
    // has stored back what differs from the design already.
    const StartupState s = core_.Form_Load(frame.width(), frame.height(), screens, kDesignDpi);
    move(s.left, s.top);
    draw();

    const QPointer<Form1> self(this);
    core_.FinishLoad([self] { return !self.isNull(); });
    if (!self)
        return;
    draw();
}

// --- timing ---------------------------------------------------------------------

void Form1::Command1_Click()
{
    core_.Command1_Click();
    drawTiming();
}

void Form1::Command2_Click()
{
    core_.Command2_Click();
    drawTiming();
}

void Form1::Timer2_Timer()
{
    const TickResult result = core_.Timer2_Timer();
    drawTiming();
    if (result.alarmDue)
        core_.SoundAlarm();
}

void Form1::Text1_Change()
{
    // A refused text has had its message; the entry shows the minutes the
    // core went back to.
    core_.Text1_Change(Text1->text().toStdString());
    draw();
}

void Form1::Check2_Click()
{
    core_.Check2_Click(Check2->isChecked());
    draw();
}

// --- options and links ------------------------------------------------------------

void Form1::Check1_Click()
{
    core_.Check1_Click(Check1->isChecked());
    draw();
}

void Form1::Check3_Click()
{
    core_.Check3_Click(Check3->isChecked());
    draw();
}

void Form1::menuChaoZhou_Click()
{
    core_.menuChaoZhou_Click();
}

// --- housekeeping and closing -------------------------------------------------------

void Form1::Timer1_Timer()
{
    const QPoint place = pos();
    core_.Timer1_Timer(place.x(), place.y(), kDesignDpi);
    setWindowTitle(QString::fromStdString(core_.look().title));
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
        about_ = new FormAbout(core_);
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
    if (!core_.menuUpdate_Click())
        return;
    drawHousekeeping();

    QPointer<Form1> self(this);
    QPointer<FormUpdate> form = new FormUpdate(core_);
    // It has no parent: it goes when the main window goes.
    connect(this, &QObject::destroyed, form, [f = form.data()] { delete f; });
    form->Form_Load();
    if (form && self)
        form->exec();
    delete form.data();
    if (!self)
        return;

    core_.UpdateWindowClosed();
    drawHousekeeping();
}
