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
    enum TimeZone
    {
        UTC_TimeZone,
        Local_TimeZone
    };

    /// 1970-01-01 00:00:00 UTC, shown in UTC.
    DateTime();
    explicit DateTime(const QDateTime& utc);

    void setFormatString(const QString& format);
    void setOffsetFromUTC(TimeZone zone);
    /// Sets the time from microseconds since 1970-01-01 00:00 UTC.
    void setTime_ts(quint64 microsecondsSinceEpoch);

    /// The time with the format string; default "yyyy-MM-dd hh:mm:ss.zzz".
    QString toString() const;
    QString toString(const QString& format) const;

private:
    QDateTime m_dtUtc;
    QString m_strFormat = QStringLiteral("yyyy-MM-dd hh:mm:ss.zzz");
    TimeZone m_eZone = UTC_TimeZone;
};

} // namespace Tarn
