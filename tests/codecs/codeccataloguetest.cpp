#include "tools/morsehandler/codeccatalogue.h"

#include "qtprinters.h"

#include <gtest/gtest.h>

using morse::CodecCatalogue;
using Cut = CodecCatalogue::Cut;

TEST(CodecCatalogue, NamesAreCutWhereEachHandlerCutsThem)
{
    const struct
    {
        const char* name;
        Cut cut;
        const char* base; // nullptr: no separator
        const char* word;
        eBASE_CHARSET charset;
    } cases[] = {
        {"Greek - ITA2", Cut::AtFirstSeparator, "Greek", "ITA2", eITA2},
        {"Greek - ITA2", Cut::AtLastSeparator, "Greek", "ITA2", eITA2},
        {"My - Greek - ASCII", Cut::AtFirstSeparator, "My", "Greek", eNONE},
        {"My - Greek - ASCII", Cut::AtLastSeparator, "My - Greek", "ASCII", eASCII},
        {"Greek - ASCII8", Cut::AtLastSeparator, "Greek", "ASCII8", eASCII}, // word prefix
        {"Greek - ita2", Cut::AtLastSeparator, "Greek", "ita2", eNONE},      // case counts
        {"Greek", Cut::AtFirstSeparator, nullptr, nullptr, eNONE},
        {"Greek-ITA2", Cut::AtLastSeparator, nullptr, nullptr, eNONE},
    };
    for (const auto& c : cases) {
        QString base;
        QString word;
        const bool cut = CodecCatalogue::cut(QLatin1String(c.name), c.cut, &base, &word);
        EXPECT_EQ(cut, c.base != nullptr) << c.name;
        if (c.base) {
            EXPECT_EQ(base, QLatin1String(c.base)) << c.name;
            EXPECT_EQ(word, QLatin1String(c.word)) << c.name;
        }
        EXPECT_EQ(CodecCatalogue::charsetOfName(QLatin1String(c.name), c.cut), c.charset) << c.name;
    }
}

// Which file a name reads, the map before the codec, is checked where it matters: by
// CodecHandler (MapFileWinsOverCodecFile...) and MappingDirectory (ItaMapReplacesCodec...).
TEST(CodecCatalogue, NamesFollowTheFileSuffix)
{
    const struct
    {
        const char* file;
        const char* name;
    } cases[] = {{"Greek.ita2.map", "Greek - ITA2"},
                 {"Greek.CODEC", "Greek - ITA2"},
                 {"latin.ascii.map", "latin - ASCII"},
                 {"notes.txt", ""},
                 {"Greek.map", ""}};
    for (const auto& c : cases)
        EXPECT_EQ(CodecCatalogue::nameOfFile(QLatin1String(c.file)), QLatin1String(c.name))
            << c.file;
}
