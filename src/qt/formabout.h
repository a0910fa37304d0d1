#pragma once

#include <QWidget>

class MainWindowCore;
class QLabel;

// The About window: version, usage total, the vendor's address as a link and
// the statement, as the main window's core gives them. Modeless and without
// owner; destroyed when closed.
class FormAbout : public QWidget {
    Q_OBJECT
public:
    explicit FormAbout(MainWindowCore &core);

    // Fills in the texts; runs once per window, so the usage total shown is
    // the one taken when the window was opened.
    void Form_Load();
    void Label5_Click();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    MainWindowCore &core_;
    QLabel *Label1 = nullptr;
    QLabel *Label3 = nullptr;
    QLabel *Label5 = nullptr;
    QLabel *Label6 = nullptr;
};
