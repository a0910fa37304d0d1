// What a start brings back from the store, in this order: the minutes, the
// window's position, the usage total, the three options; then the version
// string, the new-version notice, the alarm file's path and the status line.
//
// Setting a control runs its own change handler, which writes the value back.

#include "qt/form1.h"
#include "core/rules/numbertext.h"
#include "core/store/settingsstore.h"

#include <QCheckBox>
#include <QDir>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QScreen>

namespace {

constexpr double kDefaultEdgeTwips = 1000;

double edgeOrDefault(double stored)
{
    return stored > 0 ? stored : kDefaultEdgeTwips;
}

// Positions beyond any screen are clamped before the conversion to int, so
// an absurd stored number can't overflow; such a window is off every screen
// anyway and gets the default place below.
int twipsToPixels(double twips)
{
    const double limit = 1e7;
    return qRound(qBound(-limit, twips, limit) / 15.0);
}

bool onSomeScreen(const QRect &frame)
{
    const auto screens = QGuiApplication::screens();
    for (const QScreen *screen : screens)
        if (screen->geometry().intersects(frame))
            return true;
    // Without any screen there is nothing to be off of.
    return screens.isEmpty();
}

} // namespace

void Form1::Form_Load()
{
    SettingsKey = QString::fromLatin1(kSettingsKey);

    if (LeadingNumber(readSetting(QStringLiteral("text1")).toStdString()) > 0) {
        const double minutes = LeadingNumber(readSetting(QStringLiteral("Text1")).toStdString());
        Text1->setText(QString::fromStdString(PlainDecimalText(minutes)));
    } else {
        Text1->setText(QStringLiteral("5"));
    }

    const double top =
        edgeOrDefault(LeadingNumber(readSetting(QStringLiteral("Top")).toStdString()));
    const double left =
        edgeOrDefault(LeadingNumber(readSetting(QStringLiteral("Left")).toStdString()));
    QPoint place(twipsToPixels(left), twipsToPixels(top));
    // A place remembered from a screen that is gone (unplugged, resolution
    // changed) would open the window out of sight for good, as every tick
    // stores it again. Any part visible is enough to keep it.
    if (!onSomeScreen(QRect(place, frameGeometry().size())))
        place = QPoint(twipsToPixels(kDefaultEdgeTwips), twipsToPixels(kDefaultEdgeTwips));
    move(place);

    UsageTotal = LeadingNumber(readSetting(QStringLiteral("js00")).toStdString());

    Check1->setChecked(LeadingNumber(readSetting(QStringLiteral("Check1")).toStdString()) == 1);
    Check2->setChecked(LeadingNumber(readSetting(QStringLiteral("Check2")).toStdString()) == 1);
    const bool menuShown = LeadingNumber(readSetting(QStringLiteral("Check3")).toStdString()) == 1;
    Check3->setChecked(menuShown);
    menuBar()->setVisible(menuShown);

    ProgramVersion = QStringLiteral("V%1.%2.%3")
                         .arg(services_.versionMajor)
                         .arg(services_.versionMinor)
                         .arg(services_.versionRevision);

    NotifyNewVersion();

    AlarmFilePath =
        QDir::toNativeSeparators(services_.files->programFolder() + QStringLiteral("/sound.mp3"));

    SetAutoSizeText(Label7, QString());
}
