#include "qt/qtmessageboxes.h"

#include "qt/windowhandle.h"

#include <QFontDatabase>
#include <QFontMetrics>
#include <QGridLayout>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>

namespace {

// A box as wide as its title needs. A short message makes a narrow box, and
// the window manager then shows "…" for the title: Qt leaves 50 px beside
// it, where title bars put an icon and three buttons as well. The room is
// reckoned in the title bar's font, bold as most window managers draw it.
void makeRoomForTitle(QMessageBox &box)
{
    auto *grid = qobject_cast<QGridLayout *>(box.layout());
    if (!grid || box.windowTitle().isEmpty())
        return;
    QFont font = QFontDatabase::systemFont(QFontDatabase::TitleFont);
    font.setBold(true);
    const QFontMetrics metrics(font);
    int wanted = metrics.horizontalAdvance(box.windowTitle()) + 7 * metrics.height();
    if (const QScreen *screen = box.screen())
        wanted = qMin(wanted, screen->availableGeometry().width() * 9 / 10);
    const QMargins margins = grid->contentsMargins();
    grid->addItem(new QSpacerItem(wanted - margins.left() - margins.right(), 0,
                                  QSizePolicy::Minimum, QSizePolicy::Minimum),
                  grid->rowCount(), 0, 1, grid->columnCount());
}

} // namespace

MessageAnswer QtMessageBoxes::show(WindowHandle owner, const MessageSpec &spec)
{
    QMessageBox box(WidgetOf(owner));
    box.setWindowTitle(QString::fromStdString(spec.title));
    box.setText(QString::fromStdString(spec.text));
    box.setIcon(spec.icon == MessageSpec::Icon::Question ? QMessageBox::Question
                                                         : QMessageBox::NoIcon);
    QPushButton *ok = box.addButton(QMessageBox::Ok);
    QPushButton *cancel = nullptr;
    if (spec.buttons == MessageSpec::Buttons::OkCancel) {
        cancel = box.addButton(QMessageBox::Cancel);
        box.setEscapeButton(cancel);
    } else {
        box.setEscapeButton(ok);
    }
    box.setDefaultButton(spec.cancelIsDefault && cancel ? cancel : ok);
    makeRoomForTitle(box);
    box.exec();
    return box.clickedButton() == ok ? MessageAnswer::Ok : MessageAnswer::Cancel;
}
