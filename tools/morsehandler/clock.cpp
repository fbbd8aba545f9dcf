#include "tools/morsehandler/clock.h"

namespace morse {

namespace {

QDateTime& frozenTime()
{
    static QDateTime frozen;
    return frozen;
}

} // namespace

QDateTime Clock::currentDateTimeUtc()
{
    const QDateTime& frozen = frozenTime();
    return frozen.isValid() ? frozen.toUTC() : QDateTime::currentDateTimeUtc();
}

QDateTime Clock::currentDateTime()
{
    const QDateTime& frozen = frozenTime();
    return frozen.isValid() ? frozen.toLocalTime() : QDateTime::currentDateTime();
}

void Clock::setFrozen(const QDateTime& utc)
{
    frozenTime() = utc;
}

} // namespace morse
