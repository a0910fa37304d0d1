// The Windows program's windows, built in this process over the fake
// services: in every state a user meets, each control lies inside its window
// and over no other, and each text is whole inside its control, drawn with
// the fonts this machine has at its DPI. scripts/wine-test.sh runs it in a
// fresh Wine prefix, which has no SimSun, at 96 and at 144 DPI. That the
// windows are what their design says and draw what the core says. Also the
// Windows services the windows rely on (the alarm file's test).
// Ends with the line "N passed, N failed".

#include "core/design/windowdesign.h"
#include "fakes/fakeservices.h"
#include "support/testing.h"
#include "support/testmain.h"
#include "win32/fontchoice.h"
#include "win32/form1.h"
#include "win32/formabout.h"
#include "win32/formupdate.h"
#include "win32/inkcanvas.h"
#include "win32/widetext.h"
#include "win32/windowclass.h"
#include "win32/winservices.h"
#include "win32/winview.h"

#include <windows.h>

#include <commctrl.h>

#include <cstdio>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace {

std::string RectText(const RECT &r)
{
    return std::to_string(r.left) + "," + std::to_string(r.top) + " " +
           std::to_string(r.right - r.left) + "x" + std::to_string(r.bottom - r.top);
}

std::string Name(HWND control)
{
    const int id = GetDlgCtrlID(control);
    return "control " + std::to_string(id) + " \"" +
           widetext::Narrow(widetext::WindowText(control)) + "\"";
}

// A child's rectangle in its parent's client coordinates.
RECT PlaceIn(HWND parent, HWND child)
{
    RECT r{};
    GetWindowRect(child, &r);
    MapWindowPoints(nullptr, parent, reinterpret_cast<POINT *>(&r), 2);
    return r;
}

bool Inside(const RECT &outer, const RECT &inner)
{
    return inner.left >= outer.left && inner.top >= outer.top && inner.right <= outer.right &&
           inner.bottom <= outer.bottom;
}

// The box around the ink of a text drawn into area when nothing clips it;
// empty when nothing is drawn.
RECT InkOf(HFONT font, const RECT &area, UINT flags, const std::wstring &text)
{
    const int room = 200;
    const int width = area.right - area.left + 2 * room;
    const int height = area.bottom - area.top + 2 * room;
    InkCanvas canvas(width, height, font);
    canvas.draw(text.c_str(), RECT{room, room, width - room, height - room}, flags | DT_NOCLIP);
    RECT ink{width, height, 0, 0};
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            if (canvas.inkAt(x, y)) {
                ink.left = std::min<LONG>(ink.left, x);
                ink.top = std::min<LONG>(ink.top, y);
                ink.right = std::max<LONG>(ink.right, x + 1);
                ink.bottom = std::max<LONG>(ink.bottom, y + 1);
            }
    if (ink.right <= ink.left)
        return {};
    OffsetRect(&ink, area.left - room, area.top - room);
    return ink;
}

std::wstring ClassOf(HWND window)
{
    wchar_t name[64] = {};
    GetClassNameW(window, name, 64);
    return name;
}

// Whether the whole of a control's text can be seen, drawn the way the
// control draws it (in the control's client coordinates).
std::vector<std::string> TextProblems(HWND control)
{
    const std::wstring text = widetext::WindowText(control);
    const auto font = reinterpret_cast<HFONT>(SendMessageW(control, WM_GETFONT, 0, 0));
    const LONG style = GetWindowLongW(control, GWL_STYLE);
    RECT client{};
    GetClientRect(control, &client);
    const std::wstring kind = ClassOf(control);
    RECT area = client;
    RECT visible = client;
    UINT flags = 0;
    if (lstrcmpiW(kind.c_str(), L"Edit") == 0) {
        // A line fits the entry, and so does a typed "120" (the entry scrolls
        // longer texts, as every Windows entry does).
        std::vector<std::string> problems;
        RECT format{};
        SendMessageW(control, EM_GETRECT, 0, reinterpret_cast<LPARAM>(&format));
        const HDC dc = GetDC(control);
        const HGDIOBJ old = SelectObject(dc, font);
        TEXTMETRICW metrics{};
        GetTextMetricsW(dc, &metrics);
        for (const wchar_t *typed : {L"120"}) {
            SIZE size{};
            GetTextExtentPoint32W(dc, typed, lstrlenW(typed), &size);
            if (size.cx > format.right - format.left)
                problems.push_back(Name(control) + ": \"" + widetext::Narrow(typed) + "\" needs " +
                                   std::to_string(size.cx) + " px, has " +
                                   std::to_string(format.right - format.left));
        }
        if (metrics.tmHeight > format.bottom - format.top)
            problems.push_back(Name(control) + ": a line of " + std::to_string(metrics.tmHeight) +
                               " px in " + std::to_string(format.bottom - format.top));
        SelectObject(dc, old);
        ReleaseDC(control, dc);
        return problems;
    }
    if (text.empty())
        return {};
    if (lstrcmpiW(kind.c_str(), L"Button") == 0) {
        if ((style & BS_TYPEMASK) == BS_AUTOCHECKBOX || (style & BS_TYPEMASK) == BS_CHECKBOX) {
            area.left += GetSystemMetrics(SM_CXMENUCHECK) + GetSystemMetrics(SM_CXEDGE);
            flags = DT_LEFT | DT_VCENTER | DT_SINGLELINE;
        } else {
            // Inside the button's raised edge.
            InflateRect(&visible, -GetSystemMetrics(SM_CXEDGE), -GetSystemMetrics(SM_CYEDGE));
            flags = DT_CENTER | DT_VCENTER | DT_SINGLELINE;
        }
    } else {
        flags = DT_LEFT | DT_EXPANDTABS | DT_WORDBREAK;
        if (style & SS_NOPREFIX)
            flags |= DT_NOPREFIX;
        if (style & SS_EDITCONTROL)
            flags |= DT_EDITCONTROL;
    }
    const RECT ink = InkOf(font, area, flags, text);
    if (Inside(visible, ink))
        return {};
    return {Name(control) + " needs " + RectText(ink) + ", shows " + RectText(visible)};
}

BOOL CALLBACK AddChild(HWND child, LPARAM list)
{
    reinterpret_cast<std::vector<HWND> *>(list)->push_back(child);
    return TRUE;
}

// Every shown control of a window: inside its client area, over no other,
// its text whole.
std::vector<std::string> LayoutProblems(HWND window)
{
    std::vector<HWND> all;
    EnumChildWindows(window, AddChild, reinterpret_cast<LPARAM>(&all));
    std::vector<HWND> shown;
    for (HWND child : all) {
        const RECT r = PlaceIn(window, child);
        if (GetParent(child) == window && IsWindowVisible(child) && !IsRectEmpty(&r))
            shown.push_back(child);
    }
    RECT client{};
    GetClientRect(window, &client);
    std::vector<std::string> problems;
    for (size_t i = 0; i < shown.size(); ++i) {
        const RECT r = PlaceIn(window, shown[i]);
        if (!Inside(client, r))
            problems.push_back(Name(shown[i]) + " at " + RectText(r) +
                               " is outside the client area " + RectText(client));
        for (size_t j = i + 1; j < shown.size(); ++j) {
            const RECT other = PlaceIn(window, shown[j]);
            RECT overlap{};
            if (IntersectRect(&overlap, &r, &other))
                problems.push_back(Name(shown[i]) + " at " + RectText(r) + " overlaps " +
                                   Name(shown[j]) + " at " + RectText(other));
        }
        for (const std::string &p : TextProblems(shown[i]))
            problems.push_back(p);
    }
    return problems;
}

// Prints what is wrong in one state and counts it; a test case checks the
// count at its end, so one run shows every state's problems.
size_t LookAt(HWND window, const std::string &state)
{
    const std::vector<std::string> problems = LayoutProblems(window);
    for (const std::string &p : problems)
        std::printf("     %s: %s\n", state.c_str(), p.c_str());
    return problems.size();
}

void Pump()
{
    winview::PumpWaiting();
}

// The main window through the states a user meets, over the fakes; stored
// holds what the store has before the start.
struct MainRig {
    FakeEnvironment env;
    std::unique_ptr<Form1> form;
    HWND window = nullptr;

    explicit MainRig(const std::map<std::string, std::string> &stored = {},
                     const std::string &vendorUrl = "http://vendor.test")
    {
        for (const auto &[name, text] : stored)
            env.store.set(name, text);
        Services services = env.services();
        services.vendorUrl = vendorUrl;
        form = std::make_unique<Form1>(services);
        window = form->hwnd();
        form->Form_Load();
        form->Show(SW_SHOWNOACTIVATE);
        Pump();
    }
    HWND control(std::string_view name) const { return form->control(name); }
    void click(std::string_view name)
    {
        SendMessageW(control(name), BM_CLICK, 0, 0);
        Pump();
    }
    void ticks(int count)
    {
        for (int i = 0; i < count; ++i)
            form->Timer2_Timer();
        Pump();
    }
    std::wstring text(std::string_view name) const { return widetext::WindowText(control(name)); }
};

} // namespace

TEST_CASE("mainWindowInEveryState")
{
    MainRig rig;
    const HWND w = rig.window;
    size_t problems = LookAt(w, "first start");

    rig.click("Check3");
    problems += LookAt(w, "with the menu bar");

    rig.click("Command1");
    rig.ticks(2);
    problems += LookAt(w, "stopwatch at 0:00:02");

    rig.click("Check2");
    rig.ticks(1);
    problems += LookAt(w, "counting down, 倒计时进行中...");

    rig.click("Command2");
    problems += LookAt(w, "paused, 继续");

    rig.click("Command1");
    SetWindowTextW(rig.control("Text1"), L"0.05");
    rig.click("Command1");
    rig.ticks(3);
    CHECK(rig.text("Label2") == L"时间到了");
    problems += LookAt(w, "时间到了");

    rig.click("Check3");
    problems += LookAt(w, "时间到了 without the menu bar");
    CHECK_EQ(problems, size_t(0));
}

TEST_CASE("aboutWindow")
{
    // Ten thousand hours of use: the longest total anyone will see.
    MainRig rig({{"js00", " 36000000"}}, "http://www.pelmora.test");
    rig.form->nemuAbout_Click();
    const HWND about = FindWindowW(WindowClassName(kFormAboutDesign).c_str(), nullptr);
    REQUIRE(about != nullptr);
    Pump();
    const size_t problems = LookAt(about, "the About window");
    DestroyWindow(about);
    CHECK_EQ(problems, size_t(0));
}

namespace {

// The update window once it shows, with the timer that waits for it stopped.
HWND ShownUpdateWindow(UINT_PTR timer)
{
    const HWND update = FindWindowW(WindowClassName(kFormUpdateDesign).c_str(), nullptr);
    if (!update || !IsWindowVisible(update))
        return nullptr;
    KillTimer(nullptr, timer);
    return update;
}

// The update window is modal: it is looked at from a timer inside its loop,
// then closed.
std::vector<std::string> updateProblems;
bool updateSeen = false;

void CALLBACK LookAtUpdateWindow(HWND, UINT, UINT_PTR timer, DWORD)
{
    const HWND update = ShownUpdateWindow(timer);
    if (!update)
        return;
    updateSeen = true;
    updateProblems = LayoutProblems(update);
    PostMessageW(update, WM_CLOSE, 0, 0);
}

} // namespace

TEST_CASE("updateWindowBothOutcomes")
{
    for (const char *body : {"[123]", "[122]"}) {
        INFO(body);
        MainRig rig;
        rig.env.http.bodies["http://vendor.test/brk/newver.htm"] = body;
        updateSeen = false;
        updateProblems.clear();
        SetTimer(nullptr, 0, 50, LookAtUpdateWindow);
        rig.form->menuUpdate_Click();
        CHECK(updateSeen);
        // The housekeeping tick runs again once the window has closed.
        CHECK(rig.form->core().look().housekeepingOn);
        for (const std::string &p : updateProblems)
            std::printf("     update window %s: %s\n", body, p.c_str());
        CHECK_EQ(updateProblems.size(), size_t(0));
    }
}

namespace {

std::wstring ClassKind(HWND control)
{
    const std::wstring kind = ClassOf(control);
    if (lstrcmpiW(kind.c_str(), L"Button") == 0)
        return (GetWindowLongW(control, GWL_STYLE) & BS_TYPEMASK) == BS_AUTOCHECKBOX ? L"box"
                                                                                     : L"button";
    return lstrcmpiW(kind.c_str(), L"Edit") == 0 ? L"entry" : L"label";
}

const wchar_t *KindOf(ControlKind kind)
{
    switch (kind) {
    case ControlKind::PushButton:
        return L"button";
    case ControlKind::CheckBox:
        return L"box";
    case ControlKind::TextBox:
        return L"entry";
    default:
        return L"label";
    }
}

// Every control of the design under its id and of its kind, and the client
// area of the design's size at the window's DPI.
void CheckBuiltFrom(HWND window, const WindowDesign &design)
{
    for (const ControlDesign &c : design.controls) {
        INFO((std::string(design.name) + "." + std::string(c.name)));
        const HWND control = GetDlgItem(window, c.id);
        CHECK(control != nullptr);
        CHECK(ClassKind(control) == KindOf(c.kind));
        CHECK_EQ((GetWindowLongW(control, GWL_STYLE) & WS_TABSTOP) != 0, c.tabStop);
    }
    INFO(std::string(design.name));
    const int dpi = static_cast<int>(winview::WindowDpi(window));
    RECT client{};
    GetClientRect(window, &client);
    CHECK_EQ(client.right, TwipsToPixels(design.clientWidth, dpi));
    CHECK_EQ(client.bottom, TwipsToPixels(design.clientHeight, dpi));
}

HWND builtUpdate = nullptr;
void CALLBACK CheckUpdateWindowBuilt(HWND, UINT, UINT_PTR timer, DWORD)
{
    const HWND update = ShownUpdateWindow(timer);
    if (!update)
        return;
    builtUpdate = update;
    CheckBuiltFrom(update, kFormUpdateDesign);
    PostMessageW(update, WM_CLOSE, 0, 0);
}

std::wstring MenuText(HMENU menu, UINT position)
{
    wchar_t text[64] = {};
    GetMenuStringW(menu, position, text, 64, MF_BYPOSITION);
    return text;
}

// The tooltip a control shows, from its window's tooltip control.
std::wstring TooltipOf(HWND control)
{
    HWND tips = nullptr;
    EnumThreadWindows(
        GetCurrentThreadId(),
        [](HWND w, LPARAM found) {
            if (lstrcmpiW(ClassOf(w).c_str(), TOOLTIPS_CLASSW) != 0)
                return TRUE;
            *reinterpret_cast<HWND *>(found) = w;
            return FALSE;
        },
        reinterpret_cast<LPARAM>(&tips));
    wchar_t text[128] = {};
    TOOLINFOW tool{};
    tool.cbSize = sizeof(tool);
    tool.uFlags = TTF_IDISHWND;
    tool.hwnd = GetParent(control);
    tool.uId = reinterpret_cast<UINT_PTR>(control);
    tool.lpszText = text;
    SendMessageW(tips, TTM_GETTEXTW, 128, reinterpret_cast<LPARAM>(&tool));
    return text;
}

// The colour the window gives a label's text.
COLORREF TextColourOf(HWND window, HWND label)
{
    const HDC dc = CreateCompatibleDC(nullptr);
    SendMessageW(window, WM_CTLCOLORSTATIC, reinterpret_cast<WPARAM>(dc),
                 reinterpret_cast<LPARAM>(label));
    const COLORREF colour = GetTextColor(dc);
    DeleteDC(dc);
    return colour;
}

} // namespace

TEST_CASE("windowsAreBuiltFromTheirDesign")
{
    MainRig rig;
    // Tab goes 开始, the entry, the three boxes (暂停 is hidden), and 开始 has
    // the focus first.
    std::string got;
    HWND at = rig.control("Command1");
    for (int i = 0; at && i < 10; ++i) {
        got += std::to_string(GetDlgCtrlID(at)) + " ";
        at = GetNextDlgTabItem(rig.window, at, FALSE);
        if (at == rig.control("Command1"))
            break;
    }
    std::string want;
    for (const char *name : {"Command1", "Text1", "Check1", "Check2", "Check3"})
        want += std::to_string(ControlNamed(kForm1Design, name).id) + " ";
    CHECK_EQ(got, want);

    // The menu bar, once 菜单 shows it: one menu and its entries in order.
    // The client area is the design's below it.
    rig.click("Check3");
    CheckBuiltFrom(rig.window, kForm1Design);
    const HMENU bar = GetMenu(rig.window);
    CHECK(bar != nullptr);
    CHECK_EQ(GetMenuItemCount(bar), 1);
    CHECK(MenuText(bar, 0) == L"菜单(&T)");
    const HMENU menu = GetSubMenu(bar, 0);
    const wchar_t *const captions[] = {
        L"技术支持(&S)", L"检查更新(&K)", L"关于本软件(&A)...", L"选项(&O)...", L"", L"退出(&X)"};
    CHECK_EQ(GetMenuItemCount(menu), 6);
    for (UINT i = 0; i < 6; ++i) {
        CAPTURE(i);
        CHECK(MenuText(menu, i) == captions[i]);
        const MenuEntryDesign &entry = kForm1Design.menu->entries[i];
        const UINT state = GetMenuState(menu, i, MF_BYPOSITION);
        CHECK_EQ((state & MF_SEPARATOR) != 0, entry.separator());
        if (entry.separator())
            continue;
        CHECK_EQ(GetMenuItemID(menu, static_cast<int>(i)), static_cast<UINT>(entry.id));
        CHECK_EQ((state & MF_GRAYED) != 0, entry.name == "menuOption");
    }

    rig.form->nemuAbout_Click();
    const HWND about = FindWindowW(WindowClassName(kFormAboutDesign).c_str(), nullptr);
    REQUIRE(about != nullptr);
    CheckBuiltFrom(about, kFormAboutDesign);
    CHECK_EQ(GetWindowLongW(about, GWL_STYLE) & (WS_THICKFRAME | WS_MINIMIZEBOX | WS_MAXIMIZEBOX),
             0L);
    DestroyWindow(about);

    builtUpdate = nullptr;
    SetTimer(nullptr, 0, 50, CheckUpdateWindowBuilt);
    rig.form->menuUpdate_Click();
    CHECK(builtUpdate != nullptr);
}

TEST_CASE("mainWindowDrawsTheCoresLook")
{
    const std::map<std::string, std::string> stored{
        {"Text1", "2.5"}, {"Check1", " 1"}, {"Check2", " 1"}, {"Check3", " 1"}};
    MainRig rig(stored);
    CHECK(rig.text("Text1") == L"2.5");
    for (const char *box : {"Check1", "Check2", "Check3"})
        CHECK_EQ(SendMessageW(rig.control(box), BM_GETCHECK, 0, 0), LRESULT(BST_CHECKED));
    CHECK(GetMenu(rig.window) != nullptr);
    // Drawing the start-up stores nothing the core did not store itself.
    FakeEnvironment bare;
    for (const auto &[name, text] : stored)
        bare.store.set(name, text);
    MainWindowCore core(bare.services(), nullptr);
    core.Form_Load(320, 140, {{0, 0, 1024, 768}}, 96);
    const auto settingWrites = [](const MemoryStore &store) {
        std::string out;
        for (const MemoryStore::Access &w : store.writes())
            if (w.name != "Left" && w.name != "Top" && w.name != "js00")
                out += w.name + "=" + w.text + ";";
        return out;
    };
    CHECK_EQ(settingWrites(rig.env.store), settingWrites(bare.store));

    // The buttons' tooltips follow the run; the display turns red past the
    // target (0.01 minutes) in the stopwatch.
    rig.click("Check2");
    SetWindowTextW(rig.control("Text1"), L"0.01");
    CHECK(TooltipOf(rig.control("Command1")) == L"点一下开始计时");
    CHECK(TooltipOf(rig.control("Text1")) == L"时间只剩10秒时将会有声音提醒");
    const HWND display = rig.control("Label2");
    CHECK_EQ(TextColourOf(rig.window, display), RGB(0, 0, 255));
    rig.click("Command1");
    CHECK(TooltipOf(rig.control("Command1")) == L"点一下将会停止计时");
    CHECK(TooltipOf(rig.control("Command2")) == L"点一下将会暂停计时");
    rig.ticks(1);
    CHECK(rig.text("Label2") == L"0:00:01");
    CHECK_EQ(TextColourOf(rig.window, display), RGB(255, 0, 0));
    rig.click("Command2");
    CHECK(TooltipOf(rig.control("Command2")) == L"点一下将会继续计时(不会从头开始)");

    // A refused entry: the message, then 5 again, stored.
    SetWindowTextW(rig.control("Text1"), L"0");
    Pump();
    CHECK_EQ(rig.env.messages.shown.back().text, std::string("此处必须大于0"));
    CHECK(rig.text("Text1") == L"5");
    CHECK_EQ(rig.env.store.get("Text1"), std::string("5"));
}

TEST_CASE("alarmFileWithHiddenOrSystemAttributeCountsAsMissing")
{
    wchar_t folder[MAX_PATH] = {};
    GetTempPathW(MAX_PATH, folder);
    const std::wstring path = std::wstring(folder) + L"brisko-sound-test.mp3";
    const HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                    FILE_ATTRIBUTE_NORMAL, nullptr);
    REQUIRE(file != INVALID_HANDLE_VALUE);
    CloseHandle(file);
    WinFileSystem files;
    const std::string utf8 = widetext::Narrow(path);
    struct Row {
        DWORD attributes;
        bool found;
        const char *what;
    } const rows[] = {
        {FILE_ATTRIBUTE_NORMAL, true, "an ordinary file"},
        {FILE_ATTRIBUTE_READONLY, true, "a read-only file"},
        {FILE_ATTRIBUTE_HIDDEN, false, "a hidden file"},
        {FILE_ATTRIBUTE_SYSTEM, false, "a system file"},
        {FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_READONLY, false, "a read-only system file"},
    };
    for (const Row &row : rows) {
        INFO(row.what);
        CHECK(SetFileAttributesW(path.c_str(), row.attributes));
        CHECK_EQ(files.fileExists(utf8), row.found);
    }
    SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
    DeleteFileW(path.c_str());
    CHECK(!files.fileExists(std::string(utf8.begin(), utf8.end() - 4)));
    CHECK(!files.fileExists(widetext::Narrow(folder)));
}

// The face is chosen by what fits: SimSun, then NSimSun, then a Song face,
// then any other, each only if its lines fit; else the one that misses least.
TEST_CASE("faceChoice")
{
    CHECK_EQ(FaceRank(L"宋体"), 0);
    CHECK_EQ(FaceRank(L"SimSun"), 0);
    CHECK_EQ(FaceRank(L"新宋体"), 1);
    CHECK_EQ(FaceRank(L"AR PL UMing CN"), 2);
    CHECK_EQ(FaceRank(L"Noto Serif CJK SC"), 2);
    CHECK_EQ(FaceRank(L"仿宋"), 2);
    CHECK_EQ(FaceRank(L"文泉驿正黑"), 3);
    CHECK_EQ(FaceRank(L"@宋体"), -1);
    CHECK_EQ(FaceRank(L"SimSun-ExtB"), -1);

    std::map<std::wstring, double> misfit;
    std::vector<std::wstring> asked;
    const auto measure = [&](const std::wstring &face) {
        asked.push_back(face);
        return misfit[face];
    };
    const std::vector<std::wstring> installed{L"文泉驿正黑", L"AR PL UMing CN", L"新宋体", L"宋体",
                                              L"@宋体"};
    misfit = {{L"文泉驿正黑", 1.1}, {L"AR PL UMing CN", 0.96}, {L"新宋体", 0.9}, {L"宋体", 0.9}};
    CHECK(PickFace(installed, measure) == L"宋体");
    CHECK_EQ(asked.size(), size_t(1)); // the first that fits ends the search
    misfit[L"宋体"] = 1.2;
    CHECK(PickFace(installed, measure) == L"新宋体");
    CHECK(PickFace({L"文泉驿正黑", L"AR PL UMing CN"}, measure) == L"AR PL UMing CN");
    // A sans face that fits wins over a Song face that does not.
    misfit[L"AR PL UMing CN"] = 1.05;
    misfit[L"文泉驿正黑"] = 0.98;
    CHECK(PickFace({L"AR PL UMing CN", L"文泉驿正黑"}, measure) == L"文泉驿正黑");
    // None fits: the nearest.
    misfit[L"文泉驿正黑"] = 1.3;
    CHECK(PickFace({L"文泉驿正黑", L"AR PL UMing CN"}, measure) == L"AR PL UMing CN");
    CHECK(PickFace({}, measure) == L"宋体");
}

// A minimised window's normal place comes in workspace coordinates, which a
// taskbar at the top or left moves away from the screen's.
TEST_CASE("workspaceToScreen")
{
    const RECT monitor{0, 0, 1920, 1080};
    const auto screen = [](POINT p, const RECT &m, const RECT &work) {
        const POINT s = winview::WorkspaceToScreen(p, m, work);
        return std::to_string(s.x) + "," + std::to_string(s.y);
    };
    CHECK_EQ(screen({200, 120}, monitor, {0, 0, 1920, 1040}), "200,120");  // taskbar below
    CHECK_EQ(screen({200, 120}, monitor, {0, 40, 1920, 1080}), "200,160"); // at the top
    CHECK_EQ(screen({200, 120}, monitor, {62, 0, 1920, 1080}), "262,120"); // at the left
    const RECT right{1920, 0, 3840, 1080}; // a second monitor, its taskbar at the top
    CHECK_EQ(screen({1930, 10}, right, {1920, 48, 3840, 1080}), "1930,58");
}

int main(int argc, char **argv)
{
    // Pixels at the screen's own DPI, as brisko.exe's manifest asks.
    using SetAwareness = BOOL(WINAPI *)(HANDLE);
    if (const auto set = reinterpret_cast<SetAwareness>(reinterpret_cast<void (*)()>(
            GetProcAddress(GetModuleHandleW(L"user32.dll"), "SetProcessDpiAwarenessContext"))))
        set(reinterpret_cast<HANDLE>(-4)); // DPI_AWARENESS_CONTEXT_PER_MONITOR_AWARE_V2
    INITCOMMONCONTROLSEX controls{sizeof(controls), ICC_STANDARD_CLASSES | ICC_WIN95_CLASSES};
    InitCommonControlsEx(&controls);
    const HDC screen = GetDC(nullptr);
    const UINT dpi = static_cast<UINT>(GetDeviceCaps(screen, LOGPIXELSY));
    ReleaseDC(nullptr, screen);
    std::string sizes;
    for (const departure::TextRoom &room :
         {departure::kWindowTextRoom, departure::kButtonTextRoom, departure::kDisplayTextRoom,
          departure::kStatusTextRoom}) {
        const HFONT font = MakeTextFont(room, dpi);
        LOGFONTW made{};
        GetObjectW(font, sizeof(made), &made);
        DeleteObject(font);
        sizes += " " + std::to_string(-made.lfHeight);
    }
    std::printf("     (at %u DPI: %s, text, buttons, display and status line at%s px)\n", dpi,
                widetext::Narrow(ProgramFace(dpi)).c_str(), sizes.c_str());
    return testsupport::RunTests(argc, argv);
}
