#include "platform/qtservices.h"

#include <QAudioDevice>
#include <QAudioOutput>
#include <QAudioSink>
#include <QCoreApplication>
#include <QDesktopServices>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QMediaDevices>
#include <QMediaPlayer>
#include <QMessageBox>
#include <QPushButton>
#include <QThread>
#include <QWidget>
#include <QWindow>

#include <cmath>
#include <cstdio>
#include <cstdlib>

#ifdef Q_OS_WIN
#include "platform/win32calls.h"
#else
#include <unistd.h>
#endif

// --- alarm player -----------------------------------------------------------

QtAlarmPlayer::QtAlarmPlayer() = default;
QtAlarmPlayer::~QtAlarmPlayer() = default;

void QtAlarmPlayer::ensurePlayer()
{
    if (player_)
        return;
    output_ = std::make_unique<QAudioOutput>();
    output_->setVolume(0.5f);
    player_ = std::make_unique<QMediaPlayer>();
    player_->setAudioOutput(output_.get());
    player_->setLoops(1);
    auto cannotPlay = [this] {
        // One fallback per alarm, however many errors the player reports.
        if (failureReported_)
            return;
        failureReported_ = true;
        if (onCannotPlay)
            onCannotPlay();
    };
    QObject::connect(player_.get(), &QMediaPlayer::errorOccurred, player_.get(),
                     [cannotPlay](QMediaPlayer::Error error, const QString &) {
                         if (error != QMediaPlayer::NoError)
                             cannotPlay();
                     });
    QObject::connect(player_.get(), &QMediaPlayer::mediaStatusChanged, player_.get(),
                     [cannotPlay](QMediaPlayer::MediaStatus status) {
                         if (status == QMediaPlayer::InvalidMedia)
                             cannotPlay();
                     });
}

void QtAlarmPlayer::play(const QString &filePath)
{
    ensurePlayer();
    failureReported_ = false;
    const QUrl url = QUrl::fromLocalFile(filePath);
    player_->stop();
    if (player_->source() != url)
        player_->setSource(url);
    else
        player_->setPosition(0);
    player_->play();
}

void QtAlarmPlayer::stop()
{
    if (player_)
        player_->stop();
}

// --- tone -------------------------------------------------------------------

void QtTonePlayer::beep(int frequencyHz, int durationMs)
{
    QElapsedTimer clock;
    clock.start();

    const QAudioDevice device = QMediaDevices::defaultAudioOutput();
    if (!device.isNull()) {
        QAudioFormat format;
        format.setSampleRate(44100);
        format.setChannelCount(1);
        format.setSampleFormat(QAudioFormat::Int16);
        if (device.isFormatSupported(format)) {
            const qint64 frames = qint64(format.sampleRate()) * durationMs / 1000;
            QByteArray pcm(int(frames * 2), Qt::Uninitialized);
            auto *samples = reinterpret_cast<qint16 *>(pcm.data());
            const double step = 2 * M_PI * frequencyHz / format.sampleRate();
            for (qint64 i = 0; i < frames; ++i)
                samples[i] = qint16(12000 * std::sin(step * double(i)));

            QAudioSink sink(device, format);
            QIODevice *out = sink.start();
            qint64 written = 0;
            while (out && sink.error() == QAudio::NoError && written < pcm.size() &&
                   clock.elapsed() < durationMs) {
                const qint64 room = qMin<qint64>(sink.bytesFree(), pcm.size() - written);
                if (room > 0)
                    written += qMax<qint64>(0, out->write(pcm.constData() + written, room));
                QThread::msleep(10);
            }
            // Let the last of the buffer play out within the tone's length.
            while (out && sink.error() == QAudio::NoError && clock.elapsed() < durationMs)
                QThread::msleep(10);
            sink.stop();
        }
    }
    // No device, or it failed: the window is held for the tone's length all
    // the same.
    const qint64 left = durationMs - clock.elapsed();
    if (left > 0)
        QThread::msleep(static_cast<unsigned long>(left));
}

// --- message boxes ----------------------------------------------------------

MessageAnswer QtMessageBoxes::show(QWidget *parent, const MessageSpec &spec)
{
    QMessageBox box(parent);
    box.setWindowTitle(spec.title);
    box.setText(spec.text);
    box.setIcon(spec.icon == MessageSpec::Icon::Question ? QMessageBox::Question
                                                         : QMessageBox::NoIcon);
    QPushButton *ok = box.addButton(QMessageBox::Ok);
    QPushButton *cancel = nullptr;
    if (spec.buttons == MessageSpec::Buttons::OkCancel) {
        cancel = box.addButton(QMessageBox::Cancel);
        box.setEscapeButton(cancel);
    } else {
        box.setEscapeButton(ok);
    }
    box.setDefaultButton(spec.cancelIsDefault && cancel ? cancel : ok);
    box.exec();
    return box.clickedButton() == ok ? MessageAnswer::Ok : MessageAnswer::Cancel;
}

// --- files and folders -------------------------------------------------------

bool QtFileSystem::fileExists(const QString &path)
{
    const QFileInfo info(path);
    return info.isFile() && !info.isHidden();
}

QString QtFileSystem::programFolder()
{
    return QCoreApplication::applicationDirPath();
}

// --- browser, clock -----------------------------------------------------------

void QtBrowserOpener::open(const QString &url)
{
#ifdef Q_OS_WIN
    PlatformOpenUrl(nullptr, url.toStdString());
#else
    QDesktopServices::openUrl(QUrl(url));
#endif
}

QTime QtClock::timeOfDay()
{
    return QTime::currentTime();
}

// --- keep on top --------------------------------------------------------------

void QtWindowStacking::setKeepOnTop(QWidget *window, bool onTop)
{
#ifdef Q_OS_WIN
    PlatformSetTopmost(reinterpret_cast<void *>(window->winId()), onTop);
#else
    // Called every second: change the flag only when it differs, and on the
    // same native window (setWindowFlag would unmap and re-create it, which
    // flickers). Raising never takes the keyboard focus from other programs.
    Qt::WindowFlags flags = window->windowFlags();
    if (flags.testFlag(Qt::WindowStaysOnTopHint) != onTop) {
        flags.setFlag(Qt::WindowStaysOnTopHint, onTop);
        window->overrideWindowFlags(flags);
        if (QWindow *handle = window->windowHandle())
            handle->setFlags(flags);
    }
    if (onTop && window->isVisible() && !window->isMinimized())
        window->raise();
#endif
}

// --- ending -------------------------------------------------------------------

void QtProcessControl::endNow()
{
    std::fflush(nullptr);
#ifdef Q_OS_WIN
    std::_Exit(0);
#else
    _exit(0);
#endif
}
