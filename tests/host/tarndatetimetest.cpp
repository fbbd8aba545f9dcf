#include "host/tarndatetime.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>

TEST(TarnDateTime, FormatsMicrosecondTimestampsInUtcWithDateAndMillisecondsByDefault)
{
    Tarn::DateTime clock(QDateTime(QDate(2024, 3, 5), QTime(7, 8, 9, 10), Qt::UTC));
    EXPECT_EQ(clock.toString(), QStringLiteral("2024-03-05 07:08:09.010"));
    clock.setTime_ts(1700000000123456ULL);
    clock.setFormatString(QStringLiteral("hh:mm:ss.zzz"));
    EXPECT_EQ(clock.toString(), QStringLiteral("22:13:20.123"));
    EXPECT_EQ(clock.toString(QStringLiteral("yyyy-MM-dd")), QStringLiteral("2023-11-14"));
}

TEST(TarnDateTime, LocalTimeZoneFollowsTheMachineZone)
{
    const QByteArray saved = qgetenv("TZ");
    qputenv("TZ", "EST5"); // five hours behind UTC, no daylight saving
    tzset();
    Tarn::DateTime clock;
    clock.setFormatString(QStringLiteral("hh:mm"));
    clock.setOffsetFromUTC(Tarn::DateTime::Local_TimeZone);
    clock.setTime_ts(10ULL * 3600 * 1000000);
    EXPECT_EQ(clock.toString(), QStringLiteral("05:00"));
    qputenv("TZ", saved);
    tzset();
}
