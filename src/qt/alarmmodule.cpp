// The alarm's sounds over Qt Multimedia, built as the module that the program
// loads with its first alarm (see alarmmodule.h).

#include "qt/alarmmodule.h"

#include <QAudioDevice>
#include <QAudioOutput>
#include <QAudioSink>
#include <QElapsedTimer>
#include <QMediaDevices>
#include <QMediaPlayer>
#include <QThread>
#include <QUrl>

#include <cmath>
#include <memory>

namespace {

class MediaAlarmPlayer : public ModuleAlarmPlayer {
public:
    void play(const std::string &filePath) override;
    void stop() override;
    const QObject *mediaPlayer() const override { return player_.get(); }

private:
    void newPlayer();
    std::unique_ptr<QAudioOutput> output_;
    std::unique_ptr<QMediaPlayer> player_;
    bool live_ = false;
    bool failureReported_ = false;
};

void MediaAlarmPlayer::newPlayer()
{
    // A player of its own for each alarm: a report that the pipeline of an
    // earlier alarm sends late goes with that player, not to this alarm.
    player_.reset();
    if (!output_) {
        output_ = std::make_unique<QAudioOutput>();
        output_->setVolume(0.5f);
    }
    player_ = std::make_unique<QMediaPlayer>();
    player_->setAudioOutput(output_.get());
    player_->setLoops(1);
    QMediaPlayer *const player = player_.get();
    auto cannotPlay = [this, player] {
        // One fallback per alarm, however many errors the player reports,
        // and none for an alarm that has been stopped.
        if (player != player_.get() || !live_ || failureReported_)
            return;
        failureReported_ = true;
        if (onCannotPlay)
            onCannotPlay();
    };
    QObject::connect(player, &QMediaPlayer::errorOccurred, player,
                     [cannotPlay](QMediaPlayer::Error error, const QString &) {
                         if (error != QMediaPlayer::NoError)
                             cannotPlay();
                     });
    QObject::connect(player, &QMediaPlayer::mediaStatusChanged, player,
                     [cannotPlay](QMediaPlayer::MediaStatus status) {
                         if (status == QMediaPlayer::InvalidMedia)
                             cannotPlay();
                     });
}

void MediaAlarmPlayer::play(const std::string &filePath)
{
    // Starts from the beginning of the file, cutting off an earlier alarm.
    newPlayer();
    live_ = true;
    failureReported_ = false;
    player_->setSource(QUrl::fromLocalFile(QString::fromStdString(filePath)));
    player_->play();
}

void MediaAlarmPlayer::stop()
{
    live_ = false;
    if (player_)
        player_->stop();
}

// A sine tone through the default audio output, written in push mode from
// this thread so that it needs no event loop; with no output device it is a
// plain wait of the same length.
class SinkTonePlayer : public TonePlayer {
public:
    void beep(int frequencyHz, int durationMs) override;
};

void SinkTonePlayer::beep(int frequencyHz, int durationMs)
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

ModuleAlarmPlayer *newAlarmPlayer()
{
    return new MediaAlarmPlayer;
}

TonePlayer *newTonePlayer()
{
    return new SinkTonePlayer;
}

} // namespace

extern "C" Q_DECL_EXPORT const SoundModuleEntry *brisko_sound_module_v1()
{
    static const SoundModuleEntry entry{newAlarmPlayer, newTonePlayer};
    return &entry;
}
