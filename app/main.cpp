#include "buildinfo.h"
#include "mainwindow/appicon.h"
#include "mainwindow/fonts.h"
#include "mainwindow/form1.h"
#include "platform/qthttpclient.h"
#include "platform/qtservices.h"
#include "settings/settingsstore.h"

#include <QApplication>
#include <QSessionManager>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    InstallQtTranslations();
    QApplication::setApplicationName(QStringLiteral("brisko"));
    QApplication::setApplicationVersion(QString::fromLatin1(buildinfo::versionText));
    InstallFontSubstitutions();
    QApplication::setWindowIcon(AppIcon());

    std::unique_ptr<SettingsStore> store = OpenMachineSettingsStore();
    QtHttpClient http;
    QtPlatform platform;
    const Services services = platform.services(store.get(), &http);

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
