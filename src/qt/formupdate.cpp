#include "qt/formupdate.h"

#include "core/mainwindow/mainwindowcore.h"
#include "qt/qtview.h"
#include "qt/windowhandle.h"

#include <QKeyEvent>
#include <QLabel>
#include <QPointer>
#include <QPushButton>

FormUpdate::FormUpdate(MainWindowCore &core, QWidget *parent) : QDialog(parent), core_(core)
{
    // A window of its own, not a dialog: the window manager would centre a
    // dialog over the program's windows instead of placing it as a new one.
    setWindowFlags(WindowFlagsOf(kFormUpdateDesign));
    setObjectName(ToQString(kFormUpdateDesign.name));
    setWindowTitle(ToQString(kFormUpdateDesign.title));
    // Modal to the whole program, so it needs no parent to block the main
    // window; without one the window system places it like any new window.
    setWindowModality(Qt::ApplicationModal);
    resize(ClientSizeOf(kFormUpdateDesign));
    if constexpr (!departure::kLinuxUpdateWindowInDesktopFont)
        setFont(DesignQFont(FontRole::Window));

    // Created in tab order, so focus moves Command1, Command2, Command3, and
    // the first of them shown has it when the window comes up.
    BuildControls(this, kFormUpdateDesign);
    Label1 = ControlOf<QLabel>(this, "Label1");
    Label2 = ControlOf<QLabel>(this, "Label2");
    Label3 = ControlOf<QLabel>(this, "Label3");
    Label4 = ControlOf<QLabel>(this, "Label4");
    Command1 = ControlOf<QPushButton>(this, "Command1");
    Command2 = ControlOf<QPushButton>(this, "Command2");
    Command3 = ControlOf<QPushButton>(this, "Command3");

    connect(Command1, &QPushButton::clicked, this, &FormUpdate::Command1_Click);
    connect(Command2, &QPushButton::clicked, this, &FormUpdate::Command2_Click);
    connect(Command3, &QPushButton::clicked, this, &FormUpdate::Command3_Click);
}

void FormUpdate::Form_Load()
{
    // The wait lets the event loop run; if the window goes away meanwhile
    // (its owner closed), touch nothing of it afterwards.
    QPointer<FormUpdate> self(this);
    const UpdateWindowLook look = core_.LoadUpdateWindow();
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
    core_.UpdateCommand1_Click(HandleOf(this));
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
