#pragma once

// The one rig of the Qt window tests: the fakes, a main window over them, and
// its controls found by their design names (objectNames), as a user finds
// them by sight.

#include "fakes/fakeservices.h"
#include "qt/form1.h"

#include <QAction>
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QTimer>
#include <QtTest>

#include <memory>

// The fakes' records as Qt lists, for QCOMPARE against Qt's own.
inline QStringList Q(const std::vector<std::string> &texts)
{
    QStringList out;
    for (const std::string &t : texts)
        out << QString::fromStdString(t);
    return out;
}
inline QList<bool> Q(const std::vector<bool> &flags)
{
    return QList<bool>(flags.begin(), flags.end());
}
inline QString Q(const std::string &text)
{
    return QString::fromStdString(text);
}

// The control of a window with this objectName; fails the test when missing.
template <typename T> T *Child(const QObject &window, const char *name)
{
    T *found = window.findChild<T *>(QString::fromLatin1(name));
    if (!found)
        qFatal("no control named %s", name);
    return found;
}

struct FormRig {
    FakeEnvironment env;
    std::unique_ptr<Form1> form;

    // The window as created; the housekeeping tick is stopped so that tests
    // call it when they want.
    explicit FormRig(bool load = false)
    {
        form = std::make_unique<Form1>(env.services());
        timer1()->stop();
        if (load)
            form->Form_Load();
    }
    Form1 &f() { return *form; }

    QPushButton *command1() const { return Child<QPushButton>(*form, "Command1"); }
    QPushButton *command2() const { return Child<QPushButton>(*form, "Command2"); }
    QLabel *label2() const { return Child<QLabel>(*form, "Label2"); }
    QLabel *label5() const { return Child<QLabel>(*form, "Label5"); }
    QLabel *label7() const { return Child<QLabel>(*form, "Label7"); }
    QLineEdit *text1() const { return Child<QLineEdit>(*form, "Text1"); }
    QCheckBox *check1() const { return Child<QCheckBox>(*form, "Check1"); }
    QCheckBox *check2() const { return Child<QCheckBox>(*form, "Check2"); }
    QCheckBox *check3() const { return Child<QCheckBox>(*form, "Check3"); }
    QTimer *timer1() const { return Child<QTimer>(*form, "Timer1"); }
    QTimer *timer2() const { return Child<QTimer>(*form, "Timer2"); }
    QMenu *menuCaiDan() const { return Child<QMenu>(*form, "menuCaiDan"); }
    QAction *action(const char *name) const { return Child<QAction>(*form, name); }

    QString display() const { return label2()->text(); }
    QString status() const { return label7()->text(); }
    QColor colour() const { return label2()->palette().color(QPalette::WindowText); }
    void ticks(int n)
    {
        for (int i = 0; i < n; ++i)
            form->Timer2_Timer();
    }
};

// A main window's core without its window, for the windows it opens.
struct CoreRig {
    FakeEnvironment env;
    MainWindowCore core{env.services(), nullptr};

    // Started as the main window's start-up does, from what the store holds
    // now; what that start-up asked the vendor's site is forgotten.
    void load()
    {
        core.Form_Load(314, 110, {}, kDesignDpi);
        core.FinishLoad([] { return true; });
        env.http.requested.clear();
    }
};
