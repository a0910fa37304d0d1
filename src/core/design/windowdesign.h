#pragma once

#include "core/ui/colours.h"

#include <optional>
#include <span>
#include <string_view>

// Each window's design, declared once: its title, frame and client size, and
// every control with its design name, kind, rectangle, text at creation,
// tooltip, font and initial state, plus the menu. Both front ends build their
// windows by walking these tables (the Qt view sets each design name as the
// widget's objectName, the Windows view uses the id as the control id); they
// type no caption, tooltip or rectangle of their own.
//
// Geometry is in twips, 1440 to the inch, from the top left of the client
// area (twips.h converts at a DPI).

struct DesignRect {
    int left = 0;
    int top = 0;
    int width = 0;
    int height = 0;
};

enum class ControlKind {
    PushButton,
    FittedLabel,  // sizes itself to its text, keeping its left and top; never wraps
    FixedLabel,   // keeps its size; one line
    WrappedLabel, // keeps its size and breaks its text into lines
    TextBox,      // a single-line entry
    CheckBox,
};

// The fonts a control can have; DesignFont gives each one's face and size.
enum class FontRole {
    Window,  // the window's own font: 9 pt
    Display, // the time display and the two big buttons: 15.75 pt
    Status,  // the status line: 26.25 pt
    Link,    // the About window's address: 9 pt, underlined
};

struct FontDesign {
    std::string_view face{};
    double points = 9;
    bool underline = false;
    int charset = 134; // GB2312
};

FontDesign DesignFont(FontRole role);

struct ControlDesign {
    std::string_view name{};
    int id = 0;
    ControlKind kind = ControlKind::FittedLabel;
    DesignRect rect{};
    std::string_view text{};
    std::string_view tooltip{};
    FontRole font = FontRole::Window;
    bool visible = true;
    bool checked = false;
    bool enabled = true;
    // Takes the keyboard focus with Tab (buttons, the entry, the boxes).
    bool tabStop = false;
    // Reacts to a click although it is a label (the About window's address).
    bool clickable = false;
    std::optional<Rgb> textColour{};
    std::optional<Rgb> background{};
    // The name screen readers give a control without a caption of its own.
    std::string_view accessibleName{};
    // Pixels the control stops short of its design width on the right; see
    // the departures below.
    int shortOnRight = 0;
};

struct MenuEntryDesign {
    std::string_view name{};
    int id = 0;
    std::string_view caption{}; // "&" marks the access key; "" for a separator
    bool enabled = true;
    bool separator() const { return caption.empty(); }
};

struct MenuDesign {
    std::string_view name{};
    std::string_view caption{};
    std::span<const MenuEntryDesign> entries{};
};

struct TimerDesign {
    std::string_view name{};
    int id = 0;
    int intervalMs = 1000;
    bool enabled = false;
};

enum class FrameKind {
    Sizable, // the user may resize it; nothing follows the size
    Fixed,   // a single fixed frame
};

struct WindowDesign {
    std::string_view name{};
    std::string_view title{};
    int clientWidth = 0; // twips, below the menu bar
    int clientHeight = 0;
    FrameKind frame = FrameKind::Fixed;
    bool minimizeBox = false;
    bool maximizeBox = false;
    // In tab order, which is also the order of creation.
    std::span<const ControlDesign> controls{};
    const MenuDesign *menu = nullptr;
    std::span<const TimerDesign> timers{};
    // The control that has the keyboard focus when the window first shows;
    // where a window's outcome decides which buttons show (the update
    // window), the first shown control that takes Tab has it, and this one
    // when none does.
    std::string_view initialFocus{};
};

extern const WindowDesign kForm1Design;
extern const WindowDesign kFormAboutDesign;
extern const WindowDesign kFormUpdateDesign;

// The control of that design name; the program's own tables always hold the
// names its code asks for, so an unknown name is a programming error (it
// ends the program through std::terminate rather than draw a wrong control).
const ControlDesign &ControlNamed(const WindowDesign &window, std::string_view name);
// The same for menu entries and timers.
const MenuEntryDesign &MenuEntryNamed(const WindowDesign &window, std::string_view name);
const TimerDesign &TimerNamed(const WindowDesign &window, std::string_view name);

// Where a view departs from the design, and why: each departure once, here.
namespace departure {

// AR PL UMing, which stands in for 宋体 on Linux, draws its full-height glyphs
// a row lower than SimSun: at 15.75 pt "停止" and "时间到了" would touch the
// buttons' frames and the entry. 15 pt (20 px) keeps them inside.
inline constexpr double kLinuxDisplayPoints = 15;

// Command1, Command2 and the entry were drawn sharing one pixel column with
// their right-hand neighbours (the next button, the display, the unit); each
// stops one pixel short so that none covers another. The tables carry it as
// shortOnRight.
inline constexpr int kSharedColumn = 1;

// The minutes entry on Linux: numbers of up to four characters ("120",
// "12.5") show whole in its 24 x 18 px box (20 px inside the frame), in digits
// large enough to read. A sans face at 8.25 pt (a "5" of 8 px of ink), drawn
// narrower just as far as the widest such number needs, rather than the
// window's font.
inline constexpr std::string_view kLinuxEntryFaces[] = {"DejaVu Sans", "WenQuanYi Zen Hei"};
inline constexpr double kLinuxEntryPoints = 8.25;
inline constexpr std::string_view kEntryWidestText = "00.0";

// The Linux update window draws its texts in the desktop's own font, as it
// always has there, not in the Song face the other windows use.
inline constexpr bool kLinuxUpdateWindowInDesktopFont = true;

// Windows without SimSun (a fresh Wine prefix, a Windows without the Chinese
// supplemental fonts) would substitute a taller face, and texts would be cut
// or run into each other. There the Windows program draws in the installed
// Chinese face that fits best, and draws a size whose texts still do not fit
// the room the layout leaves them a quarter point smaller at a time, down to
// two thirds of the design size. The rooms, in twips:
struct TextRoom {
    FontRole role = FontRole::Window;
    // The tallest a line may be.
    int lineTwips = 0;
    // A text that must fit widthTwips (none when empty).
    std::string_view widest{};
    int widthTwips = 0;
    // Captions centred in a button lineTwips high, whose ink must stay
    // inside the button's raised edge (none when empty).
    std::string_view captions{};
};

// The window's own 9 pt: four lines of the About statement in its 855 twips
// (also the rows of the update window and the check boxes' 255).
inline constexpr TextRoom kWindowTextRoom{FontRole::Window, 855 / 4};
// The buttons' 15.75 pt: every caption the start and pause buttons take,
// inside the edge of a button 345 twips high (the Song faces' glyphs fill
// their whole line, and would touch it).
inline constexpr TextRoom kButtonTextRoom{FontRole::Display, 345, {}, 0, "开始停止暂停继续"};
// The time display's 15.75 pt, which also ends before the minutes entry:
// the longest text it shows, from its left to the entry's.
inline constexpr TextRoom kDisplayTextRoom{FontRole::Display, 345, "时间到了", 3360 - 2160};
// The status line's 26.25 pt: a line above the check boxes, 600 twips lower.
inline constexpr TextRoom kStatusTextRoom{FontRole::Status, 1080 - 480};

// The room of a control's text: the display font's room differs between the
// buttons and the time display; the link is drawn at the window's size.
inline const TextRoom &TextRoomOf(const ControlDesign &control)
{
    switch (control.font) {
    case FontRole::Display:
        return control.kind == ControlKind::PushButton ? kButtonTextRoom : kDisplayTextRoom;
    case FontRole::Status:
        return kStatusTextRoom;
    case FontRole::Window:
    case FontRole::Link:
        break;
    }
    return kWindowTextRoom;
}

} // namespace departure
