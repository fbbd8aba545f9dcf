// The flat tables behind CodecHandler::Translate and Backtranslate give exactly what the
// ordered-map rules give, on random tables and random text.

#include "tools/morsehandler/flatcodectable.h"
#include "tools/morsehandler/codechandler.h"
#include "tools/morsehandler/mapfilereader.h"

#include "qtprinters.h"
#include "referencecodec.h"
#include "shared/source/decodermoduelscenter.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QTemporaryDir>

#include <random>

namespace {

/// A table with few distinct values, so that several codes share one, and with code 0 and
/// value 0 among the entries.
QMap<char, ushort> randomTable(std::mt19937& random)
{
    const ushort values[] = {0x0000, 0x0020, 0x0041, 0x00C1, 0x0391, 0x05D0, 0xFFFF};
    QMap<char, ushort> table;
    const int entries = static_cast<int>(random() % 257);
    for (int i = 0; i < entries; ++i) {
        const ushort value = random() % 2 ? values[random() % 7] : static_cast<ushort>(random());
        table.insert(static_cast<char>(random() % 256), value);
    }
    return table;
}

/// Text of units from the table's codes and values, other Latin-1 units and units above it.
QString randomText(std::mt19937& random, const QMap<char, ushort>& table, int length)
{
    const QList<ushort> values = table.values();
    QString text;
    for (int i = 0; i < length; ++i) {
        const unsigned pick = random() % 3;
        if (pick == 0 && !values.isEmpty())
            text += QChar(values.at(static_cast<int>(random() % values.size())));
        else if (pick == 1)
            text += QChar(static_cast<ushort>(random() % 256));
        else
            text += QChar(static_cast<ushort>(random()));
    }
    return text;
}

} // namespace

TEST(FlatCodecTable, AgreesWithTheOrderedMapRulesOnRandomTables)
{
    std::mt19937 random(20240601);
    morse::FlatCodecTable flat;
    for (int round = 0; round < 300; ++round) {
        const QMap<char, ushort> table = randomTable(random);
        flat.Assign(table);
        const QString text = randomText(random, table, 400);
        ASSERT_EQ(flat.Translate(text), reference::translate(table, text)) << "round " << round;
        ASSERT_EQ(flat.Backtranslate(text), reference::backtranslate(table, text))
            << "round " << round;
    }
}

TEST(FlatCodecTable, ClearedOrEmptyTablePassesTextThrough)
{
    morse::FlatCodecTable flat;
    flat.Assign({{'A', 0x0391}});
    flat.Clear();
    const QString text = QStringLiteral("A\u0391\u00FF");
    EXPECT_EQ(flat.Translate(text), text);
    flat.Assign({});
    EXPECT_EQ(flat.Backtranslate(text), text);
}

TEST(FlatCodecTable, HandlerLoadedFromAFileAgreesWithTheRulesOnTheSameFile)
{
    QTemporaryDir dir;
    const QString modules = dir.filePath(QStringLiteral("modules.txt"));
    QFile modulesFile(modules);
    ASSERT_TRUE(modulesFile.open(QIODevice::WriteOnly));
    modulesFile.write("1 300 D 0 1 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 A Serial\n");
    modulesFile.close();
    LanternIT::DecoderModulesCenter::Instance(QString())->SetFilePath(modules);

    std::mt19937 random(7);
    QByteArray text;
    for (int i = 0; i < 300; ++i)
        text += QByteArray::number(static_cast<uint>(random() % 256)) + '\t' + "0x" +
                QByteArray::number(static_cast<uint>(random() % 0x10000), 16) + '\n';
    const QString path = dir.filePath(QStringLiteral("Random.ascii.map"));
    QFile mapFile(path);
    ASSERT_TRUE(mapFile.open(QIODevice::WriteOnly));
    mapFile.write(text);
    mapFile.close();

    CodecHandler handler;
    handler.SetAlphabetsDir(dir.path());
    handler.SetDecoder(QStringLiteral("Serial"));
    ASSERT_TRUE(handler.SetAlphabet(QStringLiteral("Random")));
    QMap<char, ushort> table;
    bool rightToLeft = false;
    ASSERT_TRUE(morse::MapFileReader::Read(path, table, rightToLeft));

    const QString input = randomText(random, table, 5000);
    EXPECT_EQ(handler.Translate(input), reference::translate(table, input));
    EXPECT_EQ(handler.Backtranslate(input), reference::backtranslate(table, input));
}
