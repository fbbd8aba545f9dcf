#pragma once

#include <QDateTime>

namespace morse {

/// The wall clock that names the session files and reports. Tests can stop it at a chosen
/// instant, so that the names they expect do not depend on when they run.
class Clock
{
public:
    /// The current time in UTC.
    static QDateTime currentDateTimeUtc();
    /// The current time in the local time zone.
    static QDateTime currentDateTime();
    /// Stops the clock at @p utc; an invalid date-time lets it run again.
    static void setFrozen(const QDateTime& utc);
};

} // namespace morse
