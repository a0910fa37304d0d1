#pragma once

#include "core/mainwindow/mainwindowcore.h"

#include <QMainWindow>
#include <QPointer>

class QAction;
class QCheckBox;
class QLabel;
class QLineEdit;
class QMenu;
class QPushButton;
class QTimer;
class FormAbout;

// The main window, a view over MainWindowCore: it builds its controls from
// the window's design (their design names are their objectNames), hands
// every click, change and tick to the core under the handler's design name,
// and draws the core's look afterwards.
class Form1 : public QMainWindow {
    Q_OBJECT
public:
    explicit Form1(const Services &services, QWidget *parent = nullptr);
    ~Form1() override;

    // Start-up: restores the stored state. Runs once, before the first show.
    void Form_Load();

    // The handlers, one per control event, as the controls' signals call them.
    void Command1_Click();
    void Command2_Click();
    void Text1_Change();
    void Check1_Click();
    void Check2_Click();
    void Check3_Click();
    void Timer1_Timer();
    void Timer2_Timer();
    void menuChaoZhou_Click();
    void menuUpdate_Click();
    void nemuAbout_Click();
    void menuExit_Click();

    MainWindowCore &core() { return core_; }
    const MainWindowCore &core() const { return core_; }
    FormAbout *aboutWindow() const;

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    void buildMenu();
    void buildTimers();
    void connectHandlers();
    // The look: what the boxes, the entry and the menu bar show, the timing,
    // and whether the housekeeping tick runs.
    void draw();
    void drawTiming();
    void drawHousekeeping();

    MainWindowCore core_;
    QPointer<FormAbout> about_;

    QPushButton *Command1 = nullptr;
    QPushButton *Command2 = nullptr;
    QLabel *Label2 = nullptr;
    QLineEdit *Text1 = nullptr;
    QLabel *Label7 = nullptr;
    QCheckBox *Check1 = nullptr;
    QCheckBox *Check2 = nullptr;
    QCheckBox *Check3 = nullptr;
    QTimer *Timer1 = nullptr;
    QTimer *Timer2 = nullptr;
    QMenu *menuCaiDan = nullptr;
};
