#include "qt/formabout.h"

#include "core/mainwindow/mainwindowcore.h"
#include "qt/appicon.h"
#include "qt/qtview.h"
#include "qt/windowhandle.h"

#include <QAccessibleWidget>
#include <QEvent>
#include <QLabel>
#include <QMouseEvent>

namespace {

// A plain QWidget reaches assistive technology as a pane ("filler"), even as a
// top-level window; this one is a frame that screen readers list by title.
QAccessibleInterface *aboutAccessible(const QString &className, QObject *object)
{
    if (className == QLatin1String("FormAbout") && object && object->isWidgetType())
        return new QAccessibleWidget(static_cast<QWidget *>(object), QAccessible::Window);
    return nullptr;
}

// Installed before any About window is made. Qt keeps the first interface it
// makes for an object, and while a screen reader listens that one is made as
// the window is being built (its title is announced), before a factory
// installed from the window's own constructor could be asked.
[[maybe_unused]] const bool kAboutIsAWindow = (QAccessible::installFactory(aboutAccessible), true);

} // namespace

FormAbout::FormAbout(MainWindowCore &core)
    : QWidget(nullptr, WindowFlagsOf(kFormAboutDesign)), core_(core)
{
    setObjectName(ToQString(kFormAboutDesign.name));
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(ToQString(kFormAboutDesign.title));
    setAccessibleName(windowTitle());
    setWindowIcon(AppIcon());
    setFixedSize(ClientSizeOf(kFormAboutDesign));
    // The labels' own font: the Song face at the system's usual 9 pt, whose
    // lines are low enough for the statement's four lines to fit its label.
    setFont(DesignQFont(FontRole::Window));
    BuildControls(this, kFormAboutDesign);
    Label1 = ControlOf<QLabel>(this, "Label1");
    Label3 = ControlOf<QLabel>(this, "Label3");
    Label5 = ControlOf<QLabel>(this, "Label5");
    Label6 = ControlOf<QLabel>(this, "Label6");
    Label5->installEventFilter(this);
}

void FormAbout::Form_Load()
{
    const AboutTexts texts = core_.AboutWindowTexts();
    SetAutoSizeText(Label1, QString::fromStdString(texts.label1));
    SetAutoSizeText(Label3, QString::fromStdString(texts.label3));
    SetAutoSizeText(Label5, QString::fromStdString(texts.label5));
    Label6->setText(QString::fromStdString(texts.label6));
}

void FormAbout::Label5_Click()
{
    core_.AboutLabel5_Click(HandleOf(this));
}

bool FormAbout::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == Label5 && event->type() == QEvent::MouseButtonRelease &&
        static_cast<QMouseEvent *>(event)->button() == Qt::LeftButton) {
        Label5_Click();
        return true;
    }
    return QWidget::eventFilter(watched, event);
}
