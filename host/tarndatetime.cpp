#include "host/tarndatetime.h"

namespace Tarn {

DateTime::DateTime() : m_dtUtc(QDateTime::fromMSecsSinceEpoch(0, Qt::UTC)) {}

DateTime::DateTime(const QDateTime& utc) : m_dtUtc(utc.toUTC()) {}

void DateTime::setFormatString(const QString& format)
{
    m_strFormat = format;
}

void DateTime::setOffsetFromUTC(TimeZone zone)
{
    m_eZone = zone;
}

void DateTime::setTime_ts(quint64 microsecondsSinceEpoch)
{
    m_dtUtc =
        QDateTime::fromMSecsSinceEpoch(static_cast<qint64>(microsecondsSinceEpoch / 1000), Qt::UTC);
}

QString DateTime::toString() const
{
    return toString(m_strFormat);
}

QString DateTime::toString(const QString& format) const
{
    return (m_eZone == Local_TimeZone ? m_dtUtc.toLocalTime() : m_dtUtc).toString(format);
}

} // namespace Tarn
