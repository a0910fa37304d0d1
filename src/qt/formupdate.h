#pragma once

#include <QDialog>

class MainWindowCore;
class QLabel;
class QPushButton;

// The "检查更新" window: shows this program's version and, after the main
// window's core has asked the vendor's site, either the newest version with a
// way to download it or that nothing newer exists. Made anew for every
// opening.
class FormUpdate : public QDialog {
    Q_OBJECT
public:
    explicit FormUpdate(MainWindowCore &core, QWidget *parent = nullptr);

    // Runs the query and fills in the outcome. Call before showing, so the
    // window comes up once, already complete.
    void Form_Load();

    void Command1_Click();
    void Command2_Click();
    void Command3_Click();

protected:
    void keyPressEvent(QKeyEvent *event) override;
    void showEvent(QShowEvent *event) override;

private:
    MainWindowCore &core_;
    // Controls, under their design names (also their objectNames).
    QLabel *Label1 = nullptr;
    QLabel *Label2 = nullptr;
    QLabel *Label3 = nullptr;
    QLabel *Label4 = nullptr;
    QPushButton *Command1 = nullptr;
    QPushButton *Command2 = nullptr;
    QPushButton *Command3 = nullptr;
};
