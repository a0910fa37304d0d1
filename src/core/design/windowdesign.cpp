#include "core/design/windowdesign.h"

#include <array>
#include <exception>

namespace {

using K = ControlKind;
using F = FontRole;

// --- Form1, the main window -------------------------------------------------------

constexpr std::array kForm1Controls{
    ControlDesign{.name = "Command1",
                  .id = 101,
                  .kind = K::PushButton,
                  .rect = {480, 38, 855, 345},
                  .text = "开始",
                  .tooltip = "点一下开始计时",
                  .font = F::Display,
                  .tabStop = true,
                  .shortOnRight = departure::kSharedColumn},
    ControlDesign{.name = "Command2",
                  .id = 102,
                  .kind = K::PushButton,
                  .rect = {1320, 38, 855, 345},
                  .text = "暂停",
                  .font = F::Display,
                  .visible = false,
                  .tabStop = true,
                  .shortOnRight = departure::kSharedColumn},
    ControlDesign{.name = "Label2",
                  .id = 103,
                  .kind = K::FittedLabel,
                  .rect = {2160, 53, 1155, 315},
                  .text = "0:00:00",
                  .font = F::Display,
                  .textColour = kDisplayBlue,
                  .background = kDisplayBackground},
    ControlDesign{.name = "Text1",
                  .id = 104,
                  .kind = K::TextBox,
                  .rect = {3360, 75, 375, 270},
                  .text = "5",
                  .tooltip = "时间只剩10秒时将会有声音提醒",
                  .tabStop = true,
                  // Buttons and boxes are named by their captions; the entry
                  // has none, so screen readers get the unit beside it.
                  .accessibleName = "分钟",
                  .shortOnRight = departure::kSharedColumn},
    ControlDesign{.name = "Label5",
                  .id = 105,
                  .kind = K::FittedLabel,
                  .rect = {3720, 120, 360, 180},
                  .text = "分钟"},
    // Start-up clears the design caption, so the user first sees it empty.
    ControlDesign{.name = "Label7",
                  .id = 106,
                  .kind = K::FittedLabel,
                  .rect = {480, 480, 2910, 525},
                  .text = "正在计时...",
                  .font = F::Status},
    ControlDesign{.name = "Check1",
                  .id = 107,
                  .kind = K::CheckBox,
                  .rect = {120, 1080, 855, 255},
                  .text = "置最前",
                  .tooltip = "是否将本软件置于屏幕最前",
                  .tabStop = true},
    ControlDesign{.name = "Check2",
                  .id = 108,
                  .kind = K::CheckBox,
                  .rect = {1080, 1080, 855, 255},
                  .text = "倒计时",
                  .tooltip = "是否显示为倒计时模式",
                  .tabStop = true},
    // Checked as designed; start-up sets it from the store, so a first run
    // shows it clear.
    ControlDesign{.name = "Check3",
                  .id = 109,
                  .kind = K::CheckBox,
                  .rect = {2160, 1080, 735, 255},
                  .text = "菜单",
                  .tooltip = "是否显示系统菜单",
                  .checked = true,
                  .tabStop = true},
};

constexpr std::array kForm1MenuEntries{
    MenuEntryDesign{.name = "menuChaoZhou", .id = 121, .caption = "技术支持(&S)"},
    MenuEntryDesign{.name = "menuUpdate", .id = 122, .caption = "检查更新(&K)"},
    MenuEntryDesign{.name = "nemuAbout", .id = 123, .caption = "关于本软件(&A)..."},
    // There from the start and never available.
    MenuEntryDesign{.name = "menuOption", .id = 124, .caption = "选项(&O)...", .enabled = false},
    MenuEntryDesign{.name = "nemuLine1", .id = 126, .caption = ""},
    MenuEntryDesign{.name = "menuExit", .id = 125, .caption = "退出(&X)"},
};

constexpr MenuDesign kForm1Menu{
    .name = "menuCaiDan", .caption = "菜单(&T)", .entries = kForm1MenuEntries};

constexpr std::array kForm1Timers{
    TimerDesign{.name = "Timer1", .id = 110, .intervalMs = 1000, .enabled = true},
    TimerDesign{.name = "Timer2", .id = 111, .intervalMs = 1000, .enabled = false},
};

// --- FormAbout ---------------------------------------------------------------------

constexpr std::array kFormAboutControls{
    // Its load step replaces the design text before the window shows.
    ControlDesign{.name = "Label1",
                  .id = 201,
                  .kind = K::FittedLabel,
                  .rect = {240, 240, 900, 180},
                  .text = "当前版本："},
    ControlDesign{
        .name = "Label3", .id = 203, .kind = K::FittedLabel, .rect = {240, 1200, 1800, 180}},
    ControlDesign{.name = "Label4",
                  .id = 204,
                  .kind = K::FixedLabel,
                  .rect = {240, 1680, 1095, 255},
                  .text = "官方网址："},
    // Its text is the host name of the vendor's address.
    ControlDesign{.name = "Label5",
                  .id = 205,
                  .kind = K::FittedLabel,
                  .rect = {1440, 1680, 1620, 180},
                  .font = F::Link,
                  .clickable = true,
                  .textColour = kLinkBlue},
    ControlDesign{
        .name = "Label6", .id = 206, .kind = K::WrappedLabel, .rect = {240, 2160, 5175, 855}},
};

// --- FormUpdate --------------------------------------------------------------------

constexpr std::array kFormUpdateControls{
    ControlDesign{.name = "Label1",
                  .id = 301,
                  .kind = K::FittedLabel,
                  .rect = {600, 360, 2610, 180},
                  .text = "正在联网查看是否有最新版本..."},
    // Placeholders until the load step fills them in.
    ControlDesign{.name = "Label2",
                  .id = 302,
                  .kind = K::FittedLabel,
                  .rect = {600, 720, 540, 180},
                  .text = "Label2"},
    ControlDesign{.name = "Label3",
                  .id = 303,
                  .kind = K::FittedLabel,
                  .rect = {600, 1080, 540, 180},
                  .text = "Label3"},
    ControlDesign{.name = "Command1",
                  .id = 311,
                  .kind = K::PushButton,
                  .rect = {2160, 2040, 1335, 375},
                  .text = "去下载最新版",
                  .visible = false,
                  .tabStop = true},
    ControlDesign{.name = "Command2",
                  .id = 312,
                  .kind = K::PushButton,
                  .rect = {3720, 2040, 1215, 375},
                  .text = "退出",
                  .tabStop = true},
    ControlDesign{.name = "Command3",
                  .id = 313,
                  .kind = K::PushButton,
                  .rect = {240, 2040, 1815, 375},
                  .text = "上网查看最新版本",
                  .tabStop = true},
    ControlDesign{.name = "Label4",
                  .id = 304,
                  .kind = K::FittedLabel,
                  .rect = {600, 1680, 3780, 180},
                  .text = "如果长时间没有反应，请直接上网查看最新版本"},
};

template <typename Row, typename Rows> const Row &named(const Rows &rows, std::string_view name)
{
    for (const Row &row : rows)
        if (row.name == name)
            return row;
    std::terminate();
}

} // namespace

const WindowDesign kForm1Design{
    .name = "Form1",
    .title = "计时器",
    .clientWidth = 4710,
    .clientHeight = 1365,
    .frame = FrameKind::Sizable,
    .minimizeBox = true,
    .controls = kForm1Controls,
    .menu = &kForm1Menu,
    .timers = kForm1Timers,
    .initialFocus = "Command1",
};

const WindowDesign kFormAboutDesign{
    .name = "FormAbout",
    .title = "About Brisko（计时器）",
    .clientWidth = 5565,
    .clientHeight = 3090,
    .frame = FrameKind::Fixed,
    .controls = kFormAboutControls,
};

const WindowDesign kFormUpdateDesign{
    .name = "FormUpdate",
    .title = "检查更新",
    .clientWidth = 5460,
    .clientHeight = 2655,
    .frame = FrameKind::Sizable,
    .controls = kFormUpdateControls,
    .initialFocus = "Command2",
};

FontDesign DesignFont(FontRole role)
{
    switch (role) {
    case FontRole::Display:
        return {.face = "宋体", .points = 15.75};
    case FontRole::Status:
        return {.face = "宋体", .points = 26.25};
    case FontRole::Link:
        return {.face = "宋体", .points = 9, .underline = true};
    case FontRole::Window:
        break;
    }
    return {.face = "宋体", .points = 9};
}

const ControlDesign &ControlNamed(const WindowDesign &window, std::string_view name)
{
    return named<ControlDesign>(window.controls, name);
}

const MenuEntryDesign &MenuEntryNamed(const WindowDesign &window, std::string_view name)
{
    if (!window.menu)
        std::terminate();
    return named<MenuEntryDesign>(window.menu->entries, name);
}

const TimerDesign &TimerNamed(const WindowDesign &window, std::string_view name)
{
    return named<TimerDesign>(window.timers, name);
}
