#pragma once

#include <QDate>
#include <QTime>

// The current date and time of day, read one after the other as the run log does.
class Clock
{
public:
    virtual ~Clock() = default;
    virtual QDate Date() = 0;
    virtual QTime Time() = 0;
};

class SystemClock final : public Clock
{
public:
    QDate Date() override { return QDate::currentDate(); }
    QTime Time() override { return QTime::currentTime(); }
};
