// Everything the three windows show is wholly visible with the fonts this
// machine has: no control outside its window or over another, no text cut by
// its control's edge or frame, no entry scrolling its number out of sight.
//
// With BRISKO_LAYOUT_SHOTS=<folder> the windows are also saved as PNG files,
// one per state checked, to look at.

#include "core/design/windowdesign.h"
#include "fakes/fakeservices.h"
#include "fakes/qtrig.h"
#include "qt/fonts.h"
#include "qt/form1.h"
#include "qt/formabout.h"
#include "qt/formupdate.h"

#include <QAbstractButton>
#include <QAction>
#include <QCheckBox>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPushButton>
#include <QStyleOption>
#include <QTest>
#include <QTimer>

class TestLayout : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { InstallFontSubstitutions(); }
    void windowsHoldTheirDesign();
    void mainWindowInEveryState();
    void aboutWindow();
    void updateWindow();
};

namespace {

// The box around the ink of a text drawn into area when nothing clips it.
QRect inkOf(const QFont &font, const QRect &area, int flags, const QString &text)
{
    const int room = 400;
    QImage canvas(area.size() + QSize(2 * room, 2 * room), QImage::Format_ARGB32_Premultiplied);
    canvas.fill(Qt::transparent);
    QPainter painter(&canvas);
    painter.setFont(font);
    painter.setPen(Qt::black);
    painter.drawText(QRect(QPoint(room, room), area.size()), flags | Qt::TextDontClip, text);
    painter.end();
    QRect ink;
    for (int y = 0; y < canvas.height(); ++y)
        for (int x = 0; x < canvas.width(); ++x)
            if (qAlpha(canvas.pixel(x, y)) != 0)
                ink |= QRect(x, y, 1, 1);
    return ink.translated(area.topLeft() - QPoint(room, room));
}

QString describe(QWidget *w, const QString &what)
{
    return w->objectName() + QStringLiteral(": ") + what;
}

QString rectText(const QRect &r)
{
    return QStringLiteral("%1,%2 %3x%4").arg(r.x()).arg(r.y()).arg(r.width()).arg(r.height());
}

// Whether the whole of a control's text can be seen, drawn the way the
// control draws it.
QStringList textProblems(QWidget *w)
{
    QRect area;
    QRect visible;
    int flags = 0;
    QString text;
    if (auto *label = qobject_cast<QLabel *>(w)) {
        text = label->text();
        area = label->contentsRect();
        // The label draws its text unclipped by its margins.
        visible = label->rect();
        flags = int(label->alignment()) | (label->wordWrap() ? int(Qt::TextWordWrap) : 0);
    } else if (auto *button = qobject_cast<QAbstractButton *>(w)) {
        QStyleOptionButton option;
        option.initFrom(button);
        option.text = button->text();
        text = button->text();
        if (qobject_cast<QCheckBox *>(w)) {
            area = w->style()->subElementRect(QStyle::SE_CheckBoxContents, &option, w);
            visible = w->rect();
            flags = Qt::AlignLeft | Qt::AlignVCenter | Qt::TextShowMnemonic;
        } else {
            area = w->style()->subElementRect(QStyle::SE_PushButtonContents, &option, w);
            // Inside the button's outline.
            visible = w->rect().adjusted(1, 1, -1, -1);
            flags = Qt::AlignCenter | Qt::TextShowMnemonic;
        }
    } else if (auto *entry = qobject_cast<QLineEdit *>(w)) {
        QStringList problems;
        // An entry whose text is wider than its box scrolls it with the
        // cursor: drawn with the cursor at either end, it would differ.
        const int cursor = entry->cursorPosition();
        entry->setCursorPosition(0);
        const QImage atStart = entry->grab().toImage();
        entry->setCursorPosition(int(entry->text().size()));
        const QImage atEnd = entry->grab().toImage();
        entry->setCursorPosition(cursor);
        if (atStart != atEnd)
            problems << describe(w, QStringLiteral("\"%1\" scrolls").arg(entry->text()));
        QStyleOptionFrame option;
        option.initFrom(entry);
        option.rect = entry->rect();
        option.lineWidth = w->style()->pixelMetric(QStyle::PM_DefaultFrameWidth, &option, w);
        option.state |= QStyle::State_Sunken;
        const QRect inside = w->style()
                                 ->subElementRect(QStyle::SE_LineEditContents, &option, w)
                                 .marginsRemoved(entry->textMargins());
        if (entry->fontMetrics().height() > inside.height())
            problems << describe(w, QStringLiteral("a line of %1 px in %2 px")
                                        .arg(entry->fontMetrics().height())
                                        .arg(inside.height()));
        return problems;
    }
    if (text.isEmpty())
        return {};
    const QRect ink = inkOf(w->font(), area, flags, text);
    if (visible.contains(ink))
        return {};
    return {describe(
        w,
        QStringLiteral("\"%1\" needs %2, shows %3").arg(text, rectText(ink), rectText(visible)))};
}

// Every control of a window: inside it, over no other, its text whole.
QStringList layoutProblems(QWidget *window)
{
    QStringList problems;
    QList<QWidget *> shown;
    for (QWidget *w : window->findChildren<QWidget *>(QString(), Qt::FindDirectChildrenOnly))
        if (w->isVisibleTo(window) && !w->geometry().isEmpty())
            shown << w;
    for (qsizetype i = 0; i < shown.size(); ++i) {
        QWidget *w = shown[i];
        if (!window->rect().contains(w->geometry()))
            problems << describe(w, QStringLiteral("%1 is outside the window's %2")
                                        .arg(rectText(w->geometry()), rectText(window->rect())));
        for (qsizetype j = i + 1; j < shown.size(); ++j)
            if (w->geometry().intersects(shown[j]->geometry()))
                problems << describe(w, QStringLiteral("%1 overlaps %2 %3")
                                            .arg(rectText(w->geometry()), shown[j]->objectName(),
                                                 rectText(shown[j]->geometry())));
        problems << textProblems(w);
    }
    return problems;
}

void saveShot(QWidget *window, const QString &name)
{
    const QString folder = qEnvironmentVariable("BRISKO_LAYOUT_SHOTS");
    if (!folder.isEmpty() && QDir().mkpath(folder))
        window->grab().save(QDir(folder).filePath(name + QStringLiteral(".png")));
}

} // namespace

#define CHECK_LAYOUT(container, state)                                                             \
    do {                                                                                           \
        saveShot((container)->window(), state);                                                    \
        const QStringList problems = layoutProblems(container);                                    \
        QVERIFY2(problems.isEmpty(),                                                               \
                 qPrintable(QStringLiteral(state ": ") + problems.join(QStringLiteral("; "))));    \
    } while (false)

// Each window holds what its design lists, where the design puts it and as it
// is before anything happened: a control the view left out, placed or
// captioned on its own shows here.
void TestLayout::windowsHoldTheirDesign()
{
    CoreRig rig;
    Form1 main(rig.env.services());
    FormAbout about(rig.core);
    FormUpdate update(rig.core);
    const QList<QPair<QWidget *, const WindowDesign *>> windows = {
        {&main, &kForm1Design}, {&about, &kFormAboutDesign}, {&update, &kFormUpdateDesign}};
    auto q = [](std::string_view text) { return QString::fromUtf8(text.data(), text.size()); };
    QStringList wrong;
    for (const auto &[window, design] : windows) {
        if (window->windowTitle() != q(design->title))
            wrong << q(design->name) + QStringLiteral(": title ") + window->windowTitle();
        for (const ControlDesign &c : design->controls) {
            const QString name = q(design->name) + QLatin1Char('.') + q(c.name);
            auto *w = window->findChild<QWidget *>(q(c.name));
            if (!w) {
                wrong << name + QStringLiteral(" missing");
                continue;
            }
            const PixelRect px = TwipsRect(c.rect.left, c.rect.top, c.rect.width, c.rect.height);
            QRect expected(px.left, px.top, px.width - c.shortOnRight, px.height);
            // A fitted label keeps its left and top and takes its text's size.
            if (c.kind == ControlKind::FittedLabel)
                expected.setSize(w->size());
            QString text;
            if (auto *label = qobject_cast<QLabel *>(w))
                text = label->text();
            else if (auto *button = qobject_cast<QAbstractButton *>(w))
                text = button->text();
            else if (auto *entry = qobject_cast<QLineEdit *>(w))
                text = entry->text();
            auto *box = qobject_cast<QCheckBox *>(w);
            const QList<QPair<bool, const char *>> checks = {
                {w->geometry() == expected, "place"},
                {text == q(c.text), "text"},
                {w->toolTip() == q(c.tooltip), "tooltip"},
                {w->isHidden() != c.visible, "visibility"},
                {w->isEnabled() == c.enabled, "enabled"},
                {bool(w->focusPolicy() & Qt::TabFocus) == c.tabStop, "tab stop"},
                {!box || box->isChecked() == c.checked, "checked"},
            };
            for (const auto &[ok, what] : checks)
                if (!ok)
                    wrong << name + QLatin1Char(' ') + QLatin1String(what);
        }
    }
    const QList<QAction *> entries = Child<QMenu>(main, "menuCaiDan")->actions();
    QCOMPARE(entries.size(), qsizetype(kForm1Design.menu->entries.size()));
    for (qsizetype i = 0; i < entries.size(); ++i) {
        const MenuEntryDesign &e = kForm1Design.menu->entries[size_t(i)];
        if (entries[i]->objectName() != q(e.name) || entries[i]->text() != q(e.caption) ||
            entries[i]->isEnabled() != e.enabled || entries[i]->isSeparator() != e.separator())
            wrong << q(e.name);
    }
    QVERIFY2(wrong.isEmpty(), qPrintable(wrong.join(QStringLiteral("; "))));
}

void TestLayout::mainWindowInEveryState()
{
    FakeEnvironment env;
    Form1 form(env.services());
    Child<QTimer>(form, "Timer1")->stop();
    form.Form_Load();
    form.show();
    QWidget *client = form.centralWidget();
    CHECK_LAYOUT(client, "first-run");

    // The entry's digits as tall as a reader needs: a "5" of 8 px of ink or
    // more, however its frame and margins make room for longer numbers.
    const QImage entry = Child<QLineEdit>(form, "Text1")->grab().toImage();
    int top = -1;
    int bottom = -1;
    for (int y = 0; y < entry.height(); ++y)
        for (int x = 0; x < entry.width(); ++x)
            if (qGray(entry.pixel(x, y)) < 128) {
                top = top < 0 ? y : top;
                bottom = y;
            }
    QVERIFY2(top >= 0 && bottom - top + 1 >= 8,
             qPrintable(QStringLiteral("the 5 is %1 px tall").arg(bottom - top + 1)));

    // Numbers as they are typed into the entry.
    for (const char *minutes : {"0.25", "0.51", "12.5", "120", "5"}) {
        Child<QLineEdit>(form, "Text1")->setText(QString::fromLatin1(minutes));
        CHECK_LAYOUT(client, "minutes");
    }

    Child<QPushButton>(form, "Command1")->click();
    form.Timer2_Timer();
    form.Timer2_Timer();
    QCOMPARE(Child<QLabel>(form, "Label7")->text(), QStringLiteral("正在计时中..."));
    CHECK_LAYOUT(client, "stopwatch");
    Child<QPushButton>(form, "Command2")->click();
    QCOMPARE(Child<QPushButton>(form, "Command2")->text(), QStringLiteral("继续"));
    CHECK_LAYOUT(client, "paused");
    Child<QPushButton>(form, "Command2")->click();
    // To the hours, tick by tick: the count is the engine's own.
    while (form.core().engine().count() < 35998)
        form.Timer2_Timer();
    QCOMPARE(Child<QLabel>(form, "Label2")->text(), QStringLiteral("9:59:58"));
    CHECK_LAYOUT(client, "stopwatch-hours");
    Child<QPushButton>(form, "Command1")->click();

    Child<QCheckBox>(form, "Check2")->setChecked(true);
    Child<QCheckBox>(form, "Check3")->setChecked(true);
    Child<QPushButton>(form, "Command1")->click();
    form.Timer2_Timer();
    form.Timer2_Timer();
    QCOMPARE(Child<QLabel>(form, "Label7")->text(), QStringLiteral("倒计时进行中..."));
    CHECK_LAYOUT(client, "countdown");
    while (form.core().engine().count() < 299)
        form.Timer2_Timer();
    form.Timer2_Timer();
    QCOMPARE(Child<QLabel>(form, "Label2")->text(), QStringLiteral("时间到了"));
    CHECK_LAYOUT(client, "finished");
}

void TestLayout::aboutWindow()
{
    FakeEnvironment env;
    env.store.set("js00", " 35999");
    Form1 form(env.services());
    Child<QTimer>(form, "Timer1")->stop();
    form.Form_Load();
    form.show();
    Child<QAction>(form, "nemuAbout")->trigger();
    FormAbout *about = form.aboutWindow();
    QVERIFY(about);
    QCOMPARE(Child<QLabel>(*about, "Label3")->text(),
             QStringLiteral("您已使用本软件合计有 9:59:59"));
    CHECK_LAYOUT(about, "about");
}

// As laid out (never seen, but built), and with each outcome of its query.
void TestLayout::updateWindow()
{
    for (const char *page : {"", "[123]", "[122]"}) {
        CoreRig rig;
        rig.load();
        rig.env.http.bodies["http://vendor.test/brk/newver.htm"] = page;
        FormUpdate form(rig.core);
        if (*page)
            form.Form_Load();
        form.show();
        QVERIFY(QTest::qWaitForWindowExposed(&form));
        const QString state = QStringLiteral("update-%1").arg(QString::fromLatin1(page));
        saveShot(&form, state.chopped(*page ? 1 : 0).remove(QLatin1Char('[')));
        const QStringList problems = layoutProblems(&form);
        QVERIFY2(problems.isEmpty(),
                 qPrintable(state + QStringLiteral(": ") + problems.join(QStringLiteral("; "))));
    }
}

QTEST_MAIN(TestLayout)
#include "tst_layout.moc"
