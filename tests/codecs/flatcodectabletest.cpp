// The flat tables behind CodecHandler::Translate and Backtranslate give exactly what the
// ordered-map rules give, on random tables and random text.

#include "tools/morsehandler/flatcodectable.h"

#include "qtprinters.h"
#include "referencecodec.h"

#include <gtest/gtest.h>

#include <random>

TEST(FlatCodecTable, AgreesWithTheOrderedMapRulesOnRandomTables)
{
    // Few distinct values, so that several codes share one; code 0 and value 0 among them.
    const ushort values[] = {0x0000, 0x0020, 0x0041, 0x00C1, 0x0391, 0x05D0, 0xFFFF};
    std::mt19937 random(20240601);
    morse::FlatCodecTable flat;
    for (int round = 0; round < 300; ++round) {
        QMap<char, ushort> table;
        for (int i = static_cast<int>(random() % 257); i > 0; --i)
            table.insert(static_cast<char>(random()),
                         random() % 2 ? values[random() % 7] : static_cast<ushort>(random()));
        flat.Assign(table);

        // Units from the table's values, other Latin-1 units and units above U+00FF.
        const QList<ushort> stored = table.values();
        QString text;
        for (int i = 0; i < 400; ++i) {
            const unsigned pick = random() % 3;
            if (pick == 0 && !stored.isEmpty())
                text += QChar(stored.at(static_cast<int>(random() % stored.size())));
            else
                text += QChar(static_cast<ushort>(pick == 1 ? random() % 256 : random()));
        }
        ASSERT_EQ(flat.Translate(text), reference::translate(table, text)) << "round " << round;
        ASSERT_EQ(flat.Backtranslate(text), reference::backtranslate(table, text))
            << "round " << round;
    }
}
