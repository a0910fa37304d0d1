#pragma once

#include "core/platform/services.h"

#include <functional>
#include <string>

// The alarm ten seconds before the target: the alarm file through the player,
// or the 5-second tone when the file is missing or the player cannot play it.
class Alarm {
public:
    explicit Alarm(const Services &services);
    ~Alarm();
    Alarm(const Alarm &) = delete;
    Alarm &operator=(const Alarm &) = delete;

    void sound(const std::string &filePath);
    // Both buttons' start and stop silence the alarm.
    void stop();
    // The player's report that it cannot play the file.
    void cannotPlay();
    // True from a file handed to the player until the next stop.
    bool live() const { return live_; }

    // Runs just before the tone holds the window, so that the front end can put
    // this tick's texts on the screen first; without it the screen shows the
    // previous second for the whole tone.
    std::function<void()> beforeTone;

private:
    void tone();

    Services services_;
    bool live_ = false;
};
