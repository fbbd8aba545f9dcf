#pragma once

#include "host/morsehost_export.h"

#include <QDateTime>
#include <QString>

namespace Tarn {

/// The host's date-time text: a point in time shown in UTC or in the local time zone with a
/// Qt date-time format string.
class MORSEHOST_EXPORT DateTime
{
public:
    /// The clock that the text shows.
    enum TimeZone
    {
        UTC_TimeZone,
        Local_TimeZone
    };

    /// 1970-01-01 00:00:00 UTC, shown in UTC.
    DateTime();
    /// The point in time @p utc, shown in UTC.
    explicit DateTime(const QDateTime& utc);

    /// The Qt date-time format that toString() uses.
    void setFormatString(const QString& format);
    /// Shows the time in UTC or in the local time zone.
    void setOffsetFromUTC(TimeZone zone);
    /// Sets the time from microseconds since 1970-01-01 00:00 UTC.
    void setTime_ts(quint64 microsecondsSinceEpoch);

    /// The time with the format string; default "yyyy-MM-dd hh:mm:ss.zzz".
    QString toString() const;
    /// The time with @p format instead of the format string.
    QString toString(const QString& format) const;

private:
    QDateTime m_dtUtc;
    QString m_strFormat = QStringLiteral("yyyy-MM-dd hh:mm:ss.zzz");
    TimeZone m_eZone = UTC_TimeZone;
};

} // namespace Tarn
