#pragma once

#include "fakes/memorystore.h"
#include "qt/services.h"

#include <QHash>
#include <QList>
#include <QSet>
#include <QStringList>

#include <deque>
#include <functional>

class FakeAlarm : public AlarmPlayer {
public:
    void play(const QString &filePath) override { played << filePath; }
    void stop() override { ++stops; }
    // Pretends the player found the last file unplayable.
    void failToPlay()
    {
        if (onCannotPlay)
            onCannotPlay();
    }
    QStringList played;
    int stops = 0;
};

class FakeTone : public TonePlayer {
public:
    void beep(int frequencyHz, int durationMs) override
    {
        beeps << qMakePair(frequencyHz, durationMs);
        if (whileSounding)
            whileSounding();
    }
    QList<QPair<int, int>> beeps;
    // Runs while the tone holds the caller, as a look at the screen would.
    std::function<void()> whileSounding;
};

// Answers message boxes from a script (Ok when the script is empty) and records
// what was shown. whileOpen runs "inside" the box, as ticks would.
class FakeMessages : public MessageBoxes {
public:
    MessageAnswer show(QWidget *, const MessageSpec &spec) override
    {
        shown.push_back(spec);
        if (whileOpen)
            whileOpen();
        if (answers.empty())
            return MessageAnswer::Ok;
        MessageAnswer a = answers.front();
        answers.pop_front();
        return a;
    }
    std::deque<MessageAnswer> answers;
    QList<MessageSpec> shown;
    std::function<void()> whileOpen;
};

class FakeFiles : public FileSystem {
public:
    bool fileExists(const QString &path) override { return existing.contains(path); }
    QString programFolder() override { return folder; }
    QSet<QString> existing;
    QString folder = QStringLiteral("/opt/brisko");
};

class FakeBrowser : public BrowserOpener {
public:
    void open(const QString &url) override { opened << url; }
    QStringList opened;
};

class FakeHttp : public HttpClient {
public:
    QByteArray get(const QString &url) override
    {
        requested << url;
        if (whileWaiting)
            whileWaiting();
        return bodies.value(url);
    }
    QHash<QString, QByteArray> bodies;
    QStringList requested;
    std::function<void()> whileWaiting;
};

class FakeClock : public Clock {
public:
    QTime timeOfDay() override { return now; }
    QTime now = QTime(13, 5, 9);
};

class FakeStacking : public WindowStacking {
public:
    void setKeepOnTop(QWidget *, bool onTop) override { calls << onTop; }
    QList<bool> calls;
};

class FakeProcess : public ProcessControl {
public:
    void endNow() override { ++ends; }
    int ends = 0;
};

// One of each fake, and the Services bundle that points at them.
struct FakeEnvironment {
    MemoryStore store;
    FakeAlarm alarm;
    FakeTone tone;
    FakeMessages messages;
    FakeFiles files;
    FakeBrowser browser;
    FakeHttp http;
    FakeClock clock;
    FakeStacking stacking;
    FakeProcess process;

    Services services();
};
