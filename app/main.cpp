#include "buildinfo.h"
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

#include <cstdio>
#include <cstring>

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
    // A session logout asks like any other close request of the window.
    QObject::connect(&app, &QGuiApplication::commitDataRequest, &form,
                     [&form](QSessionManager &manager) {
                         if (manager.allowsInteraction()) {
                             form.close();
                             manager.release();
                             manager.cancel();
                         }
                     });
    form.Form_Load();
    form.show();
    return app.exec();
}
