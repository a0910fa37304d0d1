#include "qt/formabout.h"

#include "core/mainwindow/about.h"
#include "qt/appicon.h"
#include "qt/fonts.h"
#include "qt/qtview.h"

#include <QAccessibleWidget>
#include <QEvent>
#include <QLabel>
#include <QMouseEvent>
#include <QUrl>

namespace {

QLabel *makeLabel(QWidget *parent, const char *name, const QRect &rect)
{
    auto *label = new QLabel(parent);
    label->setObjectName(QString::fromLatin1(name));
    label->setGeometry(rect);
    return label;
}

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

FormAbout::FormAbout(const Values &values, BrowserOpener &browser)
    : QWidget(nullptr, Qt::Window | Qt::CustomizeWindowHint | Qt::MSWindowsFixedSizeDialogHint |
                           Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                           Qt::WindowCloseButtonHint),
      values_(values), browser_(browser)
{
    setObjectName(QStringLiteral("FormAbout"));
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(QStringLiteral("About Brisko（计时器）"));
    setAccessibleName(windowTitle());
    setWindowIcon(AppIcon());
    setFixedSize(TwipsToPixels(5565), TwipsToPixels(3090));
    // The labels' own font: the Song face at the system's usual 9 pt, whose
    // lines are low enough for the statement's four lines to fit its label.
    setFont(SongFont(9));

    Label1 = makeLabel(this, "Label1", FromTwips(240, 240, 900, 180));
    SetAutoSizeText(Label1, QStringLiteral("当前版本："));
    Label3 = makeLabel(this, "Label3", FromTwips(240, 1200, 1800, 180));
    Label4 = makeLabel(this, "Label4", FromTwips(240, 1680, 1095, 255));
    Label4->setText(QStringLiteral("官方网址："));
    Label5 = makeLabel(this, "Label5", FromTwips(1440, 1680, 1620, 180));
    QFont link = SongFont(9);
    link.setUnderline(true);
    Label5->setFont(link);
    QPalette blue = Label5->palette();
    blue.setColor(QPalette::WindowText, ToQColor(kLinkBlue));
    Label5->setPalette(blue);
    Label5->setCursor(Qt::PointingHandCursor);
    SetAutoSizeText(Label5, QUrl(QString::fromStdString(values_.vendorUrl)).host());
    Label5->installEventFilter(this);
    Label6 = makeLabel(this, "Label6", FromTwips(240, 2160, 5175, 855));
    Label6->setWordWrap(true);
    Label6->setAlignment(Qt::AlignLeft | Qt::AlignTop);
}

void FormAbout::Form_Load()
{
    const AboutTexts texts = MakeAboutTexts(values_.programVersion, values_.usageTotal);
    SetAutoSizeText(Label1, QString::fromStdString(texts.label1));
    SetAutoSizeText(Label3, QString::fromStdString(texts.label3));
    Label6->setText(QString::fromStdString(texts.label6));
}

void FormAbout::Label5_Click()
{
    browser_.open(this, HomePageUrl(values_.vendorUrl));
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
