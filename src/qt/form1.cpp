#include "qt/form1.h"

#include "qt/appicon.h"
#include "qt/fonts.h"
#include "qt/formabout.h"
#include "core/store/settingsstore.h"

#include <QAction>
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QTimer>

namespace {

// Geometry is designed in twips; at 96 dpi fifteen make one device-independent
// pixel, which Qt scales for high-DPI screens by itself.
int px(int twips)
{
    return qRound(twips / 15.0);
}

QRect twipsRect(int left, int top, int width, int height)
{
    return QRect(px(left), px(top), px(width), px(height));
}

template <typename W> W *makeControl(QWidget *parent, const char *name)
{
    auto *w = new W(parent);
    w->setObjectName(QString::fromLatin1(name));
    return w;
}

} // namespace

Form1::Form1(const Services &services, QWidget *parent)
    : QMainWindow(parent, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                              Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                              Qt::WindowCloseButtonHint),
      services_(services)
{
    setObjectName(QStringLiteral("Form1"));
    setWindowTitle(QStringLiteral("计时器"));
    setWindowIcon(AppIcon());
    buildControls();
    buildMenu();
    // The design size: a 314 x 91 client area below the menu bar. Resizing
    // later only clips or adds space; nothing follows the window's size.
    resize(px(4710), px(1365) + menuBar()->sizeHint().height());
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
    Command1->setText(QStringLiteral("开始"));
    Command1->setToolTip(QStringLiteral("点一下开始计时"));
    Command1->setGeometry(twipsRect(480, 38, 855, 345).adjusted(0, 0, -1, 0));
    Command1->setFont(big);

    Command2 = makeControl<QPushButton>(client, "Command2");
    Command2->setText(QStringLiteral("暂停"));
    Command2->setGeometry(twipsRect(1320, 38, 855, 345).adjusted(0, 0, -1, 0));
    Command2->setFont(big);
    Command2->hide();

    Label2 = makeControl<QLabel>(client, "Label2");
    Label2->setFont(big);
    Label2->setAutoFillBackground(true);
    QPalette display = Label2->palette();
    display.setColor(QPalette::Window, QColor(192, 255, 255));
    display.setColor(QPalette::WindowText, QColor(0, 0, 255));
    Label2->setPalette(display);
    Label2->move(px(2160), px(53));
    SetAutoSizeText(Label2, QStringLiteral("0:00:00"));

    Text1 = makeControl<QLineEdit>(client, "Text1");
    Text1->setText(QStringLiteral("5"));
    Text1->setToolTip(QStringLiteral("时间只剩10秒时将会有声音提醒"));
    Text1->setGeometry(twipsRect(3360, 75, 375, 270).adjusted(0, 0, -1, 0));
    // A box 24 pixels wide: a small sans face, and the text closer to the
    // frame, so that four characters ("0.25") show whole instead of scrolling.
    QFont entry;
    entry.setFamilies({QStringLiteral("WenQuanYi Zen Hei"), QStringLiteral("AR PL UMing CN")});
    entry.setPointSizeF(6.75);
    Text1->setFont(entry);
    Text1->setTextMargins(-1, 0, -1, 0);
    // Buttons and boxes are named by their captions; the entry has none of its
    // own, so screen readers get the unit beside it.
    Text1->setAccessibleName(QStringLiteral("分钟"));
    Text1->setAccessibleDescription(Text1->toolTip());

    Label5 = makeControl<QLabel>(client, "Label5");
    Label5->move(px(3720), px(120));
    SetAutoSizeText(Label5, QStringLiteral("分钟"));

    Label7 = makeControl<QLabel>(client, "Label7");
    Label7->setFont(SongFont(26.25));
    Label7->move(px(480), px(480));
    SetAutoSizeText(Label7, QStringLiteral("正在计时..."));

    Check1 = makeControl<QCheckBox>(client, "Check1");
    Check1->setText(QStringLiteral("置最前"));
    Check1->setToolTip(QStringLiteral("是否将本软件置于屏幕最前"));
    Check1->setGeometry(twipsRect(120, 1080, 855, 255));

    Check2 = makeControl<QCheckBox>(client, "Check2");
    Check2->setText(QStringLiteral("倒计时"));
    Check2->setToolTip(QStringLiteral("是否显示为倒计时模式"));
    Check2->setGeometry(twipsRect(1080, 1080, 855, 255));

    Check3 = makeControl<QCheckBox>(client, "Check3");
    Check3->setText(QStringLiteral("菜单"));
    Check3->setToolTip(QStringLiteral("是否显示系统菜单"));
    Check3->setGeometry(twipsRect(2160, 1080, 735, 255));
    Check3->setChecked(true);

    setTabOrder(Command1, Command2);
    setTabOrder(Command2, Text1);
    setTabOrder(Text1, Check1);
    setTabOrder(Check1, Check2);
    setTabOrder(Check2, Check3);

    Timer1 = new QTimer(this);
    Timer1->setObjectName(QStringLiteral("Timer1"));
    Timer1->setTimerType(Qt::PreciseTimer);
    Timer1->setInterval(1000);

    Timer2 = new QTimer(this);
    Timer2->setObjectName(QStringLiteral("Timer2"));
    // Precise, so that counted ticks keep pace with the wall clock.
    Timer2->setTimerType(Qt::PreciseTimer);
    Timer2->setInterval(1000);
}

void Form1::buildMenu()
{
    menuCaiDan = menuBar()->addMenu(QStringLiteral("菜单(&T)"));
    menuCaiDan->setObjectName(QStringLiteral("menuCaiDan"));
    menuCaiDanAction = menuCaiDan->menuAction();
    menuCaiDanAction->setObjectName(QStringLiteral("menuCaiDanAction"));

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
    if (services_.alarm)
        services_.alarm->onCannotPlay = [this] { alarmCannotPlay(); };
    // The housekeeping tick runs from the created window on, so it already
    // ticks while the start-up waits for the vendor's site.
    Timer1->start();
}

void SetAutoSizeText(QLabel *label, const QString &text)
{
    label->setWordWrap(false);
    label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    label->setText(text);
    label->adjustSize();
    if (text.isEmpty())
        return;
    // Qt sizes a label to its font's line height, but the Song face's glyphs
    // reach a row below it, and an underline can too: make room for both,
    // with the text kept at the top.
    const QFontMetrics metrics(label->font());
    const QRect glyphs = metrics.boundingRect(text);
    int bottom = metrics.ascent() + glyphs.bottom() + 1;
    if (label->font().underline())
        bottom = qMax(bottom, metrics.ascent() + metrics.underlinePos() + metrics.lineWidth() + 1);
    label->resize(qMax(label->width(), glyphs.right() + 1), qMax(label->height(), bottom));
}

QString Form1::readSetting(const QString &name) const
{
    return QString::fromStdString(services_.store->ReadSetting(
        RegistryRoot::LocalMachine, SettingsKey.toStdString(), name.toStdString()));
}

void Form1::writeSetting(const QString &name, const QString &text) const
{
    services_.store->WriteSetting(RegistryRoot::LocalMachine, SettingsKey.toStdString(),
                                  name.toStdString(), text.toStdString());
}
