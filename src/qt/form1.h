#pragma once

#include "qt/services.h"

#include <QMainWindow>
#include <QPointer>
#include <QString>

class QAction;
class QCheckBox;
class QLabel;
class QLineEdit;
class QMenu;
class QPushButton;
class QTimer;
class FormAbout;
class FormUpdate;

// Sets a label's text and fits the label to it; such labels never wrap.
void SetAutoSizeText(QLabel *label, const QString &text);

// The main window: the timer's controls, its menu and the handlers behind
// them. The handlers of each area live in their own file:
//   form1.cpp           the layout and the menu
//   windowoptions.cpp   keep-on-top, the menu bar box, the links
//   timingengine.cpp    stopwatch, countdown and alarm
//   startup.cpp         what a start brings back from the store
//   housekeeping.cpp    the one-second tick, closing and quitting
//   newversionnotice.cpp, formupdate.cpp  the version check and the update window
class Form1 : public QMainWindow {
    Q_OBJECT
public:
    explicit Form1(const Services &services, QWidget *parent = nullptr);
    ~Form1() override;

    // Controls, under their design names (also their objectNames).
    QPushButton *Command1 = nullptr;
    QPushButton *Command2 = nullptr;
    QLabel *Label2 = nullptr;
    QLineEdit *Text1 = nullptr;
    QLabel *Label5 = nullptr;
    QLabel *Label7 = nullptr;
    QCheckBox *Check1 = nullptr;
    QCheckBox *Check2 = nullptr;
    QCheckBox *Check3 = nullptr;
    QTimer *Timer1 = nullptr;
    QTimer *Timer2 = nullptr;
    QMenu *menuCaiDan = nullptr;
    QAction *menuCaiDanAction = nullptr;
    QAction *menuChaoZhou = nullptr;
    QAction *menuUpdate = nullptr;
    QAction *nemuAbout = nullptr;
    QAction *menuOption = nullptr;
    QAction *nemuLine1 = nullptr;
    QAction *menuExit = nullptr;

    // Values shared with the other windows, set by Form_Load.
    QString SettingsKey = QStringLiteral("SOFTWARE\\Pelmora\\Brisko");
    double UsageTotal = 0;
    QString ProgramVersion;
    QString AlarmFilePath;

    // Seconds counted in the current run.
    double js1 = 0;

    // Start-up: restores the stored state. Runs once, before the first show.
    void Form_Load();

    // Timing.
    void Command1_Click();
    void Command2_Click();
    void Check2_Click();
    void Text1_Change();
    void Timer2_Timer();
    void FaShengYin(const QString &FileName);

    // Options and links.
    void Check1_Click();
    void Check3_Click();
    void ApplyKeepOnTop();
    void menuChaoZhou_Click();

    // Housekeeping and closing.
    void Timer1_Timer();
    void menuExit_Click();

    // Other windows.
    void nemuAbout_Click();
    void menuUpdate_Click();
    void NotifyNewVersion();

    const Services &services() const { return services_; }
    FormAbout *aboutWindow() const;

    // The text the title shows after "计时器 " for a time of day.
    static QString TimeOfDayText(const QTime &time);

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    void buildControls();
    void buildMenu();
    void connectHandlers();
    QString readSetting(const QString &name) const;
    void writeSetting(const QString &name, const QString &text) const;
    double minutesTarget() const;
    bool askCloseQuestion();
    void soundTone();
    void stopAlarm();
    void alarmCannotPlay();

    Services services_;
    QPointer<FormAbout> about_;
    bool updateOpen_ = false;
    bool endRequested_ = false;
    // An alarm file was handed to the player and not stopped since.
    bool alarmLive_ = false;
};
