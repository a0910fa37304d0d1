#include "qt/formupdate.h"

#include "qt/form1.h"
#include "qt/versionquery.h"
#include "core/rules/versionrules.h"

#include <QKeyEvent>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QTimer>

namespace {

// Design sizes are in twips, 15 to a pixel.
int px(int twips)
{
    return qRound(twips / 15.0);
}

QLabel *makeLabel(QWidget *parent, const char *name, const QString &text, int left, int top)
{
    auto *label = new QLabel(parent);
    label->setObjectName(QLatin1String(name));
    label->move(px(left), px(top));
    SetAutoSizeText(label, text);
    return label;
}

QPushButton *makeButton(QWidget *parent, const char *name, const QString &text, int left, int top,
                        int width, int height)
{
    auto *button = new QPushButton(text, parent);
    button->setObjectName(QLatin1String(name));
    button->setGeometry(px(left), px(top), px(width), px(height));
    return button;
}

} // namespace

FormUpdate::FormUpdate(const Services &services, const QString &programVersion, QWidget *parent)
    : QDialog(parent), services_(services), programVersion_(programVersion)
{
    // A window of its own, not a dialog: the window manager would centre a
    // dialog over the program's windows instead of placing it as a new one.
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);
    setWindowTitle(QStringLiteral("检查更新"));
    // Modal to the whole program, so it needs no parent to block the main
    // window; without one the window system places it like any new window.
    setWindowModality(Qt::ApplicationModal);
    resize(px(5460), px(2655));

    // Created in tab order, so focus moves Command1, Command2, Command3.
    Label1 = makeLabel(this, "Label1", QStringLiteral("正在联网查看是否有最新版本..."), 600, 360);
    Label2 = makeLabel(this, "Label2", QStringLiteral("Label2"), 600, 720);
    Label3 = makeLabel(this, "Label3", QStringLiteral("Label3"), 600, 1080);
    Command1 = makeButton(this, "Command1", QStringLiteral("去下载最新版"), 2160, 2040, 1335, 375);
    Command2 = makeButton(this, "Command2", QStringLiteral("退出"), 3720, 2040, 1215, 375);
    Command3 =
        makeButton(this, "Command3", QStringLiteral("上网查看最新版本"), 240, 2040, 1815, 375);
    Label4 = makeLabel(this, "Label4", QStringLiteral("如果长时间没有反应，请直接上网查看最新版本"),
                       600, 1680);
    Command1->hide();

    connect(Command1, &QPushButton::clicked, this, &FormUpdate::Command1_Click);
    connect(Command2, &QPushButton::clicked, this, &FormUpdate::Command2_Click);
    connect(Command3, &QPushButton::clicked, this, &FormUpdate::Command3_Click);
}

void FormUpdate::Form_Load()
{
    SetAutoSizeText(Label2, QStringLiteral("当前版本为：") + programVersion_);
    SetAutoSizeText(Label3, QString());

    // The wait lets the event loop run; if the window goes away meanwhile
    // (its owner closed), touch nothing of it afterwards.
    QPointer<FormUpdate> self(this);
    const double newest = FetchNewestVersionNumber(*services_.http, services_.vendorUrl);
    if (!self)
        return;

    Label4->hide();
    Command3->hide();
    if (newest > OwnVersionNumber(services_)) {
        SetAutoSizeText(Label1, QStringLiteral("检查到有新的版本了"));
        SetAutoSizeText(Label3, QStringLiteral("最新版本为:") +
                                    QString::fromStdString(FormatVersionNumber(newest)));
        Command1->show();
    } else {
        SetAutoSizeText(Label1, QStringLiteral("您使用的版本已经是最新版的了，您无需下载更新"));
    }
}

void FormUpdate::Command1_Click()
{
    services_.browser->open(UpdatePageUrl(services_.vendorUrl));
    close();
}

void FormUpdate::Command2_Click()
{
    close();
}

void FormUpdate::Command3_Click()
{
    Command1_Click();
}

void FormUpdate::keyPressEvent(QKeyEvent *event)
{
    // The window has no cancel button, so Esc does not close it.
    if (event->key() == Qt::Key_Escape && event->modifiers() == Qt::NoModifier) {
        event->accept();
        return;
    }
    QDialog::keyPressEvent(event);
}

void FormUpdate::showEvent(QShowEvent *event)
{
    // QDialog's own handler would centre the window; leave that to the
    // window system.
    QWidget::showEvent(event); // NOLINT(bugprone-parent-virtual-call)
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
    QPointer<FormUpdate> form = new FormUpdate(services(), ProgramVersion);
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
