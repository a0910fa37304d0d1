#pragma once

// What the Qt windows share: building a window's controls from its design
// table, and showing what the core decides.

#include "core/design/windowdesign.h"
#include "core/timing/timingengine.h"
#include "core/ui/colours.h"
#include "core/ui/twips.h"

#include <QColor>
#include <QFont>
#include <QRect>
#include <QString>
#include <QWidget>

#include <string_view>

class QLabel;
class QPushButton;

inline QString ToQString(std::string_view text)
{
    return QString::fromUtf8(text.data(), qsizetype(text.size()));
}

inline QColor ToQColor(const Rgb &rgb)
{
    return QColor(rgb.red, rgb.green, rgb.blue);
}

inline PixelRect ToPixelRect(const QRect &rect)
{
    return {rect.x(), rect.y(), rect.width(), rect.height()};
}

// The font of a design's role, as the Linux windows draw it (with the sizes
// the Song face needs here).
QFont DesignQFont(FontRole role);

// A control's design rectangle in device-independent pixels (15 twips each),
// short on the right by what its design says.
QRect PixelRectOf(const ControlDesign &control);

// The title-bar buttons and frame the design gives the window.
Qt::WindowFlags WindowFlagsOf(const WindowDesign &window);

// The design's client area in device-independent pixels.
QSize ClientSizeOf(const WindowDesign &window);

// Makes every control of the design inside parent, in tab order, each named by
// its design name (its objectName): its kind, place, text, tooltip, font,
// colours and initial state. Controls in the window's own font take parent's.
void BuildControls(QWidget *parent, const WindowDesign &window);

// The control of that design name under window. The window was built from
// the design that holds the names its code asks for, so a name not found is
// a programming error: it ends the program rather than draw a wrong control.
template <typename T> T *ControlOf(const QWidget *window, std::string_view name)
{
    T *found = window->findChild<T *>(ToQString(name));
    if (!found)
        qFatal("no control %.*s", int(name.size()), name.data());
    return found;
}

// Sets a label's text and fits the label to it; such labels never wrap.
void SetAutoSizeText(QLabel *label, const QString &text);

// A button's caption, tooltip and visibility as the core decided them.
void ShowButton(QPushButton *button, const ButtonLook &look);
