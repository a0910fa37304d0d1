#include "buildinfo.h"
#include "core/mainwindow/mainwindowcore.h"
#include "core/store/settingsstore.h"
#include "qt/appicon.h"
#include "qt/fonts.h"
#include "qt/form1.h"
#include "qt/launcherentry.h"
#include "qt/lazystyle.h"
#include "qt/qthttpclient.h"
#include "qt/qtservices.h"

#include <QApplication>
#include <QSessionManager>
#include <QSocketNotifier>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include <fcntl.h>
#include <unistd.h>

namespace {

const char kHelp[] = "Usage: brisko [--help | --version]\n"
                     "\n"
                     "计时器 (Brisko), a stopwatch and countdown timer with an alarm ten seconds\n"
                     "before the target. Without options it opens the timer window; any other\n"
                     "argument is ignored.\n"
                     "\n"
                     "  -h, --help     show this help and exit\n"
                     "  -v, --version  show the version and exit\n"
                     "\n"
                     "Settings: " BRISKO_SETTINGS_DIR "/settings.reg for the machine, and\n"
                     "~/.config/brisko/settings.reg for a user who may not write that one.\n"
                     "brisko-reg shows and changes them; 'sudo brisko-reg add isClose 1'\n"
                     "ends every running copy. See brisko(1) and brisko-reg(1).\n";

// --help and --version answer before Qt starts, so they work without a
// display. Returns the exit status, or -1 to run the program.
int AnswerOption(int argc, char *argv[])
{
    for (int i = 1; i < argc; ++i) {
        if (!std::strcmp(argv[i], "--help") || !std::strcmp(argv[i], "-h")) {
            std::fputs(kHelp, stdout);
        } else if (!std::strcmp(argv[i], "--version") || !std::strcmp(argv[i], "-v")) {
            std::printf("brisko %s\n", buildinfo::versionText);
        } else {
            continue;
        }
        return std::fflush(stdout) == 0 && !std::ferror(stdout) ? 0 : 1;
    }
    return -1;
}

// The ends that come from outside: SIGTERM (logout, shutdown, systemctl
// stop), SIGHUP (the terminal gone) and SIGINT (Ctrl+C) are a clean end. The
// handler only writes a byte to a pipe, which the event loop reads; the end
// itself runs there, like any other.
int endPipe[2] = {-1, -1};

extern "C" void onEndSignal(int)
{
    const int saved = errno;
    const char byte = 1;
    (void)!::write(endPipe[1], &byte, 1);
    errno = saved;
}

// Returns the notifier that fires on such a signal, or nullptr.
QSocketNotifier *CatchEndSignals()
{
    if (::pipe2(endPipe, O_CLOEXEC | O_NONBLOCK) != 0)
        return nullptr;
    struct sigaction action = {};
    action.sa_handler = onEndSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (int sig : {SIGTERM, SIGHUP, SIGINT}) {
        // A signal ignored from the start (nohup) stays ignored.
        struct sigaction before = {};
        if (::sigaction(sig, nullptr, &before) == 0 && before.sa_handler == SIG_IGN)
            continue;
        ::sigaction(sig, &action, nullptr);
    }
    return new QSocketNotifier(endPipe[0], QSocketNotifier::Read);
}

// Qt ends the process with exit() when the display's connection breaks; what
// the store holds back is stored on the way out.
MainWindowCore *coreAtExit = nullptr;

extern "C" void storeAtExit()
{
    if (coreAtExit)
        coreAtExit->StoreWhatIsHeld();
}

} // namespace

int main(int argc, char *argv[])
{
    if (const int status = AnswerOption(argc, argv); status >= 0)
        return status;
    // Qt sees no arguments but the program's name: its own options (-style,
    // -reverse, -platform...) would change the window behind the settings' back.
    int qtArgc = 1;
    QApplication app(qtArgc, argv);
    InstallQtTranslations();
    QApplication::setApplicationName(QStringLiteral("brisko"));
    QApplication::setApplicationVersion(QString::fromLatin1(buildinfo::versionText));
    InstallFontSubstitutions();
    QApplication::setWindowIcon(AppIcon());
    InstallLazyStyleIcons();

    std::unique_ptr<SettingsStore> store = OpenMachineSettingsStore();
    QtHttpClient http;
    QtPlatform platform;
    QtLauncherEntry taskbar;
    Services services = platform.services(store.get(), &http);
    services.taskbar = &taskbar;

    Form1 form(services);
    // A session logout asks like any other close request of the window; a
    // session that may not ask gets what is held back stored at once.
    QObject::connect(&app, &QGuiApplication::commitDataRequest, &form,
                     [&form](QSessionManager &manager) {
                         if (manager.allowsInteraction()) {
                             form.close();
                             manager.release();
                             manager.cancel();
                         } else {
                             form.core().StoreWhatIsHeld();
                         }
                     });
    if (QSocketNotifier *ends = CatchEndSignals()) {
        ends->setParent(&form);
        QObject::connect(ends, &QSocketNotifier::activated, &form,
                         [&form] { form.core().EndWithoutAsking(); });
    }
    coreAtExit = &form.core();
    std::atexit(storeAtExit);
    form.Form_Load();
    form.show();
    const int status = app.exec();
    // The session manager's end leaves the event loop: an end like the others.
    form.core().StoreWhatIsHeld();
    coreAtExit = nullptr;
    return status;
}
