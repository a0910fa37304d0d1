#pragma once

#include "core/platform/services.h"

#include <QString>
#include <QTime>

// The text the title shows after "计时器 " for a time of day: the locale's own
// long time format, without its time zone.
QString TimeOfDayText(const QTime &time);

class QtClock : public Clock {
public:
    std::string timeOfDayText() override;
};
