// The real platform services, on this machine as it is (in CI: no sound
// device, no display but Qt's offscreen one).

#include "qt/qtservices.h"

#include <QApplication>
#include <QDataStream>
#include <QElapsedTimer>
#include <QFile>
#include <QMediaPlayer>
#include <QMessageBox>
#include <QPushButton>
#include <QScopeGuard>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <cmath>

namespace {

// A short 16-bit mono WAV of a 1000 Hz sine.
QByteArray sineWav(int ms)
{
    const int rate = 8000;
    const int frames = rate * ms / 1000;
    QByteArray pcm;
    QDataStream out(&pcm, QIODevice::WriteOnly);
    out.setByteOrder(QDataStream::LittleEndian);
    for (int i = 0; i < frames; ++i)
        out << qint16(8000 * std::sin(2 * M_PI * 1000 * i / rate));
    QByteArray wav;
    QDataStream w(&wav, QIODevice::WriteOnly);
    w.setByteOrder(QDataStream::LittleEndian);
    w.writeRawData("RIFF", 4);
    w << quint32(36 + pcm.size());
    w.writeRawData("WAVEfmt ", 8);
    w << quint32(16) << quint16(1) << quint16(1) << quint32(rate) << quint32(rate * 2) << quint16(2)
      << quint16(16);
    w.writeRawData("data", 4);
    w << quint32(pcm.size());
    w.writeRawData(pcm.constData(), pcm.size());
    return wav;
}

const QMediaPlayer *media(const QtAlarmPlayer &player)
{
    return qobject_cast<const QMediaPlayer *>(player.mediaPlayer());
}

void writeFile(const QString &path, const QByteArray &bytes)
{
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(bytes);
}

// Runs act on the message box once it is up; looks for it for about five
// seconds, so a box that never comes leaves no retry behind (show() returns
// at once then, and the caller's checks fail).
void answerBox(const std::function<void(QMessageBox *)> &act, int triesLeft = 500)
{
    QTimer::singleShot(triesLeft == 500 ? 0 : 10, qApp, [act, triesLeft] {
        if (auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget()))
            act(box);
        else if (triesLeft > 0)
            answerBox(act, triesLeft - 1);
    });
}

} // namespace

class TestQtServices : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { UseSoundModuleFile(QStringLiteral(BRISKO_SOUND_MODULE_FILE)); }
    void toneHoldsTheCallerForItsLength();
    void unplayableAlarmFileIsReported();
    void playableAlarmFileIsNotReported();
    void stoppedAlarmReportsNothing();
    void stopBeforeAnyAlarmIsHarmless();
    void withoutTheModuleFilesAreUnplayableAndTonesSilent();
    void fileExistsTakesOnlyOrdinaryFiles();
    void messageBoxAnswers();
    void messageBoxSpeaksTheSessionLanguage_data();
    void messageBoxSpeaksTheSessionLanguage();
    void keepOnTopWithoutADisplay();
    void cleanup();

private:
    QLocale startLocale_;
};

void TestQtServices::cleanup()
{
    QLocale::setDefault(startLocale_);
    InstallQtTranslations(QLocale::c());
}

void TestQtServices::toneHoldsTheCallerForItsLength()
{
    QtTonePlayer tone;
    QElapsedTimer clock;
    clock.start();
    tone.beep(1000, 300);
    const qint64 took = clock.elapsed();
    QVERIFY2(took >= 295 && took < 2000, qPrintable(QString::number(took)));
}

void TestQtServices::unplayableAlarmFileIsReported()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("sound.mp3"));
    writeFile(path, QByteArray("this is not audio at all\n").repeated(200));
    QtAlarmPlayer player;
    int reports = 0;
    player.onCannotPlay = [&reports] { ++reports; };
    player.play(path.toStdString());
    QTRY_COMPARE_WITH_TIMEOUT(reports, 1, 10000);
    // Given the file again, it reports again (once per alarm).
    player.play(path.toStdString());
    QTRY_COMPARE_WITH_TIMEOUT(reports, 2, 10000);
    QTest::qWait(200);
    QCOMPARE(reports, 2);
    player.stop();
}

void TestQtServices::playableAlarmFileIsNotReported()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("sound.wav"));
    writeFile(path, sineWav(200));
    QtAlarmPlayer player;
    int reports = 0;
    player.onCannotPlay = [&reports] { ++reports; };
    // Played to its end (with no sound device the player still runs through
    // the file), and again from the beginning when given it again.
    for (int alarm = 0; alarm < 2; ++alarm) {
        player.play(path.toStdString());
        QVERIFY(media(player));
        QCOMPARE(media(player)->playbackState(), QMediaPlayer::PlayingState);
        QTRY_COMPARE_WITH_TIMEOUT(media(player)->mediaStatus(), QMediaPlayer::EndOfMedia, 10000);
        QVERIFY(media(player)->position() > 0);
    }
    QCOMPARE(reports, 0);
}

void TestQtServices::stoppedAlarmReportsNothing()
{
    // The user stops the run before the player has judged the file: its
    // verdict comes all the same, and must not sound the fallback tone.
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("sound.mp3"));
    writeFile(path, QByteArray("this is not audio at all\n").repeated(200));
    QtAlarmPlayer player;
    int reports = 0;
    player.onCannotPlay = [&reports] { ++reports; };
    player.play(path.toStdString());
    player.stop();
    QTRY_VERIFY_WITH_TIMEOUT(media(player)->error() != QMediaPlayer::NoError, 10000);
    QTest::qWait(100);
    QCOMPARE(reports, 0);

    // An alarm replaced by the next one reports once, for the one that is on.
    player.play(path.toStdString());
    player.play(path.toStdString());
    QTRY_VERIFY_WITH_TIMEOUT(media(player)->error() != QMediaPlayer::NoError, 10000);
    QTest::qWait(100);
    QCOMPARE(reports, 1);
}

void TestQtServices::stopBeforeAnyAlarmIsHarmless()
{
    QtAlarmPlayer player;
    int reports = 0;
    player.onCannotPlay = [&reports] { ++reports; };
    player.stop();
    player.stop();
    // Nothing was loaded for it, and the next alarm is not silenced by it.
    QVERIFY(!player.mediaPlayer());
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("sound.mp3"));
    writeFile(path, "not audio");
    player.play(path.toStdString());
    QTRY_COMPARE_WITH_TIMEOUT(reports, 1, 10000);
}

void TestQtServices::withoutTheModuleFilesAreUnplayableAndTonesSilent()
{
    // A module missing or broken (here: not a library at all) is reported
    // as an unplayable file, once per alarm and never for a stopped one; the
    // tone still holds the caller.
    QTemporaryDir dir;
    const QString broken = dir.filePath(QStringLiteral("broken.so"));
    writeFile(broken, "not a library");
    const std::string sound = dir.filePath(QStringLiteral("sound.wav")).toStdString();
    writeFile(QString::fromStdString(sound), sineWav(200));
    UseSoundModuleFile(broken);
    const auto restore =
        qScopeGuard([] { UseSoundModuleFile(QStringLiteral(BRISKO_SOUND_MODULE_FILE)); });
    QtAlarmPlayer player;
    QtTonePlayer tone;
    int reports = 0;
    player.onCannotPlay = [&reports] { ++reports; };

    player.play(sound);
    QCOMPARE(reports, 0); // not from within play()
    QTRY_COMPARE_WITH_TIMEOUT(reports, 1, 2000);
    player.play(sound);
    player.stop();
    player.play(sound);
    player.play(sound);
    QTest::qWait(100);
    QCOMPARE(reports, 2);
    player.play(sound);
    player.stop();
    QTest::qWait(100);
    QCOMPARE(reports, 2);
    QVERIFY(!player.mediaPlayer());

    QElapsedTimer clock;
    clock.start();
    tone.beep(1000, 300);
    const qint64 took = clock.elapsed();
    QVERIFY2(took >= 295 && took < 2000, qPrintable(QString::number(took)));
}

void TestQtServices::fileExistsTakesOnlyOrdinaryFiles()
{
    QTemporaryDir dir;
    QtFileSystem files;
    writeFile(dir.filePath(QStringLiteral("sound.mp3")), "x");
    writeFile(dir.filePath(QStringLiteral(".hidden.mp3")), "x");
    QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("folder.mp3")));
    QVERIFY(files.fileExists(dir.filePath(QStringLiteral("sound.mp3")).toStdString()));
    QVERIFY(!files.fileExists(dir.filePath(QStringLiteral(".hidden.mp3")).toStdString()));
    QVERIFY(!files.fileExists(dir.filePath(QStringLiteral("folder.mp3")).toStdString()));
    QVERIFY(!files.fileExists(dir.filePath(QStringLiteral("missing.mp3")).toStdString()));
    QCOMPARE(QString::fromStdString(files.programFolder()), QCoreApplication::applicationDirPath());
}

void TestQtServices::messageBoxAnswers()
{
    QtMessageBoxes boxes;
    MessageSpec question;
    question.text = "你确定要关闭此程序吗?";
    question.title = "关闭程序?";
    question.buttons = MessageSpec::Buttons::OkCancel;
    question.icon = MessageSpec::Icon::Question;
    question.cancelIsDefault = true;

    auto answerWith = [](std::function<void(QMessageBox *)> act) { answerBox(act); };

    QString title;
    answerWith([&title](QMessageBox *box) {
        title = box->windowTitle();
        QTest::keyClick(box, Qt::Key_Escape);
    });
    QVERIFY(boxes.show(nullptr, question) == MessageAnswer::Cancel);
    QCOMPARE(title, QString::fromStdString(question.title));

    answerWith([](QMessageBox *box) { box->button(QMessageBox::Ok)->click(); });
    QVERIFY(boxes.show(nullptr, question) == MessageAnswer::Ok);

    // A notice with only OK: Enter and Escape both close it with OK.
    MessageSpec notice;
    notice.text = "此处必须大于0";
    notice.title = "brisko";
    bool noIcon = false;
    answerWith([&noIcon](QMessageBox *box) {
        noIcon = box->icon() == QMessageBox::NoIcon && box->buttons().size() == 1;
        QTest::keyClick(box, Qt::Key_Escape);
    });
    QVERIFY(boxes.show(nullptr, notice) == MessageAnswer::Ok);
    QVERIFY(noIcon);
}

void TestQtServices::messageBoxSpeaksTheSessionLanguage_data()
{
    QTest::addColumn<QString>("locale");
    QTest::addColumn<QString>("ok");
    QTest::addColumn<QString>("cancel");
    QTest::newRow("zh_CN") << "zh_CN" << QStringLiteral("确定") << QStringLiteral("取消");
    QTest::newRow("de_DE") << "de_DE"
                           << "OK"
                           << "Abbrechen";
}

// The buttons of the real box, as the session's language writes them.
void TestQtServices::messageBoxSpeaksTheSessionLanguage()
{
    QFETCH(QString, locale);
    QFETCH(QString, ok);
    QFETCH(QString, cancel);
    QLocale::setDefault(QLocale(locale));
    QVERIFY2(InstallQtTranslations(), "Qt's translations are missing (qt6-translations-l10n)");

    MessageSpec notice;
    notice.text = "有新版本可以下载了，点确认去下载最新版本";
    notice.buttons = MessageSpec::Buttons::OkCancel;
    QStringList texts;
    answerBox([&texts](QMessageBox *box) {
        texts << box->button(QMessageBox::Ok)->text() << box->button(QMessageBox::Cancel)->text();
        box->button(QMessageBox::Cancel)->click();
    });
    QtMessageBoxes boxes;
    QVERIFY(boxes.show(nullptr, notice) == MessageAnswer::Cancel);
    QCOMPARE(texts, (QStringList{ok, cancel}));
}

// Keep-on-top on a platform with no window manager to ask (the offscreen one
// here) changes the window's flag and nothing else.
void TestQtServices::keepOnTopWithoutADisplay()
{
    QWidget window;
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    QtWindowStacking stacking;
    stacking.setKeepOnTop(HandleOf(&window), true);
    stacking.setKeepOnTop(HandleOf(&window), true);
    QVERIFY(window.windowFlags().testFlag(Qt::WindowStaysOnTopHint));
    stacking.setKeepOnTop(HandleOf(&window), false);
    QVERIFY(!window.windowFlags().testFlag(Qt::WindowStaysOnTopHint));
    QVERIFY(window.isVisible());
}

QTEST_MAIN(TestQtServices)
#include "tst_qtservices.moc"
