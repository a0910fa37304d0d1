#include "qt/formupdate.h"

#include "core/update/updateflows.h"
#include "qt/qtview.h"

#include <QKeyEvent>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QTimer>

namespace {

QLabel *makeLabel(QWidget *parent, const char *name, const std::string &text, int left, int top)
{
    auto *label = new QLabel(parent);
    label->setObjectName(QLatin1String(name));
    label->move(TwipsToPixels(left), TwipsToPixels(top));
    SetAutoSizeText(label, QString::fromStdString(text));
    return label;
}

QPushButton *makeButton(QWidget *parent, const char *name, const std::string &text, int left,
                        int top, int width, int height)
{
    auto *button = new QPushButton(QString::fromStdString(text), parent);
    button->setObjectName(QLatin1String(name));
    button->setGeometry(FromTwips(left, top, width, height));
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
    resize(TwipsToPixels(5460), TwipsToPixels(2655));

    // Created in tab order, so focus moves Command1, Command2, Command3.
    const UpdateWindowLook laidOut = UpdateWindowLaidOut();
    Label1 = makeLabel(this, "Label1", laidOut.label1, 600, 360);
    Label2 = makeLabel(this, "Label2", laidOut.label2, 600, 720);
    Label3 = makeLabel(this, "Label3", laidOut.label3, 600, 1080);
    Command1 = makeButton(this, "Command1", "去下载最新版", 2160, 2040, 1335, 375);
    Command2 = makeButton(this, "Command2", "退出", 3720, 2040, 1215, 375);
    Command3 = makeButton(this, "Command3", "上网查看最新版本", 240, 2040, 1815, 375);
    Label4 = makeLabel(this, "Label4", "如果长时间没有反应，请直接上网查看最新版本", 600, 1680);
    Command1->hide();

    connect(Command1, &QPushButton::clicked, this, &FormUpdate::Command1_Click);
    connect(Command2, &QPushButton::clicked, this, &FormUpdate::Command2_Click);
    connect(Command3, &QPushButton::clicked, this, &FormUpdate::Command3_Click);
}

void FormUpdate::Form_Load()
{
    // The wait lets the event loop run; if the window goes away meanwhile
    // (its owner closed), touch nothing of it afterwards.
    QPointer<FormUpdate> self(this);
    const UpdateWindowLook look = LoadUpdateWindow(services_, programVersion_.toStdString());
    if (!self)
        return;
    SetAutoSizeText(Label1, QString::fromStdString(look.label1));
    SetAutoSizeText(Label2, QString::fromStdString(look.label2));
    SetAutoSizeText(Label3, QString::fromStdString(look.label3));
    Label4->setVisible(look.label4Visible);
    Command3->setVisible(look.command3Visible);
    Command1->setVisible(look.command1Visible);
}

void FormUpdate::Command1_Click()
{
    OpenUpdatePage(services_, this);
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
