// The floor: the smallest honest Qt Widgets program of the timer's shape, to
// measure the timer against. One 314 x 91 window below a one-menu menu bar,
// two buttons, a label, a line edit, three check boxes and two 1-second
// timers: one writes the time of day into the title, the other, started and
// stopped by the first button, counts seconds into the label. No settings, no
// network, no sound. Its buttons and label use the same Song-style face at
// the same size as the timer's (any program of this look has to load a CJK
// serif face); --default-font leaves them in the default face instead.

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QTime>
#include <QTimer>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    const bool songFace = !app.arguments().contains(QStringLiteral("--default-font"));
    if (songFace)
        QFont::insertSubstitutions(QStringLiteral("宋体"), {QStringLiteral("Noto Serif CJK SC"),
                                                            QStringLiteral("AR PL UMing CN"),
                                                            QStringLiteral("WenQuanYi Zen Hei")});

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
    QFont big = songFace ? QFont(QStringLiteral("宋体")) : client->font();
    big.setPointSizeF(15.75);

    auto *start = new QPushButton(QStringLiteral("开始"), client);
    start->setGeometry(32, 3, 57, 23);
    start->setFont(big);
    auto *pause = new QPushButton(QStringLiteral("暂停"), client);
    pause->setGeometry(88, 3, 57, 23);
    pause->setFont(big);
    pause->hide();
    auto *display = new QLabel(QStringLiteral("0:00:00"), client);
    display->setFont(big);
    display->move(144, 4);
    display->adjustSize();
    auto *minutes = new QLineEdit(QStringLiteral("5"), client);
    minutes->setGeometry(224, 5, 25, 18);
    auto *unit = new QLabel(QStringLiteral("分钟"), client);
    unit->move(248, 8);
    const char *boxes[] = {"置最前", "倒计时", "菜单"};
    for (int i = 0; i < 3; ++i) {
        auto *box = new QCheckBox(QString::fromUtf8(boxes[i]), client);
        box->setGeometry(8 + 64 * i, 72, 57, 17);
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
    QObject::connect(&counter, &QTimer::timeout, display, [&seconds, display] {
        ++seconds;
        display->setText(QStringLiteral("%1:%2:%3")
                             .arg(seconds / 3600)
                             .arg(seconds / 60 % 60, 2, 10, QLatin1Char('0'))
                             .arg(seconds % 60, 2, 10, QLatin1Char('0')));
        display->adjustSize();
    });
    QObject::connect(start, &QPushButton::clicked, &counter, [&] {
        const bool run = !counter.isActive();
        if (run)
            counter.start();
        else
            counter.stop();
        start->setText(run ? QStringLiteral("停止") : QStringLiteral("开始"));
        pause->setVisible(run);
    });

    start->setFocus();
    window.show();
    return app.exec();
}
