// Prints what one housekeeping tick costs with the real file store: three
// writes and one read, each a locked, synced, atomic replacement of the file.
// Usage: bench_tick_cost [ticks]   (the store lives in a temporary folder)

#include "core/store/posix/filestore.h"
#include "fakes/fakeservices.h"
#include "fakes/qtrig.h"
#include "qt/form1.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <vector>

int main(int argc, char *argv[])
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const int ticks = argc > 1 ? std::max(10, atoi(argv[1])) : 500;

    QTemporaryDir dir;
    FileStore store(MachineSettingsFile(dir.path().toStdString()), std::string());
    FakeEnvironment env;
    Services services = env.services();
    services.store = &store;
    Form1 form(services);
    Child<QTimer>(form, "Timer1")->stop();
    form.Form_Load();
    form.show();

    std::vector<double> micros;
    micros.reserve(ticks);
    QElapsedTimer clock;
    for (int i = 0; i < ticks; ++i) {
        clock.start();
        form.Timer1_Timer();
        micros.push_back(clock.nsecsElapsed() / 1000.0);
    }
    std::sort(micros.begin(), micros.end());
    double sum = 0;
    for (double m : micros)
        sum += m;
    std::printf("housekeeping tick with the file store (%d ticks)\n", ticks);
    std::printf("  mean   %8.1f us\n", sum / ticks);
    std::printf("  median %8.1f us\n", micros[ticks / 2]);
    std::printf("  p95    %8.1f us\n", micros[ticks * 95 / 100]);
    std::printf("  max    %8.1f us\n", micros.back());
    return 0;
}
