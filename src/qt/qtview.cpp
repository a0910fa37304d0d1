#include "qt/qtview.h"

#include "qt/minutesentry.h"

#include <QCheckBox>
#include <QFontMetrics>
#include <QLabel>
#include <QPushButton>

namespace {

QWidget *makeWidget(QWidget *parent, ControlKind kind)
{
    switch (kind) {
    case ControlKind::PushButton:
        return new QPushButton(parent);
    case ControlKind::CheckBox:
        return new QCheckBox(parent);
    case ControlKind::TextBox:
        // The program's one entry is the minutes entry.
        return new MinutesEntry(parent);
    case ControlKind::FittedLabel:
    case ControlKind::FixedLabel:
    case ControlKind::WrappedLabel:
        break;
    }
    return new QLabel(parent);
}

// Its place, text and state; in its font already, as a fitted label takes its
// size from its text.
void placeAndFill(QWidget *control, const ControlDesign &design)
{
    const QRect place = PixelRectOf(design);
    const QString text = ToQString(design.text);
    if (design.kind == ControlKind::TextBox) {
        auto *entry = static_cast<MinutesEntry *>(control);
        entry->place(place);
        entry->setText(text);
        return;
    }
    control->setGeometry(place);
    if (auto *button = qobject_cast<QAbstractButton *>(control)) {
        button->setText(text);
        button->setChecked(design.checked);
        return;
    }
    auto *label = static_cast<QLabel *>(control);
    switch (design.kind) {
    case ControlKind::FittedLabel:
        // Keeps its left and top; its size comes from its text.
        if (!text.isEmpty())
            SetAutoSizeText(label, text);
        break;
    case ControlKind::WrappedLabel:
        label->setWordWrap(true);
        label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
        label->setText(text);
        break;
    default:
        label->setText(text);
        break;
    }
    if (design.clickable)
        label->setCursor(Qt::PointingHandCursor);
}

} // namespace

QFont DesignQFont(FontRole role)
{
    const FontDesign design = DesignFont(role);
    QFont font(ToQString(design.face));
    font.setPointSizeF(role == FontRole::Display ? departure::kLinuxDisplayPoints : design.points);
    font.setWeight(QFont::Normal);
    font.setUnderline(design.underline);
    return font;
}

QRect PixelRectOf(const ControlDesign &control)
{
    const DesignRect &r = control.rect;
    const PixelRect p = TwipsRect(r.left, r.top, r.width, r.height);
    return QRect(p.left, p.top, p.width - control.shortOnRight, p.height);
}

Qt::WindowFlags WindowFlagsOf(const WindowDesign &window)
{
    Qt::WindowFlags flags = Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                            Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint;
    flags.setFlag(Qt::WindowMinimizeButtonHint, window.minimizeBox);
    flags.setFlag(Qt::WindowMaximizeButtonHint, window.maximizeBox);
    flags.setFlag(Qt::MSWindowsFixedSizeDialogHint, window.frame == FrameKind::Fixed);
    return flags;
}

QSize ClientSizeOf(const WindowDesign &window)
{
    return QSize(TwipsToPixels(window.clientWidth), TwipsToPixels(window.clientHeight));
}

void BuildControls(QWidget *parent, const WindowDesign &window)
{
    QWidget *previousStop = nullptr;
    for (const ControlDesign &design : window.controls) {
        QWidget *control = makeWidget(parent, design.kind);
        if (design.font != FontRole::Window)
            control->setFont(DesignQFont(design.font));
        placeAndFill(control, design);
        control->setObjectName(ToQString(design.name));
        if (!design.tooltip.empty())
            control->setToolTip(ToQString(design.tooltip));
        if (!design.accessibleName.empty()) {
            control->setAccessibleName(ToQString(design.accessibleName));
            // Only a control without a caption of its own: a button's
            // description follows its tooltip as that changes.
            control->setAccessibleDescription(control->toolTip());
        }
        if (design.textColour || design.background) {
            QPalette palette = control->palette();
            if (design.textColour)
                palette.setColor(QPalette::WindowText, ToQColor(*design.textColour));
            if (design.background)
                palette.setColor(QPalette::Window, ToQColor(*design.background));
            control->setPalette(palette);
            control->setAutoFillBackground(design.background.has_value());
        }
        if (!design.enabled)
            control->setEnabled(false);
        if (!design.visible)
            control->hide();
        if (design.tabStop) {
            if (previousStop)
                QWidget::setTabOrder(previousStop, control);
            previousStop = control;
        }
    }
}

void SetAutoSizeText(QLabel *label, const QString &text)
{
    label->setWordWrap(false);
    label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    // A first glyph that reaches left of its pen (您 in some CJK faces) would
    // lose its first column to the label's left edge, which stays where it
    // was designed: the text moves right by that much instead.
    const QFontMetrics metrics(label->font());
    const QRect glyphs = metrics.boundingRect(text);
    const int lead = text.isEmpty() ? 0 : qMax(0, -glyphs.left());
    label->setContentsMargins(lead, 0, 0, 0);
    label->setText(text);
    label->adjustSize();
    if (text.isEmpty())
        return;
    // Qt sizes a label to its font's line height, but the Song face's glyphs
    // reach a row below it, and an underline can too: make room for both,
    // with the text kept at the top.
    int bottom = metrics.ascent() + glyphs.bottom() + 1;
    if (label->font().underline())
        bottom = qMax(bottom, metrics.ascent() + metrics.underlinePos() + metrics.lineWidth() + 1);
    label->resize(qMax(label->width(), lead + glyphs.right() + 1), qMax(label->height(), bottom));
}

void ShowButton(QPushButton *button, const ButtonLook &look)
{
    button->setText(QString::fromStdString(look.caption));
    button->setToolTip(QString::fromStdString(look.tooltip));
    button->setVisible(look.visible);
}
