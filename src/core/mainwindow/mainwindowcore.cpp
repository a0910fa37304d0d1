#include "core/mainwindow/mainwindowcore.h"

#include "core/rules/numbertext.h"
#include "core/store/settingsstore.h"
#include "core/update/updateflows.h"
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
}

void MainWindowCore::writeSetting(const char *name, const std::string &text)
{
    services_.store->WriteSetting(RegistryRoot::LocalMachine, kSettingsKey, name, text);
}

// --- start-up ------------------------------------------------------------------

StartupState MainWindowCore::Form_Load(int frameWidth, int frameHeight,
                                       const std::vector<PixelRect> &screens, int dpi)
{
    StartupState state = ReadStartup(*services_.store, frameWidth, frameHeight, screens, dpi);
    usageTotal_ = state.usageTotal;
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
}

// --- timing --------------------------------------------------------------------

void MainWindowCore::Command1_Click()
{
    engine_.startOrStop();
    alarm_.stop();
    showTaskbar();
}

void MainWindowCore::Command2_Click()
{
    engine_.pauseOrContinue();
    showTaskbar();
}

TickResult MainWindowCore::Timer2_Timer(const std::string &minutesText, bool countdown)
{
    minutesText_ = minutesText;
    countdown_ = countdown;
    const TickResult result = engine_.tick(minutesText, countdown);
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
        TaskbarLookFor(engine_.state(), minutesText_, countdown_, engine_.count());
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

bool MainWindowCore::Text1_Change(const std::string &minutesText)
{
    minutesText_ = minutesText;
    if (LeadingNumber(minutesText) > 0) {
        // Stored exactly as typed, not normalised.
        writeSetting("Text1", minutesText);
        return true;
    }
    services_.messages->show(window_, {.text = "此处必须大于0", .title = "brisko"});
    return false;
}

void MainWindowCore::Check2_Click(bool countdown)
{
    countdown_ = countdown;
    // Only stored: the next timing tick picks up the mode.
    writeSetting("Check2", boxText(countdown));
}

// --- options and links ----------------------------------------------------------

void MainWindowCore::Check1_Click(bool keepOnTop)
{
    // Only stored here: the next housekeeping tick applies it to the window.
    writeSetting("Check1", boxText(keepOnTop));
}

void MainWindowCore::Check3_Click(bool menuBar)
{
    writeSetting("Check3", boxText(menuBar));
}

void MainWindowCore::menuChaoZhou_Click()
{
    services_.browser->open(window_, services_.vendorUrl + "/brk/");
}

void MainWindowCore::ApplyKeepOnTop(bool keepOnTop)
{
    services_.stacking->setKeepOnTop(window_, keepOnTop);
}

// --- housekeeping and closing ------------------------------------------------------

void MainWindowCore::Timer1_Timer(int left, int top, int dpi, bool keepOnTop,
                                  const std::function<void(const std::string &)> &showTitle)
{
    usageTotal_ = usageTotal_ + 1;

    // The three values go to the store as one change: one lock, one rewrite.
    services_.store->WriteSettings(RegistryRoot::LocalMachine, kSettingsKey,
                                   {{"Left", PlainDecimalText(PixelsToTwips(left, dpi))},
                                    {"Top", PlainDecimalText(PixelsToTwips(top, dpi))},
                                    {"js00", SignedPlaceText(usageTotal_)}});

    showTitle("计时器 " + services_.clock->timeOfDayText());

    ApplyKeepOnTop(keepOnTop);

    const std::string quit =
        services_.store->ReadSetting(RegistryRoot::LocalMachine, kSettingsKey, "isClose");
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
