#pragma once

#include "core/platform/services.h"

#include <QWidget>

#include <string>

class QLabel;

// The About window: version, usage total, the vendor's address as a link and
// the statement. Modeless and without owner; destroyed when closed.
class FormAbout : public QWidget {
    Q_OBJECT
public:
    // The values it shows, taken when it is opened.
    struct Values {
        double usageTotal = 0;
        std::string programVersion;
        std::string vendorUrl;
    };
    FormAbout(const Values &values, BrowserOpener &browser);

    // Fills in the texts; runs once per window, so the usage total shown is
    // the one taken when the window was opened.
    void Form_Load();
    void Label5_Click();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    Values values_;
    BrowserOpener &browser_;
    QLabel *Label1 = nullptr;
    QLabel *Label3 = nullptr;
    QLabel *Label4 = nullptr;
    QLabel *Label5 = nullptr;
    QLabel *Label6 = nullptr;
};
