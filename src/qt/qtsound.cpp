#include "qt/qtsound.h"

#include "qt/alarmmodule.h"

#include <QCoreApplication>
#include <QHash>
#include <QLibrary>
#include <QThread>
#include <QTimer>

#include <cstdio>

namespace {

QString &soundModuleOverride()
{
    static QString path;
    return path;
}

// The module's entry, loaded once per file on first use; null when it cannot
// be loaded. It stays loaded for the rest of the run.
const SoundModuleEntry *soundModule()
{
    static QHash<QString, const SoundModuleEntry *> loaded;
    QString path = soundModuleOverride();
    if (path.isEmpty())
        path =
            QCoreApplication::applicationDirPath() + QStringLiteral("/" BRISKO_SOUND_MODULE_PATH);
    const auto known = loaded.constFind(path);
    if (known != loaded.constEnd())
        return *known;

    const SoundModuleEntry *entry = nullptr;
    QLibrary module(path);
    if (module.load()) {
        using Entry = const SoundModuleEntry *(*)();
        if (auto get = reinterpret_cast<Entry>(module.resolve(BRISKO_SOUND_MODULE_ENTRY)))
            entry = get();
        if (!entry || !entry->newAlarmPlayer || !entry->newTonePlayer) {
            entry = nullptr;
            module.unload();
        }
    }
    if (!entry)
        std::fprintf(stderr, "brisko: cannot load the sound module, alarms stay silent: %s\n",
                     qPrintable(module.errorString()));
    loaded.insert(path, entry);
    return entry;
}

} // namespace

void UseSoundModuleFile(const QString &path)
{
    soundModuleOverride() = path;
}

QtAlarmPlayer::QtAlarmPlayer() : reports_(std::make_unique<QObject>()) {}
QtAlarmPlayer::~QtAlarmPlayer() = default;

void QtAlarmPlayer::play(const std::string &filePath)
{
    ++alarm_;
    live_ = true;
    if (!player_) {
        if (const SoundModuleEntry *module = soundModule()) {
            player_.reset(module->newAlarmPlayer());
            player_->onCannotPlay = [this] {
                if (onCannotPlay)
                    onCannotPlay();
            };
        }
    }
    if (player_) {
        player_->play(filePath);
        return;
    }
    // Without the module the file cannot be played: reported like a player's
    // verdict, after play() has returned, once, and only while this alarm is on.
    QTimer::singleShot(0, reports_.get(), [this, alarm = alarm_] {
        if (alarm == alarm_ && live_ && onCannotPlay)
            onCannotPlay();
    });
}

void QtAlarmPlayer::stop()
{
    live_ = false;
    if (player_)
        player_->stop();
}

const QObject *QtAlarmPlayer::mediaPlayer() const
{
    return player_ ? player_->mediaPlayer() : nullptr;
}

QtTonePlayer::QtTonePlayer() = default;
QtTonePlayer::~QtTonePlayer() = default;

void QtTonePlayer::beep(int frequencyHz, int durationMs)
{
    if (!player_) {
        if (const SoundModuleEntry *module = soundModule())
            player_.reset(module->newTonePlayer());
    }
    if (player_) {
        player_->beep(frequencyHz, durationMs);
        return;
    }
    // The window is held for the tone's length all the same.
    QThread::msleep(static_cast<unsigned long>(qMax(0, durationMs)));
}
