// The two remembered options of the main window (keep on top, menu bar) and
// the link to the product page.

#include "qt/form1.h"
#include "core/rules/numbertext.h"

#include <QCheckBox>
#include <QMenuBar>

namespace {

QString checkText(const QCheckBox *box)
{
    return QString::fromStdString(SignedPlaceText(box->isChecked() ? 1 : 0));
}

} // namespace

void Form1::Check1_Click()
{
    // Only stored here: the next housekeeping tick applies it to the window.
    writeSetting(QStringLiteral("Check1"), checkText(Check1));
}

void Form1::Check3_Click()
{
    // The menu is the bar's only entry, so the whole bar goes with it.
    menuBar()->setVisible(Check3->isChecked());
    writeSetting(QStringLiteral("Check3"), checkText(Check3));
}

void Form1::ApplyKeepOnTop()
{
    services_.stacking->setKeepOnTop(this, Check1->isChecked());
}

void Form1::menuChaoZhou_Click()
{
    services_.browser->open(services_.vendorUrl + QStringLiteral("/brk/"));
}
