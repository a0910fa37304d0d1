#pragma once

#include <QWidget>

class QLabel;
class Form1;

// The About window: version, usage total, the vendor's address as a link and
// the statement. Modeless and without owner; destroyed when closed.
class FormAbout : public QWidget {
    Q_OBJECT
public:
    explicit FormAbout(Form1 &main);

    QLabel *Label1 = nullptr;
    QLabel *Label3 = nullptr;
    QLabel *Label4 = nullptr;
    QLabel *Label5 = nullptr;
    QLabel *Label6 = nullptr;

    // Fills in the texts; runs once per window, so the usage total shown is
    // the one taken when the window was opened.
    void Form_Load();
    void Label5_Click();

    static QString Statement();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    Form1 &main_;
};
