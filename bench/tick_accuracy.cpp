// How far the stopwatch falls behind the wall clock: the real main window with
// the real timers, the real file store (in a temporary folder) and the real
// Qt services, started like a click on 开始 and left to count.
//
// Usage: bench_tick_accuracy [seconds]   (default 600)
//
// Every timing tick is stamped with a monotonic clock. The tick that shows N
// seconds ideally comes N seconds after the start; "behind" is how much later
// it came. The target is set far beyond the run, so no alarm (and no blocking
// fallback tone) falls into it. Runs on whatever Qt platform is given
// (xcb under Xvfb in bench/run.py), offscreen when there is no display.

#include "core/rules/durationtext.h"
#include "core/store/posix/filestore.h"
#include "qt/form1.h"
#include "qt/qtservices.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QLabel>
#include <QLineEdit>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <vector>

namespace {

// The vendor's site answers at once that this is the newest version.
class UpToDateSite : public HttpClient {
public:
    std::string get(const std::string &) override { return "[122]"; }
};

class NoBrowser : public BrowserOpener {
public:
    void open(WindowHandle, const std::string &) override {}
};

} // namespace

int main(int argc, char *argv[])
{
    if (qEnvironmentVariableIsEmpty("DISPLAY") && qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const int seconds = argc > 1 ? std::max(5, std::atoi(argv[1])) : 600;

    QTemporaryDir dir;
    FileStore store(MachineSettingsFile(dir.path().toStdString()), std::string());
    NoBrowser browser;
    UpToDateSite http;
    QtPlatform platform;
    Services services = platform.services(&store, &http);
    services.browser = &browser;
    services.vendorUrl = "http://127.0.0.1:9";

    Form1 form(services);
    form.Form_Load();
    form.show();
    form.findChild<QLineEdit *>(QStringLiteral("Text1"))
        ->setText(QString::number(seconds / 60 + 60));

    QElapsedTimer wall;
    std::vector<double> lateness; // seconds, per tick
    bool displayAgrees = true;
    // Connected after the window's own handler, so it sees the tick's result.
    QObject::connect(
        form.findChild<QTimer *>(QStringLiteral("Timer2")), &QTimer::timeout, &form, [&] {
            const double now = wall.nsecsElapsed() / 1e9;
            lateness.push_back(now - form.core().engine().count());
            displayAgrees = displayAgrees &&
                            form.findChild<QLabel *>(QStringLiteral("Label2"))->text() ==
                                QString::fromStdString(FormatSeconds(form.core().engine().count()));
        });

    QTimer::singleShot(300, &form, [&] {
        wall.start();
        form.Command1_Click();
    });
    // exit(), not quit(): quit() would close the window, which asks first.
    QTimer::singleShot(300 + seconds * 1000 + 200, Qt::PreciseTimer, &app,
                       [] { QCoreApplication::exit(0); });
    app.exec();

    if (lateness.empty()) {
        std::puts("no timing tick arrived");
        return 1;
    }
    const double last = lateness.back();
    const double worst = *std::max_element(lateness.begin(), lateness.end());
    std::printf("stopwatch over %d s of wall clock: %zu ticks, display shows %s\n", seconds,
                lateness.size(),
                qPrintable(form.findChild<QLabel *>(QStringLiteral("Label2"))->text()));
    std::printf("  behind the wall clock at the last tick  %7.3f s\n", last);
    std::printf("  most behind at any tick                 %7.3f s\n", worst);
    std::printf("  display matched the count at every tick %s\n", displayAgrees ? "yes" : "NO");
    std::printf("accuracy_behind_s=%.3f\n", last);
    return displayAgrees ? 0 : 1;
}
