// The taskbar button under a fake shell: its list made when the shell says the
// button exists (and again after a restart of the shell), the run's progress
// reaching it in the shell's terms, no list at all being no trouble, and the
// attention as a flash until the window comes to the front. Run under Wine by
// scripts/wine-test.sh; ends with "N passed, N failed".

#include "support/testing.h"
#include "win32/wintaskbar.h"

#include <windows.h>

#include <string>
#include <vector>

using Calls = std::vector<std::string>;

namespace {

// Records the calls the program makes, as "state <flag>" and "value <n>/<total>".
class FakeList final : public ITaskbarList3 {
public:
    Calls calls;
    HWND window = nullptr;
    LONG refs = 1;
    virtual ~FakeList() = default;

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID, void **out) override
    {
        *out = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++refs; }
    ULONG STDMETHODCALLTYPE Release() override { return --refs; }
    HRESULT STDMETHODCALLTYPE HrInit() override { return S_OK; }
    HRESULT STDMETHODCALLTYPE AddTab(HWND) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE DeleteTab(HWND) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE ActivateTab(HWND) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE SetActiveAlt(HWND) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE MarkFullscreenWindow(HWND, WINBOOL) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE SetProgressValue(HWND hwnd, ULONGLONG done, ULONGLONG total) override
    {
        window = hwnd;
        calls.push_back("value " + std::to_string(done) + "/" + std::to_string(total));
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE SetProgressState(HWND hwnd, TBPFLAG flag) override
    {
        window = hwnd;
        calls.push_back("state " + std::to_string(static_cast<int>(flag)));
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE RegisterTab(HWND, HWND) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE UnregisterTab(HWND) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE SetTabOrder(HWND, HWND) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE SetTabActive(HWND, HWND, DWORD) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE ThumbBarAddButtons(HWND, UINT, LPTHUMBBUTTON) override
    {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE ThumbBarUpdateButtons(HWND, UINT, LPTHUMBBUTTON) override
    {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE ThumbBarSetImageList(HWND, HIMAGELIST) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE SetOverlayIcon(HWND, HICON, LPCWSTR) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE SetThumbnailTooltip(HWND, LPCWSTR) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE SetThumbnailClip(HWND, RECT *) override { return E_NOTIMPL; }
};

// The fake shell: the lists it hands out (null while it has none), and the flashes.
std::vector<FakeList *> made;
bool shellHasList = true;
std::vector<FLASHWINFO> flashes;

ITaskbarList3 *MakeFake()
{
    if (!shellHasList)
        return nullptr;
    made.push_back(new FakeList);
    return made.back();
}

BOOL WINAPI FakeFlash(PFLASHWINFO info)
{
    flashes.push_back(*info);
    return TRUE;
}

void ResetShell(bool hasList)
{
    for (FakeList *list : made)
        delete list;
    made.clear();
    flashes.clear();
    shellHasList = hasList;
}

std::string Flag(TBPFLAG flag)
{
    return "state " + std::to_string(static_cast<int>(flag));
}

// A real top-level window of this thread, never shown.
HWND MakeWindow()
{
    return CreateWindowExW(0, L"STATIC", L"brisko-test", WS_OVERLAPPEDWINDOW, 0, 0, 100, 100,
                           nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
}

} // namespace

TEST_CASE("progressWaitsForTheButtonThenReachesItInTheShellsTerms")
{
    ResetShell(true);
    const HWND window = MakeWindow();
    WinTaskbar taskbar(MakeFake, FakeFlash);
    taskbar.show(window, TaskbarState::Normal, 0.25);
    CHECK(made.empty());
    // The button now exists: the state asked for before is shown at once.
    taskbar.buttonCreated();
    REQUIRE_EQ(made.size(), size_t(1));
    FakeList &list = *made[0];
    CHECK(list.calls == Calls({Flag(TBPF_NORMAL), "value 250/1000"}));
    CHECK(list.window == window);

    list.calls.clear();
    taskbar.show(window, TaskbarState::Paused, 1.0 / 3);
    taskbar.show(window, TaskbarState::Over, 1);
    taskbar.show(window, TaskbarState::None, 0);
    // Out of range and not-a-number shares stay on the bar.
    taskbar.show(window, TaskbarState::Normal, 7);
    taskbar.show(window, TaskbarState::Normal, -1);
    CHECK(list.calls == Calls({Flag(TBPF_PAUSED), "value 333/1000", Flag(TBPF_ERROR),
                               "value 1000/1000", Flag(TBPF_NOPROGRESS), Flag(TBPF_NORMAL),
                               "value 1000/1000", Flag(TBPF_NORMAL), "value 0/1000"}));
    DestroyWindow(window);
}

TEST_CASE("aShellWithoutAListShowsNothingUntilARestartedOneHasIt")
{
    ResetShell(false);
    const HWND window = MakeWindow();
    {
        WinTaskbar taskbar(MakeFake, FakeFlash);
        taskbar.buttonCreated();
        taskbar.show(window, TaskbarState::Paused, 0.5);
        taskbar.requestAttention(window);
        CHECK(made.empty());
        CHECK_EQ(flashes.size(), size_t(1));

        // Explorer restarted, with a taskbar list this time, then again: each
        // new list gets the state, the old one is let go.
        shellHasList = true;
        taskbar.buttonCreated();
        taskbar.buttonCreated();
        REQUIRE_EQ(made.size(), size_t(2));
        CHECK_EQ(made[0]->refs, 0L);
        CHECK(made[1]->calls == Calls({Flag(TBPF_PAUSED), "value 500/1000"}));
    }
    CHECK_EQ(made[1]->refs, 0L);
    DestroyWindow(window);
}

TEST_CASE("attentionFlashesTheButtonUntilTheWindowComesToTheFront")
{
    ResetShell(true);
    const HWND window = MakeWindow();
    WinTaskbar taskbar(MakeFake, FakeFlash);
    taskbar.requestAttention(window);
    REQUIRE_EQ(flashes.size(), size_t(1));
    CHECK(flashes[0].hwnd == window);
    CHECK_EQ(flashes[0].cbSize, UINT(sizeof(FLASHWINFO)));
    CHECK_EQ(flashes[0].dwFlags, DWORD(FLASHW_TRAY | FLASHW_TIMERNOFG));
    CHECK_EQ(flashes[0].uCount, UINT(0));
    DestroyWindow(window);
}

TEST_CASE("theShellsMessageReachesAnAttachedWindowWhichWorksAsBefore")
{
    ResetShell(true);
    const HWND window = MakeWindow();
    {
        WinTaskbar taskbar(MakeFake, FakeFlash);
        taskbar.attach(window);
        CHECK(WinTaskbar::ButtonCreatedMessage() != 0);
        CHECK(WinTaskbar::ButtonCreatedMessage() ==
              RegisterWindowMessageW(L"TaskbarButtonCreated"));
        SendMessageW(window, WinTaskbar::ButtonCreatedMessage(), 0, 0);
        REQUIRE_EQ(made.size(), size_t(1));
        // Before any run the button is told there is no progress.
        CHECK(made[0]->calls == Calls({Flag(TBPF_NOPROGRESS)}));
        CHECK(made[0]->window == window);
        SetWindowTextW(window, L"计时器");
        wchar_t text[16] = {};
        GetWindowTextW(window, text, 16);
        CHECK(std::wstring(text) == L"计时器");
    }
    // Detached with the taskbar gone: the message does nothing any more.
    SendMessageW(window, WinTaskbar::ButtonCreatedMessage(), 0, 0);
    CHECK_EQ(made.size(), size_t(1));
    DestroyWindow(window);
}

TEST_CASE("theShellsOwnListWhereThereIsOneTakesTheCalls")
{
    // Wine may or may not have one; either way nothing may fail.
    ITaskbarList3 *list = WinTaskbar::ShellTaskbarList();
    MESSAGE((list ? "the shell's taskbar list: present" : "the shell's taskbar list: none"));
    const HWND window = MakeWindow();
    WinTaskbar taskbar;
    taskbar.attach(window);
    taskbar.buttonCreated();
    taskbar.show(window, TaskbarState::Normal, 0.5);
    taskbar.show(window, TaskbarState::None, 0);
    if (list)
        list->Release();
    DestroyWindow(window);
    CHECK(true);
}
