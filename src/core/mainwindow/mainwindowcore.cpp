#include "core/mainwindow/mainwindowcore.h"

#include "core/design/storedvalues.h"
#include "core/design/windowdesign.h"
#include "core/rules/numbertext.h"
#include "core/store/settingsstore.h"
#include "core/update/versionquery.h"

#include <cstdio>

namespace {

std::string boxText(bool checked)
{
    return SignedPlaceText(checked ? 1 : 0);
}

} // namespace

MainWindowCore::MainWindowCore(const Services &services, WindowHandle window)
    : services_(services), window_(window), alarm_(services)
{
    // The window as designed, until start-up brings back what was stored.
    look_.title = std::string(kForm1Design.title);
    look_.minutes = std::string(ControlNamed(kForm1Design, "Text1").text);
    look_.keepOnTop = ControlNamed(kForm1Design, "Check1").checked;
    look_.countdown = ControlNamed(kForm1Design, "Check2").checked;
    look_.menuBar = ControlNamed(kForm1Design, "Check3").checked;
    look_.timing.status = std::string(ControlNamed(kForm1Design, "Label7").text);
}

void MainWindowCore::writeSetting(std::string_view name, const std::string &text)
{
    services_.store->WriteSetting(RegistryRoot::LocalMachine, kSettingsKey, std::string(name),
                                  text);
}

// --- start-up ------------------------------------------------------------------

StartupState MainWindowCore::Form_Load(int frameWidth, int frameHeight,
                                       const std::vector<PixelRect> &screens, int dpi)
{
    StartupState state = ReadStartup(*services_.store, frameWidth, frameHeight, screens, dpi);
    usageTotal_ = state.usageTotal;
    // Each control set from the store runs its own change handling, which
    // stores the value back; a control already in that state does not change
    // and stores nothing (a stored "abc" stays, as the entry shows "5" anyway).
    Text1_Change(state.minutesText);
    Check1_Click(state.keepOnTop);
    Check2_Click(state.countdown);
    Check3_Click(state.menuBar);
    return state;
}

void MainWindowCore::FinishLoad(const std::function<bool()> &stillThere)
{
    programVersion_ = ProgramVersionText(services_);
    NotifyNewVersion(services_, window_, stillThere);
    if (!stillThere())
        return;
#ifdef _WIN32
    alarmFilePath_ = services_.files->programFolder() + "\\sound.mp3";
#else
    alarmFilePath_ = services_.files->programFolder() + "/sound.mp3";
#endif
    // The status line's design text is never seen running.
    look_.timing.status.clear();
}

// --- timing --------------------------------------------------------------------

void MainWindowCore::Command1_Click()
{
    engine_.startOrStop();
    look_.timing = engine_.look();
    alarm_.stop();
    showTaskbar();
}

void MainWindowCore::Command2_Click()
{
    engine_.pauseOrContinue();
    look_.timing = engine_.look();
    showTaskbar();
}

TickResult MainWindowCore::Timer2_Timer()
{
    // The minutes and the mode are read afresh on every tick, so a change
    // during a run counts from the next one.
    const TickResult result = engine_.tick(look_.minutes, look_.countdown);
    look_.timing = engine_.look();
    showTaskbar();
    // Only the end of a countdown calls the user back, not the alarm before
    // it, and not while the user is looking at the window.
    if (result.runFinished && services_.taskbar && !(windowActive_ && windowActive_()))
        services_.taskbar->requestAttention(window_);
    return result;
}

void MainWindowCore::showTaskbar()
{
    const TaskbarLook look =
        TaskbarLookFor(engine_.state(), look_.minutes, look_.countdown, engine_.count());
    // Sent on change only: an idle window sends nothing.
    if (look == taskbarShown_)
        return;
    taskbarShown_ = look;
    if (services_.taskbar)
        services_.taskbar->show(window_, look.state, look.fraction);
}

void MainWindowCore::SoundAlarm()
{
    alarm_.sound(alarmFilePath_);
}

void MainWindowCore::SetBeforeTone(std::function<void()> repaint)
{
    alarm_.beforeTone = std::move(repaint);
}

bool MainWindowCore::Text1_Change(const std::string &text)
{
    // Only a change of the entry's text is handled: setting the text it
    // already holds is no change, and stores nothing.
    if (text == look_.minutes)
        return true;
    look_.minutes = text;
    if (LeadingNumber(text) > 0) {
        // Stored exactly as typed, not normalised.
        writeSetting(stored::kText1.name, text);
        return true;
    }
    // Ticks go on while the message is open and read the refused text.
    services_.messages->show(window_, {.text = "此处必须大于0", .title = "brisko"});
    // The entry then goes back to 5, and that change is stored in turn.
    look_.minutes = PlainDecimalText(stored::kText1.fallback);
    writeSetting(stored::kText1.name, look_.minutes);
    return false;
}

void MainWindowCore::Check2_Click(bool countdown)
{
    if (countdown == look_.countdown)
        return;
    // Only stored: the next timing tick picks up the mode.
    look_.countdown = countdown;
    writeSetting(stored::kCheck2.name, boxText(countdown));
}

// --- options and links ----------------------------------------------------------

void MainWindowCore::Check1_Click(bool keepOnTop)
{
    if (keepOnTop == look_.keepOnTop)
        return;
    // Only stored here: the next housekeeping tick applies it to the window.
    look_.keepOnTop = keepOnTop;
    writeSetting(stored::kCheck1.name, boxText(keepOnTop));
}

void MainWindowCore::Check3_Click(bool menuBar)
{
    if (menuBar == look_.menuBar)
        return;
    // The menu is the bar's only entry, so the whole bar goes with it.
    look_.menuBar = menuBar;
    writeSetting(stored::kCheck3.name, boxText(menuBar));
}

void MainWindowCore::menuChaoZhou_Click()
{
    services_.browser->open(window_, services_.vendorUrl + "/brk/");
}

void MainWindowCore::applyKeepOnTop()
{
    services_.stacking->setKeepOnTop(window_, look_.keepOnTop);
}

// --- housekeeping and closing ------------------------------------------------------

void MainWindowCore::Timer1_Timer(int left, int top, int dpi)
{
    usageTotal_ = usageTotal_ + 1;

    // The three values go to the store as one change: one lock, one rewrite.
    services_.store->WriteSettings(
        RegistryRoot::LocalMachine, kSettingsKey,
        {{std::string(stored::kLeft.name), PlainDecimalText(PixelsToTwips(left, dpi))},
         {std::string(stored::kTop.name), PlainDecimalText(PixelsToTwips(top, dpi))},
         {std::string(stored::kJs00.name), SignedPlaceText(usageTotal_)}});

    look_.title = std::string(kForm1Design.title) + " " + services_.clock->timeOfDayText();

    applyKeepOnTop();

    const std::string quit = services_.store->ReadSetting(RegistryRoot::LocalMachine, kSettingsKey,
                                                          std::string(stored::kIsClose.name));
    if (LeadingNumber(quit) == 1)
        endNow();
}

bool MainWindowCore::askCloseQuestion()
{
    const MessageSpec question{
        .text = "你确定要关闭此程序吗?",
        .title = "关闭程序?",
        .buttons = MessageSpec::Buttons::OkCancel,
        .icon = MessageSpec::Icon::Question,
        .cancelIsDefault = true,
    };
    return services_.messages->show(window_, question) == MessageAnswer::Ok;
}

void MainWindowCore::StoreWhatIsHeld()
{
    const std::string problem = services_.store->Flush();
    if (!problem.empty())
        std::fprintf(stderr, "brisko: %s\n", problem.c_str());
}

void MainWindowCore::endNow()
{
    endRequested_ = true;
    // The housekeeping values may not be on disk yet, and a value may still
    // wait for another writer's lock: the store waits for it a few seconds
    // and syncs before the process goes.
    StoreWhatIsHeld();
    services_.process->endNow();
}

void MainWindowCore::EndWithoutAsking()
{
    endNow();
}

void MainWindowCore::CloseRequested()
{
    // Once the end is decided, a late close request asks nothing.
    if (endRequested_ || !askCloseQuestion())
        return;
    endNow();
}

void MainWindowCore::menuExit_Click()
{
    // Ends without going through the close request, so the question comes once.
    if (askCloseQuestion())
        endNow();
}

// --- the other windows ---------------------------------------------------------------

AboutTexts MainWindowCore::AboutWindowTexts() const
{
    return MakeAboutTexts(programVersion_, usageTotal_, services_.vendorUrl);
}

void MainWindowCore::AboutLabel5_Click(WindowHandle aboutWindow)
{
    services_.browser->open(aboutWindow, HomePageUrl(services_.vendorUrl));
}

bool MainWindowCore::menuUpdate_Click()
{
    // The query lets the event loop run before the window is up, so the
    // entry can be chosen again meanwhile; that choice does nothing.
    if (updateOpen_)
        return false;
    updateOpen_ = true;
    look_.housekeepingOn = false;
    return true;
}

UpdateWindowLook MainWindowCore::LoadUpdateWindow()
{
    return ::LoadUpdateWindow(services_, programVersion_);
}

void MainWindowCore::UpdateCommand1_Click(WindowHandle updateWindow)
{
    OpenUpdatePage(services_, updateWindow);
}

void MainWindowCore::UpdateWindowClosed()
{
    updateOpen_ = false;
    look_.housekeepingOn = true;
}
