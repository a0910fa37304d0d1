// The floor: the smallest honest Qt Widgets program of the timer's shape, to
// measure the timer against. It does the work any program of this look must
// do and nothing more: one 314 x 91 window below a one-menu menu bar, two
// buttons, two labels, a line edit, three check boxes and two 1-second
// timers (one writes the time of day into the title, the other, started and
// stopped by the first button, counts seconds into the display and writes
// the status line under it). Its captions are the timer's, in the same faces
// (the timer's own font substitutions, compiled in), and before its window
// shows it asks the vendor's address once over HTTPS, as the timer's version
// query does, so it pays for the TLS libraries too. No settings, no sound.
// --default-font leaves the captions in the default face instead.

#include "qt/fonts.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QPushButton>
#include <QTime>
#include <QTimer>

namespace {

// One GET of the vendor's page, waited for in a local loop as the timer's
// version query does (the window shows after it). The answer is not used.
void AskVendor()
{
    QNetworkAccessManager manager;
    QNetworkReply *reply =
        manager.get(QNetworkRequest(QUrl(QStringLiteral(BENCH_VENDOR_URL "/brk/newver.htm"))));
    QTimer deadline;
    deadline.setSingleShot(true);
    QObject::connect(&deadline, &QTimer::timeout, reply, &QNetworkReply::abort);
    deadline.start(10000);
    while (!reply->isFinished())
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    if (reply->error() != QNetworkReply::NoError)
        qWarning("bench_floor: the vendor's site did not answer: %s",
                 qPrintable(reply->errorString()));
    reply->readAll();
}

} // namespace

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    const bool songFace = !app.arguments().contains(QStringLiteral("--default-font"));
    if (songFace)
        InstallFontSubstitutions();
    AskVendor();

    QMainWindow window;
    window.setWindowTitle(QStringLiteral("计时器"));
    QMenu *menu = window.menuBar()->addMenu(QStringLiteral("菜单(&T)"));
    menu->addAction(QStringLiteral("技术支持(&S)"));
    menu->addAction(QStringLiteral("检查更新(&K)"));
    menu->addAction(QStringLiteral("关于本软件(&A)..."));
    menu->addSeparator();
    QAction *quit = menu->addAction(QStringLiteral("退出(&X)"));
    QObject::connect(quit, &QAction::triggered, &app, &QApplication::quit);

    auto *client = new QWidget(&window);
    window.setCentralWidget(client);
    auto face = [&](qreal points) {
        QFont f = songFace ? SongFont(points) : client->font();
        f.setPointSizeF(points);
        return f;
    };
    const QFont big = face(15.75);

    auto *start = new QPushButton(QStringLiteral("开始"), client);
    start->setGeometry(32, 3, 57, 23);
    start->setFont(big);
    auto *pause = new QPushButton(QStringLiteral("暂停"), client);
    pause->setGeometry(88, 3, 57, 23);
    pause->setFont(big);
    pause->hide();
    auto *display = new QLabel(QStringLiteral("0:00:00"), client);
    display->setFont(big);
    display->setAutoFillBackground(true);
    QPalette colours = display->palette();
    colours.setColor(QPalette::Window, QColor(192, 255, 255));
    colours.setColor(QPalette::WindowText, QColor(0, 0, 255));
    display->setPalette(colours);
    display->move(144, 4);
    display->adjustSize();
    auto *minutes = new QLineEdit(QStringLiteral("5"), client);
    minutes->setGeometry(224, 5, 25, 18);
    auto *unit = new QLabel(QStringLiteral("分钟"), client);
    unit->move(248, 8);
    unit->adjustSize();
    auto *status = new QLabel(client);
    status->setFont(face(26.25));
    status->move(32, 32);
    const char *boxes[] = {"置最前", "倒计时", "菜单"};
    for (int i = 0; i < 3; ++i) {
        auto *box = new QCheckBox(QString::fromUtf8(boxes[i]), client);
        box->setGeometry(8 + 64 * i, 72, 57, 17);
        box->setChecked(i == 2);
    }
    window.resize(314, 91 + window.menuBar()->sizeHint().height());

    QTimer clock;
    clock.setInterval(1000);
    QObject::connect(&clock, &QTimer::timeout, &window, [&window] {
        window.setWindowTitle(QStringLiteral("计时器 ") +
                              QTime::currentTime().toString(QStringLiteral("HH:mm:ss")));
    });
    clock.start();

    QTimer counter;
    counter.setInterval(1000);
    int seconds = 0;
    QObject::connect(&counter, &QTimer::timeout, display, [&seconds, display, status] {
        ++seconds;
        display->setText(QStringLiteral("%1:%2:%3")
                             .arg(seconds / 3600)
                             .arg(seconds / 60 % 60, 2, 10, QLatin1Char('0'))
                             .arg(seconds % 60, 2, 10, QLatin1Char('0')));
        display->adjustSize();
        status->setText(QStringLiteral("正在计时中") + QString(seconds % 3 + 1, QLatin1Char('.')));
        status->adjustSize();
    });
    QObject::connect(start, &QPushButton::clicked, &counter, [&] {
        const bool run = !counter.isActive();
        if (run) {
            counter.start();
        } else {
            counter.stop();
            seconds = 0;
            status->clear();
            status->adjustSize();
        }
        start->setText(run ? QStringLiteral("停止") : QStringLiteral("开始"));
        pause->setVisible(run);
    });

    start->setFocus();
    window.show();
    return app.exec();
}
