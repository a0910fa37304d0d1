// Drives the real brisko.exe from outside, as a user's clicks and another
// program would: finds its windows by class, clicks with BM_CLICK, reads texts
// with WM_GETTEXT and the settings from the registry. Meant for a fresh Wine
// prefix (scripts/wine-e2e.sh); it refuses to run when the settings key exists.
//
//   drive_brisko [options] <brisko.exe>
//     --view32 | --view64   registry view of the settings (default: 32-bit)
//     --smoke               only: the window appears, isClose ends it with 0
//     --dpi <dpi>           only: where the window opens with nothing stored and
//                           with a stored place, in a prefix set to that DPI
//     --pose <seconds>      start, tick 倒计时, click 开始, wait, print the
//                           window's rectangle and leave it running (pictures)
//     --shots <folder>      with --pose: save the main window, the About
//                           window and the update window there as .bmp files
//                           from the screen, then end the program
//     any other -option     doctest's own: -tc=<test case>, -s, --reporters=junit
//                           --out=<file>, --list-test-cases...
//
// The checks are doctest's, in test cases that follow one another on the
// same running program: a mode runs its own test suite (session, smoke, dpi
// or pose) in the order the cases stand here. Every check prints "ok   ..."
// or "FAIL ..." as it is made; the last line is "N passed, N failed", of
// the checks.

#include "core/design/windowdesign.h"
#include "support/testing.h"
#include "support/testmain.h"
#include "win32/windowclass.h"

#include <windows.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cwchar>
#include <functional>
#include <optional>
#include <ostream>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

namespace {

// The program's control ids and window classes, taken from its own design by
// design name, as the program builds its windows from it.
int Id(std::string_view name)
{
    return ControlNamed(kForm1Design, name).id;
}
int MenuId(std::string_view name)
{
    return MenuEntryNamed(kForm1Design, name).id;
}
int AboutId(std::string_view name)
{
    return ControlNamed(kFormAboutDesign, name).id;
}
int UpdateId(std::string_view name)
{
    return ControlNamed(kFormUpdateDesign, name).id;
}
const std::wstring kForm1Class = WindowClassName(kForm1Design);
const std::wstring kFormAboutClass = WindowClassName(kFormAboutDesign);
const std::wstring kFormUpdateClass = WindowClassName(kFormUpdateDesign);

std::string Utf8(const std::wstring &text)
{
    if (text.empty()) {
        return {};
    }
    const int n = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()),
                                      nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<size_t>(n), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), n,
                        nullptr, nullptr);
    return out;
}

std::string Quoted(const std::optional<std::wstring> &text)
{
    return text ? "\"" + Utf8(*text) + "\"" : std::string("(none)");
}

// What a check is about, or what a failure found, for the log as it reads:
// UTF-8, unquoted.
struct Said {
    std::string text;
    explicit Said(const std::wstring &wide) : text(Utf8(wide)) {}
    explicit Said(std::string narrow) : text(std::move(narrow)) {}
};

std::ostream &operator<<(std::ostream &out, const Said &said)
{
    return out << said.text;
}

// A check with what it is about and, should it fail, what was found instead,
// worked out only then.
#define BRISKO_DETAILED(assertion, condition, what, detail)                                        \
    do {                                                                                           \
        INFO(Said(detail));                                                                        \
        assertion((condition), Said(what));                                                        \
    } while (false)
#define CHECK_DETAILED(condition, what, detail)                                                    \
    BRISKO_DETAILED(CHECK_MESSAGE, condition, what, detail)
#define REQUIRE_DETAILED(condition, what, detail)                                                  \
    BRISKO_DETAILED(REQUIRE_MESSAGE, condition, what, detail)

// Every check in the log as it is made, "ok   <what>" or "FAIL <what>" (a
// failure then has doctest's account of it), so that the log reads as the
// user's session went.
class CheckLog final : public doctest::IReporter {
public:
    explicit CheckLog(const doctest::ContextOptions &) {}

    void log_assert(const doctest::AssertData &check) override
    {
        std::ostringstream what;
        const int contexts = get_num_active_contexts();
        if (contexts > 0)
            get_active_contexts()[contexts - 1]->stringify(&what);
        else
            what << check.m_expr;
        std::printf("%s %s\n", check.m_failed ? "FAIL" : "ok  ", what.str().c_str());
    }

    void report_query(const doctest::QueryData &) override {}
    void test_run_start() override {}
    void test_run_end(const doctest::TestRunStats &) override {}
    void test_case_start(const doctest::TestCaseData &) override {}
    void test_case_reenter(const doctest::TestCaseData &) override {}
    void test_case_end(const doctest::CurrentTestCaseStats &) override {}
    void test_case_exception(const doctest::TestCaseException &) override {}
    void subcase_start(const doctest::SubcaseSignature &) override {}
    void subcase_end() override {}
    void log_message(const doctest::MessageData &) override {}
    void test_case_skipped(const doctest::TestCaseData &) override {}
};

DOCTEST_REGISTER_LISTENER("brisko-check-log", 1, CheckLog);

void CheckText(const std::optional<std::wstring> &got, const std::wstring &want,
               const std::wstring &what)
{
    CHECK_MESSAGE(got == want, Said(what + L" reads \"" + want + L"\""));
}

ULONGLONG Now()
{
    return GetTickCount64();
}

// Polls until the condition holds or the time runs out; true when it held.
bool WaitUntil(const std::function<bool()> &condition, DWORD timeoutMs)
{
    const ULONGLONG end = Now() + timeoutMs;
    for (;;) {
        if (condition()) {
            return true;
        }
        if (Now() >= end) {
            return false;
        }
        Sleep(25);
    }
}

// --- Windows of the program under test ---

std::optional<std::wstring> TextOf(HWND window)
{
    if (!window) {
        return std::nullopt;
    }
    wchar_t buffer[1024] = {};
    DWORD_PTR copied = 0;
    // WM_GETTEXT, not GetWindowTextW: the latter does not ask another process's
    // edit controls for their text.
    if (!SendMessageTimeoutW(window, WM_GETTEXT, sizeof buffer / sizeof buffer[0],
                             reinterpret_cast<LPARAM>(buffer), SMTO_ABORTIFHUNG, 3000, &copied)) {
        return std::nullopt;
    }
    return std::wstring(buffer, copied);
}

HWND main_window = nullptr;

HWND Control(int id)
{
    return GetDlgItem(main_window, id);
}

std::optional<std::wstring> TextOf(int id)
{
    return TextOf(Control(id));
}

bool Shown(int id)
{
    return IsWindowVisible(Control(id)) != FALSE;
}

LRESULT CheckState(int id)
{
    DWORD_PTR state = 0;
    SendMessageTimeoutW(Control(id), BM_GETCHECK, 0, 0, SMTO_ABORTIFHUNG, 3000, &state);
    return static_cast<LRESULT>(state);
}

// BM_CLICK returns once the program has handled the click.
void Click(HWND button)
{
    DWORD_PTR ignored = 0;
    SendMessageTimeoutW(button, BM_CLICK, 0, 0, SMTO_ABORTIFHUNG, 5000, &ignored);
}

void Click(int id)
{
    Click(Control(id));
}

// WM_SETTEXT from a thread of its own: the program may answer the change with
// a modal message box, and the sender waits until that is closed.
struct SetTextJob {
    HWND window;
    std::wstring text;
};

DWORD WINAPI SetTextThread(void *param)
{
    auto *job = static_cast<SetTextJob *>(param);
    SendMessageW(job->window, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(job->text.c_str()));
    return 0;
}

HANDLE SetTextAsync(SetTextJob &job)
{
    return CreateThread(nullptr, 0, SetTextThread, &job, 0, nullptr);
}

// Waits for a window of that class (and title, unless null) to show; the
// last one found, shown or not.
HWND WaitForWindow(const wchar_t *windowClass, DWORD timeoutMs, const wchar_t *title = nullptr)
{
    HWND window = nullptr;
    WaitUntil(
        [&] {
            window = FindWindowW(windowClass, title);
            return window && IsWindowVisible(window);
        },
        timeoutMs);
    return window;
}

// A message box of the program: class #32770 with the given title.
HWND FindMessageBox(const wchar_t *title, DWORD timeoutMs)
{
    return WaitForWindow(L"#32770", timeoutMs, title);
}

void Answer(HWND box, int button)
{
    PostMessageW(box, WM_COMMAND, MAKEWPARAM(button, BN_CLICKED),
                 reinterpret_cast<LPARAM>(GetDlgItem(box, button)));
}

// --- The settings in the registry ---

constexpr wchar_t kSettingsKey[] = L"SOFTWARE\\Pelmora\\Brisko";
REGSAM view = KEY_WOW64_32KEY;

bool SettingsKeyExists(REGSAM inView)
{
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kSettingsKey, 0, KEY_READ | inView, &key) !=
        ERROR_SUCCESS) {
        return false;
    }
    RegCloseKey(key);
    return true;
}

// A REG_SZ value as stored, without its terminating NUL; none when absent or
// of another type.
std::optional<std::wstring> Setting(const wchar_t *name)
{
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kSettingsKey, 0, KEY_READ | view, &key) !=
        ERROR_SUCCESS) {
        return std::nullopt;
    }
    wchar_t buffer[512] = {};
    DWORD type = REG_NONE;
    DWORD size = sizeof buffer - sizeof(wchar_t);
    const LONG rc =
        RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<BYTE *>(buffer), &size);
    RegCloseKey(key);
    if (rc != ERROR_SUCCESS || type != REG_SZ) {
        return std::nullopt;
    }
    std::wstring text(buffer, size / sizeof(wchar_t));
    while (!text.empty() && text.back() == L'\0') {
        text.pop_back();
    }
    return text;
}

bool WriteSetting(const wchar_t *name, const std::wstring &text)
{
    HKEY key = nullptr;
    if (RegCreateKeyExW(HKEY_LOCAL_MACHINE, kSettingsKey, 0, nullptr, 0, KEY_SET_VALUE | view,
                        nullptr, &key, nullptr) != ERROR_SUCCESS) {
        return false;
    }
    const LONG rc =
        RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE *>(text.c_str()),
                       static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t)));
    RegCloseKey(key);
    return rc == ERROR_SUCCESS;
}

// Waits for a stored value to read as wanted.
void CheckSetting(const wchar_t *name, const std::wstring &want, DWORD timeoutMs = 1500)
{
    std::optional<std::wstring> got;
    WaitUntil(
        [&] {
            got = Setting(name);
            return got && *got == want;
        },
        timeoutMs);
    CHECK_MESSAGE(got == want,
                  Said(std::wstring(L"registry ") + name + L" holds \"" + want + L"\""));
}

double Number(const std::optional<std::wstring> &text)
{
    return text ? std::wcstod(text->c_str(), nullptr) : -1;
}

// The names of the stored values, sorted without regard to case, one blank
// between them.
std::wstring ValueNames()
{
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kSettingsKey, 0, KEY_READ | view, &key) !=
        ERROR_SUCCESS) {
        return L"(no key)";
    }
    std::vector<std::wstring> names;
    for (DWORD i = 0;; ++i) {
        wchar_t name[256];
        DWORD length = 256;
        if (RegEnumValueW(key, i, name, &length, nullptr, nullptr, nullptr, nullptr) !=
            ERROR_SUCCESS) {
            break;
        }
        names.emplace_back(name, length);
    }
    RegCloseKey(key);
    std::sort(names.begin(), names.end(), [](const std::wstring &a, const std::wstring &b) {
        return lstrcmpiW(a.c_str(), b.c_str()) < 0;
    });
    std::wstring joined;
    for (const std::wstring &name : names) {
        joined += (joined.empty() ? L"" : L" ") + name;
    }
    return joined;
}

void DeleteSetting(const wchar_t *name)
{
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kSettingsKey, 0, KEY_SET_VALUE | view, &key) ==
        ERROR_SUCCESS) {
        RegDeleteValueW(key, name);
        RegCloseKey(key);
    }
}

// --- The process under test ---

PROCESS_INFORMATION process = {};

bool Start(const std::wstring &exe)
{
    // The program's output goes to NUL: an inherited handle on the caller's
    // pipe would keep the pipe open for as long as the program runs.
    SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
    HANDLE nul =
        CreateFileW(L"NUL", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                    &inherit, OPEN_EXISTING, 0, nullptr);
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = nul;
    startup.hStdOutput = nul;
    startup.hStdError = nul;
    std::wstring commandLine = L"\"" + exe + L"\"";
    std::wstring folder = exe.substr(0, exe.find_last_of(L"\\/") + 1);
    const BOOL ok =
        CreateProcessW(exe.c_str(), commandLine.data(), nullptr, nullptr, TRUE, 0, nullptr,
                       folder.empty() ? nullptr : folder.c_str(), &startup, &process);
    CloseHandle(nul);
    return ok != FALSE;
}

// The main window of the started process, once it is visible; a new prefix
// can take many seconds to show the first window.
HWND FindMainWindow(DWORD timeoutMs)
{
    HWND found = nullptr;
    WaitUntil(
        [&] {
            found = nullptr;
            HWND candidate = nullptr;
            while ((candidate = FindWindowExW(nullptr, candidate, kForm1Class.c_str(), nullptr))) {
                DWORD pid = 0;
                GetWindowThreadProcessId(candidate, &pid);
                if (pid == process.dwProcessId && IsWindowVisible(candidate)) {
                    found = candidate;
                }
            }
            return found != nullptr || WaitForSingleObject(process.hProcess, 0) == WAIT_OBJECT_0;
        },
        timeoutMs);
    return found;
}

// Ends the program's process when asked through "isClose"; true when it ended
// with status 0 within the time.
bool EndsOnIsClose(DWORD timeoutMs, ULONGLONG *tookMs)
{
    const ULONGLONG asked = Now();
    if (!WriteSetting(L"isClose", L"1")) {
        std::printf("     (could not write isClose)\n");
    }
    const bool ended = WaitForSingleObject(process.hProcess, timeoutMs) == WAIT_OBJECT_0;
    *tookMs = Now() - asked;
    DWORD status = STILL_ACTIVE;
    GetExitCodeProcess(process.hProcess, &status);
    if (!ended) {
        std::printf("     (still running after %lu ms)\n", static_cast<unsigned long>(timeoutMs));
    } else if (status != 0) {
        std::printf("     (exit status %lu)\n", static_cast<unsigned long>(status));
    }
    return ended && status == 0;
}

void StopProcess()
{
    if (process.hProcess) {
        if (WaitForSingleObject(process.hProcess, 0) != WAIT_OBJECT_0) {
            TerminateProcess(process.hProcess, 99);
            WaitForSingleObject(process.hProcess, 5000);
        }
        CloseHandle(process.hThread);
        CloseHandle(process.hProcess);
        process = {};
    }
}

// H:MM:SS of a whole number of seconds, as the display writes it.
std::wstring Duration(long seconds)
{
    wchar_t text[32];
    std::swprintf(text, 32, L"%ld:%02ld:%02ld", seconds / 3600, seconds / 60 % 60, seconds % 60);
    return text;
}

long Seconds(const std::optional<std::wstring> &text)
{
    long h = 0, m = 0, s = 0;
    if (!text || std::swscanf(text->c_str(), L"%ld:%ld:%ld", &h, &m, &s) != 3) {
        return -1;
    }
    return h * 3600 + m * 60 + s;
}

// --- Starting the program ---

// What the command line asked for.
std::wstring exe;
int dpi = 0;
int poseSeconds = -1;
std::wstring shots;
// The total the About window showed, for the next start.
double usageShownBefore = -1;

// brisko.exe started, with its main window up (a new prefix can take many
// seconds to show the first window).
void StartAndShow()
{
    const bool started = Start(exe);
    const DWORD error = GetLastError();
    REQUIRE_DETAILED(started, L"brisko.exe starts",
                     "CreateProcessW failed, error " + std::to_string(error));
    const ULONGLONG launched = Now();
    main_window = FindMainWindow(30000);
    REQUIRE_DETAILED(main_window != nullptr, L"the main window (class BriskoForm1) appears",
                     WaitForSingleObject(process.hProcess, 0) == WAIT_OBJECT_0
                         ? "the program ended"
                         : "none within 30 s");
    std::printf("     (window after %llu ms)\n", Now() - launched);
}

// The first start needs an empty store; a user's settings are never touched.
void StartFresh()
{
    const bool fresh = !SettingsKeyExists(KEY_WOW64_32KEY) && !SettingsKeyExists(KEY_WOW64_64KEY);
    REQUIRE_MESSAGE(fresh, Said(L"no settings stored before the first start (a fresh prefix)"));
    StartAndShow();
}

// Each step after the first goes on with the program the one before left.
void RequireProgram()
{
    REQUIRE_MESSAGE((main_window != nullptr && IsWindow(main_window) &&
                     WaitForSingleObject(process.hProcess, 0) == WAIT_TIMEOUT),
                    Said(L"brisko.exe is still running with its window"));
}

void CheckEndsOnIsClose()
{
    ULONGLONG took = 0;
    CHECK_DETAILED(EndsOnIsClose(3000, &took), L"isClose 1 ends the program with exit status 0",
                   "see above");
    std::printf("     (ended %llu ms after isClose)\n", took);
}

// --- A user's session, one step a test case, in the order a user meets them ---

TEST_SUITE_BEGIN("session");

TEST_CASE("the first start")
{
    StartFresh();
    const auto title = TextOf(main_window);
    CHECK_DETAILED(title && title->rfind(L"计时器", 0) == 0,
                   L"the main window's title begins with 计时器", "got " + Quoted(title));
    CheckText(TextOf(Id("Command1")), L"开始", L"Command1");
    CHECK_MESSAGE(Shown(Id("Command1")), Said(L"开始 is shown"));
    CHECK_MESSAGE(!Shown(Id("Command2")), Said(L"Command2 is hidden at the first start"));
    CheckText(TextOf(Id("Command2")), L"暂停", L"the hidden Command2");
    CheckText(TextOf(Id("Label2")), L"0:00:00", L"Label2");
    CheckText(TextOf(Id("Label7")), L"", L"Label7");
    CheckText(TextOf(Id("Text1")), L"5", L"Text1");
    CheckText(TextOf(Id("Label5")), L"分钟", L"Label5");
    CheckText(TextOf(Id("Check1")), L"置最前", L"Check1");
    CheckText(TextOf(Id("Check2")), L"倒计时", L"Check2");
    CheckText(TextOf(Id("Check3")), L"菜单", L"Check3");
    CHECK_MESSAGE((CheckState(Id("Check1")) == BST_UNCHECKED &&
                   CheckState(Id("Check2")) == BST_UNCHECKED &&
                   CheckState(Id("Check3")) == BST_UNCHECKED),
                  Said(L"the three boxes are unchecked"));
    CHECK_MESSAGE(GetMenu(main_window) == nullptr, Said(L"no menu bar at the first start"));
    const LONG_PTR style = GetWindowLongPtrW(main_window, GWL_STYLE);
    CHECK_MESSAGE(((style & WS_MAXIMIZEBOX) == 0 && (style & WS_MINIMIZEBOX) != 0),
                  Said(L"minimize box, no maximize box"));
    GUITHREADINFO gui = {};
    gui.cbSize = sizeof gui;
    GetGUIThreadInfo(GetWindowThreadProcessId(main_window, nullptr), &gui);
    CHECK_MESSAGE(gui.hwndFocus == Control(Id("Command1")), Said(L"开始 has the keyboard focus"));
}

TEST_CASE("the housekeeping tick")
{
    RequireProgram();
    // The first tick comes a second after loading; the title then shows the time.
    std::optional<std::wstring> title;
    const bool ticked = WaitUntil(
        [&] {
            title = TextOf(main_window);
            return title && title->rfind(L"计时器 ", 0) == 0 && title->size() > 4;
        },
        2500);
    CHECK_DETAILED(ticked, L"the title shows 计时器 and the time of day", "got " + Quoted(title));

    const REGSAM other = view == KEY_WOW64_32KEY ? KEY_WOW64_64KEY : KEY_WOW64_32KEY;
    CHECK_DETAILED(SettingsKeyExists(view) && !SettingsKeyExists(other),
                   view == KEY_WOW64_32KEY ? L"the settings are in the registry's 32-bit view"
                                           : L"the settings are in the registry's 64-bit view",
                   SettingsKeyExists(other) ? "they went to the other view" : "no settings key");
    // Start-up writes back only what it changed: the menu box, which the
    // design has ticked. The entry already showed 5.
    CheckText(ValueNames(), L"Check3 js00 Left Top", L"after the first tick, the stored names");
    const auto first = Setting(L"js00");
    CHECK_DETAILED(first && first->size() > 1 && (*first)[0] == L' ' && Number(first) >= 1,
                   L"js00 is stored as a blank and the seconds", "got " + Quoted(first));
    const ULONGLONG t0 = Now();
    Sleep(2100);
    const double grew = Number(Setting(L"js00")) - Number(first);
    const double want = static_cast<double>(Now() - t0) / 1000.0;
    CHECK_DETAILED(grew >= want - 1 && grew <= want + 1, L"js00 grows by one every second",
                   "grew by " + std::to_string(grew) + " in " + std::to_string(want) + " s");

    // Where the window opened, and where it goes when moved.
    RECT rect = {};
    GetWindowRect(main_window, &rect);
    const double left = Number(Setting(L"Left"));
    const double top = Number(Setting(L"Top"));
    CHECK_DETAILED(std::abs(left - rect.left * 15.0) <= 15 && std::abs(top - rect.top * 15.0) <= 15,
                   L"Left and Top hold the window's place in twips (1000 at the first start)",
                   "stored " + Quoted(Setting(L"Left")) + ", " + Quoted(Setting(L"Top")) + " for " +
                       std::to_string(rect.left) + ", " + std::to_string(rect.top) + " px");
    SetWindowPos(main_window, nullptr, 200, 120, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    CheckSetting(L"Left", L"3000");
    CheckSetting(L"Top", L"1800");

    // Minimised, the window keeps its normal place in the store.
    ShowWindowAsync(main_window, SW_MINIMIZE);
    CHECK_MESSAGE(WaitUntil([] { return IsIconic(main_window) != FALSE; }, 2000),
                  Said(L"the window minimises"));
    Sleep(2200);
    CHECK_DETAILED(Setting(L"Left") == L"3000" && Setting(L"Top") == L"1800",
                   L"minimised, Left and Top keep the normal place",
                   "stored " + Quoted(Setting(L"Left")) + ", " + Quoted(Setting(L"Top")));
    ShowWindowAsync(main_window, SW_RESTORE);
    WaitUntil([] { return IsIconic(main_window) == FALSE; }, 2000);
    GetWindowRect(main_window, &rect);
    CHECK_DETAILED(rect.left == 200 && rect.top == 120, L"restored, the window is where it was",
                   std::to_string(rect.left) + ", " + std::to_string(rect.top));
}

TEST_CASE("the stopwatch: start, pause, continue, stop")
{
    RequireProgram();
    Click(Id("Command1"));
    const ULONGLONG started = Now();
    CheckText(TextOf(Id("Command1")), L"停止", L"after 开始, Command1");
    CHECK_MESSAGE(Shown(Id("Command2")), Said(L"暂停 appears with the start"));
    CheckText(TextOf(Id("Command2")), L"暂停", L"Command2");

    const bool counted = WaitUntil([] { return TextOf(Id("Label2")) == L"0:00:02"; }, 4000);
    const ULONGLONG took = Now() - started;
    CHECK_DETAILED(counted && took >= 1500 && took <= 3500,
                   L"the stopwatch shows 0:00:02 about two seconds after 开始",
                   "after " + std::to_string(took) + " ms: " + Quoted(TextOf(Id("Label2"))));
    CheckText(TextOf(Id("Label7")), L"正在计时中...", L"at 0:00:02 Label7");

    Click(Id("Command2"));
    CheckText(TextOf(Id("Command2")), L"继续", L"after 暂停, Command2");
    CheckText(TextOf(Id("Label7")), L"计时暂停中", L"while paused, Label7");
    const auto paused = TextOf(Id("Label2"));
    Sleep(1500);
    CHECK_DETAILED(TextOf(Id("Label2")) == paused, L"the display stands still while paused",
                   "was " + Quoted(paused) + ", now " + Quoted(TextOf(Id("Label2"))));

    Click(Id("Command2"));
    CheckText(TextOf(Id("Command2")), L"暂停", L"after 继续, Command2");
    const std::wstring next = Duration(Seconds(paused) + 1);
    std::optional<std::wstring> shown;
    WaitUntil(
        [&] {
            shown = TextOf(Id("Label2"));
            return shown != paused;
        },
        2500);
    CHECK_DETAILED(shown == next, L"继续 goes on from where it paused, to " + next,
                   "got " + Quoted(shown));

    Click(Id("Command1"));
    CheckText(TextOf(Id("Command1")), L"开始", L"after 停止, Command1");
    CHECK_MESSAGE(!Shown(Id("Command2")), Said(L"Command2 hides on 停止"));
    CheckText(TextOf(Id("Label7")), L"", L"after 停止, Label7");
}

TEST_CASE("a zero in the minutes entry")
{
    RequireProgram();
    SetTextJob job{Control(Id("Text1")), L"0"};
    HANDLE sender = SetTextAsync(job);
    HWND box = FindMessageBox(L"brisko", 3000);
    CHECK_MESSAGE(box != nullptr, Said(L"a zero in 分钟 brings up a message box titled brisko"));
    if (box) {
        CheckText(TextOf(GetDlgItem(box, 0xFFFF)), L"此处必须大于0", L"the message");
        Answer(box, IDOK);
    }
    const bool done = WaitForSingleObject(sender, 3000) == WAIT_OBJECT_0;
    CloseHandle(sender);
    CHECK_MESSAGE((done && !FindWindowW(L"#32770", L"brisko")), Said(L"OK closes the message box"));
    CheckText(TextOf(Id("Text1")), L"5", L"after the message, Text1");
    CheckSetting(L"Text1", L"5");
}

TEST_CASE("a three-second countdown")
{
    RequireProgram();
    // 0.05 minutes: a countdown of three seconds.
    SetTextJob job{Control(Id("Text1")), L"0.05"};
    HANDLE sender = SetTextAsync(job);
    WaitForSingleObject(sender, 3000);
    CloseHandle(sender);
    CheckSetting(L"Text1", L"0.05");
    Click(Id("Check2"));
    CHECK_MESSAGE(CheckState(Id("Check2")) == BST_CHECKED, Said(L"倒计时 ticks"));
    CheckSetting(L"Check2", L" 1");

    Click(Id("Command1"));
    const ULONGLONG started = Now();
    const bool first = WaitUntil([] { return TextOf(Id("Label2")) == L"0:00:02"; }, 2500);
    CHECK_DETAILED(first, L"the countdown's first tick shows 0:00:02",
                   "got " + Quoted(TextOf(Id("Label2"))));
    CheckText(TextOf(Id("Label7")), L"倒计时进行中..", L"at the first tick Label7");
    const bool ended = WaitUntil([] { return TextOf(Id("Label2")) == L"时间到了"; }, 4000);
    const ULONGLONG took = Now() - started;
    CHECK_DETAILED(ended && took >= 2500 && took <= 4500,
                   L"a 0.05-minute countdown ends in 时间到了",
                   "after " + std::to_string(took) + " ms: " + Quoted(TextOf(Id("Label2"))));
    CheckText(TextOf(Id("Command1")), L"开始", L"after 时间到了, Command1");
    CHECK_MESSAGE(!Shown(Id("Command2")), Said(L"Command2 hides at the end of the countdown"));
    CheckText(TextOf(Id("Label7")), L"", L"after 时间到了, Label7");
}

bool Topmost()
{
    return (GetWindowLongPtrW(main_window, GWL_EXSTYLE) & WS_EX_TOPMOST) != 0;
}

TEST_CASE("keep on top and the menu bar")
{
    RequireProgram();
    Click(Id("Check1"));
    CheckSetting(L"Check1", L" 1");
    CHECK_DETAILED(
        WaitUntil(Topmost, 2500), L"置最前 makes the window WS_EX_TOPMOST within a tick",
        "(under Wine a WS_EX_TOPMOST window owned by it, such as a tooltip, prevents that)");
    Click(Id("Check1"));
    CheckSetting(L"Check1", L" 0");
    CHECK_MESSAGE(WaitUntil([] { return !Topmost(); }, 2500),
                  Said(L"unticking 置最前 takes WS_EX_TOPMOST away within a tick"));

    Click(Id("Check3"));
    CHECK_MESSAGE(GetMenu(main_window) != nullptr, Said(L"菜单 shows the menu bar at once"));
    CheckSetting(L"Check3", L" 1");
    Click(Id("Check3"));
    CHECK_MESSAGE(GetMenu(main_window) == nullptr, Said(L"unticking 菜单 hides the menu bar"));
    CheckSetting(L"Check3", L" 0");
}

// The top-level windows from the top of the z-order down: true when a is
// above b.
bool Above(HWND a, HWND b)
{
    for (HWND w = GetTopWindow(nullptr); w; w = GetWindow(w, GW_HWNDNEXT)) {
        if (w == a) {
            return true;
        }
        if (w == b) {
            return false;
        }
    }
    return false;
}

POINT CentreOf(HWND window)
{
    RECT rect = {};
    GetWindowRect(window, &rect);
    return {(rect.left + rect.right) / 2, (rect.top + rect.bottom) / 2};
}

// Moves the main window over a point, so that a window beneath it there
// would be hidden.
void CoverWithMain(POINT point)
{
    SetWindowPos(main_window, nullptr, point.x - 60, point.y - 40, 0, 0,
                 SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

// A window the main window opens must come up above it and take the user's
// clicks, even when the main window is kept on top; the About window, which
// has no owner, lets the main window stay above it where they overlap.
TEST_CASE("windows over the kept-on-top main window")
{
    RequireProgram();
    Click(Id("Check1"));
    CHECK_MESSAGE(WaitUntil(Topmost, 2500), Said(L"置最前 again: the window is kept on top"));

    PostMessageW(main_window, WM_COMMAND, MAKEWPARAM(MenuId("menuUpdate"), 0), 0);
    const HWND update = WaitForWindow(kFormUpdateClass.c_str(), 20000);
    CHECK_MESSAGE(update != nullptr, Said(L"检查更新 opens the update window"));
    if (update) {
        const HWND quit = GetDlgItem(update, UpdateId("Command2"));
        CoverWithMain(CentreOf(quit));
        Sleep(200);
        CHECK_MESSAGE(Above(update, main_window),
                      Said(L"the update window is above the kept-on-top main window"));
        const HWND hit = WindowFromPoint(CentreOf(quit));
        CHECK_DETAILED(hit == quit, L"a click on 退出 reaches 退出, not the main window",
                       hit == main_window || GetParent(hit) == main_window
                           ? "the main window is in the way"
                           : "something else is there");
        Click(quit);
        CHECK_MESSAGE((WaitUntil([&] { return !IsWindow(update); }, 3000) &&
                       WaitUntil([] { return IsWindowEnabled(main_window) != FALSE; }, 2000)),
                      Said(L"退出 closes the update window and the main window takes input again"));
    }

    SetTextJob job{Control(Id("Text1")), L"0"};
    HANDLE sender = SetTextAsync(job);
    HWND box = FindMessageBox(L"brisko", 3000);
    CHECK_MESSAGE(box != nullptr, Said(L"the zero message comes up with 置最前 ticked"));
    if (box) {
        const HWND ok = GetDlgItem(box, IDOK);
        CoverWithMain(CentreOf(ok));
        Sleep(1200); // a housekeeping tick puts the main window on top again meanwhile
        CHECK_MESSAGE(Above(box, main_window),
                      Said(L"the message box is above the kept-on-top main window"));
        CHECK_MESSAGE(WindowFromPoint(CentreOf(ok)) == ok,
                      Said(L"a click on the message's OK reaches it"));
        Answer(box, IDOK);
    }
    WaitForSingleObject(sender, 3000);
    CloseHandle(sender);
    // Back to the minutes the restart expects.
    SetTextJob back{Control(Id("Text1")), L"0.05"};
    sender = SetTextAsync(back);
    WaitForSingleObject(sender, 3000);
    CloseHandle(sender);

    PostMessageW(main_window, WM_COMMAND, MAKEWPARAM(MenuId("nemuAbout"), 0), 0);
    const HWND about = WaitForWindow(kFormAboutClass.c_str(), 3000);
    if (about) {
        RECT rect = {};
        GetWindowRect(about, &rect);
        const POINT inside = {rect.left + 40, rect.bottom - 20};
        CoverWithMain(inside);
        Sleep(1200);
        const HWND hit = WindowFromPoint(inside);
        CHECK_MESSAGE(
            (hit == main_window || GetParent(hit) == main_window),
            Said(L"the kept-on-top main window stays above the About window where they overlap"));
        const POINT clear = {rect.right - 10, rect.top + 5};
        CHECK_MESSAGE(
            WindowFromPoint(clear) == about,
            Said(L"the About window's caption beside the main window still takes clicks"));
        PostMessageW(about, WM_CLOSE, 0, 0);
        WaitUntil([&] { return !IsWindow(about); }, 2000);
    }

    SetWindowPos(main_window, nullptr, 200, 120, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    Click(Id("Check1"));
    CHECK_MESSAGE(WaitUntil([] { return !Topmost(); }, 2500), Said(L"置最前 off again"));
}

TEST_CASE("the close question, answered Cancel")
{
    RequireProgram();
    PostMessageW(main_window, WM_CLOSE, 0, 0);
    HWND box = FindMessageBox(L"关闭程序?", 3000);
    REQUIRE_MESSAGE(box != nullptr, Said(L"the close box asks 关闭程序?"));
    CheckText(TextOf(GetDlgItem(box, 0xFFFF)), L"你确定要关闭此程序吗?", L"the question");
    GUITHREADINFO gui = {};
    gui.cbSize = sizeof gui;
    GetGUIThreadInfo(GetWindowThreadProcessId(box, nullptr), &gui);
    CHECK_MESSAGE((gui.hwndFocus && GetDlgCtrlID(gui.hwndFocus) == IDCANCEL),
                  Said(L"Cancel is the question's default button"));
    Answer(box, IDCANCEL);
    Sleep(500);
    CHECK_MESSAGE(
        (IsWindow(main_window) && WaitForSingleObject(process.hProcess, 0) == WAIT_TIMEOUT),
        Said(L"Cancel keeps the program open"));
}

TEST_CASE("the About window")
{
    RequireProgram();
    PostMessageW(main_window, WM_COMMAND, MAKEWPARAM(MenuId("nemuAbout"), 0), 0);
    const HWND about = WaitForWindow(kFormAboutClass.c_str(), 3000);
    REQUIRE_MESSAGE(about != nullptr, Said(L"关于本软件 opens the About window"));
    const double total = Number(Setting(L"js00"));
    CheckText(TextOf(about), L"About Brisko（计时器）", L"the About window's title");
    CheckText(TextOf(GetDlgItem(about, AboutId("Label1"))), L"当前版本为：V1.2.2", L"Label1");
    const auto usage = TextOf(GetDlgItem(about, AboutId("Label3")));
    const std::wstring prefix = L"您已使用本软件合计有 ";
    const long shown =
        usage && usage->rfind(prefix, 0) == 0 ? Seconds(usage->substr(prefix.size())) : -1;
    CHECK_DETAILED(shown >= 0 && std::abs(shown - total) <= 2,
                   L"Label3 shows the usage total as H:MM:SS",
                   "got " + Quoted(usage) + " with js00 at " + std::to_string(total));
    CheckText(TextOf(GetDlgItem(about, AboutId("Label4"))), L"官方网址：", L"Label4");
    const auto host = TextOf(GetDlgItem(about, AboutId("Label5")));
    CHECK_DETAILED(host && !host->empty() && host->find(L'/') == std::wstring::npos,
                   L"Label5 shows the vendor's host name", "got " + Quoted(host));
    const auto statement = TextOf(GetDlgItem(about, AboutId("Label6")));
    const std::wstring head = L"声明：本软件是纯绿色软件，无需安装，无插件，无病毒，不修改主页，"
                              L"完全免费使用（永久免费），";
    const std::wstring tail = L"，任何其它人/公司不得修改本软件代码并用之于商业开发";
    CHECK_DETAILED(statement && statement->rfind(head, 0) == 0 &&
                       statement->size() > head.size() + tail.size() &&
                       statement->compare(statement->size() - tail.size(), tail.size(), tail) == 0,
                   L"Label6 holds the statement", "got " + Quoted(statement));
    CHECK_MESSAGE((GetWindow(about, GW_OWNER) == nullptr && IsWindowEnabled(main_window)),
                  Said(L"the About window has no owner and leaves the main window usable"));
    usageShownBefore = shown;
}

// OK at the close question ends the program at once, with status 0.
TEST_CASE("the close question, answered OK")
{
    RequireProgram();
    PostMessageW(main_window, WM_CLOSE, 0, 0);
    HWND box = FindMessageBox(L"关闭程序?", 3000);
    if (box) {
        Answer(box, IDOK);
    }
    const bool ended = WaitForSingleObject(process.hProcess, 3000) == WAIT_OBJECT_0;
    DWORD status = STILL_ACTIVE;
    GetExitCodeProcess(process.hProcess, &status);
    CHECK_MESSAGE(
        (box && ended && status == 0),
        Said(L"OK at the close question ends the program with exit status 0, About open or not"));
}

TEST_CASE("a second start")
{
    // The settings come back, then isClose is obeyed with the About window open.
    StopProcess();
    StartAndShow();
    CheckText(TextOf(Id("Text1")), L"0.05", L"after a restart, Text1");
    CHECK_MESSAGE((CheckState(Id("Check2")) == BST_CHECKED &&
                   CheckState(Id("Check1")) == BST_UNCHECKED &&
                   CheckState(Id("Check3")) == BST_UNCHECKED),
                  Said(L"after a restart, 倒计时 ticked and the other boxes as left"));
    RECT rect = {};
    GetWindowRect(main_window, &rect);
    CHECK_DETAILED(rect.left == 200 && rect.top == 120, L"after a restart, the window's place",
                   std::to_string(rect.left) + ", " + std::to_string(rect.top));
    PostMessageW(main_window, WM_COMMAND, MAKEWPARAM(MenuId("nemuAbout"), 0), 0);
    const HWND about = WaitForWindow(kFormAboutClass.c_str(), 3000);
    const auto usage = TextOf(GetDlgItem(about, AboutId("Label3")));
    const std::wstring prefix = L"您已使用本软件合计有 ";
    const long shown =
        usage && usage->rfind(prefix, 0) == 0 ? Seconds(usage->substr(prefix.size())) : -1;
    CHECK_DETAILED(about && shown >= usageShownBefore,
                   L"the usage total goes on from the run before",
                   "got " + Quoted(usage) + ", before " + std::to_string(usageShownBefore));
}

TEST_CASE("isClose ends the program")
{
    RequireProgram();
    CheckEndsOnIsClose();
}

// While isClose stays 1 every start ends by itself at its first tick
// (whether or not its window was up by then).
TEST_CASE("a start while isClose stays 1")
{
    StopProcess();
    // A stored minutes text that is not a number shows 5 but stays stored.
    WriteSetting(L"Text1", L"abc");
    REQUIRE_MESSAGE(Start(exe), Said(L"brisko.exe starts again"));
    const bool ended = WaitForSingleObject(process.hProcess, 30000) == WAIT_OBJECT_0;
    DWORD status = STILL_ACTIVE;
    GetExitCodeProcess(process.hProcess, &status);
    CHECK_MESSAGE((ended && status == 0),
                  Said(L"with isClose still 1, a new start ends by itself with 0"));
    CheckSetting(L"Text1", L"abc", 0);
}

TEST_SUITE_END();

// --- The other modes ---

TEST_CASE("the window comes up and isClose ends it" * doctest::test_suite("smoke"))
{
    StartFresh();
    CheckEndsOnIsClose();
}

// Positions are twips at the window's DPI, both ways: 1000 twips are 67 px
// at 96 DPI and 100 px at 144; 3000 twips 200 px and 300 px.
TEST_CASE("the window's place at the prefix's DPI" * doctest::test_suite("dpi"))
{
    StartFresh();
    const auto px = [](double twips) { return std::lround(twips * dpi / 1440.0); };
    const std::wstring at = L" at " + std::to_wstring(dpi) + L" DPI";
    RECT rect = {};
    GetWindowRect(main_window, &rect);
    CHECK_DETAILED(rect.left == px(1000) && rect.top == px(1000),
                   L"nothing stored: the window's corner is 1000 twips from the screen's" + at,
                   "at " + std::to_string(rect.left) + ", " + std::to_string(rect.top) +
                       " px, want " + std::to_string(px(1000)));
    std::optional<std::wstring> left;
    WaitUntil(
        [&] {
            left = Setting(L"Left");
            return left.has_value();
        },
        2500);
    CHECK_DETAILED(std::abs(Number(left) - 1000) <= 1440.0 / dpi,
                   L"and Left is stored as about 1000" + at, "got " + Quoted(left));

    ULONGLONG took = 0;
    CHECK_MESSAGE(EndsOnIsClose(3000, &took), Said(L"isClose ends the first start"));
    DeleteSetting(L"isClose");
    StopProcess();
    WriteSetting(L"Left", L"3000");
    WriteSetting(L"Top", L"3000");
    REQUIRE_MESSAGE((Start(exe) && (main_window = FindMainWindow(30000)) != nullptr),
                    Said(L"a second start shows its window"));
    GetWindowRect(main_window, &rect);
    CHECK_DETAILED(rect.left == px(3000) && rect.top == px(3000),
                   L"Left and Top 3000 place the window" + at,
                   "at " + std::to_string(rect.left) + ", " + std::to_string(rect.top) +
                       " px, want " + std::to_string(px(3000)));
    Sleep(1300);
    CHECK_DETAILED(Setting(L"Left") == L"3000" && Setting(L"Top") == L"3000",
                   L"and the next tick stores them back unchanged",
                   "got " + Quoted(Setting(L"Left")) + ", " + Quoted(Setting(L"Top")));
    CheckEndsOnIsClose();
}

// Saves what the screen shows of a window as a 24-bit .bmp file.
bool SaveWindowPicture(HWND window, const std::wstring &path)
{
    RECT rect = {};
    GetWindowRect(window, &rect);
    const int width = rect.right - rect.left;
    const int height = rect.bottom - rect.top;
    const HDC screen = GetDC(nullptr);
    const HDC memory = CreateCompatibleDC(screen);
    const HBITMAP bitmap = CreateCompatibleBitmap(screen, width, height);
    const HGDIOBJ old = SelectObject(memory, bitmap);
    BitBlt(memory, 0, 0, width, height, screen, rect.left, rect.top, SRCCOPY);
    SelectObject(memory, old);
    BITMAPINFOHEADER info = {};
    info.biSize = sizeof info;
    info.biWidth = width;
    info.biHeight = height;
    info.biPlanes = 1;
    info.biBitCount = 24;
    info.biCompression = BI_RGB;
    const DWORD row = static_cast<DWORD>((width * 3 + 3) & ~3);
    std::vector<BYTE> bits(static_cast<size_t>(row) * static_cast<size_t>(height));
    GetDIBits(memory, bitmap, 0, static_cast<UINT>(height), bits.data(),
              reinterpret_cast<BITMAPINFO *>(&info), DIB_RGB_COLORS);
    DeleteObject(bitmap);
    DeleteDC(memory);
    ReleaseDC(nullptr, screen);
    BITMAPFILEHEADER file = {};
    file.bfType = 0x4D42;
    file.bfOffBits = sizeof file + sizeof info;
    file.bfSize = file.bfOffBits + static_cast<DWORD>(bits.size());
    FILE *out = _wfopen(path.c_str(), L"wb");
    if (!out) {
        return false;
    }
    std::fwrite(&file, sizeof file, 1, out);
    std::fwrite(&info, sizeof info, 1, out);
    std::fwrite(bits.data(), 1, bits.size(), out);
    std::fclose(out);
    return true;
}

// The three windows as the screen shows them: the main window (as posed),
// the About window and the update window, each on its own.
void TakeShots(const std::wstring &folder)
{
    CHECK_MESSAGE(SaveWindowPicture(main_window, folder + L"\\main.bmp"),
                  Said(L"a picture of the main window"));
    PostMessageW(main_window, WM_COMMAND, MAKEWPARAM(MenuId("nemuAbout"), 0), 0);
    if (HWND about = WaitForWindow(kFormAboutClass.c_str(), 3000)) {
        SetForegroundWindow(about);
        Sleep(500);
        CHECK_MESSAGE(SaveWindowPicture(about, folder + L"\\about.bmp"),
                      Said(L"a picture of the About window"));
        PostMessageW(about, WM_CLOSE, 0, 0);
    }
    PostMessageW(main_window, WM_COMMAND, MAKEWPARAM(MenuId("menuUpdate"), 0), 0);
    if (HWND update = WaitForWindow(kFormUpdateClass.c_str(), 20000)) {
        Sleep(500);
        CHECK_MESSAGE(SaveWindowPicture(update, folder + L"\\update.bmp"),
                      Said(L"a picture of the update window"));
        PostMessageW(update, WM_CLOSE, 0, 0);
    }
}

// Not a test: the countdown posed for pictures, the program left running
// unless the pictures are taken here.
TEST_CASE("a countdown posed for pictures" * doctest::test_suite("pose"))
{
    StartAndShow();
    if (CheckState(Id("Check2")) != BST_CHECKED) {
        Click(Id("Check2"));
    }
    if (CheckState(Id("Check3")) != BST_CHECKED) {
        Click(Id("Check3"));
    }
    Click(Id("Command1"));
    SetForegroundWindow(main_window); // an active caption, as a user sees it
    Sleep(static_cast<DWORD>(poseSeconds) * 1000 + 400);
    RECT rect = {};
    GetWindowRect(main_window, &rect);
    std::printf("rect %ld %ld %ld %ld\n", rect.left, rect.top, rect.right - rect.left,
                rect.bottom - rect.top);
    if (!shots.empty()) {
        TakeShots(shots);
        ULONGLONG took = 0;
        EndsOnIsClose(3000, &took);
    }
}

} // namespace

int wmain(int argc, wchar_t **argv)
{
    bool smoke = false;
    // doctest's own options pass through, after the program's name.
    std::vector<std::string> args{Utf8(argv[0])};
    for (int i = 1; i < argc; ++i) {
        const std::wstring arg = argv[i];
        if (arg == L"--view32") {
            view = KEY_WOW64_32KEY;
        } else if (arg == L"--view64") {
            view = KEY_WOW64_64KEY;
        } else if (arg == L"--smoke") {
            smoke = true;
        } else if (arg == L"--dpi" && i + 1 < argc) {
            dpi = static_cast<int>(std::wcstol(argv[++i], nullptr, 10));
        } else if (arg == L"--shots" && i + 1 < argc) {
            shots = argv[++i];
        } else if (arg == L"--pose" && i + 1 < argc) {
            poseSeconds = static_cast<int>(std::wcstol(argv[++i], nullptr, 10));
        } else if (arg.rfind(L"-", 0) == 0) {
            args.push_back(Utf8(arg));
        } else {
            exe = arg;
        }
    }
    if (exe.empty()) {
        std::printf("usage: drive_brisko [--view32|--view64] [--smoke|--dpi DPI|--pose SECONDS] "
                    "[doctest's options] BRISKO.EXE\n");
        return 2;
    }
    const char *suite = poseSeconds >= 0 ? "pose" : dpi > 0 ? "dpi" : smoke ? "smoke" : "session";
    args.push_back(std::string("--test-suite=") + suite);
    std::vector<const char *> pointers;
    for (const std::string &arg : args)
        pointers.push_back(arg.c_str());

    const int status = testsupport::RunTests(static_cast<int>(pointers.size()), pointers.data(),
                                             testsupport::Counted::Checks);
    if (poseSeconds < 0) // a posed program stays up for the pictures
        StopProcess();
    return status;
}
