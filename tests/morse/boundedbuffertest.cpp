#include "tools/morsehandler/boundedbuffer.h"

#include "qtprinters.h"

#include <gtest/gtest.h>

using Text = morse::BoundedBuffer<QString>;

TEST(BoundedBuffer, KeepsTheNewestItemsWhateverTheCompaction)
{
    for (const Text::Compaction compaction : {Text::Compaction::Live, Text::Compaction::Deferred}) {
        Text buffer(5, compaction);
        EXPECT_EQ(buffer.append(QStringLiteral("abc")), 0);
        EXPECT_EQ(buffer.append(QStringLiteral("defg")), 2);
        EXPECT_EQ(buffer.push(QLatin1Char('h')), 1);
        EXPECT_EQ(QString(buffer.data(), buffer.size()), QStringLiteral("defgh"));
        EXPECT_EQ(buffer.front(), QLatin1Char('d'));
        buffer.setLimit(2); // takes effect with the next append
        EXPECT_EQ(buffer.append(QStringLiteral("ij")), 5);
        EXPECT_EQ(buffer.container(), QStringLiteral("ij"));
        buffer.setLimit(-1);
        EXPECT_EQ(buffer.append(QString(100, QLatin1Char('k'))), 0);
        EXPECT_EQ(buffer.size(), 102);
        buffer.clear();
        EXPECT_TRUE(buffer.isEmpty());
    }
}

TEST(BoundedBuffer, LiveContainerIsExactAfterEveryTrimAndDeferredOneWhenAskedFor)
{
    Text live(3, Text::Compaction::Live);
    const QString& held = live.liveContainer();
    Text deferred(3, Text::Compaction::Deferred);
    for (const char c : QByteArray("abcdefgh")) {
        live.push(QLatin1Char(c));
        deferred.push(QLatin1Char(c));
        EXPECT_EQ(held, QString(deferred.data(), deferred.size()));
    }
    EXPECT_EQ(held, QStringLiteral("fgh"));
    EXPECT_EQ(deferred.container(), QStringLiteral("fgh"));
}
