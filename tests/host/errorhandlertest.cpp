#include "host/errorhandler.h"

#include <gtest/gtest.h>

#include <QStringList>

TEST(ErrorHandler, TraceLinesGoToTheInstalledSink)
{
    QStringList lines;
    ErrorHandler::Instance()->SetTraceSink(
        [&](const QString& message, const QString& file, int line) {
            lines << QStringLiteral("%1|%2|%3").arg(message, file).arg(line);
        });
    _Q_Trace(QStringLiteral("hello"), QStringLiteral("tools\\morsehandler\\morsehandler"), 12);
    _Q_TraceOld("value %d of %s", 7, "seven");
    ErrorHandler::Instance()->SetTraceSink(nullptr);

    ASSERT_EQ(lines.size(), 2);
    EXPECT_EQ(lines[0], QStringLiteral("hello|tools\\morsehandler\\morsehandler|12"));
    EXPECT_EQ(lines[1], QStringLiteral("value 7 of seven||0"));
}
