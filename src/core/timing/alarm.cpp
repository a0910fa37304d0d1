#include "core/timing/alarm.h"

Alarm::Alarm(const Services &services) : services_(services)
{
    if (services_.alarm)
        services_.alarm->onCannotPlay = [this] { cannotPlay(); };
}

Alarm::~Alarm()
{
    if (services_.alarm)
        services_.alarm->onCannotPlay = nullptr;
}

void Alarm::sound(const std::string &filePath)
{
    if (services_.files->fileExists(filePath)) {
        live_ = true;
        services_.alarm->play(filePath);
    } else {
        tone();
    }
}

void Alarm::stop()
{
    live_ = false;
    services_.alarm->stop();
}

void Alarm::cannotPlay()
{
    // The player's report can come after the user stopped the run (or started
    // the next one), which stays silent.
    if (live_)
        tone();
}

void Alarm::tone()
{
    // Holds the window for the five seconds; ticks that fall due meanwhile are
    // not made up.
    if (beforeTone)
        beforeTone();
    services_.tone->beep(1000, 5000);
}
