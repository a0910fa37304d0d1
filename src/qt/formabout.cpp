#include "qt/formabout.h"

#include "qt/appicon.h"
#include "qt/fonts.h"
#include "qt/form1.h"
#include "core/rules/durationtext.h"

#include <QAccessibleWidget>
#include <QEvent>
#include <QLabel>
#include <QMouseEvent>
#include <QUrl>

namespace {

QRect twipsRect(int left, int top, int width, int height)
{
    return QRect(qRound(left / 15.0), qRound(top / 15.0), qRound(width / 15.0),
                 qRound(height / 15.0));
}

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

} // namespace

FormAbout::FormAbout(Form1 &main)
    : QWidget(nullptr, Qt::Window | Qt::CustomizeWindowHint | Qt::MSWindowsFixedSizeDialogHint |
                           Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                           Qt::WindowCloseButtonHint),
      main_(main)
{
    setObjectName(QStringLiteral("FormAbout"));
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(QStringLiteral("About Brisko（计时器）"));
    setAccessibleName(windowTitle());
    static const bool accessibleAsWindow = (QAccessible::installFactory(aboutAccessible), true);
    Q_UNUSED(accessibleAsWindow);
    setWindowIcon(AppIcon());
    setFixedSize(qRound(5565 / 15.0), qRound(3090 / 15.0));
    // The labels' own font: the Song face at the system's usual 9 pt, whose
    // lines are low enough for the statement's four lines to fit its label.
    setFont(SongFont(9));

    Label1 = makeLabel(this, "Label1", twipsRect(240, 240, 900, 180));
    SetAutoSizeText(Label1, QStringLiteral("当前版本："));
    Label3 = makeLabel(this, "Label3", twipsRect(240, 1200, 1800, 180));
    Label4 = makeLabel(this, "Label4", twipsRect(240, 1680, 1095, 255));
    Label4->setText(QStringLiteral("官方网址："));
    Label5 = makeLabel(this, "Label5", twipsRect(1440, 1680, 1620, 180));
    QFont link = SongFont(9);
    link.setUnderline(true);
    Label5->setFont(link);
    QPalette blue = Label5->palette();
    blue.setColor(QPalette::WindowText, QColor(0, 0, 255));
    Label5->setPalette(blue);
    Label5->setCursor(Qt::PointingHandCursor);
    SetAutoSizeText(Label5, QUrl(main_.services().vendorUrl).host());
    Label5->installEventFilter(this);
    Label6 = makeLabel(this, "Label6", twipsRect(240, 2160, 5175, 855));
    Label6->setWordWrap(true);
    Label6->setAlignment(Qt::AlignLeft | Qt::AlignTop);
}

QString FormAbout::Statement()
{
    return QStringLiteral("声明：本软件是纯绿色软件，无需安装，无插件，无病毒，不修改主页，完全免费"
                          "使用（永久免费），") +
           QStringLiteral("本软件的著作权归 Pelmora 所有") +
           QStringLiteral("，任何其它人/公司不得修改本软件代码并用之于商业开发");
}

void FormAbout::Form_Load()
{
    SetAutoSizeText(Label1, QStringLiteral("当前版本为：") + main_.ProgramVersion);
    SetAutoSizeText(Label3, QStringLiteral("您已使用本软件合计有 ") +
                                QString::fromStdString(FormatSeconds(main_.UsageTotal)));
    Label6->setText(Statement());
}

void FormAbout::Label5_Click()
{
    main_.services().browser->open(main_.services().vendorUrl + QStringLiteral("/"));
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

void Form1::nemuAbout_Click()
{
    if (!about_) {
        about_ = new FormAbout(*this);
        about_->Form_Load();
    }
    about_->show();
    about_->raise();
    about_->activateWindow();
}

FormAbout *Form1::aboutWindow() const
{
    return about_.data();
}
